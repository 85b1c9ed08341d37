// A bare window class registered once, and the unpaced present parameters
// shared by the device's benchmarks.
#include "bench/support/plain_window.h"

namespace {

constexpr const char* CLASS_NAME = "TavenorPlainWindow";

LRESULT CALLBACK PlainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, message, wParam, lParam);
}

bool RegisterPlainClass() {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = PlainWindowProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = CLASS_NAME;
  return RegisterClassExA(&wc) != 0;
}

}  // namespace

HWND OpenPlainWindow(int width, int height, const char* title) {
  static const bool registered = RegisterPlainClass();
  if (!registered) return nullptr;
  return CreateWindowExA(0, CLASS_NAME, title, WS_OVERLAPPEDWINDOW, 0, 0, width, height, nullptr,
                         nullptr, GetModuleHandleA(nullptr), nullptr);
}

D3DPRESENT_PARAMETERS UnpacedWindowedParameters() {
  D3DPRESENT_PARAMETERS p{};
  p.SwapEffect = D3DSWAPEFFECT_DISCARD;
  p.Windowed = TRUE;
  p.EnableAutoDepthStencil = TRUE;
  p.AutoDepthStencilFormat = D3DFMT_D16;
  p.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
  return p;
}
