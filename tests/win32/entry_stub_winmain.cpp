// A stand-in WinMain for testing main(): it opens a window of its own class
// and leaves it open (main must clean up), then returns 3 so the test can see
// main hand WinMain's result back as the exit status.
#include <cstdio>

#include "platform/win32/win32.h"

namespace {

LRESULT CALLBACK StubProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int showCommand) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof(WNDCLASSEXA);
  wc.lpfnWndProc = StubProc;
  wc.hInstance = instance;
  wc.lpszClassName = "Stub";
  const bool opened = RegisterClassExA(&wc) != 0 &&
                      CreateWindowExA(0, "Stub", "Stub", WS_OVERLAPPEDWINDOW, 0, 0, 60, 30, nullptr,
                                      nullptr, instance, nullptr) != nullptr;
  std::printf("instance %s, command line \"%s\", show %d, window %s\n",
              instance == GetModuleHandleA(nullptr) ? "ok" : "wrong", commandLine, showCommand,
              opened ? "opened" : "failed");
  return 3;
}
