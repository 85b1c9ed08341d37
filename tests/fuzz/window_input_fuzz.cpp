// libFuzzer target: fuzz bytes -> synthetic SDL events -> the window layer's
// pure translation (TranslateSdlEvent) -> MSG -> ArcballControl::HandleMouse,
// as the viewer's window procedure hands them on. Aborts when a message does
// not match its event, a result is not exactly 1 for 0x200..0x209 and 0
// otherwise, or a matrix of the arcball holds a NaN or an infinity.
// Capture calls land in the recording window-system fake; no display needed.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

#include "arcball/arcball.h"
#include "platform/win32/win32_sdl_events.h"
#include "tests/fake/fake_win32.h"
#include "tests/fuzz/window_input_records.h"

namespace {

using fuzz_input::Kind;
using fuzz_input::Record;

// Any non-null handle will do: the fake only remembers it as the capture.
const HWND WINDOW = reinterpret_cast<HWND>(std::uintptr_t{0x1000});
constexpr Uint32 WINDOW_ID = 1;
constexpr WPARAM BUTTON_FLAGS = MK_LBUTTON | MK_RBUTTON | MK_MBUTTON;
constexpr WPARAM KNOWN_FLAGS = BUTTON_FLAGS | MK_SHIFT | MK_CONTROL;

[[noreturn]] void Fail(const char* what, std::size_t record) {
  std::fprintf(stderr, "window_input_fuzz: record %zu: %s\n", record, what);
  std::abort();
}

void Check(bool ok, const char* what, std::size_t record) {
  if (!ok) Fail(what, record);
}

// A record's coordinate as X11 can deliver it to SDL: window-relative values
// stay within about +-2^17, so 21 bits (sign-extended) cover them and more,
// beyond the 16 bits Win32 keeps, without sums of absurd values overflowing.
std::int32_t Coordinate(std::int32_t raw) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(raw) << 11) >> 11;
}

// Other event types the translation must leave alone, picked by a record byte.
Uint32 OtherEventType(std::uint8_t pick) {
  static constexpr Uint32 TYPES[] = {
      SDL_KEYDOWN,    SDL_KEYUP,     SDL_MOUSEWHEEL, SDL_TEXTINPUT, SDL_QUIT,
      SDL_FINGERDOWN, SDL_USEREVENT, SDL_DROPFILE,   SDL_LASTEVENT, 0};
  return TYPES[pick % (sizeof TYPES / sizeof TYPES[0])];
}

// The event a record stands for; coordinates already limited by Coordinate().
SDL_Event MakeEvent(const Record& r, Uint32 time) {
  SDL_Event event{};
  switch (static_cast<Kind>(r.kind % static_cast<std::uint8_t>(Kind::Count))) {
    case Kind::Press:
    case Kind::Release: {
      const bool press = r.kind % static_cast<std::uint8_t>(Kind::Count) == 0;
      event.type = press ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
      event.button = SDL_MouseButtonEvent{
          event.type, time, WINDOW_ID, 0,  r.button, Uint8(press ? SDL_PRESSED : SDL_RELEASED),
          1,          0,    r.x,       r.y};
      break;
    }
    case Kind::Motion:
      event.type = SDL_MOUSEMOTION;
      event.motion =
          SDL_MouseMotionEvent{SDL_MOUSEMOTION, time, WINDOW_ID, 0, r.mask, r.x, r.y, 0, 0};
      break;
    case Kind::Window:
      event.type = SDL_WINDOWEVENT;
      event.window.type = SDL_WINDOWEVENT;
      event.window.timestamp = time;
      event.window.windowID = WINDOW_ID;
      event.window.event = r.windowEvent;
      break;
    default:
      event.type = OtherEventType(r.button);
      event.common.timestamp = time;
      break;
  }
  return event;
}

// The Win32 flag of an SDL button (1 left, 2 middle, 3 right); 0 for others.
WPARAM FlagOfButton(std::uint8_t button) {
  switch (button) {
    case SDL_BUTTON_LEFT:
      return MK_LBUTTON;
    case SDL_BUTTON_RIGHT:
      return MK_RBUTTON;
    case SDL_BUTTON_MIDDLE:
      return MK_MBUTTON;
    default:
      return 0;
  }
}

// Press, release and double-click message numbers of a button flag.
struct ButtonMessages {
  UINT down, up, doubleClick;
};

ButtonMessages MessagesOf(WPARAM flag) {
  if (flag == MK_LBUTTON) return {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK};
  if (flag == MK_RBUTTON) return {WM_RBUTTONDOWN, WM_RBUTTONUP, WM_RBUTTONDBLCLK};
  return {WM_MBUTTONDOWN, WM_MBUTTONUP, WM_MBUTTONDBLCLK};
}

WPARAM FlagsOfMask(std::uint8_t mask) {
  return ((mask & 1) ? MK_LBUTTON : 0) | ((mask & 2) ? MK_MBUTTON : 0) |
         ((mask & 4) ? MK_RBUTTON : 0);
}

WPARAM FlagsOfMods(std::uint16_t mods) {
  return ((mods & KMOD_SHIFT) ? MK_SHIFT : 0) | ((mods & KMOD_CTRL) ? MK_CONTROL : 0);
}

// Checks the message one event made against what Win32 would have sent;
// `held` is this check's own record of the buttons held, updated here.
void CheckTranslation(const Record& r, bool translated, const MSG& msg, bool doubleClicks,
                      WPARAM& held, std::size_t i) {
  const Kind kind = static_cast<Kind>(r.kind % static_cast<std::uint8_t>(Kind::Count));
  const WPARAM flag = FlagOfButton(r.button);
  if (kind == Kind::Window) {
    Check(translated == (r.windowEvent == SDL_WINDOWEVENT_CLOSE), "window event", i);
    Check(!translated || msg.message == WM_CLOSE, "close request is not WM_CLOSE", i);
    return;
  }
  if (kind == Kind::Other || ((kind == Kind::Press || kind == Kind::Release) && flag == 0)) {
    Check(!translated, "an event without a message made one", i);
    return;
  }
  Check(translated, "a mouse event made no message", i);
  if (kind == Kind::Press) held |= flag;
  if (kind == Kind::Release) held &= ~flag;
  if (kind == Kind::Motion) held = FlagsOfMask(r.mask);
  Check(msg.hwnd == WINDOW, "message for another window", i);
  Check((msg.wParam & ~KNOWN_FLAGS) == 0, "unknown wParam flags", i);
  Check((msg.wParam & BUTTON_FLAGS) == held, "button flags do not match the held buttons", i);
  Check((msg.wParam & (MK_SHIFT | MK_CONTROL)) == FlagsOfMods(r.keyMods), "modifier flags", i);
  Check(GET_X_LPARAM(msg.lParam) == static_cast<std::int16_t>(r.x), "x is not the low word", i);
  Check(GET_Y_LPARAM(msg.lParam) == static_cast<std::int16_t>(r.y), "y is not the low word", i);
  if (kind == Kind::Motion) {
    Check(msg.message == WM_MOUSEMOVE, "motion is not WM_MOUSEMOVE", i);
    return;
  }
  const ButtonMessages expected = MessagesOf(flag);
  if (kind == Kind::Release) {
    Check(msg.message == expected.up, "wrong release message", i);
    return;
  }
  Check(msg.message == expected.down || (doubleClicks && msg.message == expected.doubleClick),
        "wrong press message", i);
}

bool Finite(const D3DXMATRIX& m) {
  for (int row = 0; row < 4; ++row) {
    for (int col = 0; col < 4; ++col) {
      if (!std::isfinite(m(row, col))) return false;
    }
  }
  return true;
}

void CheckArcball(ArcballControl& ball, const MSG& msg, LRESULT result, std::size_t i) {
  const bool mouse = msg.message >= WM_MOUSEMOVE && msg.message <= WM_MBUTTONDBLCLK;
  Check(result == (mouse ? 1 : 0), "HandleMouse result is not 1 for mouse messages, else 0", i);
  Check(Finite(*ball.RotationMatrix()), "rotation matrix not finite", i);
  Check(Finite(*ball.TranslationMatrix()), "translation matrix not finite", i);
  const D3DXQUATERNION& q = ball.Orientation();
  Check(std::isfinite(q.x) && std::isfinite(q.y) && std::isfinite(q.z) && std::isfinite(q.w),
        "orientation not finite", i);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  const std::span<const std::uint8_t> data(bytes, size);
  const fuzz_input::Header header = fuzz_input::DecodeHeader(data);
  const bool doubleClicks = (header.flags & fuzz_input::FLAG_DOUBLE_CLICKS) != 0;
  const win32_sdl::EventWindow window{WINDOW, doubleClicks ? UINT{CS_DBLCLKS} : 0u, header.screenX,
                                      header.screenY};
  fake_win32::Reset();
  // As the viewer makes it: a 600 x 300 ball of radius 0.9.
  ArcballControl ball;
  ball.Resize(600, 300, 0.9f);
  win32_sdl::InputState state;
  WPARAM held = 0;
  Uint32 time = 0;
  for (std::size_t i = 0; i < fuzz_input::RecordCount(data); ++i) {
    Record r = fuzz_input::DecodeRecord(data, i);
    r.x = Coordinate(r.x);
    r.y = Coordinate(r.y);
    time += r.timeStep;
    const SDL_Event event = MakeEvent(r, time);
    MSG msg{};
    const bool translated = win32_sdl::TranslateSdlEvent(event, window, r.keyMods, state, &msg);
    CheckTranslation(r, translated, msg, doubleClicks, held, i);
    if (!translated) continue;
    const LRESULT result = ball.HandleMouse(msg.hwnd, msg.message, msg.wParam, msg.lParam);
    CheckArcball(ball, msg, result, i);
  }
  return 0;
}
