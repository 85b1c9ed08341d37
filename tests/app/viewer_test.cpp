// WinMain, its window procedure and its frames over the recording fake: one whole run compared
// call by call, and each way start-up can fail.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <numbers>

#include "model/glyph_model.h"
#include "render/graphics.h"
#include "tests/fake/fake.h"

namespace {

using fake::Call;

// The same call with the same arguments to within 1e-5, or any arguments where none are expected.
MATCHER(Near, "") {
  const auto& [actual, expected] = arg;
  const auto near = [](double a, double b) { return std::abs(a - b) <= 1e-5; };
  return actual.first == expected.first &&
         (expected.second.empty() || std::ranges::equal(actual.second, expected.second, near));
}

// Present, message, buttons, x, y: after the first Present a left drag that turns the word and a
// right drag that pans it; after the second, the close.
constexpr int MESSAGES[][5] = {{1, WM_LBUTTONDOWN, MK_LBUTTON, 300, 150},
                               {1, WM_MOUSEMOVE, MK_LBUTTON, 420, 90},
                               {1, WM_RBUTTONDOWN, MK_RBUTTON, 100, 100},
                               {1, WM_MOUSEMOVE, MK_RBUTTON, 160, 60},
                               {2, WM_CLOSE, 0, 0, 0}};

// The world after the drags, by hand. The left drag turns the ball's centre (0, 0, 1) to
// (-120 / 270, -60 / 135, 7 / 9): q = (4/9, -4/9, 0, 7/9), whose matrix is in 81ths. The right
// drag pans by 2 * 60 / 600 = 0.2 along x and 2 * 40 / 300 = 4/15 along y. Rows 0-2 are q's
// matrix; row 3 is the shift (-6, 0, 0) turned by it, plus the pan.
const Call WORLD{
    "SetTransform",
    {256, 49 / 81., -32 / 81., 56 / 81., 0, -32 / 81., 49 / 81., 56 / 81., 0, -56 / 81., -56 / 81.,
     17 / 81., 0, -294 / 81. + 0.2, 192 / 81. + 4 / 15., -336 / 81., 1}};
// One frame as the device must receive it after the drags.
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
      WORLD,
      {"SetTransform", {}},  // the camera, which the end-to-end pictures place
      {"SetTransform", {}},
      {"SetTexture", {0, 1}},
      {"SetTextureStageState", {0, 1, 4}},
      {"SetTextureStageState", {0, 2, 2}},
      {"SetTextureStageState", {0, 3, 0}},
      {"SetTextureStageState", {0, 4, 1}},
      {"SetStreamSource", {0, 1, 0, 40}},
      {"SetFVF", {0x1D2}}};
  double first = 0;
  for (const GlyphStrip& strip : GlyphStripTable()) {
    frame.push_back({"DrawPrimitive", {5, first, strip.vertexCount - 2.0}});
    first += strip.vertexCount;
  }
  frame.insert(frame.end(), {{"EndScene", {}}, {"Present", {0, 0, 0, 0}}});
  return frame;
}

// WinMain on a fresh fake, the calls named `fail` failing until the first Present.
int RunViewer(const char* fail) {
  std::filesystem::current_path(FOLDER);
  fake::Reset();
  fake::state.fail = fail;
  fake::state.onPresent = [presents = 0]() mutable {
    fake::state.fail = "-";
    ++presents;
    for (const auto& [present, message, keys, x, y] : MESSAGES) {
      if (present == presents) PostMessageA(fake::state.window, message, keys, MAKELPARAM(x, y));
    }
  };
  return WinMain(nullptr, nullptr, nullptr, SW_SHOWDEFAULT);
}

TEST(WinMainTest, StartsDrawsFollowsTheMouseAndEndsWithZeroHavingReleasedEverything) {
  ASSERT_EQ(0, RunViewer("BeginScene"));

  const std::vector<Call> frame = Frame();
  std::vector<Call> expected{
      {"CreateWindowExA Brisvane / Brisvane Code", {0, 0xCF0000, 100, 100, 600, 300}},
      {"Direct3DCreate9", {32}},
      // Adapter 0, HAL, software vertex processing; windowed, discard, 16-bit depth.
      {"CreateDevice", {0, 1, 1, 0x20, 0, 1, 1, 1, 80, 0}},
      {"SetRenderState", {22, 1}},  // no culling
      {"SetRenderState", {7, 1}},   // depth test
      {"CreateTexture", {256, 256}},
      {"CreateVertexBuffer", {GLYPH_VERTEX_COUNT * 40.0, 0, 0x1D2, 0}},
      {"Lock", {0, 0, 0}},
      {"Unlock", {}},
      {"ShowWindow", {1, 10}},
      {"UpdateWindow", {1}},
      // A scene that cannot begin is skipped, yet presented; the drags come in before the next.
      frame[0],
      frame[1],
      frame.back()};
  expected.insert(expected.end(), frame.begin(), frame.end());
  for (const char* name : {"Release buffer", "Release texture", "Release device", "Release d3d"}) {
    expected.push_back({name, {}});
  }
  EXPECT_THAT(fake::state.log, testing::Pointwise(Near(), expected));

  // The buffer holds the model with its texture coordinates.
  std::vector<GlyphVertex> model(GLYPH_VERTEX_COUNT);
  BuildGlyphVertices(model);
  GenerateTextureCoordinates(model);
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(model.data());
  EXPECT_TRUE(std::ranges::equal(std::span(bytes, model.size() * 40), fake::state.unlocked));
}

TEST(WinMainTest, EndsWithOneHavingReleasedWhatWasMadeWhenStartUpFails) {
  // The call made to fail, and how the run's calls end.
  const std::pair<const char*, const char*> cases[] = {
      {"CreateWindowExA", "Brisvane Code; "},
      {"Direct3DCreate9", "Code; Direct3DCreate9; "},
      {"CreateDevice", "; CreateDevice; Release d3d; "},
      // Found in the parent folder only; the device cannot make it.
      {"CreateTexture",
       "; CreateTexture; MessageBoxA Could not find leopard.jpg / Tavenor.exe; Release device; "
       "Release d3d; "},
      {"CreateVertexBuffer",
       "; CreateVertexBuffer; Release texture; Release device; Release d3d; "},
      {"Lock", "; Lock; Release buffer; Release texture; Release device; Release d3d; "}};
  for (const auto& [fail, end] : cases) {
    EXPECT_EQ(1, RunViewer(fail)) << fail;
    std::string names;
    for (const Call& call : fake::state.log) names += call.first + "; ";
    EXPECT_THAT(names, testing::EndsWith(end));
  }
}

}  // namespace
