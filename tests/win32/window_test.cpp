// The window layer in Xvfb with openbox under real xdotool input: Win32's message numbers, flags
// and signed coordinates, and its capture rule. How the program ends is the end-to-end test's.
#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/win32/win32.h"

namespace {

std::vector<MSG> g_seen;

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  g_seen.push_back(MSG{window, message, wParam, lParam, 0, {}});
  return DefWindowProcA(window, message, wParam, lParam);
}

// Runs the program's loop until done() holds (true) or 5 s pass (false).
bool PumpUntil(auto done) {
  const Uint32 deadline = SDL_GetTicks() + 5000;
  for (MSG msg{}; !done() && SDL_GetTicks() < deadline; SDL_Delay(1)) {
    if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  }
  return done();
}

// A drag with every button and the capture set and released. Each step:
// the pointer's client point after it, whether capture is held, the message it brings (0: none).
TEST(WindowTest, MouseMessagesCarryWin32NumbersFlagsAndSignedPointsUnderItsCaptureRule) {
  const struct {
    std::string action;  // "move", "capture", "release" or other xdotool arguments
    int x, y;
    bool captured;
    UINT message, flags;
  } steps[] = {
      {"move", 50, 60, false, 0x0200, 0x00},
      {"mousedown 3", 50, 60, false, 0x0204, 0x02},
      {"capture", 50, 60, true, 0, 0},
      {"move", -10, -20, true, 0x0200, 0x02},
      {"mousedown 1", -10, -20, true, 0x0201, 0x03},
      {"mousedown 2", -10, -20, true, 0x0207, 0x13},
      {"move", 700, 350, true, 0x0200, 0x13},
      {"mouseup 2", 700, 350, true, 0x0208, 0x03},
      {"mouseup 1", 700, 350, true, 0x0202, 0x02},
      // Capture ends here although the right button is still held.
      {"release", 700, 350, false, 0, 0},
      {"move", -30, 40, false, 0, 0},
      {"move", 20, 30, false, 0x0200, 0x02},
      {"mouseup 3", 20, 30, false, 0x0205, 0x00},
  };
  ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = RecordingProc;
  wc.lpszClassName = "Recording";
  ASSERT_NE(RegisterClassExA(&wc), 0);
  const HWND window = CreateWindowExA(0, "Recording", "Drag", WS_OVERLAPPEDWINDOW, 100, 100, 600,
                                      300, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(window, nullptr) << SDL_GetError();
  ShowWindow(window, SW_SHOWDEFAULT);
  ASSERT_TRUE(PumpUntil([&] { return GetForegroundWindow() == window; }));
  for (const auto& step : steps) {
    const std::string xy = std::to_string(step.x) + " " + std::to_string(step.y);
    SCOPED_TRACE(step.action + " " + xy);
    const size_t before = g_seen.size();
    const std::string move = "search --name '^Drag$' mousemove --window %1 -- " + xy;
    const std::string xdotool = "xdotool " + (step.action == "move" ? move : step.action);
    if (step.action == "capture") SetCapture(window);
    if (step.action == "release") ReleaseCapture();
    const bool input = step.action != "capture" && step.action != "release";
    ASSERT_EQ(input ? std::system(xdotool.c_str()) : 0, 0);
    // Moves may come twice (crossing the window's edge makes one too): wait for the one here.
    const LPARAM here = LPARAM{step.y & 0xFFFF} << 16 | (step.x & 0xFFFF);
    const auto arrived = [&] {
      return std::any_of(g_seen.begin() + before, g_seen.end(), [&](const MSG& m) {
        return m.message == step.message && m.wParam == step.flags && m.lParam == here;
      });
    };
    ASSERT_TRUE(step.message == 0 || PumpUntil(arrived));
    // Uncaptured, nothing may come from outside the client area, whatever buttons are held.
    for (size_t i = before; i < g_seen.size() && !step.captured; ++i) {
      const POINT p{GET_X_LPARAM(g_seen[i].lParam), GET_Y_LPARAM(g_seen[i].lParam)};
      EXPECT_TRUE(p.x >= 0 && p.x < 600 && p.y >= 0 && p.y < 300) << p.x << "," << p.y;
    }
  }
}

}  // namespace
