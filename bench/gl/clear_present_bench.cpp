// Frames per second of the OpenGL device, unpaced (D3DPRESENT_INTERVAL_IMMEDIATE),
// on a 600 x 300 window like the viewer's: the clear + present loop, the
// ceiling any scene drawn through the device can reach, and a stand-in scene
// of the viewer's size (37 lit, textured strips of 22 vertices, every state
// set again each frame). Unpaced devices draw every frame; a paced one would
// skip frames that repeat the last. Needs an X server:
//   scripts/with-xvfb -- build/bench/gl/gl_clear_present_bench
#include <SDL.h>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/d3d9/d3d9.h"
#include "platform/shared/failure_reason.h"
#include "platform/win32/win32.h"
#include "bench/support/plain_window.h"

namespace {

constexpr int WIDTH = 600;
constexpr int HEIGHT = 300;

struct Graphics {
  HWND window = nullptr;
  IDirect3D9* d3d = nullptr;
  IDirect3DDevice9* device = nullptr;
};
Graphics g_graphics;

// Opens and shows the window and makes an unpaced device on it; false on any failure.
bool OpenGraphics() {
  g_graphics.window = OpenPlainWindow(WIDTH, HEIGHT, "gl bench");
  if (g_graphics.window == nullptr) return false;
  ShowWindow(g_graphics.window, SW_SHOW);
  g_graphics.d3d = Direct3DCreate9(D3D_SDK_VERSION);
  if (g_graphics.d3d == nullptr) return false;
  D3DPRESENT_PARAMETERS p = UnpacedWindowedParameters();
  return SUCCEEDED(
      g_graphics.d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, g_graphics.window,
                                   D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p, &g_graphics.device));
}

void CloseGraphics() {
  if (g_graphics.device != nullptr) g_graphics.device->Release();
  if (g_graphics.d3d != nullptr) g_graphics.d3d->Release();
  if (g_graphics.window != nullptr) DestroyWindow(g_graphics.window);
}

// One frame as the viewer's frame begins and ends it, with nothing drawn.
void BM_ClearPresent(benchmark::State& state) {
  IDirect3DDevice9* device = g_graphics.device;
  for (auto _ : state) {
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFFFFFFFF, 1.0f, 0);
    device->BeginScene();
    device->EndScene();
    device->Present(nullptr, nullptr, nullptr, nullptr);
  }
  state.counters["frames/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ClearPresent)->Unit(benchmark::kMicrosecond)->MinTime(2.0)->UseRealTime();

struct Vertex {
  float x, y, z, nx, ny, nz;
  D3DCOLOR diffuse, specular;
  float u, v;
};
constexpr DWORD VERTEX_FVF =
    D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX1;
constexpr int STRIPS = 37;
constexpr int STRIP_VERTICES = 22;

// Horizontal bands over the middle of the picture, facing the camera.
std::vector<Vertex> SceneVertices() {
  std::vector<Vertex> vertices;
  for (int s = 0; s < STRIPS; ++s) {
    const float top = 0.6f - 1.2f * s / STRIPS, bottom = 0.6f - 1.2f * (s + 1) / STRIPS;
    for (int i = 0; i < STRIP_VERTICES / 2; ++i) {
      const float x = -0.6f + 1.2f * i / (STRIP_VERTICES / 2 - 1);
      vertices.push_back({x, top, 0.5f, 0, 0, -1, 0xFFFFFFFF, 0xFFFFFFFF, x, top});
      vertices.push_back({x, bottom, 0.5f, 0, 0, -1, 0xFFFFFFFF, 0xFFFFFFFF, x, bottom});
    }
  }
  return vertices;
}

D3DMATRIX Identity() {
  D3DMATRIX m{};
  for (int i = 0; i < 4; ++i) m.m[i][i] = 1.0f;
  return m;
}

// The state a viewer frame sets again each time, then its strips.
void DrawScene(IDirect3DDevice9* device, IDirect3DVertexBuffer9* buffer,
               IDirect3DTexture9* texture) {
  D3DMATERIAL9 material{};
  material.Power = 1.0f;
  device->SetMaterial(&material);
  device->SetRenderState(D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_COLOR1);
  device->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1);
  device->SetRenderState(D3DRS_SPECULARMATERIALSOURCE, D3DMCS_COLOR2);
  device->SetRenderState(D3DRS_SPECULARENABLE, TRUE);
  D3DLIGHT9 light{};
  light.Type = D3DLIGHT_SPOT;
  light.Diffuse = light.Specular = light.Ambient = {1, 1, 1, 1};
  light.Position = {0, 0, -1};
  light.Direction = {0, 0, 1};
  light.Range = 100;
  light.Falloff = 1.5f;
  light.Attenuation0 = 1;
  light.Attenuation1 = 0.05f;
  light.Attenuation2 = 0.001f;
  light.Theta = 0.5f;
  light.Phi = 0.8f;
  device->SetLight(0, &light);
  device->LightEnable(0, TRUE);
  device->SetRenderState(D3DRS_LIGHTING, TRUE);
  device->SetRenderState(D3DRS_AMBIENT, 0x00202020);
  const D3DMATRIX identity = Identity();
  device->SetTransform(D3DTS_WORLD, &identity);
  device->SetTransform(D3DTS_VIEW, &identity);
  device->SetTransform(D3DTS_PROJECTION, &identity);
  device->SetTexture(0, texture);
  device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
  device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
  device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
  device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
  device->SetStreamSource(0, buffer, 0, sizeof(Vertex));
  device->SetFVF(VERTEX_FVF);
  for (int s = 0; s < STRIPS; ++s) {
    device->DrawPrimitive(D3DPT_TRIANGLESTRIP, s * STRIP_VERTICES, STRIP_VERTICES - 2);
  }
}

void BM_LitTexturedStrips(benchmark::State& state) {
  IDirect3DDevice9* device = g_graphics.device;
  const std::vector<Vertex> vertices = SceneVertices();
  const UINT bytes = static_cast<UINT>(vertices.size() * sizeof(Vertex));
  IDirect3DVertexBuffer9* buffer = nullptr;
  IDirect3DTexture9* texture = nullptr;
  void* data = nullptr;
  D3DLOCKED_RECT locked{};
  if (FAILED(device->CreateVertexBuffer(bytes, 0, VERTEX_FVF, D3DPOOL_DEFAULT, &buffer, nullptr)) ||
      FAILED(buffer->Lock(0, 0, &data, 0)) ||
      FAILED(device->CreateTexture(256, 256, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &texture,
                                   nullptr)) ||
      FAILED(texture->LockRect(0, &locked, nullptr, 0))) {
    state.SkipWithError("no buffer or texture");
    return;
  }
  std::memcpy(data, vertices.data(), bytes);
  buffer->Unlock();
  auto* texels = static_cast<std::uint32_t*>(locked.pBits);
  for (int i = 0; i < 256 * 256; ++i) texels[i] = 0xFF000000u | (i * 2654435761u >> 8);
  texture->UnlockRect(0);
  device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  for (auto _ : state) {
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFFFFFFFF, 1.0f, 0);
    if (SUCCEEDED(device->BeginScene())) {
      DrawScene(device, buffer, texture);
      device->EndScene();
    }
    device->Present(nullptr, nullptr, nullptr, nullptr);
  }
  state.counters["frames/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  device->SetStreamSource(0, nullptr, 0, 0);
  device->SetTexture(0, nullptr);
  buffer->Release();
  texture->Release();
}
BENCHMARK(BM_LitTexturedStrips)->Unit(benchmark::kMicrosecond)->MinTime(2.0)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (SDL_Init(SDL_INIT_VIDEO) != 0 || !OpenGraphics()) {
    std::fprintf(stderr, "gl_clear_present_bench: no window or device: %s %s\n", SDL_GetError(),
                 GetLastFailureReason());
    CloseGraphics();
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  CloseGraphics();
  SDL_Quit();
  return 0;
}
