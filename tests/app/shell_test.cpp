// The application shell over the recording fakes: WinMain's run from start
// to a normal close, its end on each start-up failure (status 1, one line on
// stderr, nothing left behind), and MainWindowProc's routing of messages.
#include "app/shell.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>

#include "render/graphics.h"
#include "tests/fake/fake_d3d9.h"
#include "tests/fake/fake_win32.h"
#include "tests/render/graphics_fixture.h"

namespace {

using testing::HasSubstr;
using testing::IsEmpty;

struct Outcome {
  int status;
  std::string stderrText;
};

// True when "Brisvane" is no longer registered (it can be registered anew).
bool ClassIsGone() {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = DefWindowProcA;
  wc.lpszClassName = "Brisvane";
  if (RegisterClassExA(&wc) == 0) return false;
  UnregisterClassA("Brisvane", GetModuleHandleA(nullptr));
  return true;
}

class WinMainTest : public render_test::GraphicsTest {
 protected:
  void SetUp() override {
    GraphicsTest::SetUp();
    ASSERT_TRUE(render_test::WriteSolidJpeg(dirs_.Parent() / "leopard.jpg", 200, 150, 60));
  }

  // Runs WinMain; the idle hook gets the number of idle moments so far. A
  // loop that never ends is stopped after many idle moments.
  Outcome Run(std::function<void(int)> idle = {}) {
    int idles = 0;
    fake_win32::Get().onIdle = [&idles, idle] {
      ++idles;
      if (idle) idle(idles);
      if (idles == 10000) {
        ADD_FAILURE() << "the loop did not end";
        PostQuitMessage(0);
      }
    };
    testing::internal::CaptureStderr();
    const int status = WinMain(nullptr, nullptr, const_cast<char*>(""), SW_SHOWNORMAL);
    return Outcome{status, testing::internal::GetCapturedStderr()};
  }

  // Closes the window (as the window manager would) at the given idle moment.
  static std::function<void(int)> CloseAt(int moment) {
    return [moment](int idles) {
      if (idles == moment) PostMessageA(fake_win32::Get().lastCreatedWindow, WM_CLOSE, 0, 0);
    };
  }

  render_test::ScratchDirectories dirs_;
};

TEST_F(WinMainTest, DrawsWhileIdleAndEndsWithZeroWhenTheWindowIsClosed) {
  int idlesAtClose = 0;
  const Outcome outcome = Run([&](int idles) {
    if (idles == 5) {
      idlesAtClose = idles;
      PostMessageA(fake_win32::Get().lastCreatedWindow, WM_CLOSE, 0, 0);
    }
  });

  EXPECT_EQ(outcome.status, 0);
  EXPECT_THAT(outcome.stderrText, IsEmpty());
  // Every idle moment drew one frame, and nothing was drawn after the close.
  EXPECT_EQ(fake_d3d9::CallsNamed("Present").size(), static_cast<std::size_t>(idlesAtClose));
  EXPECT_FALSE(IsWindow(fake_win32::Get().lastCreatedWindow));
  EXPECT_TRUE(ClassIsGone());
  EXPECT_EQ(g_arcball, nullptr);
  EXPECT_EQ(g_device, nullptr);
  EXPECT_EQ(fake_d3d9::LiveObjects(), 0);
}

TEST_F(WinMainTest, ShowsA600By300WindowBeforeTheFirstFrame) {
  bool shownBeforeFirstFrame = false;
  RECT client{};
  Run([&](int idles) {
    if (idles != 1) return;
    const HWND window = fake_win32::Get().lastCreatedWindow;
    shownBeforeFirstFrame = fake_d3d9::CallsNamed("Present").empty() &&
                            ShowWindow(window, SW_SHOWDEFAULT) != FALSE;  // was visible
    GetClientRect(window, &client);
    PostMessageA(window, WM_CLOSE, 0, 0);
  });

  EXPECT_TRUE(shownBeforeFirstFrame);
  EXPECT_EQ(client.right - client.left, 600);
  EXPECT_EQ(client.bottom - client.top, 300);
}

TEST_F(WinMainTest, HandsQueuedMouseMessagesToTheArcball) {
  bool dragging = false;
  Run([&](int idles) {
    const HWND window = fake_win32::Get().lastCreatedWindow;
    if (idles == 1) {
      fake_win32::PushNativeMessage(
          MSG{window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(300, 150), 0, {300, 150}});
    } else if (idles == 2) {
      dragging = g_arcball != nullptr && g_arcball->Dragging();
      PostMessageA(window, WM_CLOSE, 0, 0);
    }
  });

  EXPECT_TRUE(dragging);
  EXPECT_EQ(fake_win32::Get().setCaptureCalls, 1);
}

// One way start-up can fail, and what the user must be told.
struct StartFailure {
  const char* name;
  std::function<void(const render_test::ScratchDirectories&)> arrange;
  const char* cause;  // expected in the stderr line
  bool messageBox;    // the missing-texture box is shown first
};

void PrintTo(const StartFailure& failure, std::ostream* os) { *os << failure.name; }

class WinMainFailureTest : public WinMainTest, public testing::WithParamInterface<StartFailure> {};

TEST_P(WinMainFailureTest, EndsWithOneAfterOneLineAndLeavesNothingBehind) {
  GetParam().arrange(dirs_);

  const Outcome outcome = Run(CloseAt(1));

  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(std::count(outcome.stderrText.begin(), outcome.stderrText.end(), '\n'), 1)
      << outcome.stderrText;
  EXPECT_THAT(outcome.stderrText, HasSubstr(GetParam().cause));
  EXPECT_EQ(fake_win32::Get().messageBoxes.size(), GetParam().messageBox ? 1u : 0u);
  // No frame, no window, no class, no device object left.
  EXPECT_THAT(fake_d3d9::CallsNamed("Present"), IsEmpty());
  EXPECT_FALSE(IsWindow(fake_win32::Get().lastCreatedWindow));
  EXPECT_TRUE(ClassIsGone());
  EXPECT_EQ(g_arcball, nullptr);
  EXPECT_EQ(g_d3d, nullptr);
  EXPECT_EQ(fake_d3d9::LiveObjects(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    EachStartFailure, WinMainFailureTest,
    testing::Values(
        StartFailure{"NoWindow", [](auto&) { fake_win32::Get().failCreateWindow = true; }, "window",
                     false},
        StartFailure{"NoDirect3D",
                     [](auto&) {
                       fake_d3d9::Get().failCreate9 = true;
                       fake_d3d9::Get().failureReason = "no OpenGL 3.3 here";
                     },
                     "no OpenGL 3.3 here", false},
        StartFailure{"NoDevice",
                     [](auto&) {
                       fake_d3d9::Get().failCreateDevice = true;
                       fake_d3d9::Get().failureReason = "no context for the window";
                     },
                     "no context for the window", false},
        StartFailure{"NoTexture",
                     [](const render_test::ScratchDirectories& dirs) {
                       std::filesystem::remove(dirs.Parent() / "leopard.jpg");
                     },
                     "leopard.jpg", true},
        StartFailure{"NoVertexBuffer",
                     [](auto&) { fake_d3d9::Get().failCreateVertexBuffer = true; }, "vertex buffer",
                     false},
        StartFailure{"NoLock", [](auto&) { fake_d3d9::Get().failLock = true; }, "lock", false}),
    [](const testing::TestParamInfo<StartFailure>& info) { return info.param.name; });

class MainWindowProcTest : public render_test::GraphicsTest {
 protected:
  void SetUp() override {
    GraphicsTest::SetUp();
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = MainWindowProc;
    wc.lpszClassName = "Routing";
    ASSERT_NE(RegisterClassExA(&wc), 0);
    window_ = CreateWindowExA(0, "Routing", "routing", WS_OVERLAPPEDWINDOW, 0, 0, 600, 300, nullptr,
                              nullptr, nullptr, nullptr);
    ASSERT_NE(window_, nullptr);
  }

  LRESULT PressLeftAtTheBallsCentre() {
    return MainWindowProc(window_, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(300, 150));
  }

  // The message the queue hands out next, or WM_NULL when it is empty.
  static UINT NextQueuedMessage() {
    MSG msg{};
    return PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE) ? msg.message : WM_NULL;
  }

  HWND window_ = nullptr;
};

TEST_F(MainWindowProcTest, PassesMessagesOnlyToDefaultProcessingBeforeTheArcballExists) {
  EXPECT_EQ(PressLeftAtTheBallsCentre(), 0);

  EXPECT_EQ(fake_win32::Get().setCaptureCalls, 0);
}

TEST_F(MainWindowProcTest, HandsMouseMessagesToTheArcballAndThenToDefaultProcessing) {
  ASSERT_EQ(StartGraphics(window_), S_OK);

  // The arcball's own result (1) is not what the procedure returns.
  EXPECT_EQ(PressLeftAtTheBallsCentre(), 0);

  EXPECT_TRUE(g_arcball->Dragging());
  EXPECT_EQ(fake_win32::Get().setCaptureCalls, 1);
}

TEST_F(MainWindowProcTest, ReleasesTheGraphicsAndPostsQuitOnDestroyThenRoutesNothingToTheArcball) {
  ASSERT_EQ(StartGraphics(window_), S_OK);

  EXPECT_EQ(MainWindowProc(window_, WM_DESTROY, 0, 0), 0);

  EXPECT_EQ(g_arcball, nullptr);
  EXPECT_EQ(g_device, nullptr);
  EXPECT_EQ(fake_d3d9::LiveObjects(), 0);
  EXPECT_EQ(NextQueuedMessage(), WM_QUIT);
  // Mouse messages no longer reach the arcball once it is gone.
  EXPECT_EQ(PressLeftAtTheBallsCentre(), 0);

  EXPECT_EQ(fake_win32::Get().setCaptureCalls, 0);
}

TEST_F(MainWindowProcTest, LetsDefaultProcessingCloseTheWindowWhichThenQuits) {
  ASSERT_EQ(StartGraphics(window_), S_OK);

  MainWindowProc(window_, WM_CLOSE, 0, 0);

  EXPECT_FALSE(IsWindow(window_));
  EXPECT_EQ(g_arcball, nullptr);
  EXPECT_EQ(NextQueuedMessage(), WM_QUIT);
}

}  // namespace
