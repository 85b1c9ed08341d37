// The window layer in Xvfb with openbox and real xdotool input: message numbers, flags, signed
// coordinates, capture and its end, double clicks, the road to WM_QUIT and life without a display.
#include <SDL.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "platform/win32/sdl_window.h"
#include "platform/win32/win32.h"
#include "platform/win32/win32_core.h"
// Last: the X11 headers behind it define short macros (None, Bool, Status).
#include <SDL_syswm.h>

namespace {

std::vector<MSG> g_seen;

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  g_seen.push_back(MSG{window, message, wParam, lParam, 0, {}});
  if (message != WM_DESTROY) return DefWindowProcA(window, message, wParam, lParam);
  PostQuitMessage(4);
  return 0;
}

bool Shell(const std::string& command) { return std::system(command.c_str()) == 0; }

// Win32's lParam of a mouse message: x in the low 16 bits, y in the next 16, two's complement.
LPARAM Packed(int x, int y) {
  return static_cast<LPARAM>((static_cast<std::uint32_t>(y) & 0xFFFFu) << 16 |
                             (static_cast<std::uint32_t>(x) & 0xFFFFu));
}

class WindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError(); }
  void TearDown() override { CloseWindowLayer(); }

  // A shown 600 x 300 window of a recording class, once the window manager has focused it.
  void Open(UINT classStyle, const char* title) {
    CloseWindowLayer();
    ASSERT_TRUE(Shell("xdotool mousemove 0 0"));
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.style = classStyle;
    wc.lpfnWndProc = RecordingProc;
    wc.lpszClassName = "Recording";
    ASSERT_NE(RegisterClassExA(&wc), 0);
    window_ = CreateWindowExA(0, "Recording", title, WS_OVERLAPPEDWINDOW, 100, 100, 600, 300,
                              nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(window_, nullptr) << SDL_GetError();
    ShowWindow(window_, SW_SHOWDEFAULT);
    ASSERT_TRUE(PumpUntil([this] { return GetForegroundWindow() == window_; }));
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    ASSERT_TRUE(SDL_GetWindowWMInfo(SdlWindowFromHwnd(window_), &info));
    xid_ = std::to_string(info.info.x11.window);
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

  // Index of the first recorded `message` (with this lParam, unless -1) from `from` on, or -1.
  static int Find(UINT message, size_t from = 0, LPARAM lParam = -1) {
    for (size_t i = from; i < g_seen.size(); ++i) {
      if (g_seen[i].message == message && (lParam == -1 || g_seen[i].lParam == lParam))
        return int(i);
    }
    return -1;
  }

  // xdotool arguments moving the pointer to client point (x, y).
  std::string MoveTo(int x, int y) const {
    return " mousemove --window " + xid_ + " -- " + std::to_string(x) + " " + std::to_string(y);
  }

  HWND window_ = nullptr;
  std::string xid_;
  MSG quit_{};
};

// A drag with all three buttons, modifier keys and the capture set, released and set again. Each
// step names the pointer's client position after it and the message it must bring (0: none).
TEST_F(WindowTest, MouseMessagesCarryNumbersFlagsAndSignedCoordinatesAsOnWin32) {
  const struct {
    const char* action;  // "move", "capture", "release" or other xdotool arguments
    int x, y;
    UINT message;
    WPARAM flags;
  } steps[] = {
      {"move", 50, 60, 0x0200, 0x00},
      {"mousedown 3", 50, 60, 0x0204, 0x02},
      {"capture", 50, 60, 0, 0},
      {"move", -10, -20, 0x0200, 0x02},
      {"mousedown 1", -10, -20, 0x0201, 0x03},
      {"mousedown 2", -10, -20, 0x0207, 0x13},
      {"move", 700, 350, 0x0200, 0x13},
      {"mouseup 2", 700, 350, 0x0208, 0x03},
      {"mouseup 1", 700, 350, 0x0202, 0x02},
      // Capture ends here although the right button is still held.
      {"release", 700, 350, 0, 0},
      {"move", -30, 40, 0, 0},
      {"move", 20, 30, 0x0200, 0x02},
      {"keydown shift ctrl", 20, 30, 0, 0},
      {"move", 25, 35, 0x0200, 0x0E},
      {"keyup shift ctrl", 25, 35, 0, 0},
      {"capture", 25, 35, 0, 0},
      {"move", 610, -5, 0x0200, 0x02},
      {"mouseup 3", 610, -5, 0x0205, 0x00},
      {"release", 610, -5, 0, 0},
  };
  Open(CS_CLASSDC, "Drag");
  // The loop never waits: blocking for even one display refresh per call would take over 3 s.
  MSG msg{};
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 200; ++i) PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
  bool captured = false;
  for (const auto& step : steps) {
    SCOPED_TRACE(step.action + (" " + std::to_string(step.x)) + "," + std::to_string(step.y));
    const size_t before = g_seen.size();
    const std::string action = step.action;
    if (action == "capture") SetCapture(window_);
    if (action == "release") ReleaseCapture();
    captured = action == "capture" || (captured && action != "release");
    if (action != "capture" && action != "release") {
      ASSERT_TRUE(Shell("xdotool" + (action == "move" ? MoveTo(step.x, step.y) : " " + action)));
    }
    EXPECT_EQ(GetCapture(), captured ? window_ : nullptr);
    // Moves may come twice (crossing the window's edge makes one too): wait for the one here.
    const LPARAM here = Packed(step.x, step.y);
    if (step.message != 0) {
      ASSERT_TRUE(PumpUntil([&] { return Find(step.message, before, here) >= 0; }));
      EXPECT_EQ(g_seen[Find(step.message, before, here)].wParam, step.flags);
    }
    // Uncaptured, nothing may come from outside the client area, whatever buttons are held.
    for (size_t i = before; i < g_seen.size() && !captured; ++i) {
      if (g_seen[i].message < 0x0200 || g_seen[i].message > 0x0209) continue;
      const int x = static_cast<std::int16_t>(g_seen[i].lParam & 0xFFFF);
      const int y = static_cast<std::int16_t>((g_seen[i].lParam >> 16) & 0xFFFF);
      EXPECT_TRUE(x >= 0 && x < 600 && y >= 0 && y < 300) << x << "," << y;
    }
  }
}

// Two quick clicks: the second is a double click only for a class with CS_DBLCLKS and only
// within two pixels of the first on each axis.
TEST_F(WindowTest, QuickSecondClickIsADoubleClickWithCsDblclksAndInsideTheBox) {
  const struct {
    int button;
    UINT down, second, style;
    int dx, dy;
  } cases[] = {
      {1, 0x0201, 0x0203, CS_DBLCLKS, 0, 0},  {1, 0x0201, 0x0203, CS_DBLCLKS, 2, -2},
      {1, 0x0201, 0x0201, CS_DBLCLKS, 3, 0},  {1, 0x0201, 0x0201, CS_DBLCLKS, 0, -3},
      {1, 0x0201, 0x0201, CS_CLASSDC, 0, 0},  {3, 0x0204, 0x0206, CS_DBLCLKS, -2, 2},
      {2, 0x0207, 0x0209, CS_DBLCLKS, -1, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.button << " by " << c.dx << "," << c.dy << " " << c.style);
    Open(c.style, "Clicks");
    const std::string click = " click " + std::to_string(c.button);
    ASSERT_TRUE(
        Shell("xdotool" + MoveTo(300, 150) + click + MoveTo(300 + c.dx, 150 + c.dy) + click));
    ASSERT_TRUE(PumpUntil([&] { return Find(c.down + 1, Find(c.down + 1) + 1) >= 0; }));
    std::vector<UINT> buttons;
    for (const MSG& seen : g_seen) {
      if (seen.message != 0x0200) buttons.push_back(seen.message);
    }
    EXPECT_EQ(buttons, (std::vector<UINT>{c.down, c.down + 1, c.second, c.down + 1}));
  }
}

// The time half, which real input cannot place to the millisecond: a press at most 500 ms after
// one of the same button (ticks may wrap) is a double click; the press after one starts anew.
TEST(DoubleClickTimeTest, SecondPressWithin500MsOfTheSameButton) {
  using win32_core::MouseButton;
  const struct {
    MouseButton button;
    DWORD time;
    bool isDouble;
  } presses[] = {
      {MouseButton::Left, 1000, false},        {MouseButton::Left, 1500, true},
      {MouseButton::Left, 1600, false},        {MouseButton::Left, 2101, false},
      {MouseButton::Right, 2200, false},       {MouseButton::Left, 2300, false},
      {MouseButton::Left, 0xFFFFFF00u, false}, {MouseButton::Left, 0x000000F4u, true},
  };
  win32_core::ClickTracker clicks;
  for (const auto& press : presses) {
    EXPECT_EQ(clicks.Press(press.button, press.time, 40, 40), press.isDouble) << press.time;
  }
}

// The window manager's close and a termination signal both end in the quit message.
TEST_F(WindowTest, CloseGivesWmCloseThenWmDestroyThenWmQuit) {
  for (const std::string& close :
       {std::string("wmctrl -c Closing"), "kill -TERM " + std::to_string(getpid())}) {
    SCOPED_TRACE(close);
    Open(CS_CLASSDC, "Closing");
    quit_ = MSG{};
    ASSERT_TRUE(Shell(close));
    ASSERT_TRUE(PumpUntil([this] { return quit_.message == 0x0012; }));
    ASSERT_GE(Find(0x0010), 0);
    EXPECT_EQ(Find(0x0002), Find(0x0010) + 1);
    EXPECT_EQ(quit_.wParam, 4u);
    EXPECT_FALSE(IsWindow(window_));
    EXPECT_FALSE(Shell("xdotool getwindowname " + xid_ + " >/dev/null 2>&1"));
  }
}

TEST(NoDisplayTest, ViewerPrintsOneLineAndExits1AndTheBoxGoesToStderr) {
  EXPECT_TRUE(
      Shell("out=$(env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR=/none timeout 5 " VIEWER
            " 2>&1); [ $? = 1 ] && [ $(echo \"$out\" | wc -l) = 1 ] &&"
            "echo \"$out\" | grep -q '^tavenor: cannot open a display: '"));
  const std::string display = std::getenv("DISPLAY") != nullptr ? std::getenv("DISPLAY") : "";
  unsetenv("DISPLAY");
  testing::internal::CaptureStderr();
  EXPECT_EQ(MessageBoxA(nullptr, "No leopard.jpg", "Tavenor.exe", MB_OK), 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Tavenor.exe: No leopard.jpg\n");
  setenv("DISPLAY", display.c_str(), 1);
}

}  // namespace
