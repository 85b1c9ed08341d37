// The recording fake of the window system (win32_core without native windows) and of the device
// (objects that hold memory, textures up to 256 x 256, but draw nothing), logging calls in order.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/d3d9/d3d9.h"

namespace fake {

// The function, with any text arguments, and the other arguments: records field by field,
// pointers as 1, or 0 when null. Releases are logged as "Release d3d|device|texture|buffer".
using Call = std::pair<std::string, std::vector<double>>;

struct State {
  bool logging = true;  // off, no call allocates
  std::vector<Call> log;
  std::string fail = "-";              // a logged call whose name starts with this fails
  HWND window = nullptr;               // the latest window made
  std::function<void()> onPresent = [] {};
};

inline State state;

// Forgets every window, class, queued message and setting.
void Reset();

}  // namespace fake

// Win32's PostMessageA, which only the tests call: queues a message to come out of PeekMessageA
// as input does.
BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
