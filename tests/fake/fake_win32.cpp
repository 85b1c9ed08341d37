// Recording fake of the Win32-style window system: every call of
// platform/win32.h but WinMain, without a display. Classes, windows, queues
// and dispatching are the shared win32_core ones; native input comes from
// PushNativeMessage, and capture, foreground and message boxes are recorded.
#include "tests/fake/fake_win32.h"

#include <utility>

#include "platform/win32/win32_core.h"

namespace {

// Windows of the fake have no native side; they only count time.
class FakeNative final : public win32_core::NativeWindows {
 public:
  bool CreateNative(win32_core::WindowRecord& record) override {
    record.native = nullptr;
    return true;
  }
  void DestroyNative(win32_core::WindowRecord& record) override;
  DWORD MessageTime() override { return ++clock; }

  DWORD clock = 0;
};

// The fake's whole state, in one place.
struct Fake {
  FakeNative native;
  win32_core::WindowSystem system{native};
  fake_win32::State state;
};

Fake& TheFake() {
  static Fake fake;
  return fake;
}

// The window GetForegroundWindow names: a window of some other program, whose
// client size the test chooses through State::foregroundClient.
HWND ForegroundSentinel() { return reinterpret_cast<HWND>(std::uintptr_t{0xF0F0}); }

void FakeNative::DestroyNative(win32_core::WindowRecord& record) {
  fake_win32::State& state = TheFake().state;
  if (state.capture == record.handle) state.capture = nullptr;
}

}  // namespace

namespace fake_win32 {

State& Get() { return TheFake().state; }

void Reset() {
  Fake& fake = TheFake();
  fake.system.Clear();
  fake.state = State{};
  fake.native.clock = 0;
}

void PushNativeMessage(const MSG& msg) { TheFake().system.QueueInput(msg); }

}  // namespace fake_win32

HMODULE GetModuleHandleA(LPCSTR moduleName) {
  static int module = 0;
  return moduleName == nullptr ? reinterpret_cast<HMODULE>(&module) : nullptr;
}

ATOM RegisterClassExA(const WNDCLASSEXA* wc) { return TheFake().system.RegisterClass(wc); }

BOOL UnregisterClassA(LPCSTR className, HINSTANCE) {
  return TheFake().system.UnregisterClass(className);
}

HWND CreateWindowExA(DWORD, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND, HMENU, HINSTANCE, void*) {
  Fake& fake = TheFake();
  if (fake.state.failCreateWindow) return nullptr;
  const HWND window = fake.system.CreateWindow(className, windowName, style, x, y, width, height);
  if (window != nullptr) fake.state.lastCreatedWindow = window;
  return window;
}

BOOL DestroyWindow(HWND window) { return TheFake().system.DestroyWindow(window); }

BOOL ShowWindow(HWND window, int showCommand) {
  win32_core::WindowRecord* record = TheFake().system.Find(window);
  if (record == nullptr) return FALSE;
  const bool wasVisible = record->visible;
  record->visible = showCommand != SW_HIDE;
  return wasVisible ? TRUE : FALSE;
}

BOOL UpdateWindow(HWND window) { return TheFake().system.Find(window) != nullptr ? TRUE : FALSE; }

BOOL IsWindow(HWND window) { return TheFake().system.Find(window) != nullptr ? TRUE : FALSE; }

BOOL PeekMessageA(MSG* msg, HWND window, UINT filterMin, UINT filterMax, UINT removeMsg) {
  if (msg == nullptr) return FALSE;
  Fake& fake = TheFake();
  if (fake.system.Next(msg, window, filterMin, filterMax, (removeMsg & PM_REMOVE) != 0)) {
    return TRUE;
  }
  // Copy the hook: it may replace or clear State::onIdle while it runs.
  if (fake.state.onIdle) {
    const std::function<void()> idle = fake.state.onIdle;
    idle();
  }
  return FALSE;
}

BOOL TranslateMessage(const MSG*) { return FALSE; }

LRESULT DispatchMessageA(const MSG* msg) { return TheFake().system.Dispatch(msg); }

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return TheFake().system.DefaultProc(window, message, wParam, lParam);
}

void PostQuitMessage(int exitCode) { TheFake().system.PostQuit(exitCode); }

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return TheFake().system.Post(window, message, wParam, lParam);
}

HWND SetCapture(HWND window) {
  fake_win32::State& state = TheFake().state;
  ++state.setCaptureCalls;
  return std::exchange(state.capture, window);
}

BOOL ReleaseCapture() {
  fake_win32::State& state = TheFake().state;
  ++state.releaseCaptureCalls;
  state.capture = nullptr;
  return TRUE;
}

HWND GetCapture() { return TheFake().state.capture; }

HWND GetForegroundWindow() {
  return TheFake().state.hasForeground ? ForegroundSentinel() : nullptr;
}

BOOL GetClientRect(HWND window, RECT* rect) {
  Fake& fake = TheFake();
  if (rect == nullptr) return FALSE;
  if (window != nullptr && window == ForegroundSentinel() && fake.state.hasForeground) {
    *rect = fake.state.foregroundClient;
    return TRUE;
  }
  const win32_core::WindowRecord* record = fake.system.Find(window);
  if (record == nullptr) return FALSE;
  *rect = RECT{0, 0, record->width, record->height};
  return TRUE;
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  TheFake().state.messageBoxes.push_back(fake_win32::MessageBoxRecord{
      owner, text != nullptr ? text : "", caption != nullptr ? caption : "Error", type});
  return IDOK;
}
