// Frame rate of the real scene (BuildGlyphModel's texture and buffer, DrawFrame) through the real
// OpenGL device with an unpaced presentation (D3DPRESENT_INTERVAL_IMMEDIATE), printed beside the
// rate of a bare clear + present on the same device in the same run. Needs an X server:
//   tests/support/with-xvfb -- build/bench/program/tavenor_frame_rate [folder holding leopard.jpg]
// The device is made as StartGraphics makes it, but with IMMEDIATE instead of the paced DEFAULT.
#include <SDL.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "model/resources.h"
#include "platform/d3d9/d3d9.h"
#include "platform/win32/sdl_window.h"
#include "platform/win32/win32.h"
#include "render/graphics.h"
#include "tests/support/plain_window.h"

namespace {

constexpr const char* CLASS_NAME = "BrisvaneBench";
constexpr double ROUND_S = 2.0;  // length of one measured round
constexpr int ROUNDS = 3;        // rounds of each kind, alternated
constexpr double TARGET_RATIO = 0.85;

LRESULT CALLBACK BenchWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, message, wParam, lParam);
}

// Makes g_d3d, g_device and g_arcball as StartGraphics does, except that presents are unpaced.
bool StartUnpacedGraphics(HWND window) {
  g_d3d = Direct3DCreate9(D3D_SDK_VERSION);
  if (!g_d3d) return false;
  D3DPRESENT_PARAMETERS params = UnpacedWindowedParameters();
  if (FAILED(g_d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window,
                                 D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params, &g_device))) {
    return false;
  }
  g_device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  g_device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
  g_arcball = new ArcballControl;
  g_arcball->Resize(600, 300, 0.9f);
  return true;
}

// The frame of an empty scene: what every frame costs before anything is drawn.
void ClearAndPresent() {
  g_device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFFFFFFFF, 1.0f, 0);
  g_device->Present(nullptr, nullptr, nullptr, nullptr);
}

// Frames per second of frame() run as the program's loop runs it (one message check per pass,
// a frame whenever none is waiting), for ROUND_S seconds.
template <class Frame>
double MeasureRate(Frame frame) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  const auto end =
      start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(ROUND_S));
  long frames = 0;
  MSG msg{};
  Clock::time_point now = start;
  while (now < end) {
    if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      DispatchMessageA(&msg);
    } else {
      frame();
      ++frames;
    }
    now = Clock::now();
  }
  return frames / std::chrono::duration<double>(now - start).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Alternates rounds of the scene and of clear + present and prints both medians and their ratio.
void MeasureAndPrint() {
  for (int i = 0; i < 30; ++i) DrawFrame();  // warm up shaders and caches
  std::vector<double> scene, bare;
  for (int round = 0; round < ROUNDS; ++round) {
    scene.push_back(MeasureRate(DrawFrame));
    bare.push_back(MeasureRate(ClearAndPresent));
  }
  const double ratio = Median(scene) / Median(bare);
  std::printf(
      "frame rate (real scene, IMMEDIATE): %.0f frames/s; clear+present: %.0f frames/s; "
      "scene/clear+present %.0f %% (target >= %.0f %%) %s\n",
      Median(scene), Median(bare), 100.0 * ratio, 100.0 * TARGET_RATIO,
      ratio >= TARGET_RATIO ? "PASS" : "MISS");
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
  const HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof(WNDCLASSEXA);
  wc.lpfnWndProc = BenchWindowProc;
  wc.hInstance = instance;
  wc.lpszClassName = CLASS_NAME;
  RegisterClassExA(&wc);
  const HWND window = CreateWindowExA(0, CLASS_NAME, "Brisvane Code", WS_OVERLAPPEDWINDOW, 100, 100,
                                      600, 300, nullptr, nullptr, instance, nullptr);
  int status = 1;
  if (window && StartUnpacedGraphics(window) && SUCCEEDED(BuildGlyphModel())) {
    ShowWindow(window, SW_SHOWDEFAULT);
    MeasureAndPrint();
    status = 0;
  } else {
    std::fprintf(stderr, "frame_rate: cannot start: %s\n", D3DGetLastFailureReason());
  }
  ReleaseGraphics();
  CloseWindowLayer();
  SDL_Quit();
  return status;
}
