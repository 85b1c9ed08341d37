// XErrorTrap (platform/win32/native_window.h): an X error handler that keeps
// the first error's text, installed for the trap's lifetime. Its own file, so
// Xlib's macros (None, Bool, True, ...) stay away from the rest of the layer.
#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>

#include <cstdio>

#include "platform/shared/failure_reason.h"
#include "platform/win32/native_window.h"

namespace {

// The trap in place: the handler it replaced and the first error seen.
struct TrapState {
  XErrorHandler previous = nullptr;
  bool caught = false;
  char reason[MAX_FAILURE_REASON + 1] = "";
};

TrapState g_trap;

// Called by Xlib for each error; it may not make requests, and XGetErrorText makes none.
int RecordError(Display* display, XErrorEvent* error) {
  if (g_trap.caught) return 0;
  g_trap.caught = true;
  char text[128] = "";
  XGetErrorText(display, error->error_code, text, sizeof text);
  std::snprintf(g_trap.reason, sizeof g_trap.reason, "the X server refused request %d.%d: %s",
                error->request_code, error->minor_code, text);
  return 0;
}

// The X connection of an SDL window; null for none or one of another driver.
Display* DisplayOf(SDL_Window* window) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (window == nullptr || SDL_GetWindowWMInfo(window, &info) != SDL_TRUE) return nullptr;
  return info.subsystem == SDL_SYSWM_X11 ? info.info.x11.display : nullptr;
}

}  // namespace

XErrorTrap::XErrorTrap() {
  g_trap = TrapState{};
  g_trap.previous = XSetErrorHandler(RecordError);
}

XErrorTrap::~XErrorTrap() { XSetErrorHandler(g_trap.previous); }

bool XErrorTrap::Failed(SDL_Window* window) {
  // Errors come back asynchronously; a round trip makes every one arrive now, while trapped.
  if (Display* display = DisplayOf(window)) XSync(display, False);
  if (g_trap.caught) SetLastFailureReason(g_trap.reason);
  return g_trap.caught;
}
