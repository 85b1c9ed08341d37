// Program entry, window and message loop, and the window procedure.
// WinMain builds the window and the graphics, then draws whenever no message
// is waiting; the device's Present paces the loop, which itself never waits.
// A start-up that fails is reported on stderr as one line and exits with 1.
#include "app/shell.h"

#include <cstdio>

#include "model/resources.h"
#include "platform/d3d9/d3d9.h"
#include "platform/shared/failure_reason.h"
#include "render/graphics.h"

namespace {

constexpr const char* CLASS_NAME = "Brisvane";
constexpr const char* WINDOW_TITLE = "Brisvane Code";
constexpr int WINDOW_X = 100;
constexpr int WINDOW_Y = 100;
constexpr int WINDOW_WIDTH = 600;
constexpr int WINDOW_HEIGHT = 300;

// The class asks for no double clicks: a quick second press reaches the arcball as another press.
void RegisterWindowClass(HINSTANCE instance) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof(WNDCLASSEXA);
  wc.style = CS_CLASSDC;
  wc.lpfnWndProc = MainWindowProc;
  wc.hInstance = instance;
  wc.lpszClassName = CLASS_NAME;
  RegisterClassExA(&wc);
}

// Prints why start-up failed as one line, with the platform's reason.
void ReportStartFailure(const char* step) {
  const char* reason = GetLastFailureReason();
  std::fprintf(stderr, "tavenor: %s: %s\n", step, *reason ? reason : "no reason given");
}

// Makes the device, the arcball and the model's resources for the window.
// Returns false (after reporting why) when any of them cannot be made.
bool StartUp(HWND window) {
  if (!window) {
    char step[64];
    std::snprintf(step, sizeof step, "cannot create the window \"%s\"", WINDOW_TITLE);
    ReportStartFailure(step);
    return false;
  }
  if (FAILED(StartGraphics(window))) {
    ReportStartFailure("cannot start the graphics device");
    return false;
  }
  if (FAILED(BuildGlyphModel())) {
    ReportStartFailure("cannot build the model");
    return false;
  }
  return true;
}

// Dispatches messages while any is waiting and draws a frame whenever none
// is, until the quit message arrives.
void RunMessageLoop() {
  MSG msg{};
  while (msg.message != WM_QUIT) {
    if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    } else {
      DrawFrame();
    }
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const HINSTANCE instance = GetModuleHandleA(nullptr);
  RegisterWindowClass(instance);
  const HWND window =
      CreateWindowExA(0, CLASS_NAME, WINDOW_TITLE, WS_OVERLAPPEDWINDOW, WINDOW_X, WINDOW_Y,
                      WINDOW_WIDTH, WINDOW_HEIGHT, nullptr, nullptr, instance, nullptr);
  if (!StartUp(window)) {
    // Destroying the window releases, through WM_DESTROY, whatever was made.
    if (window) DestroyWindow(window);
    UnregisterClassA(CLASS_NAME, instance);
    return 1;
  }
  ShowWindow(window, SW_SHOWDEFAULT);
  UpdateWindow(window);
  RunMessageLoop();
  UnregisterClassA(CLASS_NAME, instance);
  return 0;
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    ReleaseGraphics();
    PostQuitMessage(0);
    return 0;
  }
  // Absent before StartGraphics made it and after ReleaseGraphics deleted it.
  if (g_arcball) g_arcball->HandleMouse(window, message, wParam, lParam);
  return DefWindowProcA(window, message, wParam, lParam);
}
