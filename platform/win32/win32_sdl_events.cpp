// SDL event -> Win32-style message translation; see win32_sdl_events.h.
// Button flags on press and release come from the state this code keeps,
// since SDL's button events carry only the one button; motion events carry
// SDL's full mask and resynchronise it.
#include "platform/win32/win32_sdl_events.h"

#include <optional>

namespace win32_sdl {
namespace {

// A button's press message (its release is the next number) and MK_* flag.
struct Button {
  UINT down;
  WPARAM flag;
};

// Left, right and middle only: Win32's X buttons have no message here.
std::optional<Button> ButtonOf(Uint8 sdlButton) {
  switch (sdlButton) {
    case SDL_BUTTON_LEFT:
      return Button{WM_LBUTTONDOWN, MK_LBUTTON};
    case SDL_BUTTON_RIGHT:
      return Button{WM_RBUTTONDOWN, MK_RBUTTON};
    case SDL_BUTTON_MIDDLE:
      return Button{WM_MBUTTONDOWN, MK_MBUTTON};
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

// A mouse message at client point (x, y): lParam keeps the low 16 bits of
// each coordinate.
MSG MouseMessage(HWND window, UINT message, WPARAM flags, int x, int y, Uint32 time) {
  MSG msg{};
  msg.hwnd = window;
  msg.message = message;
  msg.wParam = flags;
  msg.lParam = MAKELPARAM(x, y);
  msg.time = time;
  return msg;
}

// A press adds the button to the held ones, a release takes it away.
bool TranslateButton(const SDL_MouseButtonEvent& event, HWND window, InputState& state, MSG* msg) {
  const std::optional<Button> button = ButtonOf(event.button);
  if (!button) return false;
  const bool pressed = event.type == SDL_MOUSEBUTTONDOWN;
  state.heldButtons =
      pressed ? state.heldButtons | button->flag : state.heldButtons & ~button->flag;
  *msg = MouseMessage(window, pressed ? button->down : button->down + 1, state.heldButtons, event.x,
                      event.y, event.timestamp);
  return true;
}

bool TranslateMotion(const SDL_MouseMotionEvent& event, HWND window, InputState& state, MSG* msg) {
  state.heldButtons = FlagsOfMask(event.state);
  *msg = MouseMessage(window, WM_MOUSEMOVE, state.heldButtons, event.x, event.y, event.timestamp);
  return true;
}

bool TranslateWindowEvent(const SDL_WindowEvent& event, HWND window, MSG* msg) {
  if (event.event != SDL_WINDOWEVENT_CLOSE) return false;
  *msg = MSG{};
  msg->hwnd = window;
  msg->message = WM_CLOSE;
  msg->time = event.timestamp;
  return true;
}

}  // namespace

bool TranslateSdlEvent(const SDL_Event& event, HWND window, InputState& state, MSG* msg) {
  switch (event.type) {
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
      return TranslateButton(event.button, window, state, msg);
    case SDL_MOUSEMOTION:
      return TranslateMotion(event.motion, window, state, msg);
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
