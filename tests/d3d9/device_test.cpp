// The OpenGL device's pixels against Direct3D 9's picture worked out on the CPU, one scene a row;
// the same picture into the window or offscreen; repeated frames, resized windows, refusals.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstring>

#include "platform/d3d9/d3d9_gl.h"
#include "platform/win32/native_window.h"
#include "tests/d3d9/d3d_reference.h"
// Last: the X11 headers behind it define short macros (None, Bool, Status).
#include <SDL_syswm.h>
#include <X11/Xutil.h>

namespace {

using namespace ref;
constexpr int W = 64, H = 64;  // the window's client area and back buffer, but for WideTest
constexpr D3DCOLOR WHITE = 0xFFFFFFFF, RED = 0xFFFF0000, GREEN = 0xFF00FF00, BLUE = 0xFF0000FF;
// Vertex colours: the lit surfaces' diffuse, and a specular.
constexpr D3DCOLOR GREY = 0xFFC0A080, SHINE = 0xFF405060;
const std::pair<D3DRENDERSTATETYPE, DWORD> SPECULAR{D3DRS_SPECULARENABLE, TRUE};
// Lit by the global ambient level alone, from the vertex colour: the vertex colour as it is.
const std::vector<std::pair<D3DRENDERSTATETYPE, DWORD>> FLAT{
    {D3DRS_AMBIENT, 0xFFFFFF}, {D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_COLOR1}};

// A strip over the rectangle from (x0, y0) to (x1, y1) of a width x height back buffer, in
// Direct3D's pixel units (centres on integers; swapped x ends wind it the other way), at depth z
// or sloping to zRight at x1, with texture coordinates (x - shift) / 8 and (y - shift) / 8.
Strip Rect(float x0, float y0, float x1, float y1, float z, D3DCOLOR diffuse, D3DCOLOR specular = 0,
           float zRight = -1, float shift = 0, int width = W, int height = H) {
  const auto at = [&](float x, float y) {
    const float depth = x == x1 && zRight >= 0 ? zRight : z;
    return Vertex{2 * x / width - 1, 1 - 2 * y / height, depth,          0, 0, -1, diffuse,
                  specular,          (x - shift) / 8,    (y - shift) / 8};
  };
  return {at(x0, y0), at(x1, y0), at(x0, y1), at(x1, y1)};
}

// A vertex at pixel (x, y) of the 64 x 64 back buffer, facing the viewer at depth 0.5.
Vertex At(float x, float y, D3DCOLOR diffuse) {
  return {2 * x / W - 1, 1 - 2 * y / H, 0.5f, 0, 0, -1, diffuse, 0, 0, 0};
}

// Eight strips, a row each, of 8 x 8 clockwise quads over x, y in [-half, half] at z, texture
// coordinates x, y and unnormalised normals (tilt x, tilt y, -1).
std::vector<Strip> Grid(float z, float half, float tilt) {
  std::vector<Strip> rows(8);
  for (int i = 0; i < 8 * 18; ++i) {
    const float x = half * (i % 18 / 2 / 4.0f - 1), y = half * (1 - (i / 18 + 1 - i % 2) / 4.0f);
    rows[i / 18].push_back({x, y, z, tilt * x, tilt * y, -1, GREY, SHINE, x, y});
  }
  return rows;
}

// A spot light of distinct diffuse, specular and ambient colours; full cone angles 0.4 and 1,
// falloff 1.5.
D3DLIGHT9 Spot(D3DVECTOR at, D3DVECTOR toward, float range = 100, float a0 = 0.6f, float a1 = 0.3f,
               float a2 = 0.2f) {
  const D3DCOLORVALUE diffuse{0.9f, 0.8f, 0.6f, 1}, specular{0.7f, 0.6f, 0.5f, 1};
  const D3DCOLORVALUE ambient{0.3f, 0.2f, 0.1f, 1};
  return {D3DLIGHT_SPOT, diffuse, specular, ambient, at, toward, range, 1.5f, a0, a1, a2, 0.4f, 1};
}

// Distinct reflectances; only the emissive colour reaches scenes lit from the vertex colours.
constexpr D3DMATERIAL9 MATERIAL{
    {0.2f, 0.6f, 0.4f, 1}, {0.5f, 0.45f, 0.4f, 1}, {0.4f, 0.5f, 0.3f, 1}, {0.1f, 0, 0.05f, 0}, 2};

const Scene SCENES[] = {
    {.name = "SpotRangeConesFalloffLocalViewerVertexColourSourcesNoHighlightFromBehind",
     .states = {SPECULAR,
                {D3DRS_AMBIENT, 0x102030},
                {D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_COLOR1},
                {D3DRS_SPECULARMATERIALSOURCE, D3DMCS_MATERIAL}},
     .material = MATERIAL,
     // From the left, grazing the tilted grid: right of the middle its normals turn away from
     // the light yet still towards the half vector.
     .light = Spot({-1.5f, 0, 0.4f}, {1, 0, 0.05f}, 2.2f),
     .draws = Grid(0.5f, 1.1f, 2)},
    {.name = "TexturedThroughWorldViewAndPerspective",
     .states = {SPECULAR, {D3DRS_AMBIENT, 0x202020}, {D3DRS_CULLMODE, D3DCULL_NONE}},
     .material = MATERIAL,
     .light = Spot({0, 0, -1}, {0.2f, 0.1f, 1}, 100, 1, 0.05f, 0.001f),
     // Scaled along z, which leaves the plane z = 0 in place but not its normals.
     .world = {{{0.8f, 0, -0.6f, 0}, {0, 1.2f, 0, 0}, {1.2f, 0, 1.6f, 0}, {0.1f, -0.2f, 0, 1}}},
     .view = {{{0, 1, 0, 0}, {-1, 0, 0, 0}, {0, 0, 1, 0}, {0, 0, 2, 1}}},
     // 90-degree field of view, near 0.5, far 10.
     .projection = {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 10 / 9.5f, 1}, {0, 0, -5 / 9.5f, 0}}},
     .texels = {0xFF60A0C0, 0xFF69A5C3, 0xFF72AAC6, 0xFF7BAFC9},  // point sampled, wrapped
     .draws = Grid(0, 1.5f, 0.3f)},
    // A light that shines only specular on surfaces facing it: never added by default.
    {.name = "LessOrEqualAgainstClearedDepthCounterClockwiseCulledNoSpecularByDefault",
     .states = FLAT,
     .material = MATERIAL,
     .light =
         D3DLIGHT9{
             D3DLIGHT_SPOT, {}, {1, 1, 1, 1}, {}, {0, 0, -1}, {0, 0, 1}, 100, 1, 1, 0, 0, 3, 3},
     .clearZ = 0.4f,
     .draws = {Rect(-0.5f, -0.5f, 7.5f, 7.5f, 0.3f, RED), Rect(7.5f, -0.5f, 15.5f, 7.5f, 0.5f, RED),
               Rect(-0.5f, -0.5f, 7.5f, 7.5f, 0.3f, GREEN),
               Rect(-0.5f, -0.5f, 7.5f, 7.5f, 0.35f, BLUE),
               Rect(-0.5f, 7.5f, 31.5f, 15.5f, 0.2f, BLUE, 0, 0.6f),
               Rect(1.5f, 19.5f, 9.5f, 27.5f, 0.1f, RED, SHINE),
               Rect(27.5f, 19.5f, 19.5f, 27.5f, 0.1f, BLUE)}},
    // Edges through pixel centres fall by the top-left rule; texel edges 1/256 pixel on either
    // side of pixel centres fall where the exact half-pixel offset puts them. Compared everywhere.
    {.name = "EdgesThroughPixelCentresTopLeftAndTexelsAHairFromThem",
     .states = FLAT,
     .texels = {0xFF204080, 0xFFE0C040, 0xFF40E0A0, 0xFFA02060},
     .draws = {Rect(2, 2, 6, 6, 0.5f, GREEN),
               {At(10, 2, RED), At(18, 2, RED), At(10, 10, RED)},
               {At(18, 2, BLUE), At(18, 10, BLUE), At(10, 10, BLUE)},
               Rect(-0.5f, 15.5f, 63.5f, 39.5f, 0.5f, WHITE, 0, -1, 1 / 256.f),
               Rect(-0.5f, 39.5f, 63.5f, 63.5f, 0.5f, WHITE, 0, -1, -1 / 256.f)},
     .margin = 0},
};

// Expects each pixel the reference is sure of within 2/255 a channel, and most pixels sure.
void ExpectPicture(const std::vector<D3DCOLOR>& got, const std::vector<Pixel>& want) {
  ASSERT_EQ(got.size(), want.size());
  int wrong = 0, sure = 0;
  for (std::size_t i = 0; i < want.size(); ++i) {
    const dvec3 error = glm::abs(Of(got[i]) - want[i].rgb) * 255.0;
    sure += want[i].sure ? 1 : 0;
    if (want[i].sure && glm::any(glm::greaterThan(error, dvec3(2))) && wrong++ == 0) {
      ADD_FAILURE() << "pixel " << i << " is " << std::hex << got[i];
    }
  }
  EXPECT_EQ(wrong, 0);
  EXPECT_GT(sure, static_cast<int>(want.size()) * 3 / 4);
}

// A bare window, a paced device, a vertex buffer of 4096 vertices and a 2 x 2 texture, bound only
// by scenes with texels. Tear-down releases resources while still bound, as the viewer does, and
// expects no interface, GL object or context left.
class DeviceTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0); }

  void SetUp() override {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "Test";
    RegisterClassExA(&wc);  // refused after the first time, which changes nothing
    window_ = CreateWindowExA(0, "Test", "Test", WS_OVERLAPPEDWINDOW, 0, 0, width_, height_,
                              nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ShowWindow(window_, SW_SHOW);
    // The window's first exposure, and whatever else showing it brings, come before the first
    // frame, not between two of them: events are taken until a tenth of a second passes without
    // one.
    bool exposed = false;
    for (SDL_Event e{}; SDL_WaitEventTimeout(&e, exposed ? 100 : 2000) != 0;) {
      exposed = exposed || (e.type == SDL_WINDOWEVENT && e.window.event == SDL_WINDOWEVENT_EXPOSED);
    }
    D3DPRESENT_PARAMETERS p{};
    p.SwapEffect = D3DSWAPEFFECT_DISCARD;
    p.Windowed = p.EnableAutoDepthStencil = TRUE;
    p.AutoDepthStencilFormat = D3DFMT_D16;
    ASSERT_NE(d3d_ = Direct3DCreate9(D3D_SDK_VERSION), nullptr);
    HRESULT failed = d3d_->CreateDevice(0, D3DDEVTYPE_HAL, window_,
                                        D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p, &device_);
    ASSERT_EQ(failed, D3D_OK);
    failed =
        device_->CreateVertexBuffer(4096 * sizeof(Vertex), 0, FVF, D3DPOOL_DEFAULT, &buffer_,
                                    nullptr) |
        device_->CreateTexture(2, 2, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &texture_, nullptr) |
        device_->SetStreamSource(0, buffer_, 0, sizeof(Vertex)) | device_->SetFVF(FVF);
    ASSERT_EQ(failed, D3D_OK);
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

  // Sets the scene's material, states, light and transforms, binds its texture and writes its
  // draws one after another into the vertex buffer.
  void Apply(const Scene& s) {
    HRESULT failed = device_->SetMaterial(&s.material);
    for (const auto& [state, value] : s.states) failed |= device_->SetRenderState(state, value);
    if (s.light) failed |= device_->SetLight(0, &*s.light) | device_->LightEnable(0, TRUE);
    failed |= device_->SetTransform(D3DTS_WORLD, &s.world);
    failed |= device_->SetTransform(D3DTS_VIEW, &s.view);
    failed |= device_->SetTransform(D3DTS_PROJECTION, &s.projection);
    if (!s.texels.empty()) {
      D3DLOCKED_RECT locked{};
      ASSERT_EQ(texture_->LockRect(0, &locked, nullptr, 0), D3D_OK);
      std::memcpy(locked.pBits, &s.texels[0], 8);
      std::memcpy(static_cast<char*>(locked.pBits) + locked.Pitch, &s.texels[2], 8);
      failed |= texture_->UnlockRect(0);
      failed |= device_->SetTexture(0, texture_);
    }
    char* data = nullptr;
    failed |= buffer_->Lock(0, 0, reinterpret_cast<void**>(&data), 0);
    for (const Strip& strip : s.draws) {
      std::memcpy(data, strip.data(), strip.size() * sizeof(Vertex));
      data += strip.size() * sizeof(Vertex);
    }
    failed |= buffer_->Unlock();
    ASSERT_EQ(failed, D3D_OK);
  }

  // Clears to white and the scene's depth, makes its draws in one scene and presents; the
  // window's picture into *pixels if given, and the device's counters after it.
  D3DGlDeviceStats Present(const Scene& s, std::vector<D3DCOLOR>* pixels = nullptr) {
    HRESULT failed =
        device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, WHITE, s.clearZ, 0);
    failed |= device_->BeginScene();
    UINT first = 0;
    for (const Strip& strip : s.draws) {
      const auto count = static_cast<UINT>(strip.size());
      failed |= device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, first, count - 2);
      first += count;
    }
    failed |= device_->EndScene();
    EXPECT_EQ(failed | device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    if (pixels != nullptr) *pixels = Shown(width_, height_);
    return D3DGlGetDeviceStats(device_);
  }

  // Resizes the window and waits until SDL knows its new size.
  void Resize(int width, int height) {
    SDL_Window* native = SdlWindowFromHwnd(window_);
    SDL_SetWindowSize(native, width, height);
    int w = 0, h = 0;
    for (int i = 0; i < 400 && (w != width || h != height); ++i) {
      SDL_Delay(5);
      SDL_PumpEvents();
      SDL_GL_GetDrawableSize(native, &w, &h);
    }
  }

  // The window's client area as the X server shows it, 0xAARRGGBB top row first.
  std::vector<D3DCOLOR> Shown(int width, int height) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    EXPECT_TRUE(SDL_GetWindowWMInfo(SdlWindowFromHwnd(window_), &info));
    XImage* image = XGetImage(info.info.x11.display, info.info.x11.window, 0, 0, width, height,
                              AllPlanes, ZPixmap);
    std::vector<D3DCOLOR> pixels;
    for (int i = 0; image != nullptr && i < width * height; ++i) {
      pixels.push_back(0xFF000000u | XGetPixel(image, i % width, i / width));
    }
    if (image != nullptr) XDestroyImage(image);
    return pixels;
  }

  int width_ = W, height_ = H;
  HWND window_ = nullptr;
  IDirect3D9* d3d_ = nullptr;
  IDirect3DDevice9* device_ = nullptr;
  IDirect3DTexture9* texture_ = nullptr;
  IDirect3DVertexBuffer9* buffer_ = nullptr;
};

class PictureTest : public DeviceTest, public ::testing::WithParamInterface<Scene> {};

TEST_P(PictureTest, MatchesTheCpuPicture) {
  ASSERT_NO_FATAL_FAILURE(Apply(GetParam()));
  std::vector<D3DCOLOR> pixels;
  Present(GetParam(), &pixels);
  ExpectPicture(pixels, Render(GetParam(), W, H));
}

INSTANTIATE_TEST_SUITE_P(Scenes, PictureTest, ::testing::ValuesIn(SCENES),
                         [](const auto& info) { return std::string(info.param.name); });

class WideTest : public DeviceTest {
 protected:
  WideTest() { width_ = 600, height_ = 300; }
};

// At the viewer's size a paced device draws into the window, neither drawing nor showing again a
// frame that repeats the previous one from a full clear on, and making no GL object. A resized
// window gets the frame drawn offscreen, the same to the bit where only 16-bit depth tells faces
// apart, then stretched over it; the back buffer keeps its size.
TEST_F(WideTest, PacedSkipsRepeatsAndDrawsOnePictureIntoTheWindowOrOffscreenAndStretched) {
  // Green a quarter of a 16-bit step nearer than the red drawn after it; blue sloping through both.
  const float z = 0.25f, step = 1 / 65535.f;
  Scene s{.name = "",
          .states = FLAT,
          .draws = {Rect(100, 50, 500, 250, z - step / 4, GREEN, 0, -1, 0, 600, 300),
                    Rect(100, 50, 500, 250, z, RED, 0, -1, 0, 600, 300),
                    Rect(50, 100, 550, 180, z - 2 * step, BLUE, 0, z + 2 * step, 0, 600, 300)}};
  ASSERT_NO_FATAL_FAILURE(Apply(s));
  std::vector<D3DCOLOR> window;
  const D3DGlDeviceStats first = Present(s, &window);
  const int objects = D3DGlGetLiveCounts().glObjects;
  ExpectPicture(window, Render(s, 600, 300));
  EXPECT_EQ(Present(s).repeatedFrames, first.repeatedFrames + 1);
  s.world.m[3][0] = 0.5f;  // a quarter of the picture to the right, and back
  ASSERT_EQ(device_->SetTransform(D3DTS_WORLD, &s.world), D3D_OK);
  EXPECT_EQ(Present(s).draws, first.draws + 3);
  s.world.m[3][0] = 0;
  ASSERT_NO_FATAL_FAILURE(Apply(s));
  EXPECT_EQ(Present(s).draws, first.draws + 6);
  EXPECT_EQ(D3DGlGetLiveCounts().glObjects, objects);
  Resize(900, 150);
  EXPECT_EQ(Present(s).stretchedFrames, first.stretchedFrames + 1);
  // Drawn offscreen as into the window, then stretched bilinear, 1.5 times across and halved
  // down: window pixel (X, Y) blends back buffer columns either side of (X + 0.5) / 1.5 - 0.5 (the
  // edge ones repeated) and rows 2Y and 2Y + 1 evenly.
  std::vector<Pixel> stretched;
  for (int i = 0; i < 900 * 150; ++i) {
    const double x = (i % 900 + 0.5) / 1.5 - 0.5, fx = x - std::floor(x);
    const int left = std::clamp(static_cast<int>(std::floor(x)), 0, 599);
    const int right = std::clamp(static_cast<int>(std::floor(x)) + 1, 0, 599);
    const D3DCOLOR* row = &window[i / 900 * 2 * 600];
    const auto column = [&](int c) { return (Of(row[c]) + Of(row[c + 600])) / 2.0; };
    stretched.push_back({(1 - fx) * column(left) + fx * column(right), true});
  }
  ExpectPicture(Shown(900, 150), stretched);
}

// Calls the device cannot carry out as Direct3D does are refused; their neighbours are accepted.
TEST_F(DeviceTest, RefusesWhatItCannotDrawFaithfully) {
  D3DLIGHT9 spot = Spot({}, {0, 0, 1});
  EXPECT_EQ(device_->SetLight(0, &spot), D3D_OK);
  spot.Phi = spot.Theta / 2;  // the outer cone inside the inner one
  EXPECT_EQ(device_->SetLight(0, &spot), D3DERR_INVALIDCALL);
  spot.Type = static_cast<D3DLIGHTTYPE>(1);  // a point light
  EXPECT_EQ(device_->SetLight(0, &spot), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->LightEnable(1, TRUE), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->SetRenderState(D3DRS_LIGHTING, FALSE), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_DISABLE), D3DERR_INVALIDCALL);
  ASSERT_EQ(device_->BeginScene(), D3D_OK);
  EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 4092, 2), D3D_OK);
  EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 4093, 2), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->EndScene(), D3D_OK);
}

}  // namespace
