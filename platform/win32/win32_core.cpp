// Class registry, window records, message queues and dispatching shared by
// the SDL window layer and the test fake; see win32_core.h.
// Handles are counters dressed as pointers: never dereferenced, never reused.
#include "platform/win32/win32_core.h"

#include <cstdint>
#include <cstdlib>
#include <utility>

namespace win32_core {
namespace {

// A message as PeekMessageA hands it out.
MSG MakeMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD time) {
  MSG msg{};
  msg.hwnd = window;
  msg.message = message;
  msg.wParam = wParam;
  msg.lParam = lParam;
  msg.time = time;
  return msg;
}

// Win32's filter: a window filter matches only that window's messages, and a
// range of 0..0 matches every message number.
bool Passes(const MSG& msg, HWND window, UINT filterMin, UINT filterMax) {
  if (window != nullptr && msg.hwnd != window) return false;
  if (filterMin == 0 && filterMax == 0) return true;
  return msg.message >= filterMin && msg.message <= filterMax;
}

// Takes (or copies) the first message of a queue that passes the filter.
bool TakeFirst(std::deque<MSG>& queue, MSG* out, HWND window, UINT filterMin, UINT filterMax,
               bool remove) {
  for (auto it = queue.begin(); it != queue.end(); ++it) {
    if (!Passes(*it, window, filterMin, filterMax)) continue;
    *out = *it;
    if (remove) queue.erase(it);
    return true;
  }
  return false;
}

}  // namespace

ATOM WindowSystem::RegisterClass(const WNDCLASSEXA* wc) {
  if (wc == nullptr || wc->cbSize != sizeof(WNDCLASSEXA) || wc->lpfnWndProc == nullptr) return 0;
  if (wc->lpszClassName == nullptr || wc->lpszClassName[0] == '\0') return 0;
  if (classes_.count(wc->lpszClassName) != 0) return 0;
  const ATOM atom = nextAtom_++;
  classes_[wc->lpszClassName] = ClassRecord{wc->lpfnWndProc, wc->style, atom};
  return atom;
}

BOOL WindowSystem::UnregisterClass(LPCSTR className) {
  if (className == nullptr) return FALSE;
  const auto found = classes_.find(className);
  if (found == classes_.end()) return FALSE;
  for (const auto& [handle, record] : windows_) {
    if (record->className == className) return FALSE;
  }
  classes_.erase(found);
  return TRUE;
}

HWND WindowSystem::CreateWindow(LPCSTR className, LPCSTR title, DWORD style, int x, int y,
                                int width, int height) {
  if (className == nullptr) return nullptr;
  const auto found = classes_.find(className);
  if (found == classes_.end()) return nullptr;
  auto record = std::make_unique<WindowRecord>();
  nextHandle_ += 0x10;
  record->handle = reinterpret_cast<HWND>(nextHandle_);
  record->className = className;
  record->proc = found->second.proc;
  record->classStyle = found->second.style;
  record->title = title != nullptr ? title : "";
  record->style = style;
  record->x = x;
  record->y = y;
  record->width = width;
  record->height = height;
  if (!native_.CreateNative(*record)) return nullptr;
  const HWND handle = record->handle;
  windows_[handle] = std::move(record);
  // Win32 fails the creation when the procedure answers WM_CREATE with -1.
  if (Send(handle, WM_CREATE, 0, 0) == -1) {
    DestroyWindow(handle);
    return nullptr;
  }
  return Find(handle) != nullptr ? handle : nullptr;
}

BOOL WindowSystem::DestroyWindow(HWND window) {
  WindowRecord* record = Find(window);
  if (record == nullptr) return FALSE;
  if (record->destroying) return TRUE;
  record->destroying = true;
  Send(window, WM_DESTROY, 0, 0);
  // The procedure may have called anything meanwhile; look the record up again.
  record = Find(window);
  if (record != nullptr) {
    native_.DestroyNative(*record);
    Forget(window);
  }
  return TRUE;
}

void WindowSystem::Clear() {
  for (auto& [handle, record] : windows_) native_.DestroyNative(*record);
  windows_.clear();
  classes_.clear();
  posted_.clear();
  input_.clear();
  quitPending_ = false;
  quitCode_ = 0;
}

WindowRecord* WindowSystem::Find(HWND window) {
  const auto found = windows_.find(window);
  return found != windows_.end() ? found->second.get() : nullptr;
}

std::vector<HWND> WindowSystem::Windows() const {
  std::vector<HWND> handles;
  for (const auto& [handle, record] : windows_) handles.push_back(handle);
  return handles;
}

BOOL WindowSystem::Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (window != nullptr && Find(window) == nullptr) return FALSE;
  posted_.push_back(MakeMessage(window, message, wParam, lParam, native_.MessageTime()));
  return TRUE;
}

void WindowSystem::PostQuit(int exitCode) {
  quitPending_ = true;
  quitCode_ = exitCode;
}

void WindowSystem::QueueInput(const MSG& msg) { input_.push_back(msg); }

bool WindowSystem::Next(MSG* msg, HWND window, UINT filterMin, UINT filterMax, bool remove) {
  if (TakeFirst(posted_, msg, window, filterMin, filterMax, remove)) return true;
  if (quitPending_) {
    *msg = MakeMessage(nullptr, WM_QUIT, static_cast<WPARAM>(quitCode_), 0, native_.MessageTime());
    if (remove) quitPending_ = false;
    return true;
  }
  return TakeFirst(input_, msg, window, filterMin, filterMax, remove);
}

bool WindowSystem::HasWaiting() const {
  return quitPending_ || !posted_.empty() || !input_.empty();
}

LRESULT WindowSystem::Dispatch(const MSG* msg) {
  if (msg == nullptr || msg->hwnd == nullptr) return 0;
  return Send(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

LRESULT WindowSystem::DefaultProc(HWND window, UINT message, WPARAM, LPARAM) {
  if (message == WM_CLOSE) DestroyWindow(window);
  return 0;
}

LRESULT WindowSystem::Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const WindowRecord* record = Find(window);
  if (record == nullptr) return 0;
  // Copy the procedure out: the call may destroy the record.
  const WNDPROC proc = record->proc;
  return proc(window, message, wParam, lParam);
}

void WindowSystem::Forget(HWND window) { windows_.erase(window); }

bool ClickTracker::Press(MouseButton button, DWORD time, int x, int y) {
  const bool isDouble = havePrevious_ && button == button_ && time - time_ <= DOUBLE_CLICK_MS &&
                        std::abs(std::int64_t{x} - x_) <= DOUBLE_CLICK_HALF_BOX &&
                        std::abs(std::int64_t{y} - y_) <= DOUBLE_CLICK_HALF_BOX;
  // After a double click the next press starts a new one, as in Win32.
  havePrevious_ = !isDouble;
  button_ = button;
  time_ = time;
  x_ = x;
  y_ = y;
  return isDouble;
}

UINT ButtonDownMessage(MouseButton button) {
  switch (button) {
    case MouseButton::Left:
      return WM_LBUTTONDOWN;
    case MouseButton::Right:
      return WM_RBUTTONDOWN;
    case MouseButton::Middle:
      return WM_MBUTTONDOWN;
  }
  return WM_NULL;
}

UINT ButtonUpMessage(MouseButton button) { return ButtonDownMessage(button) + 1; }

UINT ButtonDoubleClickMessage(MouseButton button) { return ButtonDownMessage(button) + 2; }

WPARAM ButtonFlag(MouseButton button) {
  switch (button) {
    case MouseButton::Left:
      return MK_LBUTTON;
    case MouseButton::Right:
      return MK_RBUTTON;
    case MouseButton::Middle:
      return MK_MBUTTON;
  }
  return 0;
}

}  // namespace win32_core
