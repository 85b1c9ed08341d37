// The device fixture of gl_fixture.h and the test binaries' main, which
// brings SDL's video and SDL_image up once for the whole binary.
#include "tests/d3d9/gl_fixture.h"

#include <SDL.h>
#include <SDL_image.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/d3d9/d3d9_gl.h"
#include "platform/win32/win32.h"

::testing::AssertionResult NearColor(D3DCOLOR actual, const ref::Rgb& expected) {
  const double want[3] = {expected.r, expected.g, expected.b};
  const int got[3] = {static_cast<int>((actual >> 16) & 0xFF),
                      static_cast<int>((actual >> 8) & 0xFF), static_cast<int>(actual & 0xFF)};
  for (int c = 0; c < 3; ++c) {
    const double wanted = std::clamp(want[c], 0.0, 1.0) * 255.0;
    if (std::fabs(got[c] - wanted) > 2.0) {
      return ::testing::AssertionFailure()
             << "pixel (" << got[0] << ", " << got[1] << ", " << got[2] << ") vs expected ("
             << want[0] * 255 << ", " << want[1] * 255 << ", " << want[2] * 255 << ")";
    }
  }
  return ::testing::AssertionSuccess();
}

void DeviceTest::SetUp() {
  window_ = OpenPlainWindow(WIDTH, HEIGHT);
  ASSERT_NE(window_, nullptr);
  d3d_ = Direct3DCreate9(D3D_SDK_VERSION);
  ASSERT_NE(d3d_, nullptr);
  D3DPRESENT_PARAMETERS p = UnpacedWindowedParameters();
  p.PresentationInterval = interval_;
  ASSERT_EQ(d3d_->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window_,
                               D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p, &device_),
            D3D_OK)
      << D3DGetLastFailureReason();
}

void DeviceTest::TearDown() {
  if (device_ != nullptr) {
    EXPECT_EQ(device_->Release(), 0u);
  }
  if (d3d_ != nullptr) {
    EXPECT_EQ(d3d_->Release(), 0u);
  }
  if (window_ != nullptr) DestroyWindow(window_);
  const D3DGlLiveCounts live = D3DGlGetLiveCounts();
  EXPECT_EQ(live.interfaces, 0);
  EXPECT_EQ(live.glObjects, 0);
  EXPECT_EQ(live.contexts, 0);
}

D3DCOLOR DeviceTest::Pixel(int x, int y) {
  std::vector<D3DCOLOR> pixels;
  UINT width = 0, height = 0;
  EXPECT_EQ(D3DGlReadBackBuffer(device_, &pixels, &width, &height), D3D_OK);
  if (x < 0 || y < 0 || x >= static_cast<int>(width) || y >= static_cast<int>(height)) return 0;
  return pixels[static_cast<std::size_t>(y) * width + x];
}

void DeviceTest::Draw(D3DPRIMITIVETYPE type, const std::vector<TestVertex>& vertices) {
  const UINT bytes = static_cast<UINT>(vertices.size() * sizeof(TestVertex));
  IDirect3DVertexBuffer9* buffer = nullptr;
  ASSERT_EQ(device_->CreateVertexBuffer(bytes, 0, TEST_FVF, D3DPOOL_DEFAULT, &buffer, nullptr),
            D3D_OK);
  void* data = nullptr;
  ASSERT_EQ(buffer->Lock(0, 0, &data, 0), D3D_OK);
  std::memcpy(data, vertices.data(), bytes);
  ASSERT_EQ(buffer->Unlock(), D3D_OK);
  ASSERT_EQ(device_->SetStreamSource(0, buffer, 0, sizeof(TestVertex)), D3D_OK);
  ASSERT_EQ(device_->SetFVF(TEST_FVF), D3D_OK);
  const UINT count =
      static_cast<UINT>(type == D3DPT_TRIANGLELIST ? vertices.size() / 3 : vertices.size() - 2);
  ASSERT_EQ(device_->BeginScene(), D3D_OK);
  EXPECT_EQ(device_->DrawPrimitive(type, 0, count), D3D_OK);
  ASSERT_EQ(device_->EndScene(), D3D_OK);
  // The device keeps drawing from the buffer it holds bound; ours can go.
  buffer->Release();
}

void DeviceTest::DrawFrame(D3DPRIMITIVETYPE type, const std::vector<TestVertex>& vertices) {
  ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFFFFFFFF, 1.0f, 0),
            D3D_OK);
  Draw(type, vertices);
}

IDirect3DTexture9* DeviceTest::MakeTexture(UINT width, UINT height,
                                           const std::vector<D3DCOLOR>& texels) {
  IDirect3DTexture9* texture = nullptr;
  if (FAILED(device_->CreateTexture(width, height, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &texture,
                                    nullptr))) {
    return nullptr;
  }
  D3DLOCKED_RECT locked{};
  texture->LockRect(0, &locked, nullptr, 0);
  for (UINT y = 0; y < height; ++y) {
    std::memcpy(static_cast<char*>(locked.pBits) + y * locked.Pitch, &texels[y * width], 4 * width);
  }
  texture->UnlockRect(0);
  return texture;
}

TestVertex AtPixel(float x, float y, float z, D3DCOLOR diffuse, float u, float v) {
  return TestVertex{2.0f * x / DeviceTest::WIDTH - 1.0f,
                    1.0f - 2.0f * y / DeviceTest::HEIGHT,
                    z,
                    0,
                    0,
                    -1,
                    diffuse,
                    0,
                    u,
                    v};
}

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    std::fprintf(stderr, "SDL_Init: %s\n", SDL_GetError());
    return 1;
  }
  IMG_Init(IMG_INIT_JPG | IMG_INIT_PNG);
  const int result = RUN_ALL_TESTS();
  IMG_Quit();
  SDL_Quit();
  return result;
}
