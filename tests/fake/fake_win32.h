// Control and inspection of the recording fake window system.
// The fake implements every call of platform/win32.h without a display:
// classes, windows, the posted-message queue and dispatching behave as in the
// SDL layer, while capture, foreground window and message boxes are recorded.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/win32/win32.h"

namespace fake_win32 {

struct MessageBoxRecord {
  HWND owner;
  std::string text;
  std::string caption;
  UINT type;
};

struct State {
  int setCaptureCalls = 0;
  int releaseCaptureCalls = 0;
  HWND capture = nullptr;  // window holding the capture, if any
  // GetForegroundWindow returns a stand-in for some program's window (not one
  // made by CreateWindowExA) while this is set, else null.
  bool hasForeground = true;
  RECT foregroundClient{0, 0, 600, 300};  // what GetClientRect reports for it
  bool failCreateWindow = false;          // CreateWindowExA returns null
  std::vector<MessageBoxRecord> messageBoxes;
  HWND lastCreatedWindow = nullptr;  // the latest window CreateWindowExA made
  // Called by PeekMessageA when nothing is queued, before it returns FALSE:
  // lets a test act on the idle loop (push a message, close the window, ...).
  std::function<void()> onIdle;
};

// The fake's state; tests read and set it directly.
State& Get();
// Destroys every fake window and class, empties the queue, resets State.
void Reset();
// Queues a message as if the native window system had produced it; it comes
// out of PeekMessageA after any posted message.
void PushNativeMessage(const MSG& msg);

}  // namespace fake_win32
