// Repeated frames on a paced device: a frame that repeats the previous one
// exactly (from a full clear on) is neither drawn nor shown again, yet every
// change of state, buffer or texel, every read-back and every window event
// still gives exactly the picture that drawing each frame would give.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/d3d9/d3d9_gl.h"
#include "platform/win32/sdl_window.h"
#include "platform/win32/win32.h"
#include "tests/d3d9/gl_fixture.h"

namespace {

constexpr D3DCOLOR WHITE = 0xFFFFFFFF;
constexpr D3DCOLOR RED = 0xFFFF0000;
constexpr D3DCOLOR BLUE = 0xFF0000FF;

class RepeatTest : public DeviceTest {
 protected:
  RepeatTest() { interval_ = D3DPRESENT_INTERVAL_DEFAULT; }

  void SetUp() override {
    DeviceTest::SetUp();
    ShowWindow(window_, SW_SHOW);
    device_->SetRenderState(D3DRS_LIGHTING, FALSE);
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    ASSERT_EQ(device_->CreateVertexBuffer(4 * sizeof(TestVertex), 0, TEST_FVF, D3DPOOL_DEFAULT,
                                          &buffer_, nullptr),
              D3D_OK);
    Fill(RED);
  }
  void TearDown() override {
    if (buffer_ != nullptr) buffer_->Release();
    DeviceTest::TearDown();
  }

  // The quad over pixels 0..7 x 0..7 in one colour.
  void Fill(D3DCOLOR color) {
    const float l = -0.5f, t = -0.5f, r = 7.5f, b = 7.5f;
    const TestVertex quad[4] = {AtPixel(l, t, 0.5f, color, 0, 0), AtPixel(r, t, 0.5f, color, 1, 0),
                                AtPixel(l, b, 0.5f, color, 0, 1), AtPixel(r, b, 0.5f, color, 1, 1)};
    void* data = nullptr;
    ASSERT_EQ(buffer_->Lock(0, 0, &data, 0), D3D_OK);
    std::memcpy(data, quad, sizeof quad);
    ASSERT_EQ(buffer_->Unlock(), D3D_OK);
  }

  // The viewer's kind of frame: full clear, state set again, one draw.
  void Begin(DWORD clearFlags = D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER) {
    device_->Clear(0, nullptr, clearFlags, WHITE, 1.0f, 0);
    device_->BeginScene();
    device_->SetStreamSource(0, buffer_, 0, sizeof(TestVertex));
    device_->SetFVF(TEST_FVF);
    device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
    device_->EndScene();
  }
  void Frame(DWORD clearFlags = D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER) {
    Begin(clearFlags);
    ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  }

  D3DGlDeviceStats Stats() { return D3DGlGetDeviceStats(device_); }

  IDirect3DVertexBuffer9* buffer_ = nullptr;
};

TEST_F(RepeatTest, ARepeatedFrameIsNeitherDrawnNorShownAgain) {
  Frame();
  const D3DGlDeviceStats first = Stats();
  for (int i = 0; i < 3; ++i) Frame();
  EXPECT_EQ(Stats().repeatedFrames, first.repeatedFrames + 3);
  EXPECT_EQ(Stats().draws, first.draws);
  EXPECT_EQ(Pixel(4, 4), RED);
  EXPECT_EQ(Pixel(9, 4), WHITE);
}

TEST_F(RepeatTest, ChangedStateBuffersAndTexelsAreDrawn) {
  Frame();
  Frame();
  D3DMATRIX shift{};
  for (int i = 0; i < 4; ++i) shift.m[i][i] = 1;
  shift.m[3][0] = 2.0f * 16 / WIDTH;  // 16 pixels to the right
  device_->SetTransform(D3DTS_WORLD, &shift);
  Frame();
  EXPECT_EQ(Pixel(4, 4), WHITE);
  EXPECT_EQ(Pixel(20, 4), RED);

  Fill(BLUE);  // same commands, new vertex colours
  Frame();
  EXPECT_EQ(Pixel(20, 4), BLUE);

  IDirect3DTexture9* texture = MakeTexture(1, 1, {0xFF00FF00});
  device_->SetTexture(0, texture);
  Frame();
  Frame();
  D3DLOCKED_RECT locked{};
  ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
  *static_cast<D3DCOLOR*>(locked.pBits) = 0xFFFFFF00;  // same commands, a new texel
  texture->UnlockRect(0);
  Frame();
  EXPECT_EQ(Pixel(20, 4), 0xFF000000u);  // blue diffuse times a yellow texel: black
  EXPECT_EQ(Stats().repeatedFrames, 2u);
  texture->Release();
}

TEST_F(RepeatTest, ReadingBackHalfWayShowsTheFrameSoFar) {
  Frame();
  Frame();
  device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, WHITE, 1.0f, 0);
  EXPECT_EQ(Pixel(4, 4), WHITE);  // the cleared target, not the last frame's picture
  device_->BeginScene();
  device_->SetStreamSource(0, buffer_, 0, sizeof(TestVertex));
  device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
  device_->EndScene();
  EXPECT_EQ(Pixel(4, 4), RED);
}

TEST_F(RepeatTest, FramesThatDoNotStartFromAFullClearAreAlwaysDrawn) {
  for (int i = 0; i < 3; ++i) Frame(D3DCLEAR_TARGET);  // depth kept from the frame before
  EXPECT_EQ(Stats().repeatedFrames, 0u);
  const D3DRECT all{0, 0, WIDTH, HEIGHT};
  for (int i = 0; i < 3; ++i) {
    device_->Clear(1, &all, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, WHITE, 1.0f, 0);
    Frame(0);
  }
  EXPECT_EQ(Stats().repeatedFrames, 0u);
}

TEST_F(RepeatTest, AResizedWindowIsShownTheRepeatedPictureStretched) {
  Frame();
  Frame();
  const std::uint64_t repeated = Stats().repeatedFrames;
  SDL_SetWindowSize(SdlWindowFromHwnd(window_), 2 * WIDTH, HEIGHT);
  Frame();
  EXPECT_EQ(Stats().repeatedFrames, repeated);  // shown again, over the new size
  Frame();
  EXPECT_EQ(Stats().repeatedFrames, repeated + 1);
}

// The same frames on a device presenting immediately.
class UnpacedRepeatTest : public RepeatTest {
 protected:
  UnpacedRepeatTest() { interval_ = D3DPRESENT_INTERVAL_IMMEDIATE; }
};

TEST_F(UnpacedRepeatTest, AnUnpacedDeviceDrawsEveryFrame) {
  for (int i = 0; i < 3; ++i) Frame();
  EXPECT_EQ(Stats().repeatedFrames, 0u);
  EXPECT_EQ(Stats().draws, 3u);
}

}  // namespace
