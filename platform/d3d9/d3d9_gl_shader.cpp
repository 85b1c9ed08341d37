// The GLSL program that stands in for Direct3D 9's fixed-function pipeline in
// the subset the device offers: per-vertex lighting by one spot light with
// colour material sources and local-viewer specular, then texture stage 0
// (texel x lit diffuse) and the specular add, with Direct3D's pixel centres
// and depth range. Every choice left to the state acts per vertex, so one
// program draws every state with the same per-pixel code. Also the uniform
// upload from the device's state record and the GL build diagnostics.
#include "platform/d3d9/d3d9_gl_shader.h"

#include <cmath>
#include <cstdio>
#include <glm/glm.hpp>
#include <glm/gtc/matrix_inverse.hpp>
#include <glm/gtc/type_ptr.hpp>
#include <string>

#include "platform/d3d9/d3d9_gl_objects.h"

namespace d3d9gl {
namespace {

constexpr const char* GLSL_VERSION = "#version 330 core\n";

// Direct3D 9 vertex lighting as its documentation on the mathematics of
// lighting, attenuation and the spotlight factor, and specular lighting gives
// it, in camera space (left-handed, camera at the origin looking down +z). Matrices arrive as Direct3D's row-major
// arrays, which GLSL reads as their transposes, so M * v here is v * M there.
// NORMALIZENORMALS stays FALSE and LOCALVIEWER TRUE, their defaults.
constexpr const char* VERTEX_SHADER = R"(
layout(location = 0) in vec3 inPosition;
layout(location = 1) in vec3 inNormal;
layout(location = 2) in vec4 inDiffuse;
layout(location = 3) in vec4 inSpecular;
layout(location = 4) in vec2 inTexCoord;

uniform mat4 uWorldView;
uniform mat4 uProjection;
uniform mat3 uNormalMatrix;  // inverse transpose of world-view's upper 3x3
uniform vec2 uPixelOffset;   // half a pixel in normalised units: 1 / width, 1 / height
// The spot light: position+range, axis+falloff, diffuse, specular, ambient,
// (attenuation 0, 1, 2), (cos(theta / 2), cos(phi / 2)).
uniform vec4 uLight[7];
uniform bool uLightOn;
uniform vec4 uMaterial[5];  // diffuse, ambient, specular, emissive, (power)
uniform vec4 uAmbient;
uniform ivec3 uSources;  // ambient, diffuse, specular: 0 material, 1 vertex diffuse, 2 vertex specular
uniform bool uSpecularOn;

out vec4 vDiffuse;
out vec3 vSpecular;
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

// Full cone angles: inside the inner cone 1, outside the outer 0, between them the falloff curve.
float SpotFactor(vec3 toLight) {
  float rho = dot(uLight[1].xyz, -toLight);
  vec2 cones = uLight[6].xy;
  if (rho > cones.x) return 1.0;
  if (rho <= cones.y) return 0.0;
  return pow((rho - cones.y) / (cones.x - cones.y), uLight[1].w);
}

void main() {
  vec4 eye = uWorldView * vec4(inPosition, 1.0);
  vec4 clip = uProjection * eye;
  // Direct3D's pixel centres lie on integers, GL's on halves: half a pixel right and down.
  clip.xy += vec2(uPixelOffset.x, -uPixelOffset.y) * clip.w;
  // Under clip control GL's window origin is Direct3D's top left, which would show the picture
  // upside down in GL's bottom-up window rows: turning y over puts it upright again and keeps
  // Direct3D's view of which edges are the top ones.
  clip.y = -clip.y;
  gl_Position = clip;
  vTexCoord = inTexCoord;
  vec3 normal = uNormalMatrix * inNormal;
  vec3 toViewer = -SafeNormalize(eye.xyz);
  vec3 ambient = uAmbient.rgb;
  vec3 diffuse = vec3(0.0);
  vec3 specular = vec3(0.0);
  vec3 offset = uLight[0].xyz - eye.xyz;
  float distance = length(offset);
  // Beyond its range a light adds nothing, not even its ambient part.
  if (uLightOn && distance <= uLight[0].w) {
    vec3 toLight = distance > 0.0 ? offset / distance : vec3(0.0);
    vec3 k = uLight[5].xyz;
    float attenuation = SpotFactor(toLight) / (k.x + k.y * distance + k.z * distance * distance);
    ambient += uLight[4].rgb * attenuation;
    float nDotL = dot(normal, toLight);
    diffuse += clamp(nDotL, 0.0, 1.0) * uLight[2].rgb * attenuation;
    float nDotH = dot(normal, SafeNormalize(toLight + toViewer));
    if (nDotL > 0.0 && nDotH > 0.0) {
      specular += pow(nDotH, uMaterial[4].x) * uLight[3].rgb * attenuation;
    }
  }
  vec4 ca = Reflectance(uSources.x, uMaterial[1]);
  vec4 cd = Reflectance(uSources.y, uMaterial[0]);
  vec4 cs = Reflectance(uSources.z, uMaterial[2]);
  // The emissive colour keeps its default source, the material.
  vDiffuse = clamp(vec4(ca.rgb * ambient + cd.rgb * diffuse + uMaterial[3].rgb, cd.a), 0.0, 1.0);
  vSpecular = uSpecularOn ? clamp(cs.rgb * specular, 0.0, 1.0) : vec3(0.0);
}
)";

// Texture stage 0's MODULATE of the texel and the lit diffuse colour, then the
// specular add of D3DRS_SPECULARENABLE (zero when it is off). The 8-bit target
// clamps. Alpha is never read: no blending, no alpha test, an X8R8G8B8 target.
constexpr const char* FRAGMENT_SHADER = R"(
in vec4 vDiffuse;
in vec3 vSpecular;
in vec2 vTexCoord;

uniform sampler2D uTexture;

out vec4 outColor;

void main() {
  vec4 texel = texture(uTexture, vTexCoord);
  outColor = vec4(texel.rgb * vDiffuse.rgb + vSpecular, 1.0);
  ROUND_DEPTH
}
)";

// A deeper depth buffer orders fragments as a 16-bit one does when every depth
// is first rounded to one of its 65536 steps.
std::string RoundDepthCode(bool roundDepthTo16) {
  if (!roundDepthTo16) return "#define ROUND_DEPTH\n";
  return "#define ROUND_DEPTH gl_FragDepth = round(gl_FragCoord.z * 65535.0) / 65535.0;\n";
}

// Records why the build failed, with the first line of the info log (the
// failure reason keeps one line).
void ReportBuildFailure(GLuint object, bool isProgram, const char* what) {
  char log[512] = "";
  if (isProgram) {
    glGetProgramInfoLog(object, sizeof log, nullptr, log);
  } else {
    glGetShaderInfoLog(object, sizeof log, nullptr, log);
  }
  char reason[640];
  std::snprintf(reason, sizeof reason, "CreateDevice: %s failed: %s", what,
                log[0] != '\0' ? log : "no log");
  Fail(D3DERR_NOTAVAILABLE, reason);
}

// Compiles the version line, defines and body as one shader; 0 when it does not compile.
GLuint CompileShader(GLenum stage, const std::string& defines, const char* body, const char* what) {
  const char* parts[] = {GLSL_VERSION, defines.c_str(), body};
  GLuint shader = Counted(glCreateShader(stage));
  glShaderSource(shader, 3, parts, nullptr);
  glCompileShader(shader);
  GLint compiled = GL_FALSE;
  glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
  if (compiled != GL_TRUE) {
    ReportBuildFailure(shader, false, what);
    DestroyGl(glDeleteShader, &shader);
  }
  return shader;
}

GLuint LinkProgram(GLuint vertex, GLuint fragment) {
  GLuint program = Counted(glCreateProgram());
  glAttachShader(program, vertex);
  glAttachShader(program, fragment);
  glLinkProgram(program);
  GLint linked = GL_FALSE;
  glGetProgramiv(program, GL_LINK_STATUS, &linked);
  glDetachShader(program, vertex);
  glDetachShader(program, fragment);
  if (linked != GL_TRUE) {
    ReportBuildFailure(program, true, "shader program link");
    DestroyGl(glDeleteProgram, &program);
  }
  return program;
}

ProgramUniforms FindUniforms(GLuint program) {
  auto at = [program](const char* name) { return glGetUniformLocation(program, name); };
  return {at("uWorldView"), at("uProjection"), at("uNormalMatrix"), at("uPixelOffset"),
          at("uLight"),     at("uLightOn"),    at("uMaterial"),     at("uAmbient"),
          at("uSources"),   at("uSpecularOn"), at("uTexture")};
}

// Direct3D's row-major array read column by column, i.e. its transpose.
glm::mat4 AsGlm(const D3DMATRIX& m) { return glm::make_mat4(&m.m[0][0]); }

glm::vec4 AsVec4(const D3DCOLORVALUE& c) { return {c.r, c.g, c.b, c.a}; }

glm::vec4 AsVec4(D3DCOLOR c) {
  return glm::vec4((c >> 16) & 0xFFu, (c >> 8) & 0xFFu, c & 0xFFu, (c >> 24) & 0xFFu) / 255.0f;
}

void UploadTransforms(const FixedState& state, const ProgramUniforms& u) {
  // (W * V)^T = V^T * W^T: the GLSL-side world-view of Direct3D's W * V.
  const glm::mat4 worldView = AsGlm(state.view) * AsGlm(state.world);
  const glm::mat3 upper(worldView);
  // GLSL wants (WV3)^-1 so that N * v equals Direct3D's n * inverse-transpose(WV3).
  const bool invertible = std::fabs(glm::determinant(upper)) > 1e-20f;
  const glm::mat3 normal = invertible ? glm::inverseTranspose(upper) : glm::mat3(0.0f);
  glUniformMatrix4fv(u.worldView, 1, GL_FALSE, glm::value_ptr(worldView));
  glUniformMatrix4fv(u.projection, 1, GL_FALSE, &state.projection.m[0][0]);
  glUniformMatrix3fv(u.normalMatrix, 1, GL_FALSE, glm::value_ptr(normal));
}

// The light moves to camera space by the view matrix only; its axis is normalised.
void UploadLight(const FixedState& state, const ProgramUniforms& u) {
  glUniform1i(u.lightOn, state.lightEnabled ? 1 : 0);
  if (!state.lightEnabled) return;
  const D3DLIGHT9& light = state.light;
  const glm::mat4 view = AsGlm(state.view);
  const glm::vec4 position =
      view * glm::vec4(light.Position.x, light.Position.y, light.Position.z, 1.0f);
  const glm::vec3 axis = glm::normalize(
      glm::vec3(view * glm::vec4(light.Direction.x, light.Direction.y, light.Direction.z, 0.0f)));
  const glm::vec4 packed[7] = {
      glm::vec4(glm::vec3(position), light.Range), glm::vec4(axis, light.Falloff),
      AsVec4(light.Diffuse), AsVec4(light.Specular), AsVec4(light.Ambient),
      glm::vec4(light.Attenuation0, light.Attenuation1, light.Attenuation2, 0.0f),
      // Theta and Phi are full cone angles.
      glm::vec4(std::cos(light.Theta / 2), std::cos(light.Phi / 2), 0.0f, 0.0f)};
  glUniform4fv(u.light, 7, glm::value_ptr(packed[0]));
}

void UploadMaterial(const FixedState& state, const ProgramUniforms& u) {
  const D3DMATERIAL9& m = state.material;
  const glm::vec4 values[5] = {AsVec4(m.Diffuse), AsVec4(m.Ambient), AsVec4(m.Specular),
                               AsVec4(m.Emissive), glm::vec4(m.Power, 0.0f, 0.0f, 0.0f)};
  glUniform4fv(u.material, 5, glm::value_ptr(values[0]));
}

// The vertex always carries both colours, so each material colour source is
// used as set; Direct3D falls back to the material only for a missing colour.
void UploadLighting(const FixedState& state, const ProgramUniforms& u) {
  const auto& r = state.render;
  glUniform4fv(u.ambient, 1, glm::value_ptr(AsVec4(r[D3DRS_AMBIENT])));
  glUniform3i(u.sources, static_cast<GLint>(r[D3DRS_AMBIENTMATERIALSOURCE]),
              static_cast<GLint>(r[D3DRS_DIFFUSEMATERIALSOURCE]),
              static_cast<GLint>(r[D3DRS_SPECULARMATERIALSOURCE]));
  glUniform1i(u.specularOn, r[D3DRS_SPECULARENABLE] != FALSE ? 1 : 0);
}

}  // namespace

ShaderProgram BuildProgram(UINT width, UINT height, bool roundDepthTo16) {
  ShaderProgram built;
  GLuint vertex = CompileShader(GL_VERTEX_SHADER, "", VERTEX_SHADER, "vertex shader compilation");
  GLuint fragment = CompileShader(GL_FRAGMENT_SHADER, RoundDepthCode(roundDepthTo16),
                                  FRAGMENT_SHADER, "fragment shader compilation");
  if (vertex != 0 && fragment != 0) built.name = LinkProgram(vertex, fragment);
  DestroyGl(glDeleteShader, &vertex);
  DestroyGl(glDeleteShader, &fragment);
  if (built.name != 0) {
    built.uniforms = FindUniforms(built.name);
    glUseProgram(built.name);
    glUniform1i(built.uniforms.sampler, 0);
    glUniform2f(built.uniforms.pixelOffset, 1.0f / static_cast<float>(width),
                1.0f / static_cast<float>(height));
  }
  CheckGl("BuildProgram");
  return built;
}

void UploadUniforms(const FixedState& state, unsigned dirty, const ProgramUniforms& uniforms) {
  if ((dirty & DIRTY_TRANSFORM) != 0) UploadTransforms(state, uniforms);
  if ((dirty & DIRTY_LIGHT) != 0) UploadLight(state, uniforms);
  if ((dirty & DIRTY_MATERIAL) != 0) UploadMaterial(state, uniforms);
  if ((dirty & DIRTY_LIGHTING) != 0) UploadLighting(state, uniforms);
}

}  // namespace d3d9gl
