// The SDL window layer in a private X server with openbox, driven by real
// pointer input from xdotool: messages, flags and coordinates reaching the
// window procedure, capture outside the window, double clicks, the window
// manager's close, the quit message, the idle peek and the message box.
#include "platform/win32/sdl_window.h"

#include <SDL.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "platform/win32/win32.h"
// Last: the X11 headers behind it define short macros (None, Bool, Status).
#include <SDL_syswm.h>

namespace {

struct Seen {
  UINT message;
  WPARAM wParam;
  int x;
  int y;
};

std::vector<Seen> g_seen;
HWND g_createdDuringCreate = nullptr;

// Records every message; WM_DESTROY posts the quit message as the program does.
LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  g_seen.push_back(Seen{message, wParam, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
  if (message == WM_CREATE) g_createdDuringCreate = window;
  if (message == WM_DESTROY) {
    PostQuitMessage(4);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

// Runs a shell command line; true when it exits 0.
bool Shell(const std::string& command) { return std::system(command.c_str()) == 0; }

class SdlWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError(); }
  static void TearDownTestSuite() { SDL_Quit(); }

  void SetUp() override {
    g_seen.clear();
    g_createdDuringCreate = nullptr;
    // A hung X interaction ends the binary instead of waiting for CTest.
    alarm(30);
  }
  void TearDown() override {
    CloseWindowLayer();
    alarm(0);
  }

  // Registers the class and creates and shows the window, then waits until
  // the window manager has given it the focus.
  void Open(UINT classStyle, const char* title) {
    // Park the pointer outside the window, so the first move into it is a move.
    ASSERT_TRUE(Shell("xdotool mousemove 0 0"));
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof(WNDCLASSEXA);
    wc.style = classStyle;
    wc.lpfnWndProc = RecordingProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "Testclass";
    ASSERT_NE(RegisterClassExA(&wc), 0);
    window_ = CreateWindowExA(0, "Testclass", title, WS_OVERLAPPEDWINDOW, 100, 100, 600, 300,
                              nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(window_, nullptr) << SDL_GetError();
    ShowWindow(window_, SW_SHOWDEFAULT);
    UpdateWindow(window_);
    ASSERT_TRUE(PumpUntil([this] { return GetForegroundWindow() == window_; }));
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    ASSERT_TRUE(SDL_GetWindowWMInfo(SdlWindowFromHwnd(window_), &info));
    xid_ = std::to_string(info.info.x11.window);
    g_seen.clear();
  }

  // Dispatches messages until done() holds or 5 s pass, napping briefly
  // while nothing comes.
  bool PumpUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    MSG msg{};
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
        if (msg.message == WM_QUIT) quit_ = msg;
      } else {
        // A short nap, not SDL_WaitEventTimeout: SDL 2.26 may later send its
        // wake-up to a window destroyed meanwhile, a fatal X error.
        SDL_Delay(2);
      }
    }
    return true;
  }

  // Index of the first recorded message with this number from `from` on, or -1.
  static int Find(UINT message, size_t from = 0) {
    for (size_t i = from; i < g_seen.size(); ++i) {
      if (g_seen[i].message == message) return static_cast<int>(i);
    }
    return -1;
  }

  // Runs xdotool, then pumps until `message` has been recorded `count` times.
  void Input(const std::string& xdotoolArgs, UINT message, int count = 1) {
    ASSERT_TRUE(Shell("xdotool " + xdotoolArgs)) << xdotoolArgs;
    ASSERT_TRUE(PumpUntil([&] {
      int found = 0;
      for (const Seen& seen : g_seen) found += seen.message == message ? 1 : 0;
      return found >= count;
    })) << "no message "
        << message << " after xdotool " << xdotoolArgs;
  }

  // xdotool arguments moving the pointer to client point (x, y).
  std::string MoveTo(int x, int y) const {
    return "mousemove --window " + xid_ + " -- " + std::to_string(x) + " " + std::to_string(y);
  }

  // The last recorded message with this number.
  static Seen Last(UINT message) {
    for (auto it = g_seen.rbegin(); it != g_seen.rend(); ++it) {
      if (it->message == message) return *it;
    }
    ADD_FAILURE() << "no message " << message;
    return Seen{};
  }

  HWND window_ = nullptr;
  std::string xid_;
  MSG quit_{};
};

// ---- Window -----------------------------------------------------------------

TEST_F(SdlWindowTest, CreateSendsWmCreateAndGivesA600By300ClientArea) {
  Open(CS_CLASSDC, "Window size");
  EXPECT_EQ(g_createdDuringCreate, window_);
  RECT client{};
  ASSERT_TRUE(GetClientRect(window_, &client));
  EXPECT_EQ(client.right - client.left, 600);
  EXPECT_EQ(client.bottom - client.top, 300);
  // The X server's own view of the client window.
  EXPECT_TRUE(Shell("xdotool getwindowgeometry " + xid_ + " | grep -q 'Geometry: 600x300'"));
  Uint32 flags = SDL_GetWindowFlags(SdlWindowFromHwnd(window_));
  EXPECT_NE(flags & SDL_WINDOW_OPENGL, 0u);
  EXPECT_NE(flags & SDL_WINDOW_RESIZABLE, 0u);
}

TEST_F(SdlWindowTest, UnknownHandlesAreRefused) {
  const HWND bogus = reinterpret_cast<HWND>(std::uintptr_t{0x99});
  RECT client{};
  EXPECT_FALSE(GetClientRect(bogus, &client));
  EXPECT_EQ(SdlWindowFromHwnd(bogus), nullptr);
  EXPECT_EQ(
      CreateWindowExA(0, "Nosuchclass", "x", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr),
      nullptr);
}

// ---- Mouse ------------------------------------------------------------------

TEST_F(SdlWindowTest, LeftPressMoveReleaseReachTheProcedure) {
  Open(CS_CLASSDC, "Left drag");
  Input(MoveTo(50, 60), WM_MOUSEMOVE);
  Input("mousedown 1", WM_LBUTTONDOWN);
  Input(MoveTo(80, 95), WM_MOUSEMOVE, 2);
  Input("mouseup 1", WM_LBUTTONUP);
  const Seen down = Last(WM_LBUTTONDOWN);
  EXPECT_EQ(down.wParam, MK_LBUTTON);
  EXPECT_EQ(down.x, 50);
  EXPECT_EQ(down.y, 60);
  const Seen move = Last(WM_MOUSEMOVE);
  EXPECT_EQ(move.wParam, MK_LBUTTON);
  EXPECT_EQ(move.x, 80);
  EXPECT_EQ(move.y, 95);
  const Seen up = Last(WM_LBUTTONUP);
  EXPECT_EQ(up.wParam, 0u);
  EXPECT_EQ(up.x, 80);
  EXPECT_EQ(up.y, 95);
}

TEST_F(SdlWindowTest, RightAndMiddleDragsCarryTheirNumbersAndFlags) {
  Open(CS_CLASSDC, "Right and middle");
  Input(MoveTo(200, 100), WM_MOUSEMOVE);
  Input("mousedown 3", WM_RBUTTONDOWN);
  Input(MoveTo(210, 90), WM_MOUSEMOVE, 2);
  EXPECT_EQ(Last(WM_MOUSEMOVE).wParam, MK_RBUTTON);
  Input("mousedown 2", WM_MBUTTONDOWN);
  EXPECT_EQ(Last(WM_MBUTTONDOWN).wParam, MK_RBUTTON | MK_MBUTTON);
  Input(MoveTo(220, 80), WM_MOUSEMOVE, 3);
  EXPECT_EQ(Last(WM_MOUSEMOVE).wParam, MK_RBUTTON | MK_MBUTTON);
  Input("mouseup 3", WM_RBUTTONUP);
  EXPECT_EQ(Last(WM_RBUTTONUP).wParam, MK_MBUTTON);
  Input("mouseup 2", WM_MBUTTONUP);
  const Seen up = Last(WM_MBUTTONUP);
  EXPECT_EQ(up.wParam, 0u);
  EXPECT_EQ(up.x, 220);
  EXPECT_EQ(up.y, 80);
}

TEST_F(SdlWindowTest, CapturedMovesOutsideTheWindowKeepTheirClientCoordinates) {
  Open(CS_CLASSDC, "Capture");
  Input(MoveTo(50, 60), WM_MOUSEMOVE);
  Input("mousedown 1", WM_LBUTTONDOWN);
  EXPECT_EQ(SetCapture(window_), nullptr);
  EXPECT_EQ(GetCapture(), window_);
  Input(MoveTo(-10, -20), WM_MOUSEMOVE, 2);
  EXPECT_EQ(Last(WM_MOUSEMOVE).x, -10);
  EXPECT_EQ(Last(WM_MOUSEMOVE).y, -20);
  EXPECT_EQ(Last(WM_MOUSEMOVE).wParam, MK_LBUTTON);
  Input(MoveTo(700, 350), WM_MOUSEMOVE, 3);
  EXPECT_EQ(Last(WM_MOUSEMOVE).x, 700);
  EXPECT_EQ(Last(WM_MOUSEMOVE).y, 350);
  Input(MoveTo(-60, 320), WM_MOUSEMOVE, 4);
  Input("mouseup 1", WM_LBUTTONUP);
  EXPECT_EQ(Last(WM_LBUTTONUP).x, -60);
  EXPECT_EQ(Last(WM_LBUTTONUP).y, 320);
  EXPECT_TRUE(ReleaseCapture());
  EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(SdlWindowTest, AQuickSecondPressIsADoubleClickOnlyWithCsDblclks) {
  for (const UINT style : {UINT{CS_CLASSDC}, UINT{CS_DBLCLKS}}) {
    SCOPED_TRACE(style == CS_DBLCLKS ? "CS_DBLCLKS" : "CS_CLASSDC");
    Open(style, style == CS_DBLCLKS ? "Double clicks" : "No double clicks");
    Input(MoveTo(300, 150), WM_MOUSEMOVE);
    Input("click --repeat 2 --delay 60 1", WM_LBUTTONUP, 2);
    std::vector<UINT> buttons;
    for (const Seen& seen : g_seen) {
      if (seen.message != WM_MOUSEMOVE) buttons.push_back(seen.message);
    }
    const UINT second = style == CS_DBLCLKS ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN;
    EXPECT_EQ(buttons, (std::vector<UINT>{WM_LBUTTONDOWN, WM_LBUTTONUP, second, WM_LBUTTONUP}));
    CloseWindowLayer();
  }
}

// ---- Closing and quitting ---------------------------------------------------------

TEST_F(SdlWindowTest, WindowManagerCloseGivesCloseThenDestroyThenQuit) {
  Open(CS_CLASSDC, "Closing window");
  ASSERT_TRUE(Shell("wmctrl -c 'Closing window'"));
  ASSERT_TRUE(PumpUntil([this] { return quit_.message == WM_QUIT; }));
  const int close = Find(WM_CLOSE);
  ASSERT_GE(close, 0);
  EXPECT_EQ(Find(WM_DESTROY, close), close + 1);
  EXPECT_EQ(quit_.wParam, 4u);
  EXPECT_FALSE(IsWindow(window_));
  EXPECT_EQ(SdlWindowFromHwnd(window_), nullptr);
  EXPECT_FALSE(Shell("xdotool getwindowname " + xid_ + " >/dev/null 2>&1"))
      << "the X window is gone";
}

TEST_F(SdlWindowTest, TerminationSignalAsksTheWindowToClose) {
  Open(CS_CLASSDC, "Signalled window");
  // SDL turns SIGTERM into its quit event; the layer turns that into WM_CLOSE.
  ASSERT_EQ(raise(SIGTERM), 0);
  ASSERT_TRUE(PumpUntil([this] { return quit_.message == WM_QUIT; }));
  const int close = Find(WM_CLOSE);
  ASSERT_GE(close, 0);
  EXPECT_EQ(Find(WM_DESTROY, close), close + 1);
  EXPECT_FALSE(IsWindow(window_));
}

TEST_F(SdlWindowTest, PostQuitMessageGivesWmQuitWithTheExitCode) {
  Open(CS_CLASSDC, "Quit");
  PostQuitMessage(9);
  MSG msg{};
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_QUIT);
  EXPECT_EQ(msg.wParam, 9u);
}

TEST_F(SdlWindowTest, PeekReturnsFalseAtOnceWhenNothingWaits) {
  Open(CS_CLASSDC, "Idle");
  MSG msg{};
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  const auto start = std::chrono::steady_clock::now();
  int empty = 0;
  for (int i = 0; i < 200; ++i) empty += PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE) ? 0 : 1;
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_GE(empty, 190);
  // Blocking for even one display refresh per call would take over 3 s.
  EXPECT_LT(elapsed, std::chrono::milliseconds(500));
}

// ---- Message box ----------------------------------------------------------------

// Starts, in the background, a script that waits for the box titled
// `caption` (one word: wmctrl's list is split at blanks), notes in `marker` that it appeared, and
// then runs `dismiss` with $id set to the box's X window, again every 0.3 s while the box is
// still listed: the window manager may list it before it is mapped and reads input.
void DismissBoxLater(const std::string& caption, const std::string& marker,
                     const std::string& dismiss) {
  const std::string find = "id=$(wmctrl -l | awk '$4==\"" + caption + "\" {print $1}')";
  const std::string script = "for i in $(seq 100); do " + find +
                             "; [ -n \"$id\" ] && break; sleep 0.05; done; "
                             "[ -n \"$id\" ] && echo found > " +
                             marker + " && for i in $(seq 60); do (" + dismiss + "); sleep 0.3; " +
                             find + "; [ -z \"$id\" ] && break; done";
  ASSERT_TRUE(Shell("(" + script + ") >/dev/null 2>&1 &"));
}

// The box is answered OK whether Return is pressed in it or its OK button clicked.
TEST_F(SdlWindowTest, MessageBoxBlocksUntilReturnIsPressedOrOkClicked) {
  const struct {
    const char* caption;
    const char* text;
    std::string dismiss;
  } cases[] = {
      {"Tavenor.exe", "Could not find leopard.jpg", "xdotool windowactivate --sync $id key Return"},
      // The OK button spans the middle of the box's lower half.
      {"Clickable.box", "Press OK",
       "eval $(xdotool getwindowgeometry --shell $id) && "
       "xdotool mousemove --window $id $((WIDTH/2)) $((HEIGHT*3/4)) click 1"},
  };
  for (const auto& c : cases) {
    const std::string marker = testing::TempDir() + "box." + std::to_string(getpid());
    std::remove(marker.c_str());
    DismissBoxLater(c.caption, marker, c.dismiss);
    EXPECT_EQ(MessageBoxA(nullptr, c.text, c.caption, MB_OK), IDOK) << c.caption;
    EXPECT_TRUE(Shell("grep -q found " + marker)) << c.caption << " was never on screen";
    std::remove(marker.c_str());
  }
}

}  // namespace
