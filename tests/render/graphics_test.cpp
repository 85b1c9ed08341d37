// Device lifetime: what StartGraphics makes, in which order and with which
// parameters, what a failed start leaves held, and how ReleaseGraphics takes
// it all down again.
#include "render/graphics.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/fake/fake_d3d9.h"
#include "tests/fake/fake_win32.h"
#include "tests/render/graphics_fixture.h"

namespace {

using fake_d3d9::Call;
using fake_d3d9::CallNames;
using fake_d3d9::CallsNamed;
using render_test::GraphicsTest;
using render_test::StandInWindow;
using testing::ElementsAre;
using testing::IsEmpty;

using StartGraphicsTest = GraphicsTest;
using ReleaseGraphicsTest = GraphicsTest;

TEST_F(StartGraphicsTest, MakesTheDirect3DObjectThenTheDeviceThenSetsTwoStates) {
  ASSERT_EQ(StartGraphics(StandInWindow()), S_OK);

  EXPECT_THAT(CallNames(),
              ElementsAre("Direct3DCreate9", "CreateDevice", "SetRenderState", "SetRenderState"));
  const auto& calls = fake_d3d9::Get().calls;
  EXPECT_THAT(calls[0].values, ElementsAre(32));
  // Adapter 0, HAL, software vertex processing and no other flag.
  EXPECT_EQ(calls[1].target, g_d3d);
  EXPECT_THAT(calls[1].values, ElementsAre(0, 1, 0x20));
  EXPECT_THAT(calls[1].pointers, ElementsAre(StandInWindow()));
  // Culling off, then depth test on, on the new device.
  EXPECT_EQ(calls[2].target, g_device);
  EXPECT_THAT(calls[2].values, ElementsAre(22, 1));
  EXPECT_THAT(calls[3].values, ElementsAre(7, 1));
  EXPECT_EQ(fake_d3d9::RefCount(g_device), 1u);
  EXPECT_EQ(fake_d3d9::RefCount(g_d3d), 2u);  // its one reference plus the device's own
}

TEST_F(StartGraphicsTest, AsksForAWindowedDeviceWithA16BitDepthBuffer) {
  ASSERT_EQ(StartGraphics(StandInWindow()), S_OK);

  const Call device = CallsNamed("CreateDevice").at(0);
  const auto& p = std::get<D3DPRESENT_PARAMETERS>(device.record);
  EXPECT_EQ(p.BackBufferWidth, 0u);
  EXPECT_EQ(p.BackBufferHeight, 0u);
  EXPECT_EQ(p.BackBufferFormat, 0u);
  EXPECT_EQ(p.BackBufferCount, 0u);
  EXPECT_EQ(p.MultiSampleType, 0u);
  EXPECT_EQ(p.MultiSampleQuality, 0u);
  EXPECT_EQ(p.SwapEffect, 1u);
  EXPECT_EQ(p.hDeviceWindow, nullptr);
  EXPECT_EQ(p.Windowed, 1);
  EXPECT_EQ(p.EnableAutoDepthStencil, 1);
  EXPECT_EQ(p.AutoDepthStencilFormat, 80u);
  EXPECT_EQ(p.Flags, 0u);
  EXPECT_EQ(p.FullScreen_RefreshRateInHz, 0u);
  EXPECT_EQ(p.PresentationInterval, 0u);
}

TEST_F(StartGraphicsTest, SizesTheArcballToTheNominalWindowWhateverTheForegroundMeasures) {
  fake_win32::Get().foregroundClient = RECT{0, 0, 1000, 700};
  ASSERT_EQ(StartGraphics(StandInWindow()), S_OK);

  ASSERT_NE(g_arcball, nullptr);
  EXPECT_EQ(g_arcball->Width(), 600);
  EXPECT_EQ(g_arcball->Height(), 300);
  EXPECT_EQ(g_arcball->Radius(), 0.9f);
}

TEST_F(StartGraphicsTest, FailsAtOnceWithoutADirect3DObject) {
  fake_d3d9::Get().failCreate9 = true;

  EXPECT_EQ(StartGraphics(StandInWindow()), E_FAIL);

  EXPECT_THAT(CallNames(), ElementsAre("Direct3DCreate9"));
  EXPECT_EQ(g_d3d, nullptr);
  EXPECT_EQ(g_device, nullptr);
  EXPECT_EQ(g_arcball, nullptr);
  EXPECT_EQ(fake_d3d9::LiveObjects(), 0);
}

TEST_F(StartGraphicsTest, KeepsTheDirect3DObjectForReleaseButNothingElseWhenTheDeviceFails) {
  fake_d3d9::Get().failCreateDevice = true;

  EXPECT_EQ(StartGraphics(StandInWindow()), E_FAIL);

  EXPECT_THAT(CallNames(), ElementsAre("Direct3DCreate9", "CreateDevice"));
  EXPECT_NE(g_d3d, nullptr);
  EXPECT_EQ(fake_d3d9::RefCount(g_d3d), 1u);
  EXPECT_EQ(g_device, nullptr);
  EXPECT_EQ(g_arcball, nullptr);
  EXPECT_EQ(fake_d3d9::LiveObjects(), 1);

  // ReleaseGraphics takes down what the failed start left held.
  ReleaseGraphics();
  EXPECT_EQ(g_d3d, nullptr);
  EXPECT_EQ(fake_d3d9::LiveObjects(), 0);
}

TEST_F(ReleaseGraphicsTest, ReleasesBufferTextureDeviceAndDirect3DInThatOrder) {
  StartWithResources();
  IDirect3DVertexBuffer9* const buffer = g_vertexBuffer;
  IDirect3DTexture9* const texture = g_texture;
  IDirect3DDevice9* const device = g_device;
  IDirect3D9* const d3d = g_d3d;

  ReleaseGraphics();

  std::vector<const void*> released;
  for (const Call& call : fake_d3d9::Get().calls) {
    EXPECT_EQ(call.name, "Release");
    released.push_back(call.target);
  }
  EXPECT_THAT(released, ElementsAre(buffer, texture, device, d3d));
  EXPECT_EQ(g_arcball, nullptr);
  EXPECT_EQ(g_vertexBuffer, nullptr);
  EXPECT_EQ(g_texture, nullptr);
  EXPECT_EQ(g_device, nullptr);
  EXPECT_EQ(g_d3d, nullptr);
  EXPECT_EQ(fake_d3d9::LiveObjects(), 0);
}

TEST_F(ReleaseGraphicsTest, DoesNothingBeforeAStartOrAfterARelease) {
  ReleaseGraphics();
  EXPECT_THAT(fake_d3d9::Get().calls, IsEmpty());
  StartWithResources();
  ReleaseGraphics();
  fake_d3d9::Get().calls.clear();

  ReleaseGraphics();

  EXPECT_THAT(fake_d3d9::Get().calls, IsEmpty());
}

TEST_F(ReleaseGraphicsTest, SkipsTheModelResourcesWhenTheyWereNeverMade) {
  ASSERT_EQ(StartGraphics(StandInWindow()), S_OK);
  IDirect3DDevice9* const device = g_device;
  IDirect3D9* const d3d = g_d3d;
  fake_d3d9::Get().calls.clear();

  ReleaseGraphics();

  const auto releases = CallsNamed("Release");
  ASSERT_EQ(releases.size(), 2u);
  EXPECT_EQ(releases[0].target, device);
  EXPECT_EQ(releases[1].target, d3d);
  EXPECT_EQ(g_arcball, nullptr);
  EXPECT_EQ(fake_d3d9::LiveObjects(), 0);
}

}  // namespace
