// Fuzzed SDL mouse and window events through the window layer's translation into the arcball,
// as the window procedure hands them on. Aborts on a message other than a mouse message or
// WM_CLOSE, a point that is not the event's own (cut to 16 bits), a HandleMouse result other
// than 1 for mouse messages and 0 otherwise, or an arcball matrix that is not finite.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdlib>

#include "arcball/arcball.h"
#include "platform/win32/win32_sdl_events.h"
#include "tests/fake/fake.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const HWND window = reinterpret_cast<HWND>(std::uintptr_t{0x1000});
  fake::state.logging = false;
  ArcballControl ball;
  ball.Resize(600, 300, 0.9f);
  win32_sdl::InputState state;
  SDL_Event event{};
  while (input.remaining_bytes() > 0) {
    event.type = input.PickValueInArray<Uint32>(
        {SDL_MOUSEBUTTONDOWN, SDL_MOUSEBUTTONUP, SDL_MOUSEMOTION, SDL_WINDOWEVENT, SDL_KEYDOWN});
    event.common.timestamp += input.ConsumeIntegral<std::uint16_t>();
    const Uint8 pick = input.ConsumeIntegral<Uint8>();  // button, button mask or window event
    // Window-relative points reach about 2^17 under X11; 2^20 covers them.
    const Sint32 x = input.ConsumeIntegralInRange(-(1 << 20), 1 << 20);
    const Sint32 y = input.ConsumeIntegralInRange(-(1 << 20), 1 << 20);
    if (event.type == SDL_MOUSEMOTION) {
      event.motion =
          SDL_MouseMotionEvent{event.type, event.common.timestamp, 1, 0, pick, x, y, 0, 0};
    } else if (event.type == SDL_WINDOWEVENT) {
      event.window.event = pick;
    } else {
      event.button =
          SDL_MouseButtonEvent{event.type, event.common.timestamp, 1, 0, pick, 0, 1, 0, x, y};
    }
    MSG msg{};
    if (!TranslateSdlEvent(event, window, input.ConsumeIntegral<Uint16>(), state, &msg)) continue;
    const bool mouse = msg.message >= WM_MOUSEMOVE && msg.message <= WM_MBUTTONUP;
    Check(msg.hwnd == window && (mouse || msg.message == WM_CLOSE));
    Check(!mouse || (GET_X_LPARAM(msg.lParam) == static_cast<std::int16_t>(x) &&
                     GET_Y_LPARAM(msg.lParam) == static_cast<std::int16_t>(y)));
    Check(ball.HandleMouse(msg.hwnd, msg.message, msg.wParam, msg.lParam) == (mouse ? 1 : 0));
    for (int i = 0; i < 16; ++i) {
      Check(std::isfinite(ball.RotationMatrix()->m[i / 4][i % 4]) &&
            std::isfinite(ball.TranslationMatrix()->m[i / 4][i % 4]));
    }
  }
  return 0;
}
