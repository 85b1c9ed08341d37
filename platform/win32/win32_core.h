// The display-independent half of the Win32-style window system: class
// registry, window records, the posted and input message queues, dispatching,
// default processing and the double-click rule. The SDL layer and the test
// fake both build on it and add only their native windows and input.
// Single-threaded, like the window system it stands in for.
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
  UINT classStyle = 0;
  std::string title;
  DWORD style = 0;
  int x = 0;
  int y = 0;
  int width = 0;   // client width in pixels
  int height = 0;  // client height in pixels
  bool visible = false;
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
  // Milliseconds for MSG::time of posted messages.
  virtual DWORD MessageTime() = 0;
};

// Classes, windows and queues of one thread, calling the backend for the
// native side. Handles are never reused, so a stale handle is never live again.
class WindowSystem {
 public:
  explicit WindowSystem(NativeWindows& native) : native_(native) {}
  WindowSystem(const WindowSystem&) = delete;
  WindowSystem& operator=(const WindowSystem&) = delete;

  // RegisterClassExA: an atom, or 0 for a bad record or a name already taken.
  ATOM RegisterClass(const WNDCLASSEXA* wc);
  // UnregisterClassA: FALSE for an unknown name or while a window of it lives.
  BOOL UnregisterClass(LPCSTR className);
  // CreateWindowExA without the native details: sends WM_CREATE (lParam 0)
  // before returning; a procedure answering -1 to it destroys the window
  // again and gives null, as does an unknown class or a failing backend.
  HWND CreateWindow(LPCSTR className, LPCSTR title, DWORD style, int x, int y, int width,
                    int height);
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

  // PostMessageA: queues a message for a live window, or for the thread when
  // window is null. FALSE for any other handle.
  BOOL Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  // PostQuitMessage: WM_QUIT comes out after the messages posted before it.
  void PostQuit(int exitCode);
  // Queues a message made from native input; it comes out after posted ones.
  void QueueInput(const MSG& msg);
  // The next waiting message that passes the filter (null window and a 0..0
  // range pass everything; WM_QUIT passes every filter), taken off its queue
  // when remove is set: posted messages, then WM_QUIT, then input.
  bool Next(MSG* msg, HWND window, UINT filterMin, UINT filterMax, bool remove);
  // True when any message, posted or input, is waiting.
  bool HasWaiting() const;

  // DispatchMessageA: the window's procedure on the message; 0 for a message
  // to no window or to a window that is gone.
  LRESULT Dispatch(const MSG* msg);
  // DefWindowProcA: WM_CLOSE destroys the window; everything else gives 0.
  LRESULT DefaultProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

 private:
  struct ClassRecord {
    WNDPROC proc;
    UINT style;
    ATOM atom;
  };

  // Calls a window's procedure, if the window still lives.
  LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  // Forgets a record after its native window went.
  void Forget(HWND window);

  NativeWindows& native_;
  std::map<std::string, ClassRecord> classes_;
  std::map<HWND, std::unique_ptr<WindowRecord>> windows_;
  std::deque<MSG> posted_;
  std::deque<MSG> input_;
  bool quitPending_ = false;
  int quitCode_ = 0;
  ATOM nextAtom_ = 0xC000;  // where Win32 starts string atoms
  std::uintptr_t nextHandle_ = 0x10000;
};

// Win32's double-click rule: a press of the same button within
// DOUBLE_CLICK_MS of the previous press and within a 4 x 4 pixel box around
// it is the second click of a double click; the press after that starts anew.
constexpr DWORD DOUBLE_CLICK_MS = 500;
constexpr int DOUBLE_CLICK_HALF_BOX = 2;

enum class MouseButton { Left, Right, Middle };

class ClickTracker {
 public:
  // Notes a press at screen point (x, y), time in ms; true when it completes
  // a double click.
  bool Press(MouseButton button, DWORD time, int x, int y);
  // Forgets the previous press (a press elsewhere, or a window change).
  void Forget() { havePrevious_ = false; }

 private:
  bool havePrevious_ = false;
  MouseButton button_ = MouseButton::Left;
  DWORD time_ = 0;
  int x_ = 0;
  int y_ = 0;
};

// The message of a press, release or double click of a button.
UINT ButtonDownMessage(MouseButton button);
UINT ButtonUpMessage(MouseButton button);
UINT ButtonDoubleClickMessage(MouseButton button);
// The MK_* flag of a button.
WPARAM ButtonFlag(MouseButton button);

}  // namespace win32_core
