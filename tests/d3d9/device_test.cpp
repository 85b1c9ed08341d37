// The OpenGL device's pixels read back against Direct3D 9's picture worked out on the CPU
// (d3d_reference.h), one scene a row: lighting, texture stage 0 and the specular add, pixel
// centres, point sampling and wrap, culling, depth and the stretch on present. Then what a paced
// device promises about repeated frames, and calls it refuses rather than draw wrong.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstring>

#include "platform/d3d9/d3d9_gl.h"
#include "platform/win32/sdl_window.h"
#include "tests/d3d9/d3d_reference.h"
#include "tests/support/plain_window.h"
// Last: the X11 headers behind it define short macros (None, Bool, Status).
#include <SDL_syswm.h>
#include <X11/Xutil.h>

namespace ref {
void PrintTo(const Scene& scene, std::ostream* out) { *out << scene.name; }
}  // namespace ref

namespace {

using ref::Draw;
using ref::Scene;
using ref::Vertex;
constexpr int W = 64, H = 64;  // the window's client area and back buffer
constexpr D3DCOLOR WHITE = 0xFFFFFFFF, RED = 0xFFFF0000, GREEN = 0xFF00FF00, BLUE = 0xFF0000FF;
// Vertex colours: the lit surfaces' diffuse, and a specular that adds to PALE unclamped.
constexpr D3DCOLOR GREY = 0xFFC0A080, SHINE = 0xFF405060, PALE = 0xFF80A060;
const std::vector<D3DCOLOR> TEXELS = {0xFF60A0C0, 0xFF69A5C3, 0xFF72AAC6, 0xFF7BAFC9};  // 2 x 2
const std::pair<D3DRENDERSTATETYPE, DWORD> UNLIT{D3DRS_LIGHTING, FALSE};
const std::pair<D3DRENDERSTATETYPE, DWORD> SPECULAR{D3DRS_SPECULARENABLE, TRUE};

// A strip over pixel centres x0..x1-1, y0..y1-1 (outline on half pixels; swapped x ends wind it
// the other way), depth z (zRight at x1), texture coordinates 0..u1 across, 0..v1 down.
Draw Rect(float x0, float y0, float x1, float y1, float z, D3DCOLOR diffuse, D3DCOLOR specular = 0,
          float u1 = 1, float v1 = 1, float zRight = -1) {
  const auto at = [&](float x, float y, float u, float v) {
    const float depth = u != 0 && zRight >= 0 ? zRight : z;
    return Vertex{
        (2 * x - 1) / W - 1, 1 - (2 * y - 1) / H, depth, 0, 0, -1, diffuse, specular, u, v};
  };
  return {D3DPT_TRIANGLESTRIP,
          {at(x0, y0, 0, 0), at(x1, y0, u1, 0), at(x0, y1, 0, v1), at(x1, y1, u1, v1)}};
}

// A list of 8 x 8 clockwise quads over x, y in [-half, half] at z, texture coordinates x, y and
// unnormalised normals (tilt x, tilt y, -1).
Draw Grid(float z, float half, float tilt) {
  Draw grid{D3DPT_TRIANGLELIST, {}};
  for (int quad = 0; quad < 64; ++quad) {
    for (const auto& [i, j] : {std::pair{0, 0}, {1, 0}, {0, 1}, {0, 1}, {1, 0}, {1, 1}}) {
      const float x = half * ((quad % 8 + i) / 4.0f - 1), y = half * (1 - (quad / 8 + j) / 4.0f);
      grid.vertices.push_back({x, y, z, tilt * x, tilt * y, -1, GREY, SHINE, x, y});
    }
  }
  return grid;
}

// Distinct diffuse, specular and ambient colours; full cone angles 0.4 and 1, falloff 1.5.
D3DLIGHT9 Light(D3DLIGHTTYPE type, D3DVECTOR at, D3DVECTOR toward, float range = 100,
                float a0 = 0.6f, float a1 = 0.3f, float a2 = 0.2f) {
  const D3DCOLORVALUE diffuse{0.9f, 0.8f, 0.6f, 1}, specular{0.7f, 0.6f, 0.5f, 1};
  const D3DCOLORVALUE ambient{0.3f, 0.2f, 0.1f, 1};
  return {type, diffuse, specular, ambient, at, toward, range, 1.5f, a0, a1, a2, 0.4f, 1};
}

D3DMATERIAL9 Material(float power) {
  return {{0.2f, 0.6f, 0.4f, 1},
          {0.5f, 0.45f, 0.4f, 1},
          {0.4f, 0.5f, 0.3f, 1},
          {0.1f, 0, 0.05f, 0},
          power};
}

const Scene SCENES[] = {
    {.name = "SpotConesFalloffAttenuationLocalViewer",
     .states = {SPECULAR, {D3DRS_AMBIENT, 0x202020}},
     .material = Material(8),
     .lights = {Light(D3DLIGHT_SPOT, {0, 0, -1}, {0, 0, 2})},
     .draws = {Grid(0.5f, 1.1f, 0.3f)}},
    {.name = "PointRangeTakesAmbientTooOffAxisSpotNoHighlightFromBehind",
     .states = {SPECULAR, {D3DRS_AMBIENT, 0x102030}},
     .material = Material(6),
     .lights = {Light(D3DLIGHT_POINT, {0.3f, 0.2f, 0.2f}, {}, 0.6f),
                Light(D3DLIGHT_SPOT, {0.5f, -0.5f, -1}, {-0.2f, 0.2f, 1}),
                Light(D3DLIGHT_DIRECTIONAL, {}, {1, 0, 0.3f})},
     .draws = {Grid(0.5f, 1.1f, 1)}},
    {.name = "LitByAmbientAloneWithoutSpecular",
     .states = {{D3DRS_AMBIENT, 0x406080}},
     .material = Material(4),
     .draws = {Rect(4, 4, 20, 20, 0.5f, GREY, SHINE)}},
    {.name = "TexturedThroughWorldViewAndPerspective",
     .states = {SPECULAR, {D3DRS_AMBIENT, 0x202020}, {D3DRS_CULLMODE, D3DCULL_NONE}},
     .material = Material(1),
     .lights = {Light(D3DLIGHT_SPOT, {0, 0, -1}, {0.2f, 0.1f, 1}, 100, 1, 0.05f, 0.001f)},
     .world = {{{0.8f, 0, -0.6f, 0}, {0, 1.2f, 0, 0}, {0.6f, 0, 0.8f, 0}, {0.1f, -0.2f, 0, 1}}},
     .view = {{{0, 1, 0, 0}, {-1, 0, 0, 0}, {0, 0, 1, 0}, {0, 0, 2, 1}}},
     // 90-degree field of view, near 0.5, far 10.
     .projection = {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 10 / 9.5f, 1}, {0, 0, -5 / 9.5f, 0}}},
     .textureWidth = 2,
     .texels = TEXELS,
     .draws = {Grid(0, 1.5f, 0.3f)}},
    {.name = "PixelCentresOneTexelAPixelSelectedPlusSpecular",
     .states = {UNLIT, SPECULAR},
     .colorOp = D3DTOP_SELECTARG1,
     .textureWidth = 2,
     .texels = TEXELS,
     .draws = {Rect(20, 30, 22, 32, 0.5f, WHITE, SHINE), Rect(9, 7, 11, 9, 0.5f, RED, 0)}},
    {.name = "PointSamplingWrapsBothWaysModulatedWithoutSpecular",
     .states = {UNLIT},
     .textureWidth = 2,
     .texels = {RED, GREEN, BLUE, WHITE},
     .draws = {Rect(0, 0, 8, 8, 0.5f, PALE, SHINE, 2, 2), Rect(8, 0, 16, 8, 0.5f, PALE, 0, -2, 3)}},
    {.name = "LessOrEqualAgainstClearedDepthCounterClockwiseCulledStretchedOnPresent",
     .states = {UNLIT},
     .clearZ = 0.4f,
     .draws = {Rect(0, 0, 8, 8, 0.3f, RED), Rect(8, 0, 16, 8, 0.5f, RED),
               Rect(0, 0, 8, 8, 0.3f, GREEN), Rect(0, 0, 8, 8, 0.35f, BLUE),
               Rect(0, 8, 32, 16, 0.2f, BLUE, 0, 1, 1, 0.6f), Rect(2, 20, 10, 28, 0.1f, RED),
               Rect(28, 20, 20, 28, 0.1f, BLUE)},
     .windowWidth = 160,
     .windowHeight = 32},
};

// Expects each pixel the reference is sure of within 2/255 a channel, and most pixels sure.
void ExpectPicture(const std::vector<D3DCOLOR>& got, const std::vector<ref::Pixel>& want) {
  ASSERT_EQ(got.size(), want.size());
  int wrong = 0, sure = 0;
  for (std::size_t i = 0; i < want.size(); ++i) {
    const glm::dvec3 error = glm::abs(ref::Of(got[i]) - want[i].rgb) * 255.0;
    sure += want[i].sure ? 1 : 0;
    if (want[i].sure && glm::any(glm::greaterThan(error, glm::dvec3(2))) && wrong++ < 4) {
      ADD_FAILURE() << "pixel " << i << " is " << std::hex << got[i] << ", off by " << std::dec
                    << error.r << " " << error.g << " " << error.b;
    }
  }
  EXPECT_EQ(wrong, 0);
  EXPECT_GT(sure, static_cast<int>(want.size()) * 3 / 4);
}

// A bare window and a device on it. Tear-down releases resources while still bound, as the
// viewer does, and expects no interface, GL object or GL context to outlive the device.
class DeviceTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0); }

  void Open(UINT interval = D3DPRESENT_INTERVAL_IMMEDIATE) {
    window_ = OpenPlainWindow(W, H);
    D3DPRESENT_PARAMETERS p = UnpacedWindowedParameters();
    p.PresentationInterval = interval;
    d3d_ = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(d3d_, nullptr);
    const DWORD behaviour = D3DCREATE_SOFTWARE_VERTEXPROCESSING;
    ASSERT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, window_, behaviour, &p, &device_), D3D_OK);
  }

  void TearDown() override {
    const auto release = [](auto* object) { return object != nullptr ? object->Release() : 0u; };
    EXPECT_EQ(release(texture_), 0u);
    EXPECT_EQ(release(buffer_), 0u);
    EXPECT_EQ(release(device_), 0u);
    EXPECT_EQ(release(d3d_), 0u);
    DestroyWindow(window_);
    const D3DGlLiveCounts live = D3DGlGetLiveCounts();
    EXPECT_EQ(live.interfaces + live.glObjects + live.contexts, 0) << "left after release";
  }

  // Sets the scene's states, material, lights and transforms, and binds its texture and one
  // vertex buffer holding every draw.
  void Apply(const Scene& s) {
    HRESULT failed = device_->SetTextureStageState(0, D3DTSS_COLOROP, s.colorOp);
    for (const auto& [state, value] : s.states) failed |= device_->SetRenderState(state, value);
    failed |= device_->SetMaterial(&s.material);
    for (DWORD i = 0; i < s.lights.size(); ++i) {
      failed |= device_->SetLight(i, &s.lights[i]);
      failed |= device_->LightEnable(i, TRUE);
    }
    failed |= device_->SetTransform(D3DTS_WORLD, &s.world);
    failed |= device_->SetTransform(D3DTS_VIEW, &s.view);
    failed |= device_->SetTransform(D3DTS_PROJECTION, &s.projection);
    if (s.textureWidth != 0) {
      const auto height = static_cast<UINT>(s.texels.size()) / s.textureWidth;
      ASSERT_EQ(device_->CreateTexture(s.textureWidth, height, 1, 0, D3DFMT_X8R8G8B8,
                                       D3DPOOL_MANAGED, &texture_, nullptr),
                D3D_OK);
      D3DLOCKED_RECT locked{};
      ASSERT_EQ(texture_->LockRect(0, &locked, nullptr, 0), D3D_OK);
      for (UINT y = 0; y < height; ++y) {
        std::memcpy(static_cast<char*>(locked.pBits) + y * locked.Pitch,
                    &s.texels[y * s.textureWidth], 4 * s.textureWidth);
      }
      failed |= texture_->UnlockRect(0);
      failed |= device_->SetTexture(0, texture_);
    }
    failed |= device_->CreateVertexBuffer(4096 * sizeof(Vertex), 0, ref::FVF, D3DPOOL_DEFAULT,
                                          &buffer_, nullptr);
    failed |= device_->SetStreamSource(0, buffer_, 0, sizeof(Vertex));
    failed |= device_->SetFVF(ref::FVF);
    ASSERT_EQ(failed, D3D_OK);
    Fill(s);
  }

  void Fill(const Scene& s) {
    char* data = nullptr;
    ASSERT_EQ(buffer_->Lock(0, 0, reinterpret_cast<void**>(&data), 0), D3D_OK);
    for (const Draw& draw : s.draws) {
      std::memcpy(data, draw.vertices.data(), draw.vertices.size() * sizeof(Vertex));
      data += draw.vertices.size() * sizeof(Vertex);
    }
    ASSERT_EQ(buffer_->Unlock(), D3D_OK);
  }

  // Clears to white and the scene's depth and makes its draws in one scene.
  void Frame(const Scene& s) {
    HRESULT failed =
        device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, WHITE, s.clearZ, 0);
    failed |= device_->BeginScene();
    UINT first = 0;
    for (const Draw& draw : s.draws) {
      const auto count = static_cast<UINT>(draw.vertices.size());
      const UINT triangles = draw.type == D3DPT_TRIANGLESTRIP ? count - 2 : count / 3;
      failed |= device_->DrawPrimitive(draw.type, first, triangles);
      first += count;
    }
    failed |= device_->EndScene();
    ASSERT_EQ(failed, D3D_OK);
  }

  std::vector<D3DCOLOR> BackBuffer() {
    std::vector<D3DCOLOR> pixels;
    UINT width = 0, height = 0;
    EXPECT_EQ(D3DGlReadBackBuffer(device_, &pixels, &width, &height), D3D_OK);
    return pixels;
  }

  // The window's client area as the X server shows it, 0xAARRGGBB top row first.
  std::vector<D3DCOLOR> Shown(int width, int height) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    EXPECT_TRUE(SDL_GetWindowWMInfo(SdlWindowFromHwnd(window_), &info));
    XSync(info.info.x11.display, False);
    XImage* image = XGetImage(info.info.x11.display, info.info.x11.window, 0, 0, width, height,
                              AllPlanes, ZPixmap);
    std::vector<D3DCOLOR> pixels;
    for (int i = 0; image != nullptr && i < width * height; ++i) {
      pixels.push_back(0xFF000000u | XGetPixel(image, i % width, i / width));
    }
    if (image != nullptr) XDestroyImage(image);
    return pixels;
  }

  HWND window_ = nullptr;
  IDirect3D9* d3d_ = nullptr;
  IDirect3DDevice9* device_ = nullptr;
  IDirect3DTexture9* texture_ = nullptr;
  IDirect3DVertexBuffer9* buffer_ = nullptr;
};

class PictureTest : public DeviceTest, public ::testing::WithParamInterface<Scene> {};

TEST_P(PictureTest, MatchesTheCpuPicture) {
  const Scene& s = GetParam();
  ASSERT_NO_FATAL_FAILURE(Open());
  ASSERT_NO_FATAL_FAILURE(Apply(s));
  ASSERT_NO_FATAL_FAILURE(Frame(s));
  const std::vector<ref::Pixel> want = ref::Render(s, W, H);
  ExpectPicture(BackBuffer(), want);
  if (s.windowWidth == 0) return;
  // Shown once at the first size, then stretched over the resized window; the back buffer keeps
  // its size and picture.
  ShowWindow(window_, SW_SHOW);
  ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  SDL_SetWindowSize(SdlWindowFromHwnd(window_), s.windowWidth, s.windowHeight);
  ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  ExpectPicture(BackBuffer(), want);
  // A window pixel shows the back buffer pixel its centre maps to, where that one's neighbours
  // all have its colour.
  std::vector<ref::Pixel> stretched;
  for (int i = 0; i < s.windowWidth * s.windowHeight; ++i) {
    const int x = (2 * (i % s.windowWidth) + 1) * W / (2 * s.windowWidth);
    const int y = (2 * (i / s.windowWidth) + 1) * H / (2 * s.windowHeight);
    ref::Pixel pixel = want[y * W + x];
    for (int n = 0; n < 9; ++n) {
      const int near =
          std::clamp(y + n / 3 - 1, 0, H - 1) * W + std::clamp(x + n % 3 - 1, 0, W - 1);
      pixel.sure = pixel.sure && want[near].rgb == pixel.rgb;
    }
    stretched.push_back(pixel);
  }
  ExpectPicture(Shown(s.windowWidth, s.windowHeight), stretched);
}

INSTANTIATE_TEST_SUITE_P(Scenes, PictureTest, ::testing::ValuesIn(SCENES),
                         [](const auto& info) { return std::string(info.param.name); });

// A paced device neither draws nor shows again a frame repeating the previous one from a full
// clear on; a changed state or buffer is drawn; no GL object is made for a state seen before.
TEST_F(DeviceTest, PacedSkipsExactRepeatsOnly) {
  ASSERT_NO_FATAL_FAILURE(Open(D3DPRESENT_INTERVAL_DEFAULT));
  ShowWindow(window_, SW_SHOW);
  Scene s{.name = "", .states = {UNLIT}, .draws = {Rect(0, 0, 8, 8, 0.5f, RED)}};
  ASSERT_NO_FATAL_FAILURE(Apply(s));
  const auto present = [&] {
    Frame(s);
    EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    return D3DGlGetDeviceStats(device_);
  };
  const D3DGlDeviceStats first = present();
  const int objects = D3DGlGetLiveCounts().glObjects;
  EXPECT_EQ(present().repeatedFrames, first.repeatedFrames + 1);
  s.world.m[3][0] = 0.5f;  // a quarter of the picture to the right
  ASSERT_EQ(device_->SetTransform(D3DTS_WORLD, &s.world), D3D_OK);
  EXPECT_EQ(present().draws, first.draws + 1);
  s.draws[0] = Rect(0, 0, 8, 8, 0.5f, BLUE);
  Fill(s);
  EXPECT_EQ(present().draws, first.draws + 2);
  EXPECT_EQ(D3DGlGetLiveCounts().glObjects, objects);
  // The world set back while another state's program draws; this one's, bound again, has it too.
  ASSERT_EQ(device_->SetRenderState(D3DRS_SPECULARENABLE, TRUE), D3D_OK);
  s.world.m[3][0] = 0;
  ASSERT_EQ(device_->SetTransform(D3DTS_WORLD, &s.world), D3D_OK);
  EXPECT_EQ(present().draws, first.draws + 3);
  ASSERT_EQ(device_->SetRenderState(D3DRS_SPECULARENABLE, FALSE), D3D_OK);
  EXPECT_EQ(present().draws, first.draws + 4);
  ExpectPicture(BackBuffer(), ref::Render(s, W, H));
}

// Values the device cannot draw as Direct3D does are refused, as are calls out of order and
// draws reaching past the bound buffer; their neighbours inside are accepted.
TEST_F(DeviceTest, RefusesWhatItCannotDrawFaithfully) {
  ASSERT_NO_FATAL_FAILURE(Open());
  ASSERT_NO_FATAL_FAILURE(Apply({.name = "", .draws = {Rect(0, 0, 8, 8, 0.5f, RED)}}));
  D3DLIGHT9 inverted = Light(D3DLIGHT_SPOT, {}, {0, 0, 1});
  const D3DLIGHT9 dark = Light(D3DLIGHT_POINT, {}, {}, 9, 0, 0, 0);  // divides by zero
  inverted.Phi = inverted.Theta / 2;  // the outer cone inside the inner one
  const std::pair<HRESULT, HRESULT> calls[] = {
      {device_->SetRenderState(D3DRS_FILLMODE, D3DFILL_WIREFRAME), D3DERR_INVALIDCALL},
      {device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE), D3DERR_INVALIDCALL},
      {device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_ADD), D3DERR_INVALIDCALL},
      {device_->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_MODULATE), D3DERR_INVALIDCALL},
      {device_->SetLight(0, &inverted), D3DERR_INVALIDCALL},
      {device_->SetLight(0, &dark), D3DERR_INVALIDCALL},
      {device_->LightEnable(8, TRUE), D3DERR_INVALIDCALL},
      {device_->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE), D3DERR_INVALIDCALL},
      {device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3DERR_INVALIDCALL},  // outside a scene
      {device_->BeginScene(), D3D_OK},
      {device_->BeginScene(), D3DERR_INVALIDCALL},
      {device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 4092, 2), D3D_OK},
      {device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 4093, 2), D3DERR_INVALIDCALL},
      {device_->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL},
      {device_->EndScene(), D3D_OK},
  };
  for (std::size_t i = 0; i < std::size(calls); ++i) {
    EXPECT_EQ(calls[i].first, calls[i].second) << "call " << i;
  }
}

}  // namespace
