// Frame rate of the real scene (BuildGlyphModel's texture and buffer, DrawFrame) through the real
// OpenGL device with an unpaced presentation (D3DPRESENT_INTERVAL_IMMEDIATE): one round of
// ROUND after a warm-up, printed as one line. bench/program/program_bench.py runs it in turns
// with the yardstick's rate mode. Needs an X server:
//   scripts/with-xvfb -- build/bench/program/tavenor_frame_rate [leopard.jpg's folder]
// The device is made as StartGraphics makes it, but with IMMEDIATE instead of the paced DEFAULT.
// Exits with 1 and one line on stderr when it cannot start.
#include <SDL.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>

#include "model/resources.h"
#include "platform/d3d9/d3d9.h"
#include "platform/shared/failure_reason.h"
#include "platform/win32/native_window.h"
#include "platform/win32/win32.h"
#include "render/graphics.h"

namespace {

constexpr auto ROUND = std::chrono::seconds(2);  // as the yardstick's rate mode measures
constexpr int WARM_UP_FRAMES = 30;  // shaders built, caches filled, as in the yardstick
constexpr const char* CLASS_NAME = "TavenorFrameRate";

LRESULT CALLBACK PlainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, message, wParam, lParam);
}

// A 600 x 300 window of a class with default processing only: the viewer's window without its
// window procedure. Null when the window layer cannot make one.
HWND OpenPlainWindow() {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = PlainWindowProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = CLASS_NAME;
  if (RegisterClassExA(&wc) == 0) return nullptr;
  return CreateWindowExA(0, CLASS_NAME, "Tavenor frame rate", WS_OVERLAPPEDWINDOW, 0, 0, 600, 300,
                         nullptr, nullptr, wc.hInstance, nullptr);
}

// Makes g_d3d, g_device, g_arcball and the model as StartGraphics and the viewer do, except that
// presents are unpaced.
bool StartUnpacedGraphics(HWND window) {
  g_d3d = Direct3DCreate9(D3D_SDK_VERSION);
  D3DPRESENT_PARAMETERS params{};
  params.SwapEffect = D3DSWAPEFFECT_DISCARD;
  params.Windowed = TRUE;
  params.EnableAutoDepthStencil = TRUE;
  params.AutoDepthStencilFormat = D3DFMT_D16;
  params.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
  if (!g_d3d ||
      FAILED(g_d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window,
                                 D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params, &g_device))) {
    return false;
  }
  g_device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  g_device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
  g_arcball = new ArcballControl;
  g_arcball->Resize(600, 300, 0.9f);
  return SUCCEEDED(BuildGlyphModel());
}

// Frames per second of DrawFrame run as the program's loop runs it (one message check per pass,
// a frame whenever none is waiting), for ROUND.
void MeasureAndPrint() {
  for (int i = 0; i < WARM_UP_FRAMES; ++i) DrawFrame();
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now(), end = start + ROUND;
  long frames = 0;
  MSG msg{};
  Clock::time_point now = start;
  while (now < end) {
    if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      DispatchMessageA(&msg);
    } else {
      DrawFrame();
      ++frames;
    }
    now = Clock::now();
  }
  const double seconds = std::chrono::duration<double>(now - start).count();
  std::printf("frame rate (real scene, IMMEDIATE): %.1f frames/s (%ld frames in %.2f s)\n",
              frames / seconds, frames, seconds);
}

}  // namespace

int main(int argc, char** argv) {
  // BuildGlyphModel looks for leopard.jpg in the working directory and its parent.
  const char* textureFolder = argc > 1 ? argv[1] : TAVENOR_SOURCE_DIR;
  if (chdir(textureFolder) != 0) {
    std::fprintf(stderr, "frame_rate: cannot enter %s\n", textureFolder);
    return 1;
  }
  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    std::fprintf(stderr, "frame_rate: cannot open a display: %s\n", SDL_GetError());
    return 1;
  }
  // Where no display answers SDL falls back to drivers that draw nowhere: nothing to measure.
  const char* driver = SDL_GetCurrentVideoDriver();
  if (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0) {
    std::fprintf(stderr, "frame_rate: cannot open a display: none answered\n");
    return 1;
  }
  const HWND window = OpenPlainWindow();
  int status = 1;
  if (window != nullptr && StartUnpacedGraphics(window)) {
    ShowWindow(window, SW_SHOWDEFAULT);
    MeasureAndPrint();
    status = 0;
  } else {
    std::fprintf(stderr, "frame_rate: cannot start: %s\n", GetLastFailureReason());
  }
  ReleaseGraphics();
  CloseWindowLayer();
  SDL_Quit();
  return status;
}
