// The least a program showing a picture must do, as the start-up benchmark's yardstick: SDL's
// video, a shown 600 x 300 window with an OpenGL 3.3 core context, one white clear and one
// present, then exit. The frame probe, preloaded, times that present as it times the viewer's.
// Exits with 1 and one line on stderr when any step fails.
#include <SDL.h>
#include <SDL_opengl.h>

#include <cstdio>

namespace {

constexpr int WIDTH = 600;
constexpr int HEIGHT = 300;

int Fail(const char* step) {
  std::fprintf(stderr, "tavenor_bare_window: %s: %s\n", step, SDL_GetError());
  return 1;
}

}  // namespace

int main(int, char**) {
  if (SDL_Init(SDL_INIT_VIDEO) != 0) return Fail("SDL_Init");
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
  SDL_Window* window = SDL_CreateWindow("Bare window", 100, 100, WIDTH, HEIGHT, SDL_WINDOW_OPENGL);
  if (window == nullptr) return Fail("SDL_CreateWindow");
  SDL_GLContext context = SDL_GL_CreateContext(window);
  if (context == nullptr) return Fail("SDL_GL_CreateContext");
  // Resolved at run time, as any core-profile program must for GL past 1.1; glClear is 1.0.
  auto clearColor = reinterpret_cast<void (*)(float, float, float, float)>(
      SDL_GL_GetProcAddress("glClearColor"));
  auto clear = reinterpret_cast<void (*)(unsigned)>(SDL_GL_GetProcAddress("glClear"));
  if (clearColor == nullptr || clear == nullptr) return Fail("SDL_GL_GetProcAddress");
  clearColor(1.0f, 1.0f, 1.0f, 1.0f);
  clear(GL_COLOR_BUFFER_BIT);
  SDL_GL_SwapWindow(window);
  SDL_GL_DeleteContext(context);
  SDL_DestroyWindow(window);
  SDL_Quit();
  return 0;
}
