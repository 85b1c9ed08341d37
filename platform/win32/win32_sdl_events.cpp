// SDL event -> Win32-style message translation; see win32_sdl_events.h.
// Button flags on press and release come from the state this code keeps,
// since SDL's button events carry only the one button; motion events carry
// SDL's full mask and resynchronise it.
#include "platform/win32/win32_sdl_events.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <optional>

namespace win32_sdl {
namespace {

using win32_core::MouseButton;

// Left, right and middle only: Win32's X buttons have no message here.
std::optional<MouseButton> ButtonOf(Uint8 sdlButton) {
  switch (sdlButton) {
    case SDL_BUTTON_LEFT:
      return MouseButton::Left;
    case SDL_BUTTON_RIGHT:
      return MouseButton::Right;
    case SDL_BUTTON_MIDDLE:
      return MouseButton::Middle;
    default:
      return std::nullopt;
  }
}

WPARAM FlagsOfMask(Uint32 sdlMask) {
  WPARAM flags = 0;
  if ((sdlMask & SDL_BUTTON_LMASK) != 0) flags |= MK_LBUTTON;
  if ((sdlMask & SDL_BUTTON_RMASK) != 0) flags |= MK_RBUTTON;
  if ((sdlMask & SDL_BUTTON_MMASK) != 0) flags |= MK_MBUTTON;
  return flags;
}

WPARAM FlagsOfMods(Uint16 keyMods) {
  WPARAM flags = 0;
  if ((keyMods & KMOD_SHIFT) != 0) flags |= MK_SHIFT;
  if ((keyMods & KMOD_CTRL) != 0) flags |= MK_CONTROL;
  return flags;
}

// origin + offset, held within 32 bits (SDL's event coordinates are plain ints).
LONG ScreenCoord(int origin, int offset) {
  return static_cast<LONG>(
      std::clamp<std::int64_t>(std::int64_t{origin} + offset, INT32_MIN, INT32_MAX));
}

// A mouse message at client point (x, y): lParam keeps the low 16 bits of
// each coordinate, pt the full screen point.
MSG MouseMessage(const EventWindow& window, UINT message, WPARAM flags, int x, int y, Uint32 time) {
  MSG msg{};
  msg.hwnd = window.handle;
  msg.message = message;
  msg.wParam = flags;
  msg.lParam = MAKELPARAM(x, y);
  msg.time = time;
  msg.pt = POINT{ScreenCoord(window.screenX, x), ScreenCoord(window.screenY, y)};
  return msg;
}

// Press: the button joins the held ones; a quick second press in place is a
// double click for classes that ask for them.
bool TranslatePress(const SDL_MouseButtonEvent& event, const EventWindow& window, Uint16 keyMods,
                    InputState& state, MSG* msg) {
  const std::optional<MouseButton> button = ButtonOf(event.button);
  if (!button) return false;
  if (state.clickWindow != window.handle) state.clicks.Forget();
  state.clickWindow = window.handle;
  const bool isDouble =
      state.clicks.Press(*button, event.timestamp, ScreenCoord(window.screenX, event.x),
                         ScreenCoord(window.screenY, event.y));
  state.heldButtons |= win32_core::ButtonFlag(*button);
  const UINT message = isDouble && (window.classStyle & CS_DBLCLKS) != 0
                           ? win32_core::ButtonDoubleClickMessage(*button)
                           : win32_core::ButtonDownMessage(*button);
  *msg = MouseMessage(window, message, state.heldButtons | FlagsOfMods(keyMods), event.x, event.y,
                      event.timestamp);
  return true;
}

bool TranslateRelease(const SDL_MouseButtonEvent& event, const EventWindow& window, Uint16 keyMods,
                      InputState& state, MSG* msg) {
  const std::optional<MouseButton> button = ButtonOf(event.button);
  if (!button) return false;
  state.heldButtons &= ~win32_core::ButtonFlag(*button);
  *msg = MouseMessage(window, win32_core::ButtonUpMessage(*button),
                      state.heldButtons | FlagsOfMods(keyMods), event.x, event.y, event.timestamp);
  return true;
}

bool TranslateMotion(const SDL_MouseMotionEvent& event, const EventWindow& window, Uint16 keyMods,
                     InputState& state, MSG* msg) {
  state.heldButtons = FlagsOfMask(event.state);
  *msg = MouseMessage(window, WM_MOUSEMOVE, state.heldButtons | FlagsOfMods(keyMods), event.x,
                      event.y, event.timestamp);
  return true;
}

bool TranslateWindowEvent(const SDL_WindowEvent& event, const EventWindow& window, MSG* msg) {
  if (event.event != SDL_WINDOWEVENT_CLOSE) return false;
  *msg = MSG{};
  msg->hwnd = window.handle;
  msg->message = WM_CLOSE;
  msg->time = event.timestamp;
  return true;
}

}  // namespace

bool TranslateSdlEvent(const SDL_Event& event, const EventWindow& window, Uint16 keyMods,
                       InputState& state, MSG* msg) {
  switch (event.type) {
    case SDL_MOUSEBUTTONDOWN:
      return TranslatePress(event.button, window, keyMods, state, msg);
    case SDL_MOUSEBUTTONUP:
      return TranslateRelease(event.button, window, keyMods, state, msg);
    case SDL_MOUSEMOTION:
      return TranslateMotion(event.motion, window, keyMods, state, msg);
    case SDL_WINDOWEVENT:
      return TranslateWindowEvent(event.window, window, msg);
    default:
      return false;
  }
}

Uint32 EventWindowId(const SDL_Event& event) {
  switch (event.type) {
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
      return event.button.windowID;
    case SDL_MOUSEMOTION:
      return event.motion.windowID;
    case SDL_WINDOWEVENT:
      return event.window.windowID;
    default:
      return 0;
  }
}

}  // namespace win32_sdl
