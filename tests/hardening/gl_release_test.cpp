// No GL object, GL context or device object outlives ReleaseGraphics on the
// real SDL/OpenGL platform: the program's own start-up, frames and release
// (StartGraphics, BuildGlyphModel, DrawFrame, ReleaseGraphics) run on a real
// window in Xvfb, and the GL layer's live counts must drop back to zero.
#include <SDL.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "app/shell.h"
#include "model/resources.h"
#include "platform/d3d9/d3d9_gl.h"
#include "platform/win32/sdl_window.h"
#include "platform/win32/win32.h"
#include "render/graphics.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* CLASS_NAME = "GlReleaseTest";
constexpr int FRAMES = 5;

// A 2 x 2 texture as leopard.jpg (BMP bytes: the loader goes by content).
void WriteTexture(const fs::path& path) {
  SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormat(0, 2, 2, 32, SDL_PIXELFORMAT_RGB888);
  ASSERT_NE(surface, nullptr);
  SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 200, 150, 50));
  ASSERT_EQ(SDL_SaveBMP(surface, path.c_str()), 0) << SDL_GetError();
  SDL_FreeSurface(surface);
}

bool NoneAlive(const D3DGlLiveCounts& counts) {
  return counts.interfaces == 0 && counts.glObjects == 0 && counts.contexts == 0;
}

std::string Describe(const D3DGlLiveCounts& counts) {
  return "interfaces " + std::to_string(counts.interfaces) + ", GL objects " +
         std::to_string(counts.glObjects) + ", contexts " + std::to_string(counts.contexts);
}

// A window of the program's own procedure, in a folder holding leopard.jpg.
class GlRelease : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
    char pattern[] = "/tmp/gl-release-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
    WriteTexture(folder_ / "leopard.jpg");
    previous_ = fs::current_path();
    fs::current_path(folder_);

    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_CLASSDC;
    wc.lpfnWndProc = MainWindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = CLASS_NAME;
    ASSERT_NE(RegisterClassExA(&wc), 0);
    window_ = CreateWindowExA(0, CLASS_NAME, "GL release", WS_OVERLAPPEDWINDOW, 100, 100, 600, 300,
                              nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(window_, nullptr);
  }

  void TearDown() override {
    ReleaseGraphics();
    if (window_) DestroyWindow(window_);
    UnregisterClassA(CLASS_NAME, GetModuleHandleA(nullptr));
    CloseWindowLayer();
    SDL_Quit();
    if (!previous_.empty()) fs::current_path(previous_);
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  // Start-up as WinMain does it, then a few frames.
  void StartAndDraw() {
    ASSERT_EQ(StartGraphics(window_), S_OK) << D3DGetLastFailureReason();
    ASSERT_EQ(BuildGlyphModel(), S_OK) << D3DGetLastFailureReason();
    ShowWindow(window_, SW_SHOWDEFAULT);
    for (int i = 0; i < FRAMES; ++i) DrawFrame();
  }

  HWND window_ = nullptr;
  fs::path folder_;
  fs::path previous_;
};

TEST_F(GlRelease, NothingIsAliveBeforeStartUp) {
  EXPECT_TRUE(NoneAlive(D3DGlGetLiveCounts())) << Describe(D3DGlGetLiveCounts());
}

TEST_F(GlRelease, StartUpAndFramesHoldObjectsThatReleaseGraphicsFreesAll) {
  ASSERT_NO_FATAL_FAILURE(StartAndDraw());
  const D3DGlLiveCounts running = D3DGlGetLiveCounts();
  // The Direct3D object, the device, the vertex buffer and the texture.
  EXPECT_EQ(running.interfaces, 4) << Describe(running);
  EXPECT_GT(running.glObjects, 0) << Describe(running);
  EXPECT_EQ(running.contexts, 1) << Describe(running);

  ReleaseGraphics();
  EXPECT_TRUE(NoneAlive(D3DGlGetLiveCounts())) << Describe(D3DGlGetLiveCounts());
}

TEST_F(GlRelease, DestroyingTheWindowReleasesEverythingThroughWmDestroy) {
  ASSERT_NO_FATAL_FAILURE(StartAndDraw());
  ASSERT_TRUE(DestroyWindow(window_));
  window_ = nullptr;
  EXPECT_EQ(g_device, nullptr);
  EXPECT_TRUE(NoneAlive(D3DGlGetLiveCounts())) << Describe(D3DGlGetLiveCounts());
}

TEST_F(GlRelease, RepeatedStartUpsOnOneWindowLeaveNothingBehind) {
  for (int round = 0; round < 3; ++round) {
    ASSERT_NO_FATAL_FAILURE(StartAndDraw());
    ReleaseGraphics();
    ASSERT_TRUE(NoneAlive(D3DGlGetLiveCounts()))
        << "round " << round << ": " << Describe(D3DGlGetLiveCounts());
  }
}

TEST_F(GlRelease, ReleaseAfterAStartWithoutModelFreesDeviceAndContext) {
  ASSERT_EQ(StartGraphics(window_), S_OK) << D3DGetLastFailureReason();
  EXPECT_EQ(D3DGlGetLiveCounts().contexts, 1);
  ReleaseGraphics();
  EXPECT_TRUE(NoneAlive(D3DGlGetLiveCounts())) << Describe(D3DGlGetLiveCounts());
}

}  // namespace
