// Pixels of the OpenGL device without lighting: the clear colour, Direct3D's
// pixel-centre rule, texel-to-pixel mapping with point sampling and wrap,
// texture stage 0 with the specular add, LESSEQUAL depth, culling by
// Direct3D's winding, write masks, and Present stretching the back buffer
// over a resized window (read back from the X server).
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/d3d9/d3d9_gl.h"
#include "platform/win32/sdl_window.h"
#include "platform/win32/win32.h"
#include "tests/d3d9/gl_fixture.h"
// Last: the X11 headers behind it define short macros (None, Bool, Status).
#include <SDL_syswm.h>
#include <X11/Xutil.h>

namespace {

constexpr D3DCOLOR WHITE = 0xFFFFFFFF;
constexpr D3DCOLOR RED = 0xFFFF0000;
constexpr D3DCOLOR GREEN = 0xFF00FF00;
constexpr D3DCOLOR BLUE = 0xFF0000FF;

// Two triangles covering pixel centres x0..x1-1, y0..y1-1 (edges on half pixels).
std::vector<TestVertex> PixelRect(int x0, int y0, int x1, int y1, float z, D3DCOLOR color,
                                  float u1 = 1, float v1 = 1) {
  const float l = x0 - 0.5f, t = y0 - 0.5f, r = x1 - 0.5f, b = y1 - 0.5f;
  return {AtPixel(l, t, z, color, 0, 0), AtPixel(r, t, z, color, u1, 0),
          AtPixel(l, b, z, color, 0, v1), AtPixel(r, b, z, color, u1, v1)};
}

ref::Rgb RgbOf(D3DCOLOR c) {
  return {((c >> 16) & 0xFF) / 255.0, ((c >> 8) & 0xFF) / 255.0, (c & 0xFF) / 255.0};
}

class RasterTest : public DeviceTest {
 protected:
  void SetUp() override {
    DeviceTest::SetUp();
    ASSERT_EQ(device_->SetRenderState(D3DRS_LIGHTING, FALSE), D3D_OK);
    ASSERT_EQ(device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE), D3D_OK);
  }
};

TEST_F(RasterTest, ClearFillsTheWholeBackBufferWithTheColour) {
  ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF336699, 1.0f, 0), D3D_OK);
  EXPECT_EQ(Pixel(0, 0), 0xFF336699u);
  EXPECT_EQ(Pixel(WIDTH - 1, HEIGHT - 1), 0xFF336699u);
  const D3DRECT rect{8, 4, 16, 12};
  ASSERT_EQ(device_->Clear(1, &rect, D3DCLEAR_TARGET, WHITE, 1.0f, 0), D3D_OK);
  EXPECT_EQ(Pixel(8, 4), WHITE);
  EXPECT_EQ(Pixel(15, 11), WHITE);
  EXPECT_EQ(Pixel(16, 11), 0xFF336699u);
  EXPECT_EQ(Pixel(8, 12), 0xFF336699u);
  EXPECT_EQ(device_->Clear(0, nullptr, D3DCLEAR_STENCIL, 0, 1.0f, 0), D3DERR_INVALIDCALL);
}

TEST_F(RasterTest, AOnePixelQuadLandsOnItsPixel) {
  DrawFrame(D3DPT_TRIANGLESTRIP, PixelRect(10, 7, 11, 8, 0.5f, RED));
  EXPECT_EQ(Pixel(10, 7), RED);
  EXPECT_EQ(Pixel(9, 7), WHITE);
  EXPECT_EQ(Pixel(11, 7), WHITE);
  EXPECT_EQ(Pixel(10, 6), WHITE);
  EXPECT_EQ(Pixel(10, 8), WHITE);
}

TEST_F(RasterTest, TexelsMapOneToOneOntoPixelsWithPointSampling) {
  std::vector<D3DCOLOR> texels(16);
  for (int i = 0; i < 16; ++i) texels[i] = 0xFF000000u | (i * 0x0F0B07u);
  IDirect3DTexture9* texture = MakeTexture(4, 4, texels);
  ASSERT_EQ(device_->SetTexture(0, texture), D3D_OK);
  DrawFrame(D3DPT_TRIANGLESTRIP, PixelRect(20, 30, 24, 34, 0.5f, WHITE));
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x)
      EXPECT_EQ(Pixel(20 + x, 30 + y), texels[4 * y + x]) << x << "," << y;
  }
  EXPECT_EQ(Pixel(19, 30), WHITE);
  texture->Release();
}

TEST_F(RasterTest, TextureCoordinatesWrap) {
  IDirect3DTexture9* texture = MakeTexture(2, 2, {RED, GREEN, BLUE, WHITE});
  ASSERT_EQ(device_->SetTexture(0, texture), D3D_OK);
  // u and v run 0..2 over 8 x 8 pixels: each texel covers 2 x 2 pixels, twice over.
  DrawFrame(D3DPT_TRIANGLESTRIP, PixelRect(0, 0, 8, 8, 0.5f, WHITE, 2, 2));
  const D3DCOLOR expected[2][2] = {{RED, GREEN}, {BLUE, WHITE}};
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) EXPECT_EQ(Pixel(x, y), expected[(y / 2) % 2][(x / 2) % 2]);
  }
  texture->Release();
}

TEST_F(RasterTest, TextureModulatesDiffuseAndSpecularIsAddedAfter) {
  const D3DCOLOR texel = 0xFF8040FF, diffuse = 0xFF80FF80, specular = 0xFF204060;
  auto quad = PixelRect(0, 0, 8, 8, 0.5f, diffuse);
  for (TestVertex& v : quad) v.specular = specular;
  DrawFrame(D3DPT_TRIANGLESTRIP, quad);
  EXPECT_EQ(Pixel(4, 4), diffuse) << "without a texture the default stage shows the diffuse";

  IDirect3DTexture9* texture = MakeTexture(1, 1, {texel});
  ASSERT_EQ(device_->SetTexture(0, texture), D3D_OK);
  ASSERT_EQ(device_->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE), D3D_OK);
  const ref::Rgb t = RgbOf(texel), d = RgbOf(diffuse), s = RgbOf(specular);
  const ref::Rgb product{t.r * d.r, t.g * d.g, t.b * d.b};

  DrawFrame(D3DPT_TRIANGLESTRIP, quad);
  EXPECT_TRUE(NearColor(Pixel(4, 4), product)) << "SPECULARENABLE is off by default";

  ASSERT_EQ(device_->SetRenderState(D3DRS_SPECULARENABLE, TRUE), D3D_OK);
  DrawFrame(D3DPT_TRIANGLESTRIP, quad);
  EXPECT_TRUE(NearColor(Pixel(4, 4), {product.r + s.r, product.g + s.g, product.b + s.b}));

  ASSERT_EQ(device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1), D3D_OK);
  DrawFrame(D3DPT_TRIANGLESTRIP, quad);
  EXPECT_TRUE(NearColor(Pixel(4, 4), {t.r + s.r, t.g + s.g, t.b + s.b}));

  ASSERT_EQ(device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2), D3D_OK);
  ASSERT_EQ(device_->SetRenderState(D3DRS_SPECULARENABLE, FALSE), D3D_OK);
  DrawFrame(D3DPT_TRIANGLESTRIP, quad);
  EXPECT_TRUE(NearColor(Pixel(4, 4), d));

  ASSERT_EQ(device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_DISABLE), D3D_OK);
  DrawFrame(D3DPT_TRIANGLESTRIP, quad);
  EXPECT_TRUE(NearColor(Pixel(4, 4), d)) << "a disabled stage passes the diffuse colour";
  texture->Release();
}

TEST_F(RasterTest, MissingVertexColoursReadOpaqueWhiteDiffuseAndNoSpecular) {
  struct Bare {
    float x, y, z;
  };
  const Bare quad[4] = {{-1, 1, 0.5f}, {1, 1, 0.5f}, {-1, -1, 0.5f}, {1, -1, 0.5f}};
  IDirect3DVertexBuffer9* buffer = nullptr;
  ASSERT_EQ(
      device_->CreateVertexBuffer(sizeof quad, 0, D3DFVF_XYZ, D3DPOOL_DEFAULT, &buffer, nullptr),
      D3D_OK);
  void* data = nullptr;
  buffer->Lock(0, 0, &data, 0);
  std::memcpy(data, quad, sizeof quad);
  buffer->Unlock();
  device_->SetRenderState(D3DRS_SPECULARENABLE, TRUE);
  device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
  device_->BeginScene();
  device_->SetStreamSource(0, buffer, 0, sizeof(Bare));
  device_->SetFVF(D3DFVF_XYZ);
  EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
  device_->EndScene();
  EXPECT_EQ(Pixel(30, 30), WHITE);
  buffer->Release();
}

TEST_F(RasterTest, DepthTestIsLessOrEqualByDefaultAgainstTheClearedDepth) {
  DrawFrame(D3DPT_TRIANGLESTRIP, PixelRect(0, 0, 8, 8, 0.5f, RED));
  Draw(D3DPT_TRIANGLESTRIP, PixelRect(0, 0, 8, 8, 0.5f, GREEN));  // equal depth passes
  Draw(D3DPT_TRIANGLESTRIP, PixelRect(0, 0, 8, 8, 0.7f, BLUE));   // farther fails
  EXPECT_EQ(Pixel(4, 4), GREEN);
  ASSERT_EQ(device_->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESS), D3D_OK);
  Draw(D3DPT_TRIANGLESTRIP, PixelRect(0, 0, 8, 8, 0.5f, RED));  // equal depth fails now
  EXPECT_EQ(Pixel(4, 4), GREEN);
  Draw(D3DPT_TRIANGLESTRIP, PixelRect(0, 0, 8, 8, 0.2f, BLUE));
  EXPECT_EQ(Pixel(4, 4), BLUE);
  // A cleared depth is the value given to Clear.
  device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, WHITE, 0.4f, 0);
  Draw(D3DPT_TRIANGLESTRIP, PixelRect(0, 0, 4, 4, 0.3f, RED));
  Draw(D3DPT_TRIANGLESTRIP, PixelRect(4, 0, 8, 4, 0.5f, RED));
  EXPECT_EQ(Pixel(1, 1), RED);
  EXPECT_EQ(Pixel(5, 1), WHITE);
}

TEST_F(RasterTest, CullingFollowsDirect3DWinding) {
  // Clockwise on screen (y down): right along the top, then down-left.
  const std::vector<TestVertex> clockwise = {AtPixel(2, 2, 0.5f, RED), AtPixel(12, 2, 0.5f, RED),
                                             AtPixel(2, 12, 0.5f, RED)};
  const std::vector<TestVertex> counter = {clockwise[0], clockwise[2], clockwise[1]};
  ASSERT_EQ(device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW), D3D_OK);  // the default
  DrawFrame(D3DPT_TRIANGLELIST, clockwise);
  EXPECT_EQ(Pixel(4, 4), RED);
  DrawFrame(D3DPT_TRIANGLELIST, counter);
  EXPECT_EQ(Pixel(4, 4), WHITE);
  ASSERT_EQ(device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW), D3D_OK);
  DrawFrame(D3DPT_TRIANGLELIST, clockwise);
  EXPECT_EQ(Pixel(4, 4), WHITE);
  ASSERT_EQ(device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE), D3D_OK);
  DrawFrame(D3DPT_TRIANGLELIST, counter);
  EXPECT_EQ(Pixel(4, 4), RED);
}

TEST_F(RasterTest, ClearIgnoresWriteMasksThatDrawingObeys) {
  ASSERT_EQ(device_->SetRenderState(D3DRS_COLORWRITEENABLE, 0), D3D_OK);
  ASSERT_EQ(device_->SetRenderState(D3DRS_ZWRITEENABLE, FALSE), D3D_OK);
  DrawFrame(D3DPT_TRIANGLESTRIP, PixelRect(0, 0, 8, 8, 0.5f, RED));
  EXPECT_EQ(Pixel(4, 4), WHITE);
  ASSERT_EQ(device_->SetRenderState(D3DRS_COLORWRITEENABLE, 0xF), D3D_OK);
  Draw(D3DPT_TRIANGLESTRIP, PixelRect(0, 0, 8, 8, 0.9f, GREEN));  // depth 1 was not overwritten
  EXPECT_EQ(Pixel(4, 4), GREEN);
}

// ---- What the window shows -----------------------------------------------------------

int g_xErrors = 0;
int CountXError(Display*, XErrorEvent*) {
  ++g_xErrors;
  return 0;
}

// The window's pixel (x, y) as 0xRRGGBB, read from the X server; ~0 on failure.
unsigned long WindowPixel(HWND window, int x, int y) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (SDL_GetWindowWMInfo(SdlWindowFromHwnd(window), &info) != SDL_TRUE) return ~0ul;
  Display* display = info.info.x11.display;
  XSync(display, False);
  auto* previous = XSetErrorHandler(CountXError);
  XImage* image = XGetImage(display, info.info.x11.window, x, y, 1, 1, AllPlanes, ZPixmap);
  XSync(display, False);
  XSetErrorHandler(previous);
  if (image == nullptr) return ~0ul;
  const unsigned long pixel = XGetPixel(image, 0, 0) & 0xFFFFFFul;
  XDestroyImage(image);
  return pixel;
}

TEST_F(RasterTest, PresentStretchesTheBackBufferOverAResizedWindow) {
  ShowWindow(window_, SW_SHOW);
  // Left half red, right half blue, in the 64 x 64 back buffer.
  device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, BLUE, 1.0f, 0);
  Draw(D3DPT_TRIANGLESTRIP, PixelRect(0, 0, 32, 64, 0.5f, RED));
  ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  EXPECT_EQ(WindowPixel(window_, 31, 10), 0xFF0000ul);
  EXPECT_EQ(WindowPixel(window_, 32, 10), 0x0000FFul);

  SDL_SetWindowSize(SdlWindowFromHwnd(window_), 160, 32);
  ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  RECT client{};
  GetClientRect(window_, &client);
  EXPECT_EQ(client.right, 160);
  // The picture now spans 160 pixels: the colour boundary moves to x = 80.
  EXPECT_EQ(WindowPixel(window_, 10, 5), 0xFF0000ul);
  EXPECT_EQ(WindowPixel(window_, 70, 30), 0xFF0000ul);
  EXPECT_EQ(WindowPixel(window_, 90, 30), 0x0000FFul);
  EXPECT_EQ(WindowPixel(window_, 159, 0), 0x0000FFul);
  EXPECT_EQ(g_xErrors, 0);
  // The back buffer itself keeps its size.
  std::vector<D3DCOLOR> pixels;
  UINT width = 0, height = 0;
  ASSERT_EQ(D3DGlReadBackBuffer(device_, &pixels, &width, &height), D3D_OK);
  EXPECT_EQ(width, 64u);
  EXPECT_EQ(height, 64u);
}

}  // namespace
