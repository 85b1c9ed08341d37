// The program's main(): brings up SDL's video, runs WinMain as Win32 would
// call it, and shuts the window layer and SDL down again.
// Without a display it prints one line saying so and exits with status 1.
#include <SDL.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "platform/win32/native_window.h"
#include "platform/win32/win32.h"

namespace {

// Whoever started us may have closed stdin, stdout or stderr. The next file opened would take that
// number (SDL's X connection takes 2), and our lines would go into it. /dev/null holds the place.
void HoldStandardDescriptors() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    // Those below are open by now, so a free fd is the one open() fills.
    if (fcntl(fd, F_GETFD) < 0) open("/dev/null", O_RDWR);
  }
}

// SDL falls back to a video driver that draws nowhere when no display answers; the viewer would
// then run unseen. Such a driver counts only when the user names one.
bool ShowsNothing(const char* driver) {
  if (SDL_GetHint(SDL_HINT_VIDEODRIVER) != nullptr) return false;
  return std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0;
}

}  // namespace

int main() {
  HoldStandardDescriptors();
  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    std::fprintf(stderr, "tavenor: cannot open a display: %s\n", SDL_GetError());
    return 1;
  }
  if (ShowsNothing(SDL_GetCurrentVideoDriver())) {
    SDL_Quit();
    const char* display = SDL_getenv("DISPLAY");
    std::fprintf(stderr, "tavenor: cannot open a display: none answered (DISPLAY is %s)\n",
                 display != nullptr ? display : "unset");
    return 1;
  }
  char commandLine[] = "";
  const int result = WinMain(GetModuleHandleA(nullptr), nullptr, commandLine, SW_SHOWDEFAULT);
  CloseWindowLayer();
  SDL_Quit();
  return result;
}
