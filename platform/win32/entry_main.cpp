// The program's main(): picks the display (Wayland where the session offers a usable one, X11
// otherwise; SDL_VIDEODRIVER overrides), brings up SDL's video, runs WinMain as Win32 would call
// it, and shuts the window layer and SDL down again.
// Without a display it prints one line saying why and exits with status 1.
#include <SDL.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "platform/win32/display_choice.h"
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

// Starts SDL's video on one of the chosen drivers. Only drivers that show a window are on the
// list unless the user named others, so SDL cannot fall back to one that draws nowhere.
bool StartVideo() {
  const DisplayChoice choice = ChooseDisplay(SDL_getenv("SDL_VIDEODRIVER"));
  if (!choice.drivers.empty()) {
    // Override: where the user named Wayland and it falls short, their list goes without it.
    SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, choice.drivers.c_str(), SDL_HINT_OVERRIDE);
    if (SDL_Init(SDL_INIT_VIDEO) == 0) return true;
  }
  std::fprintf(stderr, "tavenor: cannot open a display: %s\n",
               NoDisplayReason(choice, SDL_GetError()).c_str());
  return false;
}

}  // namespace

int main() {
  HoldStandardDescriptors();
  if (!StartVideo()) return 1;
  char commandLine[] = "";
  const int result = WinMain(GetModuleHandleA(nullptr), nullptr, commandLine, SW_SHOWDEFAULT);
  CloseWindowLayer();
  SDL_Quit();
  return result;
}
