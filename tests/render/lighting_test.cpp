// ConfigureLighting: the exact material, spot light and render states, in
// the order the device receives them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>

#include "render/graphics.h"
#include "tests/fake/fake_d3d9.h"
#include "tests/render/graphics_fixture.h"

namespace {

using fake_d3d9::Call;
using fake_d3d9::CallNames;
using fake_d3d9::CallsNamed;
using testing::ElementsAre;

class ConfigureLightingTest : public render_test::GraphicsTest {
 protected:
  void SetUp() override {
    GraphicsTest::SetUp();
    ASSERT_EQ(StartGraphics(render_test::StandInWindow()), S_OK);
    fake_d3d9::Get().calls.clear();
    ConfigureLighting();
  }
};

void ExpectColour(const D3DCOLORVALUE& c, float r, float g, float b, float a) {
  EXPECT_EQ(c.r, r);
  EXPECT_EQ(c.g, g);
  EXPECT_EQ(c.b, b);
  EXPECT_EQ(c.a, a);
}

TEST_F(ConfigureLightingTest, SendsMaterialStatesLightAndEnableInOrder) {
  EXPECT_THAT(CallNames(), ElementsAre("SetMaterial", "SetRenderState", "SetRenderState",
                                       "SetRenderState", "SetRenderState", "SetLight",
                                       "LightEnable", "SetRenderState", "SetRenderState"));
  for (const Call& call : fake_d3d9::Get().calls) EXPECT_EQ(call.target, g_device);
}

TEST_F(ConfigureLightingTest, UsesABlackMaterialWithPowerOne) {
  const auto m = std::get<D3DMATERIAL9>(CallsNamed("SetMaterial").at(0).record);
  ExpectColour(m.Diffuse, 0, 0, 0, 0);
  ExpectColour(m.Ambient, 0, 0, 0, 0);
  ExpectColour(m.Specular, 0, 0, 0, 0);
  ExpectColour(m.Emissive, 0, 0, 0, 0);
  EXPECT_EQ(m.Power, 1.0f);
}

TEST_F(ConfigureLightingTest, TakesReflectancesFromTheVertexColoursAndLightsWithGreyAmbient) {
  std::vector<std::vector<double>> states;
  for (const Call& call : CallsNamed("SetRenderState")) states.push_back(call.values);
  // Ambient and diffuse from COLOR1, specular from COLOR2, specular on,
  // lighting on, ambient 0x20 grey with alpha 0.
  EXPECT_THAT(states,
              ElementsAre(ElementsAre(147, 1), ElementsAre(145, 1), ElementsAre(146, 2),
                          ElementsAre(29, 1), ElementsAre(137, 1), ElementsAre(139, 0x00202020)));
}

TEST_F(ConfigureLightingTest, SetsOneWhiteSpotLightAimedAtTheOriginAndEnablesIt) {
  const Call set = CallsNamed("SetLight").at(0);
  EXPECT_THAT(set.values, ElementsAre(0));
  const auto& l = std::get<D3DLIGHT9>(set.record);
  EXPECT_EQ(l.Type, 2u);
  ExpectColour(l.Diffuse, 1, 1, 1, 1);
  ExpectColour(l.Specular, 1, 1, 1, 1);
  ExpectColour(l.Ambient, 1, 1, 1, 1);
  EXPECT_EQ(l.Position.x, 5.0f);
  EXPECT_EQ(l.Position.y, 20.0f);
  EXPECT_EQ(l.Position.z, 5.0f);
  EXPECT_EQ(l.Direction.x, -1.0f);
  EXPECT_EQ(l.Direction.y, -4.0f);
  EXPECT_EQ(l.Direction.z, -1.0f);
  EXPECT_EQ(l.Range, 100.0f);
  EXPECT_EQ(l.Falloff, 1.5f);
  EXPECT_EQ(l.Attenuation0, 1.0f);
  EXPECT_EQ(l.Attenuation1, 0.05f);
  EXPECT_EQ(l.Attenuation2, 0.001f);
  EXPECT_EQ(std::bit_cast<std::uint32_t>(l.Theta), 0x3F060A92u);  // pi / 6
  EXPECT_EQ(std::bit_cast<std::uint32_t>(l.Phi), 0x3F490FDBu);    // pi / 4

  EXPECT_THAT(CallsNamed("LightEnable").at(0).values, ElementsAre(0, 1));
}

}  // namespace
