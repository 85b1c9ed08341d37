// The program's own cost per frame: DrawFrame (lighting, transforms, state
// and one draw per strip) against a null device that records nothing, so
// the figure is the application side alone, without any GPU work.
// Run: build/bench/render/draw_frame_bench
#include <benchmark/benchmark.h>

#include "model/glyph_model.h"
#include "render/graphics.h"
#include "tests/fake/fake.h"

namespace {

// Device, arcball, texture and a vertex buffer of the model's size, made
// straight on the fake device; false if any of them could not be made.
bool StartNullDevice() {
  fake::Reset();
  fake::state.logging = false;
  if (FAILED(StartGraphics(reinterpret_cast<HWND>(std::uintptr_t{0x5150})))) return false;
  const UINT length = static_cast<UINT>(GLYPH_VERTEX_COUNT) * sizeof(GlyphVertex);
  return SUCCEEDED(g_device->CreateVertexBuffer(length, 0, GLYPH_VERTEX_FVF, D3DPOOL_DEFAULT,
                                                &g_vertexBuffer, nullptr)) &&
         SUCCEEDED(g_device->CreateTexture(256, 256, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED,
                                           &g_texture, nullptr));
}

void BM_DrawFrame(benchmark::State& state) {
  if (!StartNullDevice()) {
    state.SkipWithError("the fake device could not be started");
    ReleaseGraphics();
    return;
  }
  for (auto _ : state) DrawFrame();
  state.counters["strips"] = static_cast<double>(GlyphStripTable().size());
  ReleaseGraphics();
}
BENCHMARK(BM_DrawFrame);

}  // namespace
