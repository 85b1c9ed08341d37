// The window layer's second contract, for the device below the program: the
// native window behind a handle, a wait for the next event, closing the layer,
// and a trap for X errors.
// Implemented on SDL2 by platform/win32 (tavenor_win32_sdl), which the device links.
#pragma once

#include "platform/win32/win32.h"

struct SDL_Window;

// The SDL window of a live handle made by CreateWindowExA; null otherwise.
// Windows are created with SDL_WINDOW_OPENGL, hidden and resizable.
SDL_Window* SdlWindowFromHwnd(HWND window);

// Blocks until a message or a native event (input, a window event) waits for
// PeekMessageA (onlyNew false) or a native event arrives after the call
// (onlyNew true), or until timeoutMs milliseconds have passed; takes nothing
// off the queue. True when one does. The device's present pacing waits here.
bool WaitForWindowEvent(int timeoutMs, bool onlyNew);

// Destroys every window still open without sending it anything, releases
// the capture and forgets all classes and queued messages. main() calls it
// after WinMain returns and before SDL_Quit, so no SDL window outlives SDL.
void CloseWindowLayer();

// While it lives, X errors are recorded instead of reaching the handler set
// before it (Xlib's default prints a dump and ends the process). Wrap each
// step that may make the X server refuse a request, such as creating a
// window or a GL context, in one. One trap at a time, on the loop thread.
class XErrorTrap {
 public:
  XErrorTrap();
  // Puts the handler that was set before back.
  ~XErrorTrap();
  XErrorTrap(const XErrorTrap&) = delete;
  XErrorTrap& operator=(const XErrorTrap&) = delete;

  // Waits until the X server has answered every request made so far on the
  // connection of window (none for a null or non-X11 window), then tells
  // whether any request failed since the trap was set; if so, the first
  // failure becomes the failure reason (platform/shared/failure_reason.h).
  bool Failed(SDL_Window* window);
};
