// The display-independent half of the Win32-style window system: class
// registry, window records, the message queues, dispatching and default
// processing. The SDL layer and the test fake both build on it and add only
// their native windows and input. Single-threaded, like the window system it
// stands in for.
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/win32/win32.h"

namespace win32_core {

// One live window: what CreateWindowExA was given plus its class's procedure.
struct WindowRecord {
  HWND handle = nullptr;
  std::string className;
  WNDPROC proc = nullptr;
  std::string title;
  int x = 0;
  int y = 0;
  int width = 0;   // client width in pixels
  int height = 0;  // client height in pixels
  bool destroying = false;  // WM_DESTROY has been sent; the record goes next
  void* native = nullptr;   // the backend's own window (an SDL_Window* in the SDL layer)
};

// What a backend does when a window record is born or dies.
class NativeWindows {
 public:
  virtual ~NativeWindows() = default;
  // Makes the native window for a new record (sets record.native); false when
  // none can be made, and then the window is not created.
  virtual bool CreateNative(WindowRecord& record) = 0;
  // Removes the native window of a record that is going away.
  virtual void DestroyNative(WindowRecord& record) = 0;
};

// Classes, windows and queues of one thread, calling the backend for the
// native side. Handles are never reused, so a stale handle is never live again.
class WindowSystem {
 public:
  explicit WindowSystem(NativeWindows& native) : native_(native) {}
  WindowSystem(const WindowSystem&) = delete;
  WindowSystem& operator=(const WindowSystem&) = delete;

  // RegisterClassExA: 1, or 0 for a bad record or a name already taken. Nothing
  // takes a class by its atom, so every class has the same one.
  ATOM RegisterClass(const WNDCLASSEXA* wc);
  // UnregisterClassA: FALSE for an unknown name or while a window of it lives.
  BOOL UnregisterClass(LPCSTR className);
  // CreateWindowExA without the native details: sends WM_CREATE (lParam 0)
  // before returning; null for an unknown class or a failing backend.
  HWND CreateWindow(LPCSTR className, LPCSTR title, int x, int y, int width, int height);
  // DestroyWindow: WM_DESTROY reaches the procedure, then the native window
  // and the record go. FALSE for an unknown handle; TRUE (doing nothing) for
  // a window already being destroyed.
  BOOL DestroyWindow(HWND window);
  // Destroys every window without sending anything and forgets every class
  // and queued message: the state of a freshly started program.
  void Clear();

  // The record of a live window; null for any other handle.
  WindowRecord* Find(HWND window);
  // Handles of the live windows, oldest first.
  std::vector<HWND> Windows() const;

  // PostQuitMessage: WM_QUIT comes out after the messages posted before it.
  void PostQuit(int exitCode);
  // Queues a message made from native input.
  void QueueInput(const MSG& msg);
  // Takes the next waiting message: WM_QUIT, then input. False when none waits.
  bool Next(MSG* msg);
  // Whether Next would return a message.
  bool HasWaiting() const { return quitPending_ || !input_.empty(); }

  // DispatchMessageA: the window's procedure on the message; 0 for a message
  // to no window or to a window that is gone.
  LRESULT Dispatch(const MSG* msg);
  // DefWindowProcA: WM_CLOSE destroys the window; everything else gives 0.
  LRESULT DefaultProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

 private:
  // Calls a window's procedure, if the window still lives.
  LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  NativeWindows& native_;
  std::map<std::string, WNDPROC> classes_;  // each class's window procedure
  std::map<HWND, std::unique_ptr<WindowRecord>> windows_;
  std::deque<MSG> input_;
  bool quitPending_ = false;
  int quitCode_ = 0;
  std::uintptr_t nextHandle_ = 0x10000;
};

}  // namespace win32_core
