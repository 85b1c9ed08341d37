// Direct3D 9's fixed-function picture in double precision, worked out after its documentation
// (Mathematics of Lighting, Specular Lighting, Rasterization Rules) independently of our shaders.
#pragma once

#include <algorithm>
#include <cmath>
#include <glm/glm.hpp>
#include <glm/gtc/type_ptr.hpp>
#include <optional>
#include <utility>
#include <vector>

#include "platform/d3d9/d3d9.h"

namespace ref {

using glm::dvec2, glm::dvec3, glm::dvec4;

// The 40-byte vertex of XYZ | NORMAL | DIFFUSE | SPECULAR | TEX1.
struct Vertex {
  float x, y, z, nx, ny, nz;
  D3DCOLOR diffuse, specular;
  float u, v;
};
constexpr DWORD FVF = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX1;

// A triangle strip, the only primitive the viewer draws.
using Strip = std::vector<Vertex>;

constexpr D3DMATRIX IDENTITY{{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};

// One frame: the render states it sets (the rest keep their defaults), its light, if any, and its
// draws after a clear to opaque white and clearZ. A pixel is compared where points `margin` pixels
// off its centre look the same; with margin 0, every pixel, at its centre.
struct Scene {
  const char* name;
  std::vector<std::pair<D3DRENDERSTATETYPE, DWORD>> states = {};
  D3DMATERIAL9 material{};
  std::optional<D3DLIGHT9> light = {};
  D3DMATRIX world = IDENTITY, view = IDENTITY, projection = IDENTITY;
  std::vector<D3DCOLOR> texels = {};  // 2 x 2, rows top first; no texture bound when empty
  float clearZ = 1;
  std::vector<Strip> draws = {};  // in order; no draw overlaps itself
  double margin = 0.03;
};

// A pixel's colour, 0..1 a channel, and whether the comparison counts it.
struct Pixel {
  dvec3 rgb;
  bool sure;
};

inline dvec3 Of(const D3DCOLORVALUE& c) { return {c.r, c.g, c.b}; }
inline dvec3 Of(const D3DVECTOR& v) { return {v.x, v.y, v.z}; }
inline dvec3 Of(D3DCOLOR c) { return dvec3(c >> 16 & 0xFF, c >> 8 & 0xFF, c & 0xFF) / 255.0; }

// m with the same rows, so that row vectors transform as v * m.
inline glm::dmat4 Rows(const D3DMATRIX& m) {
  return glm::transpose(glm::dmat4(glm::make_mat4(&m.m[0][0])));
}

inline DWORD Get(const Scene& s, D3DRENDERSTATETYPE which, DWORD otherwise) {
  for (const auto& [state, value] : s.states) otherwise = state == which ? value : otherwise;
  return otherwise;
}

// A lit vertex: pixel x, y (centres on integers), depth, 1 / w; clamped colours; u, v.
struct Corner {
  dvec4 at;
  dvec3 diffuse, specular;
  dvec2 uv;
};

// The spot light's ambient, diffuse and specular factors at p with normal n, after Direct3D's
// attenuation and spotlight factor: none beyond its range; Theta and Phi are full cone angles.
inline void Light(const Scene& s, dvec3 p, dvec3 n, dvec3* ambient, dvec3* diffuse,
                  dvec3* specular) {
  const D3DLIGHT9& light = *s.light;
  const glm::dmat4 view = Rows(s.view);
  const dvec3 axis = glm::normalize(dvec3(dvec4(Of(light.Direction), 0) * view));
  const dvec3 offset = dvec3(dvec4(Of(light.Position), 1) * view) - p;
  const double d = glm::length(offset);
  if (d > light.Range) return;
  const dvec3 l = offset / d;
  double factor = 1 / (light.Attenuation0 + light.Attenuation1 * d + light.Attenuation2 * d * d);
  const double inner = std::cos(light.Theta / 2), outer = std::cos(light.Phi / 2);
  const double rho = glm::dot(axis, -l);
  if (rho <= inner)
    factor *= rho > outer ? std::pow((rho - outer) / (inner - outer), light.Falloff) : 0;
  // Local viewer: the half vector between the light and the camera at the origin.
  const double nDotL = glm::dot(n, l), nDotH = glm::dot(n, glm::normalize(l - glm::normalize(p)));
  *ambient += Of(light.Ambient) * factor;
  *diffuse += Of(light.Diffuse) * std::clamp(nDotL, 0.0, 1.0) * factor;
  if (nDotL > 0 && nDotH > 0) {
    *specular += Of(light.Specular) * std::pow(nDotH, s.material.Power) * factor;
  }
}

inline Corner Process(const Scene& s, const Vertex& v, int width, int height) {
  const glm::dmat4 worldView = Rows(s.world) * Rows(s.view);
  const dvec3 p(dvec4(v.x, v.y, v.z, 1) * worldView);
  const dvec4 clip = dvec4(p, 1) * Rows(s.projection);
  const dvec4 at((clip.x / clip.w + 1) * width / 2, (1 - clip.y / clip.w) * height / 2,
                 clip.z / clip.w, 1 / clip.w);
  // Not renormalised: NORMALIZENORMALS keeps its default, FALSE.
  const dvec3 n = dvec3(v.nx, v.ny, v.nz) * glm::transpose(glm::inverse(glm::dmat3(worldView)));
  dvec3 ambient = Of(Get(s, D3DRS_AMBIENT, 0)), diffuse{}, specular{};
  if (s.light) Light(s, p, n, &ambient, &diffuse, &specular);
  // Each reflectance from the material, the vertex diffuse or the vertex specular colour.
  const auto source = [&](D3DRENDERSTATETYPE state, DWORD otherwise, const D3DCOLORVALUE& own) {
    const DWORD from = Get(s, state, otherwise);
    return from == D3DMCS_COLOR1 ? Of(v.diffuse) : from == D3DMCS_COLOR2 ? Of(v.specular) : Of(own);
  };
  const D3DMATERIAL9& m = s.material;
  const dvec3 lit = source(D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL, m.Ambient) * ambient +
                    source(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1, m.Diffuse) * diffuse +
                    Of(m.Emissive);
  const dvec3 shine = source(D3DRS_SPECULARMATERIALSOURCE, D3DMCS_COLOR2, m.Specular) * specular;
  return {at, glm::clamp(lit, 0.0, 1.0), glm::clamp(shine, 0.0, 1.0), dvec2(v.u, v.v)};
}

// Texture stage 0 and the specular add at screen-space weights b of corners c.
inline dvec3 Shade(const Scene& s, const Corner* c, dvec3 b) {
  const dvec3 w(c[0].at.w, c[1].at.w, c[2].at.w);
  b *= w / glm::dot(b, w);  // perspective-correct
  const dvec3 diffuse = b[0] * c[0].diffuse + b[1] * c[1].diffuse + b[2] * c[2].diffuse;
  const dvec2 uv = b[0] * c[0].uv + b[1] * c[1].uv + b[2] * c[2].uv;
  dvec3 texel{1, 1, 1};  // what a texture argument reads with no texture bound
  if (!s.texels.empty()) {
    const glm::uvec2 t(glm::fract(uv) * 2.0);  // point sampling, wrapped
    texel = Of(s.texels[t.y * 2 + t.x]);
  }
  // Stage 0's MODULATE of the texture and the diffuse colour.
  dvec3 color = texel * diffuse;
  if (Get(s, D3DRS_SPECULARENABLE, FALSE)) {
    color += b[0] * c[0].specular + b[1] * c[1].specular + b[2] * c[2].specular;
  }
  return glm::clamp(color, 0.0, 1.0);
}

// Whether a point on the edge from a to b of a triangle of signed area `area` (> 0: clockwise on
// screen) belongs to it: the top-left rule takes left edges and horizontal top edges.
inline bool TopOrLeft(dvec2 a, dvec2 b, double area) {
  const dvec2 d = (b - a) * (area > 0 ? 1.0 : -1.0);
  return d.y < 0 || (d.y == 0 && d.x > 0);
}

// The colour at a point of the back buffer after the scene's frame, given its processed strips.
// Depth is kept in 16 bits, as D3DFMT_D16 holds it.
inline dvec3 Sample(const Scene& s, const std::vector<std::vector<Corner>>& strips, dvec2 at) {
  const auto d16 = [](double z) { return std::round(z * 65535); };
  dvec3 color(1, 1, 1);  // cleared to white
  double depth = d16(s.clearZ);
  const auto cross = [](dvec2 a, dvec2 b) { return a.x * b.y - a.y * b.x; };
  for (const std::vector<Corner>& c : strips) {
    for (std::size_t i = 0; i + 2 < c.size(); ++i) {
      const Corner k[3] = {c[i + i % 2], c[i + 1 - i % 2], c[i + 2]};  // odd ones turned back
      const dvec2 p[3] = {dvec2(k[0].at), dvec2(k[1].at), dvec2(k[2].at)};
      const double area = cross(p[1] - p[0], p[2] - p[0]);
      if (area == 0 || (Get(s, D3DRS_CULLMODE, D3DCULL_CCW) == D3DCULL_CCW && area < 0)) continue;
      dvec3 b;
      bool inside = true;
      for (int j = 0; j < 3; ++j) {
        const dvec2 from = p[(j + 1) % 3], to = p[(j + 2) % 3];
        b[j] = cross(from - at, to - at) / area;
        inside = inside && (b[j] > 0 || (b[j] == 0 && TopOrLeft(from, to, area)));
      }
      const double z = d16(glm::dot(b, dvec3(k[0].at.z, k[1].at.z, k[2].at.z)));
      if (!inside || z > depth) continue;  // depth test LESSEQUAL
      color = Shade(s, k, b);
      depth = z;
    }
  }
  return color;
}

// The back buffer after the scene's frame, top row first.
inline std::vector<Pixel> Render(const Scene& s, int width, int height) {
  std::vector<std::vector<Corner>> strips;
  for (const Strip& strip : s.draws) {
    strips.emplace_back();
    for (const Vertex& v : strip) strips.back().push_back(Process(s, v, width, height));
  }
  std::vector<Pixel> out;
  for (int i = 0; i < width * height; ++i) {
    const dvec2 centre(i % width, i / width);
    const dvec3 rgb = Sample(s, strips, centre);
    bool sure = true;
    for (const dvec2 off : {dvec2(-1, -1), dvec2(-1, 1), dvec2(1, -1), dvec2(1, 1)}) {
      sure = sure && glm::length(Sample(s, strips, centre + off * s.margin) - rgb) < 1 / 255.0;
    }
    out.push_back({rgb, sure});
  }
  return out;
}

}  // namespace ref
