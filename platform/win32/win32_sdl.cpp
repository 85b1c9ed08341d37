// The Win32-style window system of platform/win32.h on SDL2: each window is
// an SDL window (OpenGL-capable, hidden, resizable) whose client area has the
// size asked for; SDL events become messages through win32_sdl_events.h.
// Single-threaded; all state lives in one SdlLayer. Needs SDL video to be
// initialised by the caller (main) before the first window is made.
#include <SDL.h>

#include <utility>

#include "platform/shared/failure_reason.h"
#include "platform/win32/native_window.h"
#include "platform/win32/win32.h"
#include "platform/win32/win32_core.h"
#include "platform/win32/win32_sdl_events.h"

namespace {

// At most this many SDL events are translated per PeekMessageA, so a flood of
// input cannot hold the loop inside one call.
constexpr int MAX_EVENTS_PER_PUMP = 256;

class SdlLayer final : public win32_core::NativeWindows {
 public:
  bool CreateNative(win32_core::WindowRecord& record) override;
  void DestroyNative(win32_core::WindowRecord& record) override;

  win32_core::WindowSystem system{*this};
  win32_sdl::InputState input;
  HWND capture = nullptr;  // the window SetCapture named, until released
};

// The layer's state; never destroyed, so nothing of SDL is touched at exit.
SdlLayer& Layer() {
  static SdlLayer* layer = new SdlLayer;
  return *layer;
}

// The name under which each SDL window of ours keeps its handle (SDL_SetWindowData).
constexpr const char* HANDLE_KEY = "tavenor.hwnd";

SDL_Window* NativeOf(const win32_core::WindowRecord* record) {
  return record != nullptr ? static_cast<SDL_Window*>(record->native) : nullptr;
}

// Our handle of an SDL window; null for none or one that is not ours (SDL's message box).
HWND HandleOf(SDL_Window* native) {
  return native != nullptr ? static_cast<HWND>(SDL_GetWindowData(native, HANDLE_KEY)) : nullptr;
}

bool SdlLayer::CreateNative(win32_core::WindowRecord& record) {
  // The window manager's close must reach the program as WM_CLOSE only, not
  // also as SDL's application quit.
  SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
  // A click that activates the window is delivered on Win32; SDL on X11 drops
  // a click that comes within a few ms of a focus change unless told not to.
  SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
  // SDL ends each poll cycle with a sentinel event, which a wait that leaves events queued
  // (WaitForWindowEvent) would see first, making the next PeekMessageA miss the event that woke it.
  SDL_EventState(SDL_POLLSENTINEL, SDL_IGNORE);
  // SDL loads GL here and makes a probe context, which an X server may refuse.
  XErrorTrap trap;
  SDL_Window* window =
      SDL_CreateWindow(record.title.c_str(), record.x, record.y, record.width, record.height,
                       SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE);
  if (trap.Failed(window)) {
    if (window != nullptr) SDL_DestroyWindow(window);
    return false;
  }
  if (window == nullptr) {
    SetLastFailureReason(SDL_GetError());
    return false;
  }
  record.native = window;
  SDL_SetWindowData(window, HANDLE_KEY, record.handle);
  return true;
}

void SdlLayer::DestroyNative(win32_core::WindowRecord& record) {
  if (capture == record.handle) {
    SDL_CaptureMouse(SDL_FALSE);
    capture = nullptr;
  }
  SDL_DestroyWindow(NativeOf(&record));
  record.native = nullptr;
}

// Our window behind an SDL window id; null when it is none of ours.
win32_core::WindowRecord* RecordOfId(SdlLayer& layer, Uint32 windowId) {
  return layer.system.Find(HandleOf(windowId != 0 ? SDL_GetWindowFromID(windowId) : nullptr));
}

// SDL's own quit request (a terminating signal): every window is asked to
// close, as a session end would ask on Win32.
void QueueCloseForEveryWindow(SdlLayer& layer) {
  for (const HWND handle : layer.system.Windows()) {
    MSG msg{};
    msg.hwnd = handle;
    msg.message = WM_CLOSE;
    msg.time = SDL_GetTicks();
    layer.system.QueueInput(msg);
  }
}

// True for a pointer event outside the client area of a window that does not hold the capture.
// Win32 sends those to the capture window only; SDL keeps reporting them while any button is
// held, its own capture outliving ReleaseCapture.
bool OutsideWithoutCapture(const SdlLayer& layer, const win32_core::WindowRecord& record,
                           const SDL_Event& event) {
  if (record.handle == layer.capture) return false;
  int x = 0;
  int y = 0;
  if (event.type == SDL_MOUSEMOTION) {
    x = event.motion.x;
    y = event.motion.y;
  } else if (event.type == SDL_MOUSEBUTTONDOWN || event.type == SDL_MOUSEBUTTONUP) {
    x = event.button.x;
    y = event.button.y;
  } else {
    return false;
  }
  int width = 0;
  int height = 0;
  SDL_GetWindowSize(NativeOf(&record), &width, &height);
  return x < 0 || y < 0 || x >= width || y >= height;
}

// Moves waiting SDL events onto the input queue as messages.
void PumpSdlEvents(SdlLayer& layer) {
  SDL_Event event;
  for (int count = 0; count < MAX_EVENTS_PER_PUMP && SDL_PollEvent(&event) != 0; ++count) {
    if (event.type == SDL_QUIT) {
      QueueCloseForEveryWindow(layer);
      continue;
    }
    const win32_core::WindowRecord* record = RecordOfId(layer, win32_sdl::EventWindowId(event));
    if (record == nullptr) continue;
    MSG msg;
    // Translated even when dropped, so the held buttons stay known.
    if (win32_sdl::TranslateSdlEvent(event, record->handle, layer.input, &msg) &&
        !OutsideWithoutCapture(layer, *record, event)) {
      layer.system.QueueInput(msg);
    }
  }
}

}  // namespace

SDL_Window* SdlWindowFromHwnd(HWND window) { return NativeOf(Layer().system.Find(window)); }

bool WaitForWindowEvent(int timeoutMs, bool onlyNew) {
  SdlLayer& layer = Layer();
  if (onlyNew) {
    // What has come so far moves onto the message queue: only a later event ends the wait.
    PumpSdlEvents(layer);
  } else if (layer.system.HasWaiting()) {
    return true;
  }
  // With a null event SDL waits without taking the event off its queue.
  return SDL_WaitEventTimeout(nullptr, timeoutMs) == 1;
}

void CloseWindowLayer() {
  SdlLayer& layer = Layer();
  if (layer.capture != nullptr) SDL_CaptureMouse(SDL_FALSE);
  layer.capture = nullptr;
  layer.system.Clear();
  layer.input = win32_sdl::InputState{};
}

HMODULE GetModuleHandleA(LPCSTR moduleName) {
  // Any distinct non-null value names the program itself; other modules do not exist.
  static int module = 0;
  return moduleName == nullptr ? reinterpret_cast<HMODULE>(&module) : nullptr;
}

ATOM RegisterClassExA(const WNDCLASSEXA* wc) { return Layer().system.RegisterClass(wc); }

BOOL UnregisterClassA(LPCSTR className, HINSTANCE) {
  return Layer().system.UnregisterClass(className);
}

HWND CreateWindowExA(DWORD, LPCSTR className, LPCSTR windowName, DWORD, int x, int y, int width,
                     int height, HWND, HMENU, HINSTANCE, void*) {
  return Layer().system.CreateWindow(className, windowName, x, y, width, height);
}

BOOL DestroyWindow(HWND window) { return Layer().system.DestroyWindow(window); }

BOOL ShowWindow(HWND window, int showCommand) {
  SDL_Window* native = NativeOf(Layer().system.Find(window));
  if (native == nullptr) return FALSE;
  const bool wasVisible = (SDL_GetWindowFlags(native) & SDL_WINDOW_SHOWN) != 0;
  if (showCommand == SW_HIDE) {
    SDL_HideWindow(native);
  } else {
    SDL_ShowWindow(native);
  }
  return wasVisible ? TRUE : FALSE;
}

BOOL UpdateWindow(HWND window) { return Layer().system.Find(window) != nullptr ? TRUE : FALSE; }

BOOL PeekMessageA(MSG* msg, HWND window, UINT filterMin, UINT filterMax, UINT removeMsg) {
  const bool wholeQueue =
      window == nullptr && filterMin == 0 && filterMax == 0 && removeMsg == PM_REMOVE;
  if (msg == nullptr || !wholeQueue) return FALSE;
  SdlLayer& layer = Layer();
  if (layer.system.Next(msg)) return TRUE;
  PumpSdlEvents(layer);
  return layer.system.Next(msg) ? TRUE : FALSE;
}

BOOL TranslateMessage(const MSG*) {
  // Only keyboard messages are translated on Win32, and none are produced here.
  return FALSE;
}

LRESULT DispatchMessageA(const MSG* msg) { return Layer().system.Dispatch(msg); }

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return Layer().system.DefaultProc(window, message, wParam, lParam);
}

void PostQuitMessage(int exitCode) { Layer().system.PostQuit(exitCode); }

HWND SetCapture(HWND window) {
  SdlLayer& layer = Layer();
  if (layer.system.Find(window) == nullptr) return nullptr;
  // SDL captures for the window with keyboard focus and refuses while none
  // has it; its automatic capture while a button is held still applies then.
  SDL_CaptureMouse(SDL_TRUE);
  return std::exchange(layer.capture, window);
}

BOOL ReleaseCapture() {
  SdlLayer& layer = Layer();
  if (layer.capture != nullptr) SDL_CaptureMouse(SDL_FALSE);
  layer.capture = nullptr;
  return TRUE;
}

HWND GetForegroundWindow() { return HandleOf(SDL_GetKeyboardFocus()); }

BOOL GetClientRect(HWND window, RECT* rect) {
  SDL_Window* native = NativeOf(Layer().system.Find(window));
  if (native == nullptr || rect == nullptr) return FALSE;
  int width = 0;
  int height = 0;
  SDL_GetWindowSize(native, &width, &height);
  *rect = RECT{0, 0, width, height};
  return TRUE;
}
