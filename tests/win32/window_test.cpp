// The window layer in Xvfb with openbox and real xdotool input (message numbers, flags, signed
// coordinates, capture, the road to WM_QUIT) and the viewer without a display.
#include <SDL.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "platform/shared/native_window.h"
#include "platform/win32/win32.h"

namespace {

std::vector<MSG> g_seen;

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  g_seen.push_back(MSG{window, message, wParam, lParam, 0, {}});
  if (message != WM_DESTROY) return DefWindowProcA(window, message, wParam, lParam);
  PostQuitMessage(4);
  return 0;
}

bool Shell(const std::string& command) { return std::system(command.c_str()) == 0; }

class WindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError(); }
  void TearDown() override { CloseWindowLayer(); }

  // A shown 600 x 300 window of a recording class, once the window manager has focused it.
  void Open(const std::string& title) {
    CloseWindowLayer();
    ASSERT_TRUE(Shell("xdotool mousemove 0 0"));
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = RecordingProc;
    wc.lpszClassName = "Recording";
    ASSERT_NE(RegisterClassExA(&wc), 0);
    window_ = CreateWindowExA(0, "Recording", title.c_str(), WS_OVERLAPPEDWINDOW, 100, 100, 600,
                              300, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(window_, nullptr) << SDL_GetError();
    ShowWindow(window_, SW_SHOWDEFAULT);
    ASSERT_TRUE(PumpUntil([this] { return GetForegroundWindow() == window_; }));
    search_ = " search --name '^" + title + "$'";
    g_seen.clear();
  }

  // Runs the program's loop until done() holds (true) or 5 s pass (false).
  bool PumpUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    MSG msg{};
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        SDL_Delay(2);
        continue;
      }
      DispatchMessageA(&msg);
      if (msg.message == WM_QUIT) quit_ = msg;
    }
    return true;
  }

  // Whether `message` with these flags and this lParam came in from the `from`th message on.
  static bool Seen(size_t from, UINT message, WPARAM flags, LPARAM lParam) {
    return std::any_of(g_seen.begin() + from, g_seen.end(), [&](const MSG& m) {
      return m.message == message && m.wParam == flags && m.lParam == lParam;
    });
  }

  // xdotool arguments moving the pointer to client point (x, y).
  std::string MoveTo(int x, int y) const {
    return search_ + " mousemove --window %1 -- " + std::to_string(x) + " " + std::to_string(y);
  }

  HWND window_ = nullptr;
  std::string search_;  // xdotool arguments finding the window by its title
  MSG quit_{};
};

// A drag with all three buttons, modifier keys and the capture set, released and set again. Each
// step names the pointer's client position after it, whether the window holds the capture and the
// message the step must bring (0: none).
TEST_F(WindowTest, MouseMessagesCarryNumbersFlagsAndSignedCoordinatesAsOnWin32) {
  const struct {
    const char* action;  // "move", "capture", "release" or other xdotool arguments
    int x, y;
    bool captured;
    UINT message;
    WPARAM flags;
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
      {"keydown shift ctrl", 20, 30, false, 0, 0},
      {"move", 25, 35, false, 0x0200, 0x0E},
      {"keyup shift ctrl", 25, 35, false, 0, 0},
      {"capture", 25, 35, true, 0, 0},
      {"move", 610, -5, true, 0x0200, 0x02},
      {"mouseup 3", 610, -5, true, 0x0205, 0x00},
      {"release", 610, -5, false, 0, 0},
  };
  Open("Drag");
  for (const auto& step : steps) {
    SCOPED_TRACE(step.action + (" " + std::to_string(step.x)) + "," + std::to_string(step.y));
    const size_t before = g_seen.size();
    const std::string action = step.action;
    if (action == "capture") SetCapture(window_);
    if (action == "release") ReleaseCapture();
    if (action != "capture" && action != "release") {
      ASSERT_TRUE(Shell("xdotool" + (action == "move" ? MoveTo(step.x, step.y) : " " + action)));
    }
    // Moves may come twice (crossing the window's edge makes one too): wait for the one here.
    // Win32's lParam: x in the low 16 bits, y in the next 16, two's complement.
    const LPARAM here = LPARAM{step.y & 0xFFFF} << 16 | (step.x & 0xFFFF);
    if (step.message != 0) {
      ASSERT_TRUE(PumpUntil([&] { return Seen(before, step.message, step.flags, here); }));
    }
    // Uncaptured, nothing may come from outside the client area, whatever buttons are held.
    for (size_t i = before; i < g_seen.size() && !step.captured; ++i) {
      if (g_seen[i].message < 0x0200 || g_seen[i].message > 0x0209) continue;
      const int x = static_cast<std::int16_t>(g_seen[i].lParam & 0xFFFF);
      const int y = static_cast<std::int16_t>((g_seen[i].lParam >> 16) & 0xFFFF);
      EXPECT_TRUE(x >= 0 && x < 600 && y >= 0 && y < 300) << x << "," << y;
    }
  }
}

// The window manager's close and a termination signal both end in the quit message.
TEST_F(WindowTest, CloseGivesWmCloseThenWmDestroyThenWmQuit) {
  for (const std::string& close :
       {std::string("wmctrl -c Closing"), "kill -TERM " + std::to_string(getpid())}) {
    SCOPED_TRACE(close);
    Open("Closing");
    quit_ = MSG{};
    ASSERT_TRUE(Shell(close));
    ASSERT_TRUE(PumpUntil([this] { return quit_.message == 0x0012; }));
    const auto closed = std::ranges::find(g_seen, 0x0010u, &MSG::message);
    ASSERT_LT(closed + 1, g_seen.end());
    EXPECT_EQ(closed[1].message, 0x0002u);
    EXPECT_EQ(quit_.wParam, 4u);
    RECT gone{};
    EXPECT_FALSE(GetClientRect(window_, &gone));
    EXPECT_FALSE(Shell("xdotool" + search_ + " >/dev/null"));
  }
}

TEST(NoDisplayTest, ViewerPrintsOneLineAndExits1) {
  EXPECT_TRUE(
      Shell("out=$(env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR=/none timeout 5 " VIEWER
            " 2>&1); [ $? = 1 ] && [ $(echo \"$out\" | wc -l) = 1 ] &&"
            "echo \"$out\" | grep -q '^tavenor: cannot open a display: '"));
}

}  // namespace
