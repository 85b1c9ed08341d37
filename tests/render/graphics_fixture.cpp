// Shared set-up for the graphics, resources and shell tests (see the header).
#include "tests/render/graphics_fixture.h"

#include <SDL2/SDL.h>
#include <SDL2/SDL_image.h>
#include <stdlib.h>

#include "model/glyph_model.h"
#include "render/graphics.h"
#include "tests/fake/fake_d3d9.h"
#include "tests/fake/fake_win32.h"

namespace render_test {

void GraphicsTest::SetUp() {
  ReleaseGraphics();
  fake_win32::Reset();
  fake_d3d9::Reset();
}

void GraphicsTest::TearDown() {
  ReleaseGraphics();
  EXPECT_EQ(fake_d3d9::LiveObjects(), 0) << "a device object outlived ReleaseGraphics";
  fake_win32::Reset();
  fake_d3d9::Reset();
}

void GraphicsTest::StartWithResources() {
  ASSERT_EQ(StartGraphics(StandInWindow()), S_OK);
  const UINT length = static_cast<UINT>(GLYPH_VERTEX_COUNT) * 40;
  ASSERT_EQ(g_device->CreateVertexBuffer(length, 0, GLYPH_VERTEX_FVF, D3DPOOL_DEFAULT,
                                         &g_vertexBuffer, nullptr),
            S_OK);
  ASSERT_EQ(
      g_device->CreateTexture(4, 4, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &g_texture, nullptr),
      S_OK);
  fake_d3d9::Get().calls.clear();
}

ScratchDirectories::ScratchDirectories() : previous_(std::filesystem::current_path()) {
  std::string pattern = (std::filesystem::temp_directory_path() / "tavenor-test-XXXXXX").string();
  const char* made = mkdtemp(pattern.data());
  if (made == nullptr) throw std::runtime_error("cannot make a scratch directory");
  parent_ = made;
  app_ = parent_ / "app";
  std::filesystem::create_directory(app_);
  std::filesystem::current_path(app_);
}

ScratchDirectories::~ScratchDirectories() {
  std::error_code ignored;
  std::filesystem::current_path(previous_, ignored);
  std::filesystem::remove_all(parent_, ignored);
}

bool WriteSolidJpeg(const std::filesystem::path& file, unsigned char red, unsigned char green,
                    unsigned char blue) {
  SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormat(0, 8, 8, 24, SDL_PIXELFORMAT_RGB24);
  if (surface == nullptr) return false;
  SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, red, green, blue));
  const bool saved = IMG_SaveJPG(surface, file.c_str(), 100) == 0;
  SDL_FreeSurface(surface);
  return saved;
}

}  // namespace render_test
