// The program's main(): brings up SDL's video, runs WinMain as Win32 would
// call it, and shuts the window layer and SDL down again.
// Without a display it prints one line saying so and exits with status 1.
#include <SDL.h>

#include <cstdio>

#include "platform/win32/sdl_window.h"
#include "platform/win32/win32.h"

int main() {
  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    std::fprintf(stderr, "tavenor: cannot open a display: %s\n", SDL_GetError());
    return 1;
  }
  char commandLine[] = "";
  const int result = WinMain(GetModuleHandleA(nullptr), nullptr, commandLine, SW_SHOWDEFAULT);
  CloseWindowLayer();
  SDL_Quit();
  return result;
}
