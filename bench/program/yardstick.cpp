// The viewer's yardstick: the same picture drawn by the least a hand-written SDL2 + OpenGL 3.3
// core program needs, straight into the window. The model room's vertices and strips, leopard.jpg
// decoded by SDL2_image (from the working directory, else its parent, as the viewer looks), and
// one shader that computes the fixed-function result of the viewer's one state: its spot light,
// vertex-coloured material, local-viewer specular, global ambient, unnormalised normals, per-vertex
// clamped colours, texture MODULATE then specular add, Direct3D's pixel centres and depth range.
// No device, no window layer: what the viewer costs beyond this is what its layers cost.
//   tavenor_yardstick rate           frames/s over ROUND, unpaced, printed
//   tavenor_yardstick first-frame    one frame presented, then exit
//   tavenor_yardstick show           the picture, redrawn when exposed, until the window closes
//   tavenor_yardstick follow         as show, and each motion turns the word and draws at once
// Exits with 1 and one line on stderr on any failure.
#include <SDL.h>
#include <SDL_image.h>
#include <epoxy/gl.h>

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <glm/ext/matrix_clip_space.hpp>
#include <glm/ext/matrix_transform.hpp>
#include <glm/glm.hpp>
#include <glm/gtc/matrix_inverse.hpp>
#include <glm/gtc/type_ptr.hpp>
#include <string>
#include <vector>

#include "model/glyph_model.h"

namespace {

constexpr int WIDTH = 600;
constexpr int HEIGHT = 300;
constexpr auto ROUND = std::chrono::seconds(2);  // as frame_rate.cpp measures the viewer
constexpr int WARM_UP_FRAMES = 30;               // as frame_rate.cpp warms the viewer up
constexpr float PI = glm::pi<float>();

[[noreturn]] void Die(const char* step, const char* cause) {
  std::fprintf(stderr, "tavenor_yardstick: %s: %s\n", step, cause);
  std::exit(1);
}

// The matrices are GLM's, column vectors (v' = M * v). Stored column-major they are the very bytes
// of Direct3D's row-major row-vector matrices, which the shader reads as the device's do.

// ---- The scene's constants (render/transforms.cpp, render/lighting.cpp) ------------------------

constexpr glm::vec3 EYE{3.0f, 7.0f, -5.0f};
constexpr glm::vec3 TARGET{0.0f, 2.0f, 0.0f};
constexpr glm::vec3 UP{0.0f, 1.0f, 0.0f};
constexpr float MODEL_CENTRE_X = 6.0f;
constexpr glm::vec4 LIGHT_POSITION{5.0f, 20.0f, 5.0f, 1.0f};
constexpr glm::vec4 LIGHT_DIRECTION{-1.0f, -4.0f, -1.0f, 0.0f};
constexpr float LIGHT_THETA = PI / 6.0f;  // full cone angles
constexpr float LIGHT_PHI = PI / 4.0f;

// Per-vertex lighting of the one state, in camera space. The light is white in all three colours,
// so its sums are scalars; the material's emissive is black.
constexpr const char* VERTEX_SHADER = R"(#version 330 core
layout(location = 0) in vec3 inPosition;
layout(location = 1) in vec3 inNormal;
layout(location = 2) in vec4 inDiffuse;
layout(location = 3) in vec4 inSpecular;
layout(location = 4) in vec2 inTexCoord;

uniform mat4 uWorldView;
uniform mat4 uProjection;
uniform mat3 uNormalMatrix;   // inverse transpose of world-view's upper 3x3
uniform vec3 uLightPosition;  // camera space
uniform vec3 uLightAxis;      // camera space, unit length
uniform vec2 uCones;          // cos(theta / 2), cos(phi / 2)

out vec4 vDiffuse;
out vec4 vSpecular;
out vec2 vTexCoord;

const float RANGE = 100.0;
const vec3 ATTENUATION = vec3(1.0, 0.05, 0.001);
const float FALLOFF = 1.5;
const float GLOBAL_AMBIENT = 32.0 / 255.0;

float SpotFactor(vec3 toLight) {
  float rho = dot(uLightAxis, -toLight);
  if (rho > uCones.x) return 1.0;
  if (rho <= uCones.y) return 0.0;
  return pow((rho - uCones.y) / (uCones.x - uCones.y), FALLOFF);
}

void main() {
  vec4 eye = uWorldView * vec4(inPosition, 1.0);
  vec4 clip = uProjection * eye;
  // Direct3D's pixel centres lie on integers, GL's on halves: half a pixel right and down.
  clip.x += clip.w / 600.0;
  clip.y -= clip.w / 300.0;
  clip.z = 2.0 * clip.z - clip.w;  // Direct3D's depth runs 0..1
  gl_Position = clip;
  vTexCoord = inTexCoord;

  vec3 normal = uNormalMatrix * inNormal;  // not renormalised
  float ambient = GLOBAL_AMBIENT;
  float diffuse = 0.0;
  float specular = 0.0;
  vec3 offset = uLightPosition - eye.xyz;
  float distance = length(offset);
  if (distance <= RANGE) {
    vec3 toLight = offset / distance;
    float attenuation = SpotFactor(toLight) / dot(ATTENUATION, vec3(1.0, distance, distance * distance));
    ambient += attenuation;
    float nDotL = dot(normal, toLight);
    diffuse = clamp(nDotL, 0.0, 1.0) * attenuation;
    if (nDotL > 0.0) {
      float nDotH = dot(normal, normalize(toLight - normalize(eye.xyz)));
      if (nDotH > 0.0) specular = nDotH * attenuation;  // power 1
    }
  }
  vDiffuse = clamp(vec4(inDiffuse.rgb * ambient + inDiffuse.rgb * diffuse, inDiffuse.a), 0.0, 1.0);
  vSpecular = vec4(clamp(inSpecular.rgb * specular, 0.0, 1.0), 0.0);
}
)";

// Texture MODULATE diffuse, then the specular add; the 8-bit target clamps.
constexpr const char* FRAGMENT_SHADER = R"(#version 330 core
in vec4 vDiffuse;
in vec4 vSpecular;
in vec2 vTexCoord;
uniform sampler2D uTexture;
out vec4 outColor;

void main() {
  outColor = vec4(texture(uTexture, vTexCoord).rgb * vDiffuse.rgb + vSpecular.rgb, vDiffuse.a);
}
)";

// ---- GL objects -------------------------------------------------------------------------------

struct Scene {
  GLuint program = 0;
  GLint worldView = -1;
  GLint normalMatrix = -1;
  glm::mat4 view;
  std::vector<GLint> firsts;
  std::vector<GLsizei> counts;
};

GLuint CompileShader(GLenum stage, const char* source, const char* what) {
  const GLuint shader = glCreateShader(stage);
  glShaderSource(shader, 1, &source, nullptr);
  glCompileShader(shader);
  GLint compiled = GL_FALSE;
  glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
  if (compiled != GL_TRUE) {
    char log[512] = "";
    glGetShaderInfoLog(shader, sizeof log, nullptr, log);
    log[std::strcspn(log, "\n")] = '\0';  // the first message is enough for one line
    Die(what, log);
  }
  return shader;
}

GLuint LinkProgram() {
  const GLuint vertex = CompileShader(GL_VERTEX_SHADER, VERTEX_SHADER, "vertex shader");
  const GLuint fragment = CompileShader(GL_FRAGMENT_SHADER, FRAGMENT_SHADER, "fragment shader");
  const GLuint program = glCreateProgram();
  glAttachShader(program, vertex);
  glAttachShader(program, fragment);
  glLinkProgram(program);
  glDeleteShader(vertex);
  glDeleteShader(fragment);
  GLint linked = GL_FALSE;
  glGetProgramiv(program, GL_LINK_STATUS, &linked);
  if (linked != GL_TRUE) Die("shader program", "does not link");
  return program;
}

// The light moved to camera space by the view, and the cone cosines, set once: the view is fixed.
void SetLightUniforms(GLuint program, const glm::mat4& view) {
  const glm::vec3 position(view * LIGHT_POSITION);
  const glm::vec3 axis = glm::normalize(glm::vec3(view * LIGHT_DIRECTION));
  glUniform3fv(glGetUniformLocation(program, "uLightPosition"), 1, glm::value_ptr(position));
  glUniform3fv(glGetUniformLocation(program, "uLightAxis"), 1, glm::value_ptr(axis));
  glUniform2f(glGetUniformLocation(program, "uCones"), glm::cos(LIGHT_THETA / 2.0f),
              glm::cos(LIGHT_PHI / 2.0f));
}

// The viewer's vertices with texture coordinates, in one buffer read as the device reads a
// GlyphVertex: D3DCOLOR's bytes B, G, R, A are GL's BGRA order.
void UploadModel(Scene* scene) {
  std::vector<GlyphVertex> vertices(static_cast<std::size_t>(GLYPH_VERTEX_COUNT));
  BuildGlyphVertices(vertices);
  GenerateTextureCoordinates(vertices);
  GLuint array = 0, buffer = 0;
  glGenVertexArrays(1, &array);
  glBindVertexArray(array);
  glGenBuffers(1, &buffer);
  glBindBuffer(GL_ARRAY_BUFFER, buffer);
  glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertices.size() * sizeof(GlyphVertex)),
               vertices.data(), GL_STATIC_DRAW);
  const auto at = [](std::size_t offset) { return reinterpret_cast<const void*>(offset); };
  const GLsizei stride = sizeof(GlyphVertex);
  glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, stride, at(offsetof(GlyphVertex, position)));
  glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, stride, at(offsetof(GlyphVertex, normal)));
  glVertexAttribPointer(2, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, stride,
                        at(offsetof(GlyphVertex, diffuse)));
  glVertexAttribPointer(3, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, stride,
                        at(offsetof(GlyphVertex, specular)));
  glVertexAttribPointer(4, 2, GL_FLOAT, GL_FALSE, stride, at(offsetof(GlyphVertex, u)));
  for (GLuint i = 0; i < 5; ++i) glEnableVertexAttribArray(i);
  for (const GlyphStrip& strip : GlyphStripTable()) {
    scene->firsts.push_back(strip.firstVertex);
    scene->counts.push_back(strip.vertexCount);
  }
}

// leopard.jpg from the working directory, else its parent, as the viewer looks for it.
SDL_Surface* DecodeTexture() {
  for (const char* path : {"leopard.jpg", "../leopard.jpg"}) {
    SDL_RWops* file = SDL_RWFromFile(path, "rb");
    if (file == nullptr) continue;
    SDL_Surface* decoded = IMG_LoadJPG_RW(file);
    SDL_RWclose(file);
    if (decoded == nullptr) Die("leopard.jpg", IMG_GetError());
    return decoded;
  }
  Die("leopard.jpg", "in neither the working directory nor its parent");
}

bool PowerOfTwo(int side) { return side > 0 && (side & (side - 1)) == 0; }

// Top row first, so that (0, 0) is the image's top-left corner; nearest texel, wrapping. Alpha is
// not kept: a JPEG texture reads opaque.
void UploadTexture(SDL_Surface* decoded) {
  // The viewer's loader would resample other sizes to powers of two; this one draws as it is.
  if (!PowerOfTwo(decoded->w) || !PowerOfTwo(decoded->h)) {
    Die("leopard.jpg", "sides are not powers of two");
  }
  SDL_Surface* rgba = SDL_ConvertSurfaceFormat(decoded, SDL_PIXELFORMAT_RGBA32, 0);
  if (rgba == nullptr) Die("SDL_ConvertSurfaceFormat", SDL_GetError());
  GLuint texture = 0;
  glGenTextures(1, &texture);
  glBindTexture(GL_TEXTURE_2D, texture);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB8, rgba->w, rgba->h, 0, GL_RGBA, GL_UNSIGNED_BYTE,
               rgba->pixels);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
  SDL_FreeSurface(rgba);
}

Scene MakeScene(SDL_Surface* decoded) {
  Scene scene;
  scene.program = LinkProgram();
  glUseProgram(scene.program);
  scene.worldView = glGetUniformLocation(scene.program, "uWorldView");
  scene.normalMatrix = glGetUniformLocation(scene.program, "uNormalMatrix");
  glUniform1i(glGetUniformLocation(scene.program, "uTexture"), 0);
  scene.view = glm::lookAtLH(EYE, TARGET, UP);
  const glm::mat4 projection = glm::perspectiveLH_ZO(PI / 3.0f, 2.0f, 1.0f, 100.0f);
  glUniformMatrix4fv(glGetUniformLocation(scene.program, "uProjection"), 1, GL_FALSE,
                     glm::value_ptr(projection));
  SetLightUniforms(scene.program, scene.view);
  UploadModel(&scene);
  UploadTexture(decoded);
  // Direct3D's defaults where GL's differ: depth test LESSEQUAL, no dithering.
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);
  glDisable(GL_DITHER);
  glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
  if (glGetError() != GL_NO_ERROR) Die("OpenGL", "the scene's set-up raised an error");
  return scene;
}

// One frame with the word turned by turn about its middle: shifted first, then turned.
void DrawFrame(SDL_Window* window, const Scene& scene, const glm::mat4& turn = glm::mat4(1.0f)) {
  const glm::mat4 worldView =
      scene.view * turn * glm::translate(glm::mat4(1.0f), {-MODEL_CENTRE_X, 0.0f, 0.0f});
  const glm::mat3 normal = glm::inverseTranspose(glm::mat3(worldView));
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glUniformMatrix4fv(scene.worldView, 1, GL_FALSE, glm::value_ptr(worldView));
  glUniformMatrix3fv(scene.normalMatrix, 1, GL_FALSE, glm::value_ptr(normal));
  glMultiDrawArrays(GL_TRIANGLE_STRIP, scene.firsts.data(), scene.counts.data(),
                    static_cast<GLsizei>(scene.counts.size()));
  SDL_GL_SwapWindow(window);
}

// ---- Modes ------------------------------------------------------------------------------------

int Rate(SDL_Window* window, const Scene& scene) {
  for (int i = 0; i < WARM_UP_FRAMES; ++i) DrawFrame(window, scene);
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now(), end = start + ROUND;
  long frames = 0;
  Clock::time_point now = start;
  SDL_Event event;
  // One event check per pass, as the viewer's loop checks for a message; closing ends the round.
  while (now < end && !(SDL_PollEvent(&event) && event.type == SDL_QUIT)) {
    DrawFrame(window, scene);
    ++frames;
    now = Clock::now();
  }
  const double seconds = std::chrono::duration<double>(now - start).count();
  std::printf("frame rate (yardstick, unpaced): %.1f frames/s (%ld frames in %.2f s)\n",
              frames / seconds, frames, seconds);
  return 0;
}

// The turn of a drag to (x, y): about the vertical by the pointer's offset right of the centre,
// then about the horizontal by its offset down, a radian per 150 pixels. It depends on the pointer
// alone.
glm::mat4 PointerTurn(int x, int y) {
  const glm::mat4 across = glm::rotate(glm::mat4(1.0f), (x - WIDTH / 2) / 150.0f, {0, 1, 0});
  return glm::rotate(across, (y - HEIGHT / 2) / 150.0f, {1, 0, 0});
}

// The picture, then one frame for each batch of waiting events that asks for one: an exposure, and
// with follow a motion, which turns the word to PointerTurn. Nothing waits on a clock, so follow
// is the floor of the time from input to picture.
int Show(SDL_Window* window, const Scene& scene, bool follow) {
  glm::mat4 turn(1.0f);
  DrawFrame(window, scene, turn);
  SDL_Event event;
  while (SDL_WaitEvent(&event)) {
    bool draw = false;
    do {
      if (event.type == SDL_QUIT) return 0;
      draw |= event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_EXPOSED;
      if (follow && event.type == SDL_MOUSEMOTION) {
        turn = PointerTurn(event.motion.x, event.motion.y);
        draw = true;
      }
    } while (SDL_PollEvent(&event));
    if (draw) DrawFrame(window, scene, turn);
  }
  Die("SDL_WaitEvent", SDL_GetError());
}

SDL_Window* OpenWindow() {
  if (SDL_Init(SDL_INIT_VIDEO) != 0) Die("SDL_Init", SDL_GetError());
  // Where no display answers SDL falls back to drivers that draw nowhere: nothing to measure.
  const char* driver = SDL_GetCurrentVideoDriver();
  if (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0) {
    Die("SDL_Init", "no display answered");
  }
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);  // at least the viewer's back buffer's depth
  SDL_Window* window = SDL_CreateWindow("Tavenor yardstick", SDL_WINDOWPOS_UNDEFINED,
                                        SDL_WINDOWPOS_UNDEFINED, WIDTH, HEIGHT, SDL_WINDOW_OPENGL);
  if (window == nullptr) Die("SDL_CreateWindow", SDL_GetError());
  if (SDL_GL_CreateContext(window) == nullptr) Die("SDL_GL_CreateContext", SDL_GetError());
  if (epoxy_gl_version() < 33) Die("OpenGL", "the context is older than 3.3");
  SDL_GL_SetSwapInterval(0);  // never held to the display: the floor of every figure
  return window;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc == 2 ? argv[1] : "";
  if (mode != "rate" && mode != "first-frame" && mode != "show" && mode != "follow") {
    Die("usage", "tavenor_yardstick rate | first-frame | show | follow");
  }
  SDL_Surface* decoded = DecodeTexture();
  SDL_Window* window = OpenWindow();
  const Scene scene = MakeScene(decoded);
  SDL_FreeSurface(decoded);
  int status = 0;
  if (mode == "rate") status = Rate(window, scene);
  if (mode == "show" || mode == "follow") status = Show(window, scene, mode == "follow");
  if (mode == "first-frame") DrawFrame(window, scene);
  SDL_GL_DeleteContext(SDL_GL_GetCurrentContext());
  SDL_DestroyWindow(window);
  SDL_Quit();
  return status;
}
