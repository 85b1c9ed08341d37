// Translation of SDL events into Win32-style messages, as a pure function:
// mouse buttons and motion become WM_*BUTTON* and WM_MOUSEMOVE with MK_* flags
// and signed 16-bit client coordinates, a window close request WM_CLOSE.
// Touches no SDL state, so it runs without a display.
#pragma once

#include <SDL.h>

#include "platform/win32/win32.h"

namespace win32_sdl {

// What one event leaves behind for the next.
struct InputState {
  WPARAM heldButtons = 0;  // MK_LBUTTON | MK_RBUTTON | MK_MBUTTON now held
};

// Translates one event aimed at `window` into *msg; false (msg untouched)
// for events that make no message. wParam carries the button flags alone, the
// ones the program reads. Coordinates beyond 16 bits wrap as Win32's do;
// MSG::pt is left zero, since nothing reads it.
bool TranslateSdlEvent(const SDL_Event& event, HWND window, InputState& state, MSG* msg);

// The SDL window id an event is aimed at; 0 for events of no window.
Uint32 EventWindowId(const SDL_Event& event);

}  // namespace win32_sdl
