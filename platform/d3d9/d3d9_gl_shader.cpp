// The one GLSL program that stands in for Direct3D 9's fixed-function
// pipeline: per-vertex lighting (point, spot and directional lights, colour
// material sources, local-viewer specular), texture stage 0 and the specular
// add, with the pixel-centre and depth-range fix-up. Also the uniform upload
// from the device's state record, group by group, and the GL build diagnostics.
#include <cmath>
#include <cstdio>
#include <glm/glm.hpp>
#include <glm/gtc/matrix_inverse.hpp>
#include <glm/gtc/type_ptr.hpp>

#include "platform/d3d9/d3d9_gl_internal.h"

namespace d3d9gl {
namespace {

// Direct3D 9 vertex lighting [Mathematics of Lighting; Attenuation and
// Spotlight Factor; Specular Lighting], in camera space (left-handed, camera
// at the origin looking down +z). Matrices arrive as Direct3D's row-major
// arrays, which GLSL reads as their transposes, so M * v here is v * M there.
constexpr const char* VERTEX_SHADER = R"(#version 330 core
layout(location = 0) in vec3 inPosition;
layout(location = 1) in vec3 inNormal;
layout(location = 2) in vec4 inDiffuse;
layout(location = 3) in vec4 inSpecular;
layout(location = 4) in vec2 inTexCoord;

uniform mat4 uWorldView;
uniform mat4 uProjection;
uniform mat3 uNormalMatrix;  // inverse transpose of world-view's upper 3x3
uniform vec2 uPixelOffset;   // (63/64) / back buffer width, height
uniform ivec4 uFlags;        // lighting, normalize normals, local viewer, lights enabled
uniform ivec4 uSources;      // ambient, diffuse, specular, emissive: 0 material, 1 diffuse, 2 specular
uniform vec4 uMaterial[5];   // diffuse, ambient, specular, emissive, (power)
uniform vec4 uAmbient;
// Per light: position+type, direction+range, diffuse, specular, ambient,
// (attenuation 0, 1, 2, falloff), (cos(theta/2), cos(phi/2)).
uniform vec4 uLights[56];

out vec4 vDiffuse;
out vec4 vSpecular;
out vec2 vTexCoord;

vec4 Reflectance(int source, vec4 material) {
  if (source == 1) return inDiffuse;
  if (source == 2) return inSpecular;
  return material;
}

vec3 SafeNormalize(vec3 v) {
  float lengthSquared = dot(v, v);
  return lengthSquared > 0.0 ? v * inversesqrt(lengthSquared) : vec3(0.0);
}

float SpotFactor(vec3 axis, vec3 toLight, vec2 cones, float falloff) {
  float rho = dot(axis, -toLight);
  if (rho > cones.x) return 1.0;
  if (rho <= cones.y) return 0.0;
  return pow((rho - cones.y) / (cones.x - cones.y), falloff);
}

void main() {
  vec4 eye = uWorldView * vec4(inPosition, 1.0);
  vec4 clip = uProjection * eye;
  // Direct3D's pixel centres lie on integers (GL's on halves) and its depth runs 0..1.
  clip.x += uPixelOffset.x * clip.w;
  clip.y -= uPixelOffset.y * clip.w;
  clip.z = 2.0 * clip.z - clip.w;
  gl_Position = clip;
  vTexCoord = inTexCoord;
  if (uFlags.x == 0) {
    vDiffuse = inDiffuse;
    vSpecular = inSpecular;
    return;
  }
  vec3 position = eye.xyz;
  vec3 normal = uNormalMatrix * inNormal;
  if (uFlags.y != 0) normal = SafeNormalize(normal);
  vec3 toViewer = uFlags.z != 0 ? -SafeNormalize(position) : vec3(0.0, 0.0, -1.0);
  vec3 ambient = uAmbient.rgb;
  vec3 diffuse = vec3(0.0);
  vec3 specular = vec3(0.0);
  for (int i = 0; i < uFlags.w; ++i) {
    int base = 7 * i;
    vec4 where = uLights[base];
    vec4 axis = uLights[base + 1];
    vec4 k = uLights[base + 5];
    vec3 toLight = -axis.xyz;
    float attenuation = 1.0;
    if (int(where.w) != 3) {
      vec3 offset = where.xyz - position;
      float distance = length(offset);
      if (distance > axis.w) continue;
      toLight = distance > 0.0 ? offset / distance : vec3(0.0);
      attenuation = 1.0 / (k.x + k.y * distance + k.z * distance * distance);
      if (int(where.w) == 2) {
        attenuation *= SpotFactor(axis.xyz, toLight, uLights[base + 6].xy, k.w);
      }
    }
    ambient += uLights[base + 4].rgb * attenuation;
    float nDotL = dot(normal, toLight);
    diffuse += clamp(nDotL, 0.0, 1.0) * uLights[base + 2].rgb * attenuation;
    if (nDotL > 0.0) {
      float nDotH = dot(normal, SafeNormalize(toLight + toViewer));
      if (nDotH > 0.0) specular += pow(nDotH, uMaterial[4].x) * uLights[base + 3].rgb * attenuation;
    }
  }
  vec4 ca = Reflectance(uSources.x, uMaterial[1]);
  vec4 cd = Reflectance(uSources.y, uMaterial[0]);
  vec4 cs = Reflectance(uSources.z, uMaterial[2]);
  vec4 ce = Reflectance(uSources.w, uMaterial[3]);
  vDiffuse = clamp(vec4(ca.rgb * ambient + cd.rgb * diffuse + ce.rgb, cd.a), 0.0, 1.0);
  vSpecular = vec4(clamp(cs.rgb * specular, 0.0, 1.0), 0.0);
}
)";

// Texture stage 0 [D3DTEXTUREOP, D3DTA], then the specular add of
// D3DRS_SPECULARENABLE. Every op this layer accepts is a product of two
// factors, each the diffuse colour, the texel or one, so the stage is chosen
// by weights rather than branches (llvmpipe shades faster without them):
// uSelect holds, for colour and alpha, each factor's (diffuse, texel, one)
// weights; uSelect[0].w turns the specular add on. The 8-bit target clamps.
constexpr const char* FRAGMENT_SHADER = R"(#version 330 core
in vec4 vDiffuse;
in vec4 vSpecular;
in vec2 vTexCoord;

uniform sampler2D uTexture;
uniform vec4 uSelect[4];  // colour factor 1, colour factor 2, alpha factor 1, alpha factor 2

out vec4 outColor;

void main() {
  vec4 texel = texture(uTexture, vTexCoord);
  vec3 color = (vDiffuse.rgb * uSelect[0].x + texel.rgb * uSelect[0].y + uSelect[0].z) *
               (vDiffuse.rgb * uSelect[1].x + texel.rgb * uSelect[1].y + uSelect[1].z);
  float alpha = (vDiffuse.a * uSelect[2].x + texel.a * uSelect[2].y + uSelect[2].z) *
                (vDiffuse.a * uSelect[3].x + texel.a * uSelect[3].y + uSelect[3].z);
  outColor = vec4(color + vSpecular.rgb * uSelect[0].w, alpha);
}
)";

// Prints a shader's or program's info log and records why the build failed.
void ReportBuildFailure(GLuint object, bool isProgram, const char* what) {
  char log[2048] = "";
  if (isProgram) {
    glGetProgramInfoLog(object, sizeof log, nullptr, log);
  } else {
    glGetShaderInfoLog(object, sizeof log, nullptr, log);
  }
  std::fprintf(stderr, "d3d9_gl: %s failed:\n%s\n", what, log);
  char reason[128];
  std::snprintf(reason, sizeof reason, "CreateDevice: %s failed (log on stderr)", what);
  Fail(D3DERR_NOTAVAILABLE, reason);
}

GLuint CompileShader(GLenum stage, const char* source, const char* what) {
  GLuint shader = CreateGlShader(stage);
  glShaderSource(shader, 1, &source, nullptr);
  glCompileShader(shader);
  GLint compiled = GL_FALSE;
  glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
  if (compiled != GL_TRUE) {
    ReportBuildFailure(shader, false, what);
    DestroyGl(GlKind::Shader, &shader, true);
  }
  return shader;
}

void FindUniforms(GLuint program, ProgramUniforms* u) {
  auto at = [program](const char* name) { return glGetUniformLocation(program, name); };
  u->worldView = at("uWorldView");
  u->projection = at("uProjection");
  u->normalMatrix = at("uNormalMatrix");
  u->pixelOffset = at("uPixelOffset");
  u->flags = at("uFlags");
  u->sources = at("uSources");
  u->material = at("uMaterial");
  u->ambient = at("uAmbient");
  u->lights = at("uLights");
  u->select = at("uSelect");
  u->sampler = at("uTexture");
}

// Direct3D's row-major array read column by column, i.e. its transpose.
glm::mat4 AsGlm(const D3DMATRIX& m) { return glm::make_mat4(&m.m[0][0]); }

glm::vec4 AsVec4(const D3DCOLORVALUE& c) { return {c.r, c.g, c.b, c.a}; }

glm::vec4 AsVec4(D3DCOLOR c) {
  return glm::vec4((c >> 16) & 0xFFu, (c >> 8) & 0xFFu, c & 0xFFu, (c >> 24) & 0xFFu) / 255.0f;
}

int UploadTransforms(const FixedState& state, const ProgramUniforms& u) {
  // (W * V)^T = V^T * W^T: the GLSL-side world-view of Direct3D's W * V.
  const glm::mat4 worldView = AsGlm(state.view) * AsGlm(state.world);
  const glm::mat3 upper(worldView);
  // GLSL wants (WV3)^-1 so that N * v equals Direct3D's n * inverse-transpose(WV3).
  const bool invertible = std::fabs(glm::determinant(upper)) > 1e-20f;
  const glm::mat3 normal = invertible ? glm::inverseTranspose(upper) : glm::mat3(0.0f);
  glUniformMatrix4fv(u.worldView, 1, GL_FALSE, glm::value_ptr(worldView));
  glUniformMatrix4fv(u.projection, 1, GL_FALSE, &state.projection.m[0][0]);
  glUniformMatrix3fv(u.normalMatrix, 1, GL_FALSE, glm::value_ptr(normal));
  return 3;
}

// Writes one enabled light, moved to camera space by the view matrix, at out.
void PackLight(const D3DLIGHT9& light, const glm::mat4& view, glm::vec4* out) {
  const glm::vec4 position =
      view * glm::vec4(light.Position.x, light.Position.y, light.Position.z, 1);
  glm::vec3 axis =
      glm::vec3(view * glm::vec4(light.Direction.x, light.Direction.y, light.Direction.z, 0.0f));
  if (glm::dot(axis, axis) > 0.0f) axis = glm::normalize(axis);
  out[0] = glm::vec4(glm::vec3(position), static_cast<float>(light.Type));
  out[1] = glm::vec4(axis, light.Range);
  out[2] = AsVec4(light.Diffuse);
  out[3] = AsVec4(light.Specular);
  out[4] = AsVec4(light.Ambient);
  out[5] = glm::vec4(light.Attenuation0, light.Attenuation1, light.Attenuation2, light.Falloff);
  // Theta and Phi are full cone angles.
  out[6] = glm::vec4(std::cos(light.Theta / 2), std::cos(light.Phi / 2), 0.0f, 0.0f);
}

int EnabledLights(const FixedState& state) {
  int count = 0;
  for (const LightSlot& slot : state.lights) count += slot.enabled ? 1 : 0;
  return count;
}

int UploadLights(const FixedState& state, const ProgramUniforms& u) {
  glm::vec4 packed[MAX_LIGHTS * LIGHT_VEC4S];
  const glm::mat4 view = AsGlm(state.view);
  int count = 0;
  for (const LightSlot& slot : state.lights) {
    if (slot.enabled) PackLight(slot.light, view, &packed[LIGHT_VEC4S * count++]);
  }
  if (count == 0) return 0;
  glUniform4fv(u.lights, LIGHT_VEC4S * count, glm::value_ptr(packed[0]));
  return 1;
}

int UploadMaterial(const FixedState& state, const ProgramUniforms& u) {
  const D3DMATERIAL9& m = state.material;
  const glm::vec4 values[5] = {AsVec4(m.Diffuse), AsVec4(m.Ambient), AsVec4(m.Specular),
                               AsVec4(m.Emissive), glm::vec4(m.Power, 0.0f, 0.0f, 0.0f)};
  glUniform4fv(u.material, 5, glm::value_ptr(values[0]));
  return 1;
}

// Where a colour comes from [D3DMATERIALCOLORSOURCE]: the material unless
// COLORVERTEX is on and the vertex carries the colour named.
GLint ColorSource(const FixedState& state, const FvfLayout& layout, DWORD renderState) {
  const DWORD source = state.render[renderState];
  if (state.render[D3DRS_COLORVERTEX] == FALSE) return D3DMCS_MATERIAL;
  if (source == D3DMCS_COLOR1 && layout.diffuse < 0) return D3DMCS_MATERIAL;
  if (source == D3DMCS_COLOR2 && layout.specular < 0) return D3DMCS_MATERIAL;
  return static_cast<GLint>(source);
}

int UploadLightingSwitches(const FixedState& state, const FvfLayout& layout,
                           const ProgramUniforms& u) {
  glUniform4i(u.flags, state.render[D3DRS_LIGHTING] != FALSE,
              state.render[D3DRS_NORMALIZENORMALS] != FALSE,
              state.render[D3DRS_LOCALVIEWER] != FALSE, EnabledLights(state));
  glUniform4i(u.sources, ColorSource(state, layout, D3DRS_AMBIENTMATERIALSOURCE),
              ColorSource(state, layout, D3DRS_DIFFUSEMATERIALSOURCE),
              ColorSource(state, layout, D3DRS_SPECULARMATERIALSOURCE),
              ColorSource(state, layout, D3DRS_EMISSIVEMATERIALSOURCE));
  glUniform4fv(u.ambient, 1, glm::value_ptr(AsVec4(state.render[D3DRS_AMBIENT])));
  return 3;
}

// Weights (diffuse, texel, one) that make one factor read argument `source`.
// Stage 0's CURRENT is the diffuse colour; with no texture bound a texture
// argument reads opaque white.
glm::vec3 Factor(DWORD source, bool textureBound) {
  if (source == D3DTA_TEXTURE) return textureBound ? glm::vec3(0, 1, 0) : glm::vec3(0, 0, 1);
  return {1, 0, 0};
}

// The two factors of an op [D3DTEXTUREOP]: SELECTARGn is argument n times one,
// MODULATE the product of both, DISABLE passes the diffuse colour on.
void Factors(DWORD op, DWORD arg1, DWORD arg2, bool textureBound, glm::vec3* first,
             glm::vec3* second) {
  const glm::vec3 one(0, 0, 1), diffuse(1, 0, 0);
  switch (op) {
    case D3DTOP_SELECTARG1:
      *first = Factor(arg1, textureBound);
      *second = one;
      break;
    case D3DTOP_SELECTARG2:
      *first = Factor(arg2, textureBound);
      *second = one;
      break;
    case D3DTOP_MODULATE:
      *first = Factor(arg1, textureBound);
      *second = Factor(arg2, textureBound);
      break;
    default:
      *first = diffuse;
      *second = one;
      break;
  }
}

int UploadStage(const FixedState& state, bool textureBound, const ProgramUniforms& u) {
  const auto& s = state.stage[0];
  glm::vec3 color1, color2, alpha1, alpha2;
  Factors(s[D3DTSS_COLOROP], s[D3DTSS_COLORARG1], s[D3DTSS_COLORARG2], textureBound, &color1,
          &color2);
  // A disabled colour op disables the whole stage, alpha included.
  const DWORD alphaOp = s[D3DTSS_COLOROP] == D3DTOP_DISABLE ? D3DTOP_DISABLE : s[D3DTSS_ALPHAOP];
  Factors(alphaOp, s[D3DTSS_ALPHAARG1], s[D3DTSS_ALPHAARG2], textureBound, &alpha1, &alpha2);
  const float specular = state.render[D3DRS_SPECULARENABLE] != FALSE ? 1.0f : 0.0f;
  const glm::vec4 select[4] = {glm::vec4(color1, specular), glm::vec4(color2, 0),
                               glm::vec4(alpha1, 0), glm::vec4(alpha2, 0)};
  glUniform4fv(u.select, 4, glm::value_ptr(select[0]));
  return 1;
}

}  // namespace

GLuint BuildFixedFunctionProgram(ProgramUniforms* uniforms) {
  GLuint vertex = CompileShader(GL_VERTEX_SHADER, VERTEX_SHADER, "vertex shader compilation");
  GLuint fragment =
      CompileShader(GL_FRAGMENT_SHADER, FRAGMENT_SHADER, "fragment shader compilation");
  GLuint program = 0;
  if (vertex != 0 && fragment != 0) {
    program = CreateGl(GlKind::Program);
    glAttachShader(program, vertex);
    glAttachShader(program, fragment);
    glLinkProgram(program);
    GLint linked = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    glDetachShader(program, vertex);
    glDetachShader(program, fragment);
    if (linked != GL_TRUE) {
      ReportBuildFailure(program, true, "shader program link");
      DestroyGl(GlKind::Program, &program, true);
    }
  }
  DestroyGl(GlKind::Shader, &vertex, true);
  DestroyGl(GlKind::Shader, &fragment, true);
  if (program != 0) FindUniforms(program, uniforms);
  CheckGl("BuildFixedFunctionProgram");
  return program;
}

int UploadUniforms(const FixedState& state, const FvfLayout& layout, bool textureBound,
                   unsigned dirty, const ProgramUniforms& uniforms) {
  int calls = 0;
  if ((dirty & DIRTY_TRANSFORM) != 0) calls += UploadTransforms(state, uniforms);
  if ((dirty & DIRTY_LIGHTS) != 0) calls += UploadLights(state, uniforms);
  if ((dirty & DIRTY_MATERIAL) != 0) calls += UploadMaterial(state, uniforms);
  // The light count travels with the lighting switches.
  if ((dirty & (DIRTY_LIGHTING | DIRTY_LIGHTS)) != 0) {
    calls += UploadLightingSwitches(state, layout, uniforms);
  }
  if ((dirty & (DIRTY_STAGE | DIRTY_TEXTURE)) != 0)
    calls += UploadStage(state, textureBound, uniforms);
  return calls;
}

}  // namespace d3d9gl
