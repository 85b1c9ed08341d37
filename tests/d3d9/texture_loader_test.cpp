// D3DXCreateTextureFromFileA over the OpenGL device, with image files the
// tests write themselves into a temporary directory: texels decoded from PNG,
// BMP and JPEG, the format chosen by alpha, power-of-two stretching with the
// triangle filter, clamping to the device's largest texture, backslash paths,
// and every way a file can fail (missing, a directory, empty, garbage bytes,
// truncated, a header claiming 60000 x 60000 pixels).
#include <SDL.h>
#include <SDL_image.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/d3dx9/d3dx9.h"
#include "tests/d3d9/gl_fixture.h"

namespace {

namespace fs = std::filesystem;

class TextureLoaderTest : public DeviceTest {
 protected:
  void SetUp() override {
    DeviceTest::SetUp();
    char pattern[] = "/tmp/gl_loader_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
    DeviceTest::TearDown();
  }

  std::string PathOf(const std::string& name) const { return (dir_ / name).string(); }

  // Writes an image of 0xAARRGGBB pixels; alpha decides RGB24 or RGBA32 storage.
  std::string WriteImage(const std::string& name, int width, int height,
                         const std::vector<std::uint32_t>& pixels, bool alpha,
                         const char* kind = "png") {
    SDL_Surface* argb =
        SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, SDL_PIXELFORMAT_ARGB8888);
    for (int y = 0; y < height; ++y) {
      std::memcpy(static_cast<char*>(argb->pixels) + y * argb->pitch, &pixels[y * width],
                  4 * width);
    }
    SDL_Surface* stored =
        SDL_ConvertSurfaceFormat(argb, alpha ? SDL_PIXELFORMAT_RGBA32 : SDL_PIXELFORMAT_RGB24, 0);
    const std::string path = PathOf(name);
    const std::string k = kind;
    const int saved = k == "png"   ? IMG_SavePNG(stored, path.c_str())
                      : k == "bmp" ? SDL_SaveBMP(stored, path.c_str())
                                   : IMG_SaveJPG(stored, path.c_str(), 100);
    EXPECT_EQ(saved, 0) << path;
    SDL_FreeSurface(stored);
    SDL_FreeSurface(argb);
    return path;
  }

  std::string WriteBytes(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    const std::string path = PathOf(name);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path;
  }

  // Loads path and returns its texels, or expects success and fails the test.
  std::vector<std::uint32_t> Load(const std::string& path, D3DSURFACE_DESC* desc) {
    IDirect3DTexture9* texture = nullptr;
    const HRESULT result = D3DXCreateTextureFromFileA(device_, path.c_str(), &texture);
    EXPECT_EQ(result, D3D_OK) << D3DGetLastFailureReason();
    if (FAILED(result)) return {};
    EXPECT_EQ(texture->GetLevelCount(), 1u);
    texture->GetLevelDesc(0, desc);
    D3DLOCKED_RECT locked{};
    texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY);
    std::vector<std::uint32_t> texels(std::size_t{desc->Width} * desc->Height);
    for (UINT y = 0; y < desc->Height; ++y) {
      std::memcpy(&texels[y * desc->Width], static_cast<char*>(locked.pBits) + y * locked.Pitch,
                  4 * desc->Width);
    }
    texture->UnlockRect(0);
    texture->Release();
    return texels;
  }

  // Expects the load of path to fail, leave the output alone and give a reason with `why`.
  void ExpectRefused(const std::string& path, const char* why) {
    auto* untouched = reinterpret_cast<IDirect3DTexture9*>(0x1);
    IDirect3DTexture9* texture = untouched;
    EXPECT_TRUE(FAILED(D3DXCreateTextureFromFileA(device_, path.c_str(), &texture)));
    EXPECT_EQ(texture, untouched);
    EXPECT_NE(std::string(D3DGetLastFailureReason()).find(why), std::string::npos)
        << D3DGetLastFailureReason();
  }

  fs::path dir_;
};

// Lossless files decode to their exact texels, in A8R8G8B8 only when they
// carry alpha; a file is read by its content whatever its name says.
TEST_F(TextureLoaderTest, LosslessImagesDecodeToExactTexelsInTheFormatTheirAlphaChooses) {
  const struct {
    const char* name;
    const char* kind;
    int width, height;
    std::vector<std::uint32_t> pixels;
    bool alpha;
  } cases[] = {
      {"opaque.png",
       "png",
       4,
       2,
       {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFF123456, 0xFFFFFFFF, 0xFF000000, 0xFF808080,
        0xFFABCDEF},
       false},
      {"alpha.png", "png", 2, 2, {0x80FF0000, 0x00000000, 0xFF00FF00, 0x400000FF}, true},
      {"bitmap.jpg", "bmp", 2, 1, {0xFF102030, 0xFF405060}, false},
  };
  for (const auto& c : cases) {
    D3DSURFACE_DESC desc{};
    const auto texels =
        Load(WriteImage(c.name, c.width, c.height, c.pixels, c.alpha, c.kind), &desc);
    EXPECT_EQ(desc.Format, c.alpha ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8) << c.name;
    EXPECT_EQ(desc.Width, static_cast<UINT>(c.width)) << c.name;
    EXPECT_EQ(desc.Height, static_cast<UINT>(c.height)) << c.name;
    EXPECT_EQ(texels, c.pixels) << c.name;
  }
}

TEST_F(TextureLoaderTest, JpegBecomesX8R8G8B8) {
  const std::vector<std::uint32_t> pixels(64, 0xFF3060C0);
  D3DSURFACE_DESC desc{};
  const auto texels = Load(WriteImage("photo.jpg", 8, 8, pixels, false, "jpg"), &desc);
  EXPECT_EQ(desc.Format, D3DFMT_X8R8G8B8);
  ASSERT_EQ(texels.size(), 64u);
  for (const std::uint32_t t : texels) {
    EXPECT_EQ(t >> 24, 0xFFu);
    EXPECT_NEAR(static_cast<int>((t >> 16) & 0xFF), 0x30, 3);
    EXPECT_NEAR(static_cast<int>((t >> 8) & 0xFF), 0x60, 3);
    EXPECT_NEAR(static_cast<int>(t & 0xFF), 0xC0, 3);
  }
}

TEST_F(TextureLoaderTest, CmykJpegShowsItsColours) {
  // SDL_image writes no CMYK; ImageMagick (a test dependency) converts our PNG.
  const std::vector<std::uint32_t> pixels(16, 0xFFFFA500);  // orange
  const std::string png = WriteImage("orange.png", 4, 4, pixels, false);
  const std::string jpeg = PathOf("cmyk.jpg");
  if (std::system(("convert " + png + " -colorspace CMYK -quality 100 " + jpeg).c_str()) != 0) {
    GTEST_SKIP() << "ImageMagick's convert is not installed";
  }
  D3DSURFACE_DESC desc{};
  const auto texels = Load(jpeg, &desc);
  ASSERT_EQ(texels.size(), 16u);
  EXPECT_EQ(desc.Format, D3DFMT_X8R8G8B8);
  EXPECT_NEAR(static_cast<int>((texels[5] >> 16) & 0xFF), 0xFF, 4);
  EXPECT_NEAR(static_cast<int>((texels[5] >> 8) & 0xFF), 0xA5, 4);
  EXPECT_NEAR(static_cast<int>(texels[5] & 0xFF), 0x00, 4);
}

TEST_F(TextureLoaderTest, OtherSidesStretchToPowersOfTwoWithATriangleFilter) {
  // Three greys 0, 80, 240 become four. Tent weights (wrapping at the edges),
  // worked by hand: centres at -0.125, 0.625, 1.375, 2.125 source texels.
  const std::vector<std::uint32_t> pixels = {0xFF000000, 0xFF505050, 0xFFF0F0F0};
  D3DSURFACE_DESC desc{};
  const auto texels = Load(WriteImage("three.bmp", 3, 1, pixels, false, "bmp"), &desc);
  ASSERT_EQ(desc.Width, 4u);
  ASSERT_EQ(desc.Height, 1u);
  const int expected[4] = {30, 50, 140, 210};  // .875*0+.125*240, .375*0+.625*80, ...
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(static_cast<int>(texels[i] & 0xFF), expected[i], 1) << i;

  const std::vector<std::uint32_t> wide(300 * 200, 0xFF204060);
  Load(WriteImage("wide.png", 300, 200, wide, false), &desc);
  EXPECT_EQ(desc.Width, 512u);
  EXPECT_EQ(desc.Height, 256u);
}

TEST_F(TextureLoaderTest, ImagesWiderThanTheDeviceAllowsAreClampedToItsMaximum) {
  D3DCAPS9 caps{};
  ASSERT_EQ(device_->GetDeviceCaps(&caps), D3D_OK);
  const int width = 20000;  // beyond any device's maximum
  const std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * 2, 0xFF808080);
  D3DSURFACE_DESC desc{};
  const auto texels = Load(WriteImage("huge.png", width, 2, pixels, false), &desc);
  EXPECT_EQ(desc.Width, caps.MaxTextureWidth);
  EXPECT_EQ(desc.Height, 2u);
  ASSERT_FALSE(texels.empty());
  EXPECT_EQ(texels[1234], 0xFF808080u);
}

TEST_F(TextureLoaderTest, BackslashSeparatesDirectories) {
  fs::create_directory(dir_ / "sub");
  WriteImage("parent.png", 1, 1, {0xFF00FF00}, false);
  const fs::path previous = fs::current_path();
  fs::current_path(dir_ / "sub");
  D3DSURFACE_DESC desc{};
  const auto texels = Load("..\\parent.png", &desc);
  fs::current_path(previous);
  EXPECT_EQ(texels, std::vector<std::uint32_t>{0xFF00FF00});
}

TEST_F(TextureLoaderTest, MissingFilesDirectoriesAndEmptyFilesAreRefused) {
  ExpectRefused(PathOf("absent.jpg"), "no such file");
  fs::create_directory(dir_ / "folder.jpg");
  ExpectRefused(PathOf("folder.jpg"), "directory");
  ExpectRefused(WriteBytes("empty.jpg", {}), "empty");
  fs::create_symlink(dir_ / "nowhere.jpg", dir_ / "dangling.jpg");
  ExpectRefused(PathOf("dangling.jpg"), "no such file");
}

TEST_F(TextureLoaderTest, UndecodableBytesAreRefused) {
  std::vector<std::uint8_t> garbage(4096);
  std::srand(7);
  for (std::uint8_t& b : garbage) b = static_cast<std::uint8_t>(std::rand());
  ExpectRefused(WriteBytes("garbage.jpg", garbage), "not a readable");
  // The first half of a real PNG.
  const std::vector<std::uint32_t> pixels(64 * 64, 0xFF336699);
  const std::string whole = WriteImage("whole.png", 64, 64, pixels, false);
  std::vector<std::uint8_t> bytes(fs::file_size(whole) / 2);
  std::ifstream(whole, std::ios::binary)
      .read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  ExpectRefused(WriteBytes("half.png", bytes), "cannot be decoded");
}

TEST_F(TextureLoaderTest, AbsurdHeaderSizesAreRefusedBeforeDecoding) {
  // PNG signature and an IHDR chunk claiming 60000 x 60000 (0xEA60).
  std::vector<std::uint8_t> png = {0x89, 'P',  'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0,    0, 0,
                                   13,   'I',  'H', 'D', 'R',  0,    0,    0xEA, 0x60, 0, 0,
                                   0xEA, 0x60, 8,   2,   0,    0,    0,    0,    0,    0, 0};
  ExpectRefused(WriteBytes("big.png", png), "too large");
  // JPEG: start of image, then a baseline frame header of 60000 x 60000.
  std::vector<std::uint8_t> jpeg = {0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x11, 0x08,
                                    0xEA, 0x60, 0xEA, 0x60, 0x03, 1,    0x22,
                                    0,    2,    0x11, 1,    3,    0x11, 1};
  ExpectRefused(WriteBytes("big.jpg", jpeg), "too large");
  // A zero-sized frame is empty, not decodable.
  jpeg[7] = jpeg[8] = 0;
  ExpectRefused(WriteBytes("none.jpg", jpeg), "empty");
  // Few pixels, but one side far beyond any texture: 0x11170 (70000) x 1.
  png[16] = 0, png[17] = 0x01, png[18] = 0x11, png[19] = 0x70;
  png[20] = png[21] = png[22] = 0, png[23] = 1;
  ExpectRefused(WriteBytes("long.png", png), "too large");
}

TEST_F(TextureLoaderTest, GifIsNotATextureFormat) {
  // A whole 1 x 1 GIF: header, two-entry colour table, one image, trailer.
  const std::vector<std::uint8_t> gif = {'G', 'I',  'F', '8', '9', 'a', 1, 0,    1,    0, 0x80, 0,
                                         0,   0xFF, 0,   0,   0,   0,   0, 0x2C, 0,    0, 0,    0,
                                         1,   0,    1,   0,   0,   2,   2, 0x44, 0x01, 0, 0x3B};
  ExpectRefused(WriteBytes("leopard.jpg", gif), "not a readable");
}

}  // namespace
