// Behaviour of the recording fake window system that the program's tests lean
// on: classes, creation, the message loop's order, closing, quitting, and the
// recorded capture, foreground window and message boxes. No display needed.
#include <gtest/gtest.h>

#include <vector>

#include "platform/win32/win32.h"
#include "tests/fake/fake_win32.h"

namespace {

struct Seen {
  HWND window;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

std::vector<Seen> g_seen;
LRESULT g_createAnswer = 0;

// Records every message and closes through default processing.
LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  g_seen.push_back(Seen{window, message, wParam, lParam});
  if (message == WM_CREATE) return g_createAnswer;
  if (message == WM_DESTROY) {
    PostQuitMessage(7);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

WNDCLASSEXA ClassNamed(LPCSTR name, UINT style = CS_CLASSDC) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof(WNDCLASSEXA);
  wc.style = style;
  wc.lpfnWndProc = RecordingProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = name;
  return wc;
}

HWND MakeWindow(LPCSTR className = "Fakeclass") {
  return CreateWindowExA(0, className, "Title", WS_OVERLAPPEDWINDOW, 100, 100, 600, 300, nullptr,
                         nullptr, GetModuleHandleA(nullptr), nullptr);
}

MSG Mouse(HWND window, UINT message, WPARAM flags, int x, int y) {
  MSG msg{};
  msg.hwnd = window;
  msg.message = message;
  msg.wParam = flags;
  msg.lParam = MAKELPARAM(x, y);
  return msg;
}

class FakeWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake_win32::Reset();
    g_seen.clear();
    g_createAnswer = 0;
    const WNDCLASSEXA wc = ClassNamed("Fakeclass");
    ASSERT_NE(RegisterClassExA(&wc), 0);
  }
  void TearDown() override { fake_win32::Reset(); }

  // Runs the program's loop shape until WM_QUIT; returns its wParam.
  WPARAM RunLoop() {
    MSG msg{};
    for (int turns = 0; msg.message != WM_QUIT && turns < 1000; ++turns) {
      if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
      }
    }
    EXPECT_EQ(msg.message, WM_QUIT);
    return msg.wParam;
  }
};

TEST_F(FakeWindowTest, ClassesRejectBadRecordsAndDuplicates) {
  WNDCLASSEXA wc = ClassNamed("Fakeclass");
  EXPECT_EQ(RegisterClassExA(&wc), 0) << "name already taken";
  wc = ClassNamed("Other");
  wc.cbSize = sizeof(WNDCLASSEXA) - 1;
  EXPECT_EQ(RegisterClassExA(&wc), 0);
  wc = ClassNamed("Other");
  wc.lpfnWndProc = nullptr;
  EXPECT_EQ(RegisterClassExA(&wc), 0);
  wc = ClassNamed("");
  EXPECT_EQ(RegisterClassExA(&wc), 0);
  EXPECT_EQ(RegisterClassExA(nullptr), 0);
}

TEST_F(FakeWindowTest, ClassCannotBeUnregisteredWhileItsWindowLives) {
  const HWND window = MakeWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_FALSE(UnregisterClassA("Fakeclass", GetModuleHandleA(nullptr)));
  DestroyWindow(window);
  EXPECT_TRUE(UnregisterClassA("Fakeclass", GetModuleHandleA(nullptr)));
  EXPECT_FALSE(UnregisterClassA("Fakeclass", GetModuleHandleA(nullptr)));
  EXPECT_EQ(MakeWindow(), nullptr) << "class is gone";
}

TEST_F(FakeWindowTest, CreateSendsWmCreateBeforeReturning) {
  const HWND window = MakeWindow();
  ASSERT_NE(window, nullptr);
  ASSERT_EQ(g_seen.size(), 1u);
  EXPECT_EQ(g_seen[0].window, window);
  EXPECT_EQ(g_seen[0].message, WM_CREATE);
  EXPECT_EQ(fake_win32::Get().lastCreatedWindow, window);
  EXPECT_TRUE(IsWindow(window));
  RECT client{};
  ASSERT_TRUE(GetClientRect(window, &client));
  EXPECT_EQ(client.right - client.left, 600);
  EXPECT_EQ(client.bottom - client.top, 300);
}

TEST_F(FakeWindowTest, CreateFailsForUnknownClassForcedFailureAndRefusedCreate) {
  EXPECT_EQ(MakeWindow("Nosuchclass"), nullptr);
  fake_win32::Get().failCreateWindow = true;
  EXPECT_EQ(MakeWindow(), nullptr);
  fake_win32::Get().failCreateWindow = false;
  EXPECT_TRUE(g_seen.empty());

  g_createAnswer = -1;
  EXPECT_EQ(MakeWindow(), nullptr);
  ASSERT_EQ(g_seen.size(), 2u);
  EXPECT_EQ(g_seen[1].message, WM_DESTROY) << "a refused creation destroys the window";
  EXPECT_FALSE(IsWindow(g_seen[0].window));
}

TEST_F(FakeWindowTest, PeekReturnsFalseWhenIdleAndCallsTheIdleHookWhichMayReplaceItself) {
  int idleCalls = 0;
  fake_win32::Get().onIdle = [&idleCalls] { ++idleCalls; };
  MSG msg{};
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(idleCalls, 2);
  // The hook may replace itself.
  const HWND window = MakeWindow();
  fake_win32::Get().onIdle = [window] {
    fake_win32::PushNativeMessage(Mouse(window, WM_CLOSE, 0, 0, 0));
    fake_win32::Get().onIdle = nullptr;
  };
  EXPECT_EQ(RunLoop(), 7u);
  EXPECT_FALSE(IsWindow(window));
}

TEST_F(FakeWindowTest, PostedMessagesComeBeforeNativeOnesAndQuitAfterPosted) {
  const HWND window = MakeWindow();
  fake_win32::PushNativeMessage(Mouse(window, WM_MOUSEMOVE, MK_LBUTTON, 1, 2));
  PostQuitMessage(3);
  ASSERT_TRUE(PostMessageA(window, WM_NULL, 11, 12));
  MSG msg{};
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_NULL);
  EXPECT_EQ(msg.hwnd, window);
  EXPECT_EQ(msg.wParam, 11u);
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_QUIT);
  EXPECT_EQ(msg.hwnd, nullptr);
  EXPECT_EQ(msg.wParam, 3u);
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_MOUSEMOVE);
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(FakeWindowTest, PeekFiltersByWindowAndMessageRange) {
  const HWND first = MakeWindow();
  const HWND second = MakeWindow();
  ASSERT_TRUE(PostMessageA(first, WM_MOUSEMOVE, 1, 0));
  ASSERT_TRUE(PostMessageA(second, WM_LBUTTONDOWN, 2, 0));
  ASSERT_TRUE(PostMessageA(second, WM_CLOSE, 3, 0));
  MSG msg{};
  ASSERT_TRUE(PeekMessageA(&msg, second, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(msg.wParam, 2u);
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_CLOSE, WM_CLOSE, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 3u);
  ASSERT_TRUE(PeekMessageA(&msg, second, WM_MOUSEMOVE, WM_MBUTTONDBLCLK, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 2u);
  EXPECT_FALSE(PeekMessageA(&msg, second, 0, 0, PM_REMOVE));
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 1u);
}

TEST_F(FakeWindowTest, DispatchHandsNativeMouseMessagesToTheProcedureUnchanged) {
  const HWND window = MakeWindow();
  fake_win32::PushNativeMessage(Mouse(window, WM_MOUSEMOVE, MK_RBUTTON, -10, 65535));
  MSG msg{};
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  DispatchMessageA(&msg);
  ASSERT_EQ(g_seen.size(), 2u);
  EXPECT_EQ(g_seen[1].message, WM_MOUSEMOVE);
  EXPECT_EQ(g_seen[1].wParam, MK_RBUTTON);
  EXPECT_EQ(GET_X_LPARAM(g_seen[1].lParam), -10);
  EXPECT_EQ(GET_Y_LPARAM(g_seen[1].lParam), -1);
}

TEST_F(FakeWindowTest, CloseGivesDestroyThenQuitAndTheWindowGoes) {
  const HWND window = MakeWindow();
  fake_win32::PushNativeMessage(Mouse(window, WM_CLOSE, 0, 0, 0));
  EXPECT_EQ(RunLoop(), 7u);
  ASSERT_EQ(g_seen.size(), 3u);
  EXPECT_EQ(g_seen[1].message, WM_CLOSE);
  EXPECT_EQ(g_seen[2].message, WM_DESTROY);
  EXPECT_FALSE(IsWindow(window));
  RECT client{};
  EXPECT_FALSE(GetClientRect(window, &client));
}

TEST_F(FakeWindowTest, MessagesToADestroyedOrUnknownWindowReachNothing) {
  const HWND window = MakeWindow();
  ASSERT_TRUE(PostMessageA(window, WM_MOUSEMOVE, 0, 0));
  ASSERT_TRUE(DestroyWindow(window));
  g_seen.clear();
  MSG msg{};
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  EXPECT_TRUE(g_seen.empty());
  EXPECT_FALSE(DestroyWindow(window));
  EXPECT_FALSE(PostMessageA(window, WM_NULL, 0, 0));
  EXPECT_FALSE(PostMessageA(reinterpret_cast<HWND>(std::uintptr_t{0x42}), WM_NULL, 0, 0));
}

TEST_F(FakeWindowTest, CaptureIsRecordedAndEndsWithItsWindow) {
  const HWND window = MakeWindow();
  EXPECT_EQ(SetCapture(window), nullptr);
  EXPECT_EQ(SetCapture(window), window) << "returns the previous capture";
  EXPECT_EQ(GetCapture(), window);
  EXPECT_TRUE(ReleaseCapture());
  EXPECT_EQ(GetCapture(), nullptr);
  EXPECT_EQ(fake_win32::Get().setCaptureCalls, 2);
  EXPECT_EQ(fake_win32::Get().releaseCaptureCalls, 1);
  // Destroying the capturing window releases the capture.
  SetCapture(window);
  DestroyWindow(window);
  EXPECT_EQ(fake_win32::Get().capture, nullptr);
}

TEST_F(FakeWindowTest, ResetForgetsWindowsClassesAndQueue) {
  const HWND window = MakeWindow();
  PostQuitMessage(0);
  fake_win32::Reset();
  EXPECT_FALSE(IsWindow(window));
  MSG msg{};
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  const WNDCLASSEXA wc = ClassNamed("Fakeclass");
  EXPECT_NE(RegisterClassExA(&wc), 0);
  EXPECT_EQ(fake_win32::Get().lastCreatedWindow, nullptr);
}

}  // namespace
