// The OpenGL device's contract apart from pixels: creation and its failures,
// the back buffer's size, reference counting and what outlives what, GL
// objects made only by Create* calls, state sent only when it changed, state
// values refused rather than drawn wrong, scene and draw-range errors, locking
// rules and paced presentation.
#include <SDL.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <ctime>
#include <string>

#include "platform/d3d9/d3d9_gl.h"
#include "platform/win32/win32.h"
#include "tests/d3d9/gl_fixture.h"

namespace {

HRESULT CreateOn(IDirect3D9* d3d, HWND window, D3DPRESENT_PARAMETERS* p,
                 IDirect3DDevice9** device) {
  return d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window,
                           D3DCREATE_SOFTWARE_VERTEXPROCESSING, p, device);
}

std::vector<TestVertex> Quad(float x0, float y0, float x1, float y1, float z, D3DCOLOR color) {
  return {AtPixel(x0, y0, z, color), AtPixel(x1, y0, z, color), AtPixel(x0, y1, z, color),
          AtPixel(x1, y1, z, color)};
}

TEST(Direct3DCreate9Test, OnlyTheSdkVersionMakesAnObject) {
  EXPECT_EQ(Direct3DCreate9(D3D_SDK_VERSION - 1), nullptr);
  IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
  ASSERT_NE(d3d, nullptr);
  EXPECT_EQ(d3d->Release(), 0u);
  EXPECT_EQ(D3DGlGetLiveCounts().interfaces, 0);
}

class CreateDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window_ = OpenPlainWindow(48, 24);
    ASSERT_NE(window_, nullptr);
    d3d_ = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(d3d_, nullptr);
  }
  void TearDown() override {
    d3d_->Release();
    DestroyWindow(window_);
    EXPECT_EQ(D3DGlGetLiveCounts().interfaces, 0);
    EXPECT_EQ(D3DGlGetLiveCounts().glObjects, 0);
    EXPECT_EQ(D3DGlGetLiveCounts().contexts, 0);
  }
  // Expects creation with p on window to fail with a reason and leave the output alone.
  void ExpectRefused(HWND window, D3DPRESENT_PARAMETERS p) {
    D3DSetLastFailureReason("");
    auto* untouched = reinterpret_cast<IDirect3DDevice9*>(0x1);
    IDirect3DDevice9* device = untouched;
    EXPECT_TRUE(FAILED(CreateOn(d3d_, window, &p, &device)));
    EXPECT_EQ(device, untouched);
    EXPECT_STRNE(D3DGetLastFailureReason(), "");
  }
  HWND window_ = nullptr;
  IDirect3D9* d3d_ = nullptr;
};

// A size of 0 takes the 48 x 24 client area at creation; an explicit size is kept.
TEST_F(CreateDeviceTest, BackBufferTakesTheClientSizeUnlessOneIsGiven) {
  const struct {
    UINT askedWidth, askedHeight, width, height;
  } cases[] = {{0, 0, 48, 24}, {20, 10, 20, 10}};
  for (const auto& c : cases) {
    D3DPRESENT_PARAMETERS p = UnpacedWindowedParameters();
    p.BackBufferWidth = c.askedWidth;
    p.BackBufferHeight = c.askedHeight;
    IDirect3DDevice9* device = nullptr;
    ASSERT_EQ(CreateOn(d3d_, window_, &p, &device), D3D_OK);
    EXPECT_EQ(p.BackBufferWidth, c.width);
    EXPECT_EQ(p.BackBufferHeight, c.height);
    std::vector<D3DCOLOR> pixels;
    UINT width = 0, height = 0;
    ASSERT_EQ(D3DGlReadBackBuffer(device, &pixels, &width, &height), D3D_OK);
    EXPECT_EQ(width, c.width);
    EXPECT_EQ(height, c.height);
    EXPECT_EQ(device->Release(), 0u);
  }
}

TEST_F(CreateDeviceTest, NullOrDeadWindowIsRefusedWithAReason) {
  ExpectRefused(nullptr, UnpacedWindowedParameters());
  ExpectRefused(reinterpret_cast<HWND>(0x1234), UnpacedWindowedParameters());
  HWND gone = OpenPlainWindow(16, 16);
  DestroyWindow(gone);
  ExpectRefused(gone, UnpacedWindowedParameters());
}

TEST_F(CreateDeviceTest, UnsupportedParametersAreRefused) {
  D3DPRESENT_PARAMETERS p = UnpacedWindowedParameters();
  p.Windowed = FALSE;
  ExpectRefused(window_, p);
  p = UnpacedWindowedParameters();
  p.AutoDepthStencilFormat = D3DFMT_D24S8;
  ExpectRefused(window_, p);
  p = UnpacedWindowedParameters();
  p.PresentationInterval = 2;
  ExpectRefused(window_, p);
  IDirect3DDevice9* device = nullptr;
  p = UnpacedWindowedParameters();
  EXPECT_EQ(d3d_->CreateDevice(1, D3DDEVTYPE_HAL, window_, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p,
                               &device),
            D3DERR_INVALIDCALL);
  EXPECT_TRUE(
      FAILED(d3d_->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window_, 0, &p, &device)));
  EXPECT_EQ(device, nullptr);
}

TEST_F(CreateDeviceTest, DeviceKeepsTheDirect3DObjectAlive) {
  D3DPRESENT_PARAMETERS p = UnpacedWindowedParameters();
  IDirect3DDevice9* device = nullptr;
  ASSERT_EQ(CreateOn(d3d_, window_, &p, &device), D3D_OK);
  EXPECT_EQ(d3d_->AddRef(), 3u);  // ours, the device's, this one
  EXPECT_EQ(d3d_->Release(), 2u);
  EXPECT_EQ(device->Release(), 0u);
  EXPECT_EQ(d3d_->AddRef(), 2u);
  d3d_->Release();
}

TEST_F(CreateDeviceTest, ADeviceWhoseWindowIsGoneFailsCleanlyAndStillReleasesEverything) {
  HWND doomed = OpenPlainWindow(16, 16);
  D3DPRESENT_PARAMETERS p = UnpacedWindowedParameters();
  IDirect3DDevice9* device = nullptr;
  ASSERT_EQ(CreateOn(d3d_, doomed, &p, &device), D3D_OK);
  IDirect3DTexture9* texture = nullptr;
  ASSERT_EQ(device->CreateTexture(2, 2, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr),
            D3D_OK);
  DestroyWindow(doomed);
  EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0), D3DERR_DEVICELOST);
  EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
  std::vector<D3DCOLOR> pixels;
  UINT width = 0, height = 0;
  EXPECT_EQ(D3DGlReadBackBuffer(device, &pixels, &width, &height), D3DERR_DEVICELOST);
  EXPECT_EQ(texture->Release(), 0u);
  EXPECT_EQ(device->Release(), 0u);  // TearDown checks that nothing is left
}

TEST_F(CreateDeviceTest, PacedPresentSleepsOutEachRefresh) {
  D3DPRESENT_PARAMETERS p = UnpacedWindowedParameters();
  p.PresentationInterval = D3DPRESENT_INTERVAL_DEFAULT;
  IDirect3DDevice9* device = nullptr;
  ASSERT_EQ(CreateOn(d3d_, window_, &p, &device), D3D_OK);
  ShowWindow(window_, SW_SHOW);
  device->Present(nullptr, nullptr, nullptr, nullptr);
  const auto wallStart = std::chrono::steady_clock::now();
  const std::clock_t cpuStart = std::clock();
  for (int i = 0; i < 6; ++i) device->Present(nullptr, nullptr, nullptr, nullptr);
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
  const double cpu = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
  // Six presents at 60 Hz or slower take at least five periods, and by sleeping.
  EXPECT_GE(wall, 5.0 / 61.0);
  EXPECT_LT(cpu, 0.5 * wall);
  device->Release();
}

using DeviceLifeTest = DeviceTest;

TEST_F(DeviceLifeTest, AddRefAndReleaseCountAndResourcesKeepTheirDeviceAlive) {
  EXPECT_EQ(device_->AddRef(), 2u);
  EXPECT_EQ(device_->Release(), 1u);
  IDirect3DVertexBuffer9* buffer = nullptr;
  ASSERT_EQ(device_->CreateVertexBuffer(40, 0, TEST_FVF, D3DPOOL_DEFAULT, &buffer, nullptr),
            D3D_OK);
  EXPECT_EQ(buffer->AddRef(), 2u);
  EXPECT_EQ(buffer->Release(), 1u);
  EXPECT_EQ(buffer->Release(), 0u);
  IDirect3DTexture9* texture = MakeTexture(2, 2, {0, 0, 0, 0});
  ASSERT_NE(texture, nullptr);
  EXPECT_EQ(device_->Release(), 1u);  // the texture still holds it
  device_ = nullptr;
  EXPECT_EQ(texture->GetLevelCount(), 1u);
  EXPECT_EQ(texture->Release(), 0u);  // and frees it now; TearDown checks nothing is left
}

TEST_F(DeviceLifeTest, BoundResourcesReleasedBeforeTheDeviceLeaveNothing) {
  IDirect3DTexture9* texture = MakeTexture(1, 1, {0xFF00FF00});
  ASSERT_EQ(device_->SetTexture(0, texture), D3D_OK);
  DrawFrame(D3DPT_TRIANGLESTRIP, Quad(0, 0, 8, 8, 0.5f, 0xFFFFFFFF));
  // As the viewer does: buffer and texture released while still bound, then the device.
  EXPECT_EQ(texture->Release(), 0u);
  EXPECT_GT(D3DGlGetLiveCounts().interfaces, 2);  // still bound inside the device
}

TEST_F(DeviceLifeTest, DrawingFramesMakesNoGlObjects) {
  IDirect3DVertexBuffer9* buffer = nullptr;
  const auto quad = Quad(4, 4, 20, 20, 0.5f, 0xFF0000FF);
  ASSERT_EQ(device_->CreateVertexBuffer(4 * sizeof(TestVertex), 0, TEST_FVF, D3DPOOL_DEFAULT,
                                        &buffer, nullptr),
            D3D_OK);
  void* data = nullptr;
  ASSERT_EQ(buffer->Lock(0, 0, &data, 0), D3D_OK);
  std::memcpy(data, quad.data(), 4 * sizeof(TestVertex));
  buffer->Unlock();
  const D3DGlLiveCounts before = D3DGlGetLiveCounts();
  for (int frame = 0; frame < 5; ++frame) {
    device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFFFFFFFF, 1.0f, 0);
    ASSERT_EQ(device_->BeginScene(), D3D_OK);
    device_->SetStreamSource(0, buffer, 0, sizeof(TestVertex));
    device_->SetFVF(TEST_FVF);
    device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
    device_->EndScene();
    device_->Present(nullptr, nullptr, nullptr, nullptr);
  }
  const D3DGlLiveCounts after = D3DGlGetLiveCounts();
  EXPECT_EQ(after.glObjects, before.glObjects);
  EXPECT_EQ(after.interfaces, before.interfaces);
  buffer->Release();
}

TEST_F(DeviceLifeTest, UnchangedStateIsNotSentAgain) {
  D3DMATERIAL9 material{};
  material.Power = 4.0f;
  D3DLIGHT9 light{};
  light.Type = D3DLIGHT_POINT;
  light.Diffuse = {1, 1, 1, 1};
  light.Range = 10.0f;
  light.Attenuation0 = 1.0f;
  const auto frame = [&] {
    device_->SetMaterial(&material);
    device_->SetLight(0, &light);
    device_->LightEnable(0, TRUE);
    device_->SetRenderState(D3DRS_AMBIENT, 0x00202020);
    device_->SetRenderState(D3DRS_SPECULARENABLE, TRUE);
    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    DrawFrame(D3DPT_TRIANGLESTRIP, Quad(0, 0, 8, 8, 0.5f, 0xFFFFFFFF));
  };
  frame();
  const D3DGlDeviceStats first = D3DGlGetDeviceStats(device_);
  frame();
  const D3DGlDeviceStats second = D3DGlGetDeviceStats(device_);
  EXPECT_EQ(second.uniformUploads, first.uniformUploads);
  EXPECT_EQ(second.draws, first.draws + 1);
  light.Diffuse.r = 0.5f;
  frame();
  EXPECT_GT(D3DGlGetDeviceStats(device_).uniformUploads, second.uniformUploads);
}

using StateRefusalTest = DeviceTest;

TEST_F(StateRefusalTest, RenderStatesOutsideTheImplementedSetAreRefused) {
  EXPECT_EQ(device_->SetRenderState(D3DRS_FILLMODE, D3DFILL_WIREFRAME), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->SetRenderState(D3DRS_FOGENABLE, TRUE), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->SetRenderState(D3DRS_CULLMODE, 4), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->SetRenderState(D3DRS_ZFUNC, 9), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->SetRenderState(static_cast<D3DRENDERSTATETYPE>(200), 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE), D3D_OK);
}

TEST_F(StateRefusalTest, StageOpsAndArgumentsOutsideTheImplementedSetAreRefused) {
  EXPECT_EQ(device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_ADD), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TFACTOR), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE | D3DTA_COMPLEMENT),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_MODULATE), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->SetTextureStageState(8, D3DTSS_COLOROP, D3DTOP_DISABLE), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_DISABLE), D3D_OK);
}

TEST_F(StateRefusalTest, LightsTheShaderCannotEvaluateAreRefused) {
  D3DLIGHT9 light{};
  light.Type = D3DLIGHT_SPOT;
  light.Direction = {0, 0, 1};
  light.Range = 10;
  light.Attenuation0 = 1;
  light.Theta = 0.5f;
  light.Phi = 0.4f;  // inner cone wider than the outer one
  EXPECT_EQ(device_->SetLight(0, &light), D3DERR_INVALIDCALL);
  light.Phi = 1.0f;
  EXPECT_EQ(device_->SetLight(0, &light), D3D_OK);
  EXPECT_EQ(device_->SetLight(8, &light), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->LightEnable(8, TRUE), D3DERR_INVALIDCALL);
  light.Attenuation0 = 0;  // divides by zero everywhere
  EXPECT_EQ(device_->SetLight(0, &light), D3DERR_INVALIDCALL);
  light.Attenuation0 = 1;
  light.Type = static_cast<D3DLIGHTTYPE>(4);
  EXPECT_EQ(device_->SetLight(0, &light), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->SetLight(0, nullptr), D3DERR_INVALIDCALL);
}

TEST_F(StateRefusalTest, UnsupportedVertexFormatsAndTransformsAreRefused) {
  EXPECT_EQ(device_->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->SetFVF(D3DFVF_XYZ | D3DFVF_PSIZE), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE), D3D_OK);
  D3DMATRIX m{};
  EXPECT_EQ(device_->SetTransform(static_cast<D3DTRANSFORMSTATETYPE>(257), &m), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->SetTransform(D3DTS_WORLD, nullptr), D3DERR_INVALIDCALL);
}

TEST_F(StateRefusalTest, ARefusedValueLeavesTheDrawingAsBefore) {
  ASSERT_EQ(device_->SetRenderState(D3DRS_LIGHTING, FALSE), D3D_OK);
  ASSERT_EQ(device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE), D3D_OK);
  EXPECT_EQ(device_->SetRenderState(D3DRS_CULLMODE, 0), D3DERR_INVALIDCALL);
  DrawFrame(D3DPT_TRIANGLESTRIP, Quad(0, 0, 8, 8, 0.5f, 0xFF0000FF));
  EXPECT_EQ(Pixel(4, 4), 0xFF0000FFu);
}

using SceneTest = DeviceTest;

TEST_F(SceneTest, ScenesDoNotNestAndEndOnlyWhenBegun) {
  EXPECT_EQ(device_->EndScene(), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->BeginScene(), D3D_OK);
  EXPECT_EQ(device_->BeginScene(), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->EndScene(), D3D_OK);
  EXPECT_EQ(device_->EndScene(), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
}

TEST_F(SceneTest, DrawsOutsideTheBoundBufferAreRefused) {
  IDirect3DVertexBuffer9* buffer = nullptr;
  ASSERT_EQ(device_->CreateVertexBuffer(4 * sizeof(TestVertex), 0, TEST_FVF, D3DPOOL_DEFAULT,
                                        &buffer, nullptr),
            D3D_OK);
  ASSERT_EQ(device_->BeginScene(), D3D_OK);
  EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3DERR_INVALIDCALL);  // no stream
  device_->SetStreamSource(0, buffer, 0, sizeof(TestVertex));
  device_->SetFVF(TEST_FVF);
  EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
  EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 1, 2), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 3), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 2), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0xFFFFFFFFu, 0xFFFFFFFFu),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->DrawPrimitive(D3DPT_LINELIST, 0, 1), D3DERR_INVALIDCALL);
  device_->SetStreamSource(0, buffer, sizeof(TestVertex), sizeof(TestVertex));
  EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3DERR_INVALIDCALL);
  device_->SetStreamSource(0, buffer, 0, 20);  // narrower than the vertex format
  EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL);
  device_->EndScene();
  device_->SetStreamSource(0, buffer, 0, sizeof(TestVertex));
  EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3DERR_INVALIDCALL);  // no scene
  buffer->Release();
}

TEST_F(SceneTest, LocksStayInsideTheirResource) {
  IDirect3DVertexBuffer9* buffer = nullptr;
  ASSERT_EQ(device_->CreateVertexBuffer(100, 0, 0, D3DPOOL_DEFAULT, &buffer, nullptr), D3D_OK);
  void* data = nullptr;
  EXPECT_EQ(buffer->Lock(90, 20, &data, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(buffer->Lock(101, 0, &data, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(buffer->Unlock(), D3DERR_INVALIDCALL);
  EXPECT_EQ(buffer->Lock(90, 10, &data, 0), D3D_OK);
  EXPECT_EQ(buffer->Lock(0, 0, &data, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(buffer->Unlock(), D3D_OK);
  buffer->Release();
  IDirect3DTexture9* texture = MakeTexture(4, 4, std::vector<D3DCOLOR>(16));
  D3DLOCKED_RECT locked{};
  const RECT outside{2, 2, 5, 3};
  EXPECT_EQ(texture->LockRect(0, &locked, &outside, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(texture->LockRect(1, &locked, nullptr, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(texture->UnlockRect(0), D3DERR_INVALIDCALL);
  const RECT inside{1, 2, 3, 4};
  ASSERT_EQ(texture->LockRect(0, &locked, &inside, 0), D3D_OK);
  EXPECT_EQ(locked.Pitch, 16);
  texture->UnlockRect(0);
  texture->Release();
}

TEST_F(SceneTest, TexturesLargerThanTheCapsAreRefused) {
  D3DCAPS9 caps{};
  ASSERT_EQ(device_->GetDeviceCaps(&caps), D3D_OK);
  EXPECT_GE(caps.MaxTextureWidth, 1024u);
  EXPECT_EQ(caps.MaxActiveLights, 8u);
  IDirect3DTexture9* texture = nullptr;
  EXPECT_EQ(device_->CreateTexture(caps.MaxTextureWidth + 1, 1, 1, 0, D3DFMT_X8R8G8B8,
                                   D3DPOOL_MANAGED, &texture, nullptr),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->CreateTexture(0, 1, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->CreateTexture(8, 4, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr),
            D3D_OK);
  EXPECT_EQ(texture->GetLevelCount(), 4u);  // 8x4, 4x2, 2x1, 1x1
  texture->Release();
}

}  // namespace
