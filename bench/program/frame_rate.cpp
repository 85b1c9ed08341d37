// Frame rate of the real scene (BuildGlyphModel's texture and buffer, DrawFrame) through the real
// OpenGL device with an unpaced presentation (D3DPRESENT_INTERVAL_IMMEDIATE), printed beside the
// rate of a bare clear + present on the same device in the same run. Needs an X server:
//   tests/support/with-xvfb -- build/bench/program/tavenor_frame_rate [--ab] [leopard.jpg's folder]
// The device is made as StartGraphics makes it, but with IMMEDIATE instead of the paced DEFAULT.
// --ab makes two devices on the window, one drawing with the generic shader program and one with
// the per-state variants, alternates their rounds and prints each one's share.
#include <SDL.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "model/resources.h"
#include "platform/d3d9/d3d9.h"
#include "platform/shared/failure_reason.h"
#include "platform/shared/native_window.h"
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

// The graphics objects of one device, swapped into the program's globals to draw with it.
struct Graphics {
  const char* name;
  bool generic;  // draws with the generic shader program
  IDirect3D9* d3d = nullptr;
  IDirect3DDevice9* device = nullptr;
  IDirect3DVertexBuffer9* vertexBuffer = nullptr;
  IDirect3DTexture9* texture = nullptr;
};

void Use(const Graphics& g) {
  g_d3d = g.d3d;
  g_device = g.device;
  g_vertexBuffer = g.vertexBuffer;
  g_texture = g.texture;
}

// Makes g_d3d, g_device and the model as StartGraphics and the viewer do, except that presents
// are unpaced, and keeps them in *g.
bool StartUnpacedGraphics(HWND window, Graphics* g) {
  Use(Graphics{});
  if (g->generic) setenv("TAVENOR_GENERIC_SHADER", "1", 1);
  g_d3d = Direct3DCreate9(D3D_SDK_VERSION);
  D3DPRESENT_PARAMETERS params = UnpacedWindowedParameters();
  const bool made = g_d3d && SUCCEEDED(g_d3d->CreateDevice(
                                 D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window,
                                 D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params, &g_device));
  unsetenv("TAVENOR_GENERIC_SHADER");
  if (made) {
    g_device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    g_device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
  }
  const bool built = made && SUCCEEDED(BuildGlyphModel());
  *g = Graphics{g->name, g->generic, g_d3d, g_device, g_vertexBuffer, g_texture};
  return built;
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

// Alternates rounds of the scene and of clear + present on each device and prints, for each, both
// medians and their ratio.
void MeasureAndPrint(std::vector<Graphics>& devices) {
  for (const Graphics& g : devices) {
    Use(g);
    for (int i = 0; i < 30; ++i) DrawFrame();  // warm up shaders and caches
  }
  std::vector<std::vector<double>> scene(devices.size()), bare(devices.size());
  for (int round = 0; round < ROUNDS; ++round) {
    for (std::size_t d = 0; d < devices.size(); ++d) {
      Use(devices[d]);
      scene[d].push_back(MeasureRate(DrawFrame));
      bare[d].push_back(MeasureRate(ClearAndPresent));
    }
  }
  for (std::size_t d = 0; d < devices.size(); ++d) {
    const double ratio = Median(scene[d]) / Median(bare[d]);
    std::printf(
        "frame rate (real scene, IMMEDIATE%s): %.0f frames/s; clear+present: %.0f frames/s; "
        "scene/clear+present %.0f %% (target >= %.0f %%) %s\n",
        devices[d].name, Median(scene[d]), Median(bare[d]), 100.0 * ratio, 100.0 * TARGET_RATIO,
        ratio >= TARGET_RATIO ? "PASS" : "MISS");
  }
}

}  // namespace

int main(int argc, char** argv) {
  const bool ab = argc > 1 && std::strcmp(argv[1], "--ab") == 0;
  // BuildGlyphModel looks for leopard.jpg in the working directory and its parent.
  const char* textureFolder = argc > 1 + ab ? argv[1 + ab] : TAVENOR_SOURCE_DIR;
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
  std::vector<Graphics> devices{{"", false}};
  if (ab) devices = {{", generic shader", true}, {", shader variants", false}};
  g_arcball = new ArcballControl;
  g_arcball->Resize(600, 300, 0.9f);
  bool started = window != nullptr;
  for (Graphics& g : devices) started = started && StartUnpacedGraphics(window, &g);
  int status = 1;
  if (started) {
    ShowWindow(window, SW_SHOWDEFAULT);
    MeasureAndPrint(devices);
    status = 0;
  } else {
    std::fprintf(stderr, "frame_rate: cannot start: %s\n", GetLastFailureReason());
  }
  for (const Graphics& g : devices) {
    Use(g);
    ReleaseGraphics();
  }
  CloseWindowLayer();
  SDL_Quit();
  return status;
}
