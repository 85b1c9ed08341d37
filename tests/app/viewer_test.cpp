// WinMain, its window procedure and its frames over the recording fake: one whole run compared
// call by call, and each way start-up can fail.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "model/glyph_model.h"
#include "render/graphics.h"
#include "tests/fake/fake.h"

namespace {

using fake::Call;
using testing::Pointwise;

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
  const std::vector<Call>& log = fake::state.log;
  const Call clear{"Clear", {0, 0, 3, 0xFFFFFFFF, 1, 0}}, begin{"BeginScene", {}},
      present{"Present", {0, 0, 0, 0}};
  // Start-up, then a scene that cannot begin: skipped, yet presented; the drags come in before the
  // next, which sets its state inside the scene, draws the strips in table order and presents.
  std::vector<Call> before{
      {"CreateWindowExA Brisvane / Brisvane Code", {0, 0xCF0000, 100, 100, 600, 300}},
      {"Direct3DCreate9", {32}},
      // Adapter 0, HAL, software vertex processing; windowed, discard, 16-bit depth.
      {"CreateDevice", {0, 1, 1, 0x20, 0, 1, 1, 1, 80, 0}},
      {"SetRenderState", {22, 1}},  // no culling
      {"SetRenderState", {7, 1}},   // depth test
      // leopard.jpg, 256 x 256: one level, usage 0, X8R8G8B8, managed.
      {"CreateTexture", {256, 256, 1, 0, 22, 1}},
      {"CreateVertexBuffer", {GLYPH_VERTEX_COUNT * 40.0, 0, 0x1D2, 0}},
      {"Lock", {0, 0, 0}},
      {"Unlock", {}},
      {"ShowWindow", {1, 10}},
      {"UpdateWindow", {1}},
      clear,
      begin,
      present,
      clear,
      begin};
  const std::vector<Call> after{{"EndScene", {}},
                                present,
                                {"Release buffer", {}},
                                {"Release texture", {}},
                                {"Release device", {}},
                                {"Release d3d", {}}};
  ASSERT_GT(log.size(), before.size() + after.size());
  EXPECT_THAT(std::vector(log.begin(), log.begin() + before.size()), Pointwise(Near(), before));
  EXPECT_THAT(std::vector(log.end() - after.size(), log.end()), Pointwise(Near(), after));
  // The strips: every vertex once, in buffer order, each strip starting where the last ended.
  // The R's stem (18 front points, again at the back, its wall walked round 22 points of its
  // outline) and leg (8, 8, 12) come first, as triangle strips of n - 2 triangles.
  const auto draws = std::ranges::find(log, Call{"EndScene", {}}) - GLYPH_STRIP_COUNT;
  const std::vector<Call> first{{"DrawPrimitive", {5, 0, 16}},  {"DrawPrimitive", {5, 18, 16}},
                                {"DrawPrimitive", {5, 36, 42}}, {"DrawPrimitive", {5, 80, 6}},
                                {"DrawPrimitive", {5, 88, 6}},  {"DrawPrimitive", {5, 96, 22}}};
  EXPECT_THAT(std::vector(draws, draws + 6), Pointwise(Near(), first));
  double next = 0;
  for (auto draw = draws; draw != draws + GLYPH_STRIP_COUNT; ++draw) {
    EXPECT_EQ(draw->first, "DrawPrimitive");
    EXPECT_EQ(draw->second[1], next);
    next += draw->second[2] + 2;
  }
  EXPECT_EQ(next, GLYPH_VERTEX_COUNT);
  const std::vector state(log.begin() + before.size(), draws);
  for (const Call& call : state)
    EXPECT_THAT(call.first, testing::MatchesRegex("Set.*|LightEnable"));
  // 60 degrees high, aspect 2, near 1, far 100, depth onto Direct3D's 0..1: x and y scale
  // cot 30 / 2 and cot 30, z by 100 / 99 less 100 / 99 (GL's -1..1 would make 101 / 99, -200 / 99).
  const Call projection{"SetTransform", {3, std::sqrt(3) / 2, 0, 0, 0, 0, std::sqrt(3), 0, 0, 0, 0,
                                         100 / 99., 1, 0, 0, -100 / 99., 0}};
  for (const Call& bound :
       {WORLD, projection, Call{"SetTexture", {0, 1}}, Call{"SetStreamSource", {0, 1, 0, 40}},
        Call{"SetFVF", {0x1D2}}, Call{"LightEnable", {0, 1}}}) {
    EXPECT_TRUE(std::ranges::any_of(state, [&](const Call& call) {
      return testing::Value(std::tie(call, bound), Near());
    })) << bound.first;
  }
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
