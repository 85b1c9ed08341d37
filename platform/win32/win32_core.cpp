// Class registry, window records, message queues and dispatching shared by
// the SDL window layer and the test fake; see win32_core.h.
// Handles are counters dressed as pointers: never dereferenced, never reused.
#include "platform/win32/win32_core.h"

#include <cstdint>
#include <utility>

namespace win32_core {

ATOM WindowSystem::RegisterClass(const WNDCLASSEXA* wc) {
  if (wc == nullptr || wc->cbSize != sizeof(WNDCLASSEXA) || wc->lpfnWndProc == nullptr) return 0;
  if (wc->lpszClassName == nullptr || wc->lpszClassName[0] == '\0') return 0;
  return classes_.emplace(wc->lpszClassName, wc->lpfnWndProc).second ? 1 : 0;
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

HWND WindowSystem::CreateWindow(LPCSTR className, LPCSTR title, int x, int y, int width,
                                int height) {
  if (className == nullptr) return nullptr;
  const auto found = classes_.find(className);
  if (found == classes_.end()) return nullptr;
  auto record = std::make_unique<WindowRecord>();
  nextHandle_ += 0x10;
  record->handle = reinterpret_cast<HWND>(nextHandle_);
  record->className = className;
  record->proc = found->second;
  record->title = title != nullptr ? title : "";
  record->x = x;
  record->y = y;
  record->width = width;
  record->height = height;
  if (!native_.CreateNative(*record)) return nullptr;
  const HWND handle = record->handle;
  windows_[handle] = std::move(record);
  Send(handle, WM_CREATE, 0, 0);
  return handle;
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
    windows_.erase(window);
  }
  return TRUE;
}

void WindowSystem::Clear() {
  for (auto& [handle, record] : windows_) native_.DestroyNative(*record);
  windows_.clear();
  classes_.clear();
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

void WindowSystem::PostQuit(int exitCode) {
  quitPending_ = true;
  quitCode_ = exitCode;
}

void WindowSystem::QueueInput(const MSG& msg) { input_.push_back(msg); }

bool WindowSystem::Next(MSG* msg) {
  if (quitPending_) {
    *msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(quitCode_), 0, 0, {}};
    quitPending_ = false;
    return true;
  }
  if (input_.empty()) return false;
  *msg = input_.front();
  input_.pop_front();
  return true;
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

}  // namespace win32_core
