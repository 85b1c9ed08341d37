// The GLSL programs that stand in for Direct3D 9's fixed-function pipeline:
// per-vertex lighting (point, spot and directional lights, colour material
// sources, local-viewer specular), texture stage 0 and the specular add, with
// the pixel-centre and depth-range fix-up. One shader text is specialised by
// #defines: a variant per state combination fixes every choice in the code;
// the generic program reads them from uniforms. Also the uniform upload from
// the device's state record, group by group, and the GL build diagnostics.
#include <cmath>
#include <cstdio>
#include <glm/glm.hpp>
#include <glm/gtc/matrix_inverse.hpp>
#include <glm/gtc/type_ptr.hpp>
#include <string>

#include "platform/d3d9/d3d9_gl_internal.h"

namespace d3d9gl {
namespace {

// How far Direct3D's integer pixel centres sit from GL's half-integer ones;
// a hair under one half pixel keeps Direct3D's top-left fill rule.
constexpr float PIXEL_CENTRE_SHIFT = 63.0f / 64.0f;

constexpr const char* GLSL_VERSION = "#version 330 core\n";

// Direct3D 9 vertex lighting [Mathematics of Lighting; Attenuation and
// Spotlight Factor; Specular Lighting], in camera space (left-handed, camera
// at the origin looking down +z). Matrices arrive as Direct3D's row-major
// arrays, which GLSL reads as their transposes, so M * v here is v * M there.
// Needs LIGHTING, NORMALIZE_NORMALS, LOCAL_VIEWER, SPECULAR, LIGHTS (the
// AddLight calls) and the four *_SOURCE reflectance sources defined.
constexpr const char* VERTEX_SHADER = R"(
layout(location = 0) in vec3 inPosition;
layout(location = 1) in vec3 inNormal;
layout(location = 2) in vec4 inDiffuse;
layout(location = 3) in vec4 inSpecular;
layout(location = 4) in vec2 inTexCoord;

uniform mat4 uWorldView;
uniform mat4 uProjection;
uniform mat3 uNormalMatrix;  // inverse transpose of world-view's upper 3x3
uniform vec2 uPixelOffset;   // (63/64) / back buffer width, height
uniform ivec4 uFlags;        // generic only: lighting, normalize normals, local viewer, lights
uniform ivec4 uSources;      // generic only: ambient, diffuse, specular, emissive sources
uniform vec4 uMaterial[5];   // diffuse, ambient, specular, emissive, (power)
uniform vec4 uAmbient;
// Per light: position+type, direction+range, diffuse, specular, ambient,
// (attenuation 0, 1, 2, falloff), (cos(theta/2), cos(phi/2)).
uniform vec4 uLights[56];

out vec4 vDiffuse;
out vec4 vSpecular;
out vec2 vTexCoord;

struct Lighting {
  vec3 position;
  vec3 normal;
  vec3 toViewer;
  vec3 ambient;
  vec3 diffuse;
  vec3 specular;
};

// Source 0 is the material's colour, 1 the vertex diffuse, 2 the vertex specular.
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

// Adds the light at uLights[base], of type 1 point, 2 spot or 3 directional.
void AddLight(inout Lighting l, int base, int type) {
  vec4 where = uLights[base];
  vec4 axis = uLights[base + 1];
  vec4 k = uLights[base + 5];
  vec3 toLight = -axis.xyz;
  float attenuation = 1.0;
  if (type != 3) {
    vec3 offset = where.xyz - l.position;
    float distance = length(offset);
    if (distance > axis.w) return;
    toLight = distance > 0.0 ? offset / distance : vec3(0.0);
    attenuation = 1.0 / (k.x + k.y * distance + k.z * distance * distance);
    if (type == 2) attenuation *= SpotFactor(axis.xyz, toLight, uLights[base + 6].xy, k.w);
  }
  l.ambient += uLights[base + 4].rgb * attenuation;
  float nDotL = dot(l.normal, toLight);
  l.diffuse += clamp(nDotL, 0.0, 1.0) * uLights[base + 2].rgb * attenuation;
  if (SPECULAR && nDotL > 0.0) {
    float nDotH = dot(l.normal, SafeNormalize(toLight + l.toViewer));
    if (nDotH > 0.0) l.specular += pow(nDotH, uMaterial[4].x) * uLights[base + 3].rgb * attenuation;
  }
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
  if (!LIGHTING) {
    vDiffuse = inDiffuse;
    vSpecular = inSpecular;
    return;
  }
  Lighting l;
  l.position = eye.xyz;
  l.normal = uNormalMatrix * inNormal;
  if (NORMALIZE_NORMALS) l.normal = SafeNormalize(l.normal);
  l.toViewer = LOCAL_VIEWER ? -SafeNormalize(l.position) : vec3(0.0, 0.0, -1.0);
  l.ambient = uAmbient.rgb;
  l.diffuse = vec3(0.0);
  l.specular = vec3(0.0);
  LIGHTS
  vec4 ca = Reflectance(AMBIENT_SOURCE, uMaterial[1]);
  vec4 cd = Reflectance(DIFFUSE_SOURCE, uMaterial[0]);
  vec4 cs = Reflectance(SPECULAR_SOURCE, uMaterial[2]);
  vec4 ce = Reflectance(EMISSIVE_SOURCE, uMaterial[3]);
  vDiffuse = clamp(vec4(ca.rgb * l.ambient + cd.rgb * l.diffuse + ce.rgb, cd.a), 0.0, 1.0);
  vSpecular = vec4(clamp(cs.rgb * l.specular, 0.0, 1.0), 0.0);
}
)";

// The generic program's choices, read from uniforms at run time.
constexpr const char* GENERIC_VERTEX_DEFINES = R"(
#define LIGHTING (uFlags.x != 0)
#define NORMALIZE_NORMALS (uFlags.y != 0)
#define LOCAL_VIEWER (uFlags.z != 0)
#define SPECULAR true
#define LIGHTS for (int i = 0; i < uFlags.w; ++i) AddLight(l, 7 * i, int(uLights[7 * i].w));
#define AMBIENT_SOURCE uSources.x
#define DIFFUSE_SOURCE uSources.y
#define SPECULAR_SOURCE uSources.z
#define EMISSIVE_SOURCE uSources.w
)";

// Texture stage 0 [D3DTEXTUREOP, D3DTA], then the specular add of
// D3DRS_SPECULARENABLE. Every op this layer accepts is a product of two
// factors, each the diffuse colour, the texel or one: COLOR_1 * COLOR_2 and
// ALPHA_1 * ALPHA_2. The 8-bit target clamps.
constexpr const char* FRAGMENT_SHADER = R"(
in vec4 vDiffuse;
in vec4 vSpecular;
in vec2 vTexCoord;

uniform sampler2D uTexture;
uniform vec4 uSelect[4];  // generic only: the four factors' weights, see GENERIC_FRAGMENT_DEFINES

out vec4 outColor;

void main() {
  vec4 texel = texture(uTexture, vTexCoord);
  outColor = vec4(ADD_SPECULAR(COLOR_1 * COLOR_2), ALPHA_1 * ALPHA_2);
}
)";

// The generic program weighs each factor's (diffuse, texel, one) by uSelect
// rather than branching (llvmpipe shades faster without branches);
// uSelect[0].w turns the specular add on.
constexpr const char* GENERIC_FRAGMENT_DEFINES = R"(
#define COLOR_1 (vDiffuse.rgb * uSelect[0].x + texel.rgb * uSelect[0].y + uSelect[0].z)
#define COLOR_2 (vDiffuse.rgb * uSelect[1].x + texel.rgb * uSelect[1].y + uSelect[1].z)
#define ALPHA_1 (vDiffuse.a * uSelect[2].x + texel.a * uSelect[2].y + uSelect[2].z)
#define ALPHA_2 (vDiffuse.a * uSelect[3].x + texel.a * uSelect[3].y + uSelect[3].z)
#define ADD_SPECULAR(color) (color + vSpecular.rgb * uSelect[0].w)
)";

std::string Define(const char* name, const std::string& value) {
  return std::string("#define ") + name + " " + value + "\n";
}

std::string Flag(bool on) { return on ? "true" : "false"; }

// A variant's vertex choices, fixed: its lights unrolled with their types.
std::string VertexDefines(const ShaderKey& key) {
  std::string lights;
  for (DWORD i = 0; i < MAX_LIGHTS && key.lightTypes[i] != 0; ++i) {
    lights += "AddLight(l, " + std::to_string(LIGHT_VEC4S * i) + ", " +
              std::to_string(key.lightTypes[i]) + "); ";
  }
  return Define("LIGHTING", Flag(key.lighting)) +
         Define("NORMALIZE_NORMALS", Flag(key.normalizeNormals)) +
         Define("LOCAL_VIEWER", Flag(key.localViewer)) + Define("SPECULAR", Flag(key.specular)) +
         Define("LIGHTS", lights) + Define("AMBIENT_SOURCE", std::to_string(key.sources[0])) +
         Define("DIFFUSE_SOURCE", std::to_string(key.sources[1])) +
         Define("SPECULAR_SOURCE", std::to_string(key.sources[2])) +
         Define("EMISSIVE_SOURCE", std::to_string(key.sources[3]));
}

// Each StageFactor as GLSL, for the colour product and for the alpha product.
constexpr const char* FACTOR_CODE[2][3] = {{"vDiffuse.rgb", "texel.rgb", "vec3(1.0)"},
                                           {"vDiffuse.a", "texel.a", "1.0"}};

std::string FactorCode(StageFactor factor, bool alpha) {
  return FACTOR_CODE[alpha][static_cast<int>(factor)];
}

// A variant's stage, fixed: the two products' factors and the specular add.
std::string FragmentDefines(const ShaderKey& key) {
  return Define("COLOR_1", FactorCode(key.factors[0], false)) +
         Define("COLOR_2", FactorCode(key.factors[1], false)) +
         Define("ALPHA_1", FactorCode(key.factors[2], true)) +
         Define("ALPHA_2", FactorCode(key.factors[3], true)) +
         Define("ADD_SPECULAR(color)", key.specular ? "(color + vSpecular.rgb)" : "(color)");
}

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
  std::snprintf(reason, sizeof reason, "DrawPrimitive: %s failed (log on stderr)", what);
  Fail(D3DERR_NOTAVAILABLE, reason);
}

// Compiles the version line, defines and body as one shader; 0 when it does not compile.
GLuint CompileShader(GLenum stage, const std::string& defines, const char* body, const char* what) {
  const char* parts[] = {GLSL_VERSION, defines.c_str(), body};
  GLuint shader = CreateGlShader(stage);
  glShaderSource(shader, 3, parts, nullptr);
  glCompileShader(shader);
  GLint compiled = GL_FALSE;
  glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
  if (compiled != GL_TRUE) {
    ReportBuildFailure(shader, false, what);
    DestroyGl(GlKind::Shader, &shader, true);
  }
  return shader;
}

GLuint LinkProgram(GLuint vertex, GLuint fragment) {
  GLuint program = CreateGl(GlKind::Program);
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
  return program;
}

// Uniforms a variant does not read are inactive there and get location -1.
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
std::uint8_t ColorSource(const FixedState& state, const FvfLayout& layout, DWORD renderState) {
  const DWORD source = state.render[renderState];
  if (state.render[D3DRS_COLORVERTEX] == FALSE) return D3DMCS_MATERIAL;
  if (source == D3DMCS_COLOR1 && layout.diffuse < 0) return D3DMCS_MATERIAL;
  if (source == D3DMCS_COLOR2 && layout.specular < 0) return D3DMCS_MATERIAL;
  return static_cast<std::uint8_t>(source);
}

std::array<std::uint8_t, 4> ColorSources(const FixedState& state, const FvfLayout& layout) {
  return {ColorSource(state, layout, D3DRS_AMBIENTMATERIALSOURCE),
          ColorSource(state, layout, D3DRS_DIFFUSEMATERIALSOURCE),
          ColorSource(state, layout, D3DRS_SPECULARMATERIALSOURCE),
          ColorSource(state, layout, D3DRS_EMISSIVEMATERIALSOURCE)};
}

int UploadLightingSwitches(const FixedState& state, const FvfLayout& layout,
                           const ProgramUniforms& u) {
  glUniform4fv(u.ambient, 1, glm::value_ptr(AsVec4(state.render[D3DRS_AMBIENT])));
  if (u.flags < 0) return 1;  // a variant has the switches in its code
  glUniform4i(u.flags, state.render[D3DRS_LIGHTING] != FALSE,
              state.render[D3DRS_NORMALIZENORMALS] != FALSE,
              state.render[D3DRS_LOCALVIEWER] != FALSE, EnabledLights(state));
  const std::array<std::uint8_t, 4> s = ColorSources(state, layout);
  glUniform4i(u.sources, s[0], s[1], s[2], s[3]);
  return 3;
}

// The factor that reads argument `source`. Stage 0's CURRENT is the diffuse
// colour; with no texture bound a texture argument reads opaque white.
StageFactor Factor(DWORD source, bool textureBound) {
  if (source == D3DTA_TEXTURE) return textureBound ? StageFactor::TEXEL : StageFactor::ONE;
  return StageFactor::DIFFUSE;
}

// The two factors of an op [D3DTEXTUREOP]: SELECTARGn is argument n times one,
// MODULATE the product of both, DISABLE passes the diffuse colour on.
void Factors(DWORD op, DWORD arg1, DWORD arg2, bool textureBound, StageFactor* first,
             StageFactor* second) {
  *second = StageFactor::ONE;
  switch (op) {
    case D3DTOP_SELECTARG1:
      *first = Factor(arg1, textureBound);
      break;
    case D3DTOP_SELECTARG2:
      *first = Factor(arg2, textureBound);
      break;
    case D3DTOP_MODULATE:
      *first = Factor(arg1, textureBound);
      *second = Factor(arg2, textureBound);
      break;
    default:
      *first = StageFactor::DIFFUSE;
      break;
  }
}

// The generic program's weights (diffuse, texel, one) of a factor.
glm::vec3 Weights(StageFactor factor) {
  glm::vec3 weights(0.0f);
  weights[static_cast<int>(factor)] = 1.0f;
  return weights;
}

int UploadStage(const ShaderKey& stage, const ProgramUniforms& u) {
  if (u.select < 0) return 0;  // a variant has the stage in its code
  const glm::vec4 select[4] = {glm::vec4(Weights(stage.factors[0]), stage.specular ? 1.0f : 0.0f),
                               glm::vec4(Weights(stage.factors[1]), 0),
                               glm::vec4(Weights(stage.factors[2]), 0),
                               glm::vec4(Weights(stage.factors[3]), 0)};
  glUniform4fv(u.select, 4, glm::value_ptr(select[0]));
  return 1;
}

}  // namespace

ShaderKey MakeShaderKey(const FixedState& state, const FvfLayout& layout, bool textureBound) {
  ShaderKey key;
  const auto& s = state.stage[0];
  Factors(s[D3DTSS_COLOROP], s[D3DTSS_COLORARG1], s[D3DTSS_COLORARG2], textureBound,
          &key.factors[0], &key.factors[1]);
  // A disabled colour op disables the whole stage, alpha included.
  const DWORD alphaOp = s[D3DTSS_COLOROP] == D3DTOP_DISABLE ? D3DTOP_DISABLE : s[D3DTSS_ALPHAOP];
  Factors(alphaOp, s[D3DTSS_ALPHAARG1], s[D3DTSS_ALPHAARG2], textureBound, &key.factors[2],
          &key.factors[3]);
  key.specular = state.render[D3DRS_SPECULARENABLE] != FALSE;
  key.lighting = state.render[D3DRS_LIGHTING] != FALSE;
  // Unlit vertices pass their colours on: nothing else reaches the code.
  if (!key.lighting) return key;
  key.normalizeNormals = state.render[D3DRS_NORMALIZENORMALS] != FALSE;
  key.localViewer = key.specular && state.render[D3DRS_LOCALVIEWER] != FALSE;
  DWORD count = 0;
  for (const LightSlot& slot : state.lights) {
    if (slot.enabled) key.lightTypes[count++] = static_cast<std::uint8_t>(slot.light.Type);
  }
  key.sources = ColorSources(state, layout);
  return key;
}

ShaderProgram BuildProgram(const ShaderKey& key, UINT width, UINT height) {
  ShaderProgram built{key, 0, {}};
  const std::string vertexDefines = key.generic ? GENERIC_VERTEX_DEFINES : VertexDefines(key);
  const std::string fragmentDefines = key.generic ? GENERIC_FRAGMENT_DEFINES : FragmentDefines(key);
  GLuint vertex =
      CompileShader(GL_VERTEX_SHADER, vertexDefines, VERTEX_SHADER, "vertex shader compilation");
  GLuint fragment = CompileShader(GL_FRAGMENT_SHADER, fragmentDefines, FRAGMENT_SHADER,
                                  "fragment shader compilation");
  if (vertex != 0 && fragment != 0) built.name = LinkProgram(vertex, fragment);
  DestroyGl(GlKind::Shader, &vertex, true);
  DestroyGl(GlKind::Shader, &fragment, true);
  if (built.name != 0) {
    FindUniforms(built.name, &built.uniforms);
    glUseProgram(built.name);
    glUniform1i(built.uniforms.sampler, 0);
    glUniform2f(built.uniforms.pixelOffset, PIXEL_CENTRE_SHIFT / static_cast<float>(width),
                PIXEL_CENTRE_SHIFT / static_cast<float>(height));
  }
  CheckGl("BuildProgram");
  return built;
}

int UploadUniforms(const FixedState& state, const FvfLayout& layout, const ShaderKey& stage,
                   unsigned dirty, const ProgramUniforms& uniforms) {
  int calls = 0;
  if ((dirty & DIRTY_TRANSFORM) != 0) calls += UploadTransforms(state, uniforms);
  if ((dirty & DIRTY_LIGHTS) != 0) calls += UploadLights(state, uniforms);
  if ((dirty & DIRTY_MATERIAL) != 0) calls += UploadMaterial(state, uniforms);
  // The light count travels with the lighting switches.
  if ((dirty & (DIRTY_LIGHTING | DIRTY_LIGHTS)) != 0) {
    calls += UploadLightingSwitches(state, layout, uniforms);
  }
  if ((dirty & (DIRTY_STAGE | DIRTY_TEXTURE)) != 0) calls += UploadStage(stage, uniforms);
  return calls;
}

}  // namespace d3d9gl
