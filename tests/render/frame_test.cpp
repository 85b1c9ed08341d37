// DrawFrame: the whole call sequence of one frame, the draw of every strip
// of the model's table with its running first vertex, and the frame whose
// scene cannot begin.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string_view>
#include <vector>

#include "model/glyph_model.h"
#include "render/graphics.h"
#include "tests/fake/fake_d3d9.h"
#include "tests/render/graphics_fixture.h"

namespace {

using fake_d3d9::Call;
using fake_d3d9::CallNames;
using fake_d3d9::CallsNamed;
using testing::Each;
using testing::ElementsAre;
using testing::IsNull;

class DrawFrameTest : public render_test::GraphicsTest {
 protected:
  void SetUp() override {
    GraphicsTest::SetUp();
    StartWithResources();
  }
};

TEST_F(DrawFrameTest, ClearsBeginsSetsStateDrawsEveryStripEndsAndPresents) {
  DrawFrame();

  std::vector<std::string_view> expected{"Clear", "BeginScene"};
  // The lighting, then the world, view and projection transforms.
  expected.insert(expected.end(), {"SetMaterial", "SetRenderState", "SetRenderState",
                                   "SetRenderState", "SetRenderState", "SetLight", "LightEnable",
                                   "SetRenderState", "SetRenderState"});
  expected.insert(expected.end(), {"SetTransform", "SetTransform", "SetTransform"});
  expected.insert(expected.end(),
                  {"SetTexture", "SetTextureStageState", "SetTextureStageState",
                   "SetTextureStageState", "SetTextureStageState", "SetStreamSource", "SetFVF"});
  expected.insert(expected.end(), GlyphStripTable().size(), "DrawPrimitive");
  expected.insert(expected.end(), {"EndScene", "Present"});
  EXPECT_EQ(CallNames(), expected);
  for (const Call& call : fake_d3d9::Get().calls) {
    EXPECT_EQ(call.target, g_device) << call.name;
    EXPECT_EQ(call.result, S_OK) << call.name << " was refused by the device";
  }
}

TEST_F(DrawFrameTest, ClearsTargetAndDepthToOpaqueWhiteAndPresentsTheWholeBuffer) {
  DrawFrame();

  const Call clear = CallsNamed("Clear").at(0);
  EXPECT_THAT(clear.values, ElementsAre(0, 3, 0xFFFFFFFFu, 1.0, 0));
  EXPECT_THAT(clear.pointers, ElementsAre(IsNull()));
  EXPECT_THAT(CallsNamed("Present").at(0).pointers, Each(IsNull()));
}

TEST_F(DrawFrameTest, ModulatesTheTextureByTheLitColourFromTheModelsBuffer) {
  DrawFrame();

  const Call texture = CallsNamed("SetTexture").at(0);
  EXPECT_THAT(texture.values, ElementsAre(0));
  EXPECT_THAT(texture.pointers, ElementsAre(g_texture));
  std::vector<std::vector<double>> stages;
  for (const Call& call : CallsNamed("SetTextureStageState")) stages.push_back(call.values);
  EXPECT_THAT(stages, ElementsAre(ElementsAre(0, 1, 4), ElementsAre(0, 2, 2), ElementsAre(0, 3, 0),
                                  ElementsAre(0, 4, 1)));
  const Call stream = CallsNamed("SetStreamSource").at(0);
  EXPECT_THAT(stream.values, ElementsAre(0, 0, 40));
  EXPECT_THAT(stream.pointers, ElementsAre(g_vertexBuffer));
  EXPECT_THAT(CallsNamed("SetFVF").at(0).values, ElementsAre(0x1D2));
}

TEST_F(DrawFrameTest, DrawsEachStripFromWhereThePreviousEnded) {
  DrawFrame();

  const auto draws = CallsNamed("DrawPrimitive");
  const auto strips = GlyphStripTable();
  ASSERT_EQ(draws.size(), strips.size());
  double first = 0;
  for (std::size_t i = 0; i < strips.size(); ++i) {
    EXPECT_THAT(draws[i].values, ElementsAre(5, first, strips[i].vertexCount - 2)) << "strip " << i;
    first += strips[i].vertexCount;
  }
  EXPECT_EQ(first, GLYPH_VERTEX_COUNT) << "the strips should end at the model's last vertex";
}

TEST_F(DrawFrameTest, OnlyClearsAndPresentsWhenTheSceneCannotBeginThenRecovers) {
  fake_d3d9::Get().failBeginScene = true;

  DrawFrame();

  EXPECT_THAT(CallNames(), ElementsAre("Clear", "BeginScene", "Present"));

  // The next frame whose scene begins is whole again.
  fake_d3d9::Get().failBeginScene = false;
  fake_d3d9::Get().calls.clear();

  DrawFrame();

  EXPECT_EQ(CallsNamed("DrawPrimitive").size(), GlyphStripTable().size());
  EXPECT_EQ(CallsNamed("EndScene").size(), 1u);
}

}  // namespace
