// WinMain, its window procedure and its frames over the recording fake: a whole run, each way
// start-up can fail, and what a frame allocates.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <new>
#include <numbers>

#include "model/glyph_model.h"
#include "render/graphics.h"
#include "tests/fake/fake.h"

namespace {
long allocations = 0;
}  // namespace

[[gnu::noinline]] void* operator new(std::size_t size) {
  ++allocations;
  if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
  throw std::bad_alloc();
}
[[gnu::noinline]] void operator delete(void* memory) noexcept { std::free(memory); }
[[gnu::noinline]] void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }

namespace {

namespace fs = std::filesystem;
using fake::Call;
using fake::Id;

MATCHER(Near, "") {
  const auto& [actual, expected] = arg;
  const auto near = [](double a, double b) { return std::abs(a - b) <= 1e-5; };
  return actual.first == expected.first && std::ranges::equal(actual.second, expected.second, near);
}

std::string Names() {
  std::string names;
  for (const Call& call : fake::state.log) names += call.first + "; ";
  return names;
}

// World = S * R * T, by hand: R's rows, then the shift (-6, 0, 0) turned by R plus T's offset.
Call World() {
  const D3DXMATRIX& r = *g_arcball->RotationMatrix();
  const D3DXMATRIX& t = *g_arcball->TranslationMatrix();
  Call world{"SetTransform", {256}};
  for (int i = 0; i < 16; ++i) world.second.push_back(r.m[i / 4][i % 4]);
  for (int j = 0; j < 3; ++j) world.second[13 + j] += t.m[3][j] - 6 * r.m[0][j];
  return world;
}

// LookAtLH from (3, 7, -5) to (0, 2, 0), up +y, by hand: z = (-3, -5, 5) / A, x = (5, 0, 3) / B,
// y = z x x = (-15, 34, 25) / C, last row -(x.eye, y.eye, z.eye).
const double A = std::sqrt(59.0);
const double B = std::sqrt(34.0);
const double C = std::sqrt(2006.0);
const Call VIEW{"SetTransform",
                {2, 5 / B, -15 / C, -3 / A, 0, 0, 34 / C, -5 / A, 0, 3 / B, 25 / C, 5 / A, 0, 0,
                 -68 / C, 69 / A, 1}};
// PerspectiveFovLH, 60 degrees, aspect 2, depth 1 to 100: cot 30 = sqrt 3.
const Call PROJECTION{"SetTransform",
                      {3, std::sqrt(3.0) / 2, 0, 0, 0, 0, std::sqrt(3.0), 0, 0, 0, 0, 100.0 / 99, 1,
                       0, 0, -100.0 / 99, 0}};

// One frame as the device must receive it, for the arcball as it stands.
std::vector<Call> Frame() {
  const double pi = std::numbers::pi;
  std::vector<Call> frame{
      {"Clear", {0, 0, 3, 0xFFFFFFFF, 1, 0}},
      {"BeginScene", {}},
      {"SetMaterial", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}},
      {"SetRenderState", {147, 1}},
      {"SetRenderState", {145, 1}},
      {"SetRenderState", {146, 2}},
      {"SetRenderState", {29, 1}},
      {"SetLight", {0, 2,  1, 1,  1,  1,  1,   1,   1, 1,    1,     1,      1,     1,
                    5, 20, 5, -1, -4, -1, 100, 1.5, 1, 0.05, 0.001, pi / 6, pi / 4}},
      {"LightEnable", {0, 1}},
      {"SetRenderState", {137, 1}},
      {"SetRenderState", {139, 0x202020}},
      World(),
      VIEW,
      PROJECTION,
      {"SetTexture", {0, Id(g_texture)}},
      {"SetTextureStageState", {0, 1, 4}},
      {"SetTextureStageState", {0, 2, 2}},
      {"SetTextureStageState", {0, 3, 0}},
      {"SetTextureStageState", {0, 4, 1}},
      {"SetStreamSource", {0, Id(g_vertexBuffer), 0, 40}},
      {"SetFVF", {0x1D2}}};
  double first = 0;
  for (const GlyphStrip& strip : GlyphStripTable()) {
    frame.push_back({"DrawPrimitive", {5, first, strip.vertexCount - 2.0}});
    first += strip.vertexCount;
  }
  frame.insert(frame.end(), {{"EndScene", {}}, {"Present", {0, 0, 0, 0}}});
  return frame;
}

// Message, buttons, x, y: a left drag that turns the word and a right drag that pans it.
constexpr int DRAGS[][4] = {{WM_LBUTTONDOWN, MK_LBUTTON, 300, 150},
                            {WM_MOUSEMOVE, MK_LBUTTON, 420, 90},
                            {WM_LBUTTONUP, 0, 420, 90},
                            {WM_RBUTTONDOWN, MK_RBUTTON, 100, 100},
                            {WM_MOUSEMOVE, MK_RBUTTON, 160, 60},
                            {WM_RBUTTONUP, 0, 160, 60}};

// WinMain on a fresh fake in found/app or none/app, the fake's calls named `fail` failing. The
// first frame's scene cannot begin; the drags follow it and the second frame closes the window.
// `frames` gets what the device must see of both frames and of the drags.
int RunViewer(bool texture, const char* fail, std::vector<Call>& frames) {
  fs::current_path(fs::path(FOLDERS) / (texture ? "found/app" : "none/app"));
  fake::Reset();
  fake::state.fail = fail;
  fake::state.onPresent = [&frames] {
    const HWND window = fake::state.window;
    const std::vector<Call> frame = Frame();
    if (frames.empty()) {
      fake::state.fail = "-";
      for (const auto& [message, keys, x, y] : DRAGS) {
        PostMessageA(window, message, keys, MAKELPARAM(x, y));
      }
      const Call capture{"SetCapture", {Id(window)}};
      const Call release{"ReleaseCapture", {}};
      frames = {frame[0], frame[1], frame.back(), capture, release, capture, release};
    } else {
      frames.insert(frames.end(), frame.begin(), frame.end());
      PostMessageA(window, WM_CLOSE, 0, 0);
    }
  };
  return WinMain(nullptr, nullptr, nullptr, SW_SHOWDEFAULT);
}

TEST(WinMainTest, StartsDrawsFollowsTheMouseAndEndsWithZeroHavingReleasedEverything) {
  std::vector<Call> frames;
  ASSERT_EQ(RunViewer(true, "BeginScene", frames), 0);

  const double window = Id(fake::state.window);
  std::vector<Call> expected{
      {"CreateWindowExA Brisvane / Brisvane Code", {0, 0xCF0000, 100, 100, 600, 300}},
      {"Direct3DCreate9", {32}},
      // Adapter 0, HAL, software vertex processing; windowed, discard, 16-bit depth.
      {"CreateDevice", {0, 1, window, 0x20, 0, 0, 0, 0, 0, 0, 1, 0, 1, 1, 80, 0, 0, 0}},
      {"SetRenderState", {22, 1}},  // no culling
      {"SetRenderState", {7, 1}},   // depth test
      {"CreateTexture", {256, 256}},
      {"CreateVertexBuffer", {GLYPH_VERTEX_COUNT * 40.0, 0, 0x1D2, 0}},
      {"Lock", {0, 0, 0}},
      {"Unlock", {}},
      {"ShowWindow", {window, 10}},
      {"UpdateWindow", {window}}};
  expected.insert(expected.end(), frames.begin(), frames.end());
  for (const char* name : {"Release buffer", "Release texture", "Release device", "Release d3d"}) {
    expected.push_back({name, {}});
  }
  EXPECT_THAT(fake::state.log, testing::Pointwise(Near(), expected));
}

// The call made to fail, and how the run's calls end; no texture anywhere where nothing fails.
class StartFailureTest : public testing::TestWithParam<std::pair<const char*, const char*>> {};

TEST_P(StartFailureTest, EndsWithOneHavingReleasedWhatWasMade) {
  const auto [fail, end] = GetParam();
  std::vector<Call> frames;
  EXPECT_EQ(RunViewer(fail[0] != '-', fail, frames), 1);

  EXPECT_THAT(Names(), testing::EndsWith(end));
}

INSTANTIATE_TEST_SUITE_P(
    EachStep, StartFailureTest,
    testing::Values(std::pair{"CreateWindowExA", "Brisvane Code; "},
                    std::pair{"Direct3DCreate9", "Code; Direct3DCreate9; "},
                    std::pair{"CreateDevice", "; CreateDevice; Release d3d; "},
                    std::pair{"-",
                              "; SetRenderState; MessageBoxA Could not find leopard.jpg / "
                              "Tavenor.exe; Release device; Release d3d; "},
                    std::pair{"CreateVertexBuffer",
                              "; CreateTexture; CreateVertexBuffer; Release "
                              "texture; Release device; Release d3d; "},
                    std::pair{"Lock",
                              "; Lock; Release buffer; Release texture; Release device; "
                              "Release d3d; "}));

TEST(DrawFrameTest, AllocatesNothing) {
  fake::Reset();
  ASSERT_EQ(StartGraphics(reinterpret_cast<HWND>(std::uintptr_t{1})), S_OK);
  fake::state.logging = false;
  const long before = allocations;
  for (int i = 0; i < 100; ++i) DrawFrame();
  EXPECT_EQ(allocations, before);
  ReleaseGraphics();
}

}  // namespace
