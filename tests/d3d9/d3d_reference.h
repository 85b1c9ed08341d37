// Direct3D 9's fixed-function picture worked out on the CPU for the device's pixel tests, in double
// precision after its documentation (Mathematics of Lighting, Attenuation and Spotlight Factor,
// Specular Lighting, Camera-Space Transformations, texture stage operations, Rasterization Rules,
// Directly Mapping Texels to Pixels) and independently of the device's shaders.
#pragma once

#include <algorithm>
#include <cmath>
#include <glm/glm.hpp>
#include <utility>
#include <vector>

#include "platform/d3d9/d3d9.h"

namespace ref {

using glm::dvec2;
using glm::dvec3;
using glm::dvec4;

// The 40-byte vertex of XYZ | NORMAL | DIFFUSE | SPECULAR | TEX1.
struct Vertex {
  float x, y, z, nx, ny, nz;
  D3DCOLOR diffuse, specular;
  float u, v;
};
constexpr DWORD FVF = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX1;

struct Draw {
  D3DPRIMITIVETYPE type;  // a triangle list or strip
  std::vector<Vertex> vertices;
};

constexpr D3DMATRIX IDENTITY{{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};

// One frame: the render and stage-0 states it sets (the rest keep Direct3D 9's defaults), the
// lights it enables at indices 0, 1, ... and its draws after a clear to opaque white and clearZ.
struct Scene {
  const char* name;
  std::vector<std::pair<D3DRENDERSTATETYPE, DWORD>> states = {};
  DWORD colorOp = D3DTOP_MODULATE;  // stage 0's, MODULATE or SELECTARG1; default arguments
  D3DMATERIAL9 material{};
  std::vector<D3DLIGHT9> lights = {};
  D3DMATRIX world = IDENTITY, view = IDENTITY, projection = IDENTITY;
  UINT textureWidth = 0;              // no texture bound when 0
  std::vector<D3DCOLOR> texels = {};  // rows top first
  float clearZ = 1;
  std::vector<Draw> draws = {};           // in order; no draw overlaps itself
  int windowWidth = 0, windowHeight = 0;  // when set, also presented into a window of this size
};

// A pixel's colour, 0..1 a channel, and whether the rules leave no toss-up over it (it is off
// outlines, texel edges and near depth ties).
struct Pixel {
  dvec3 rgb;
  bool sure;
};

inline dvec3 Of(const D3DCOLORVALUE& c) { return {c.r, c.g, c.b}; }
inline dvec3 Of(const D3DVECTOR& v) { return {v.x, v.y, v.z}; }
inline dvec3 Of(D3DCOLOR c) { return dvec3(c >> 16 & 0xFF, c >> 8 & 0xFF, c & 0xFF) / 255.0; }

// m with the same rows, so that row vectors transform as v * m.
inline glm::dmat4 Rows(const D3DMATRIX& m) {
  glm::dmat4 out;
  for (int i = 0; i < 16; ++i) out[i % 4][i / 4] = m.m[i / 4][i % 4];
  return out;
}

inline DWORD Get(const Scene& s, D3DRENDERSTATETYPE which, DWORD otherwise) {
  for (const auto& [state, value] : s.states) otherwise = state == which ? value : otherwise;
  return otherwise;
}

// A vertex after lighting and the viewport: pixel x, y (centres on integers), depth and 1 / w;
// its clamped diffuse and specular colours; u, v.
struct Corner {
  dvec4 at;
  dvec3 diffuse, specular;
  dvec2 uv;
};

inline Corner Process(const Scene& s, const Vertex& v, int width, int height) {
  const glm::dmat4 view = Rows(s.view), worldView = Rows(s.world) * view;
  const dvec3 p(dvec4(v.x, v.y, v.z, 1) * worldView);
  const dvec4 clip = dvec4(p, 1) * Rows(s.projection);
  const dvec4 at((clip.x / clip.w + 1) * width / 2, (1 - clip.y / clip.w) * height / 2,
                 clip.z / clip.w, 1 / clip.w);
  Corner out{at, Of(v.diffuse), Of(v.specular), dvec2(v.u, v.v)};
  if (!Get(s, D3DRS_LIGHTING, TRUE)) return out;
  // Not renormalised: NORMALIZENORMALS keeps its default, FALSE, as LOCALVIEWER keeps TRUE.
  const dvec3 n = dvec3(v.nx, v.ny, v.nz) * glm::transpose(glm::inverse(glm::dmat3(worldView)));
  const dvec3 toViewer = -glm::normalize(p);
  dvec3 ambient = Of(Get(s, D3DRS_AMBIENT, 0)), diffuse{}, specular{};
  for (const D3DLIGHT9& light : s.lights) {
    const dvec3 axis = glm::normalize(dvec3(dvec4(Of(light.Direction), 0) * view));
    dvec3 l = -axis;
    double factor = 1;
    if (light.Type != D3DLIGHT_DIRECTIONAL) {
      const dvec3 offset = dvec3(dvec4(Of(light.Position), 1) * view) - p;
      const double d = glm::length(offset);
      if (d > light.Range) continue;  // not even ambient
      l = offset / d;
      factor = 1 / (light.Attenuation0 + light.Attenuation1 * d + light.Attenuation2 * d * d);
      // Theta and Phi are full cone angles; rho is the cosine from the axis to the vertex.
      const double inner = std::cos(light.Theta / 2), outer = std::cos(light.Phi / 2);
      const double rho = glm::dot(axis, -l);
      if (light.Type == D3DLIGHT_SPOT && rho <= inner) {
        factor *= rho > outer ? std::pow((rho - outer) / (inner - outer), light.Falloff) : 0;
      }
    }
    const double nDotL = glm::dot(n, l), nDotH = glm::dot(n, glm::normalize(l + toViewer));
    ambient += Of(light.Ambient) * factor;
    diffuse += Of(light.Diffuse) * std::clamp(nDotL, 0.0, 1.0) * factor;
    if (nDotL > 0 && nDotH > 0) {
      specular += Of(light.Specular) * std::pow(nDotH, s.material.Power) * factor;
    }
  }
  // The default colour sources: ambient and emissive from the material, the rest from the vertex.
  const D3DMATERIAL9& m = s.material;
  out.diffuse = Of(m.Ambient) * ambient + out.diffuse * diffuse + Of(m.Emissive);
  out.diffuse = glm::clamp(out.diffuse, 0.0, 1.0);
  out.specular = glm::clamp(out.specular * specular, 0.0, 1.0);
  return out;
}

// Texture stage 0 and the specular add at screen-space weights b of corners c.
inline dvec3 Shade(const Scene& s, const Corner* c, dvec3 b) {
  const dvec3 w(c[0].at.w, c[1].at.w, c[2].at.w);
  b *= w / glm::dot(b, w);  // perspective-correct
  const dvec3 diffuse = b[0] * c[0].diffuse + b[1] * c[1].diffuse + b[2] * c[2].diffuse;
  const dvec2 uv = b[0] * c[0].uv + b[1] * c[1].uv + b[2] * c[2].uv;
  dvec3 texel{1, 1, 1};  // what a texture argument reads with no texture bound
  if (s.textureWidth != 0) {
    const dvec2 size(s.textureWidth, s.texels.size() / s.textureWidth);
    const glm::uvec2 t(glm::fract(uv) * size);  // point sampling, wrapped
    texel = Of(s.texels[t.y * s.textureWidth + t.x]);
  }
  // Argument 1 the texture, argument 2 the current colour, which is the diffuse on stage 0.
  dvec3 color = s.colorOp == D3DTOP_SELECTARG1 ? texel : texel * diffuse;
  if (Get(s, D3DRS_SPECULARENABLE, FALSE)) {
    color += b[0] * c[0].specular + b[1] * c[1].specular + b[2] * c[2].specular;
  }
  return glm::clamp(color, 0.0, 1.0);
}

// The back buffer after the scene's frame, top row first, sampled off the pixel centres.
inline std::vector<dvec3> Sample(const Scene& s, int width, int height, dvec2 offset) {
  std::vector<dvec3> picture(static_cast<std::size_t>(width) * height, dvec3(1, 1, 1));
  std::vector<double> depth(picture.size(), s.clearZ);
  const DWORD cull = Get(s, D3DRS_CULLMODE, D3DCULL_CCW);
  const auto cross = [](dvec2 a, dvec2 b) { return a.x * b.y - a.y * b.x; };
  for (const Draw& draw : s.draws) {
    std::vector<Corner> c;  // three a triangle; a strip's odd triangles turned back
    const std::size_t step = draw.type == D3DPT_TRIANGLESTRIP ? 1 : 3;
    for (std::size_t i = 0; i + 2 < draw.vertices.size(); i += step) {
      const std::size_t turn = step == 1 ? i % 2 : 0;
      for (std::size_t k : {i + turn, i + 1 - turn, i + 2}) {
        c.push_back(Process(s, draw.vertices[k], width, height));
      }
    }
    for (std::size_t at = 0; at < picture.size(); ++at) {
      const dvec2 centre = dvec2(at % width, at / width) + offset;
      for (std::size_t t = 0; t < c.size(); t += 3) {
        const dvec2 p[3] = {dvec2(c[t].at), dvec2(c[t + 1].at), dvec2(c[t + 2].at)};
        const double area = cross(p[1] - p[0], p[2] - p[0]);  // > 0: clockwise on screen
        if (area == 0 || (cull == D3DCULL_CCW && area < 0)) continue;
        dvec3 b;
        for (int i = 0; i < 3; ++i) {
          b[i] = cross(p[(i + 1) % 3] - centre, p[(i + 2) % 3] - centre) / area;
        }
        if (glm::any(glm::lessThan(b, dvec3(0)))) continue;
        const double z = glm::dot(b, dvec3(c[t].at.z, c[t + 1].at.z, c[t + 2].at.z));
        if (z > depth[at]) break;  // LESSEQUAL
        picture[at] = Shade(s, &c[t], b);
        depth[at] = z;
        break;
      }
    }
  }
  return picture;
}

// The back buffer after the scene's frame; a pixel is sure when points a little off its centre
// would look the same.
inline std::vector<Pixel> Render(const Scene& s, int width, int height) {
  const std::vector<dvec3> centre = Sample(s, width, height, {0, 0});
  std::vector<Pixel> out;
  for (const dvec3& rgb : centre) out.push_back({rgb, true});
  for (const dvec2 offset : {dvec2(-1, -1), dvec2(-1, 1), dvec2(1, -1), dvec2(1, 1)}) {
    const std::vector<dvec3> near = Sample(s, width, height, offset * 0.03);
    for (std::size_t i = 0; i < out.size(); ++i) {
      const double step = glm::length(near[i] - centre[i]);
      out[i].sure = out[i].sure && step < 1 / 255.0;
    }
  }
  return out;
}

}  // namespace ref
