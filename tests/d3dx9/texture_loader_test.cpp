// D3DXCreateTextureFromFileA over the recording fake device (textures up to 256 x 256), with files
// made by the shell and ImageMagick and named with a backslash before the name. A decodable file
// becomes a one-level texture; anything else is refused with a reason, the output left alone.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "platform/d3dx9/d3dx9.h"
#include "platform/shared/failure_reason.h"
#include "tests/fake/fake.h"

namespace {

// A device of the recording fake for each test, released after it.
class TextureLoader : public ::testing::Test {
 protected:
  void SetUp() override {
    fake::Reset();
    D3DPRESENT_PARAMETERS parameters{};
    ASSERT_EQ(D3D_OK, d3d_->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, 0, &parameters, &device_));
  }
  void TearDown() override {
    device_->Release();
    d3d_->Release();
  }

  IDirect3D9* d3d_ = Direct3DCreate9(D3D_SDK_VERSION);
  IDirect3DDevice9* device_ = nullptr;
};

TEST_F(TextureLoader, FillsWhatItDecodesAndRefusesTheRest) {
  // make writes the file $F; texel (in the top row) is colour within tolerance per channel. A
  // height of 0 means the file is refused.
  const struct {
    const char* make;
    UINT width = 0, height = 0;
    int texel = 0;
    D3DCOLOR colour = 0;
    int tolerance = 0;
  } cases[] = {
      {"convert -size 8x4 xc:#3060C0 -quality 100 jpg:$F", 8, 4, 5, 0xFF3060C0, 3},
      // Stored as C, M, Y and K, shown as orange again.
      {"convert -size 8x8 xc:#FFA500 -colorspace CMYK -quality 100 jpg:$F", 8, 8, 5, 0xFFFFA500, 4},
      // Three greys 0, 80, 240 stretch to four with a tent filter that wraps at the edges:
      // texel 0 is centred on source x -0.125, so 0.875 * 0 + 0.125 * 240 = 30.
      {"convert xc:#000 xc:#505050 xc:#F0F0F0 +append -quality 100 jpg:$F", 4, 1, 0, 0xFF1E1E1E, 3},
      {"convert -size 100x50 xc:#204060 -quality 100 jpg:$F", 128, 64, 127, 0xFF204060, 3},
      // As wide as the device's largest texture.
      {"convert -size 10000x2 xc:#808080 -quality 100 jpg:$F", 256, 2, 123, 0xFF808080, 3},
      // The JPEG library finishes a scan cut short; a file cut inside its header is refused.
      {"convert -size 64x64 gradient:red-blue jpg:$F.whole && head -c 450 $F.whole > $F", 64, 64, 0,
       0xFFFF0000, 8},
      {"convert -size 64x64 gradient:red-blue jpg:$F.whole && head -c 100 $F.whole > $F"},
      {"head -c 4096 /dev/urandom > $F"},
      {": > $F"},
      {"convert -size 4x4 xc:red png:$F"},
      {"mkdir $F"},
      {"ln -s nowhere $F"},
      // A JPEG frame header claiming 60000 x 60000 pixels.
      {R"(printf '\377\330\377\300\0\21\10\352\140\352\140\3' > $F)"},
      // 2 GiB that begin like a JPEG, nearly all of them a hole in the file: refused unread.
      {R"(printf '\377\330\377\340' > $F && truncate -s 2G $F)"},
  };
  auto peakKib = [usage = rusage{}]() mutable {  // this process's peak resident memory
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
  };
  std::string dir = (std::filesystem::temp_directory_path() / "tavenor-textures-XXXXXX").string();
  ASSERT_NE(nullptr, mkdtemp(dir.data()));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.make);
    const std::string name = "t" + std::to_string(&c - cases) + ".jpg";
    ASSERT_EQ(0, std::system(("cd " + dir + " && F=" + name + " && " + c.make).c_str()));
    auto* const untouched = reinterpret_cast<IDirect3DTexture9*>(&dir);
    IDirect3DTexture9* texture = untouched;
    fake::state.log.clear();
    SetLastFailureReason("");
    const long peak = peakKib();
    const HRESULT result =
        D3DXCreateTextureFromFileA(device_, (dir + "\\" + name).c_str(), &texture);
    EXPECT_LT(peakKib() - peak, 64 * 1024) << "KiB more at the peak";
    if (c.height == 0) {
      EXPECT_TRUE(FAILED(result));
      EXPECT_EQ(untouched, texture);
      EXPECT_STRNE("", GetLastFailureReason());
      continue;
    }
    ASSERT_EQ(D3D_OK, result) << GetLastFailureReason();
    // Width, height, one level, usage 0, X8R8G8B8, the managed pool.
    EXPECT_EQ(fake::Call("CreateTexture", {1.0 * c.width, 1.0 * c.height, 1, 0, 22, 1}),
              fake::state.log.at(0));
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(D3D_OK, texture->LockRect(0, &locked, nullptr, 0));
    const D3DCOLOR texel = static_cast<const D3DCOLOR*>(locked.pBits)[c.texel];
    for (int shift = 0; shift < 32; shift += 8) {
      EXPECT_NEAR(c.colour >> shift & 0xFF, texel >> shift & 0xFF, c.tolerance)
          << std::hex << texel;
    }
    texture->Release();
  }
  std::filesystem::remove_all(dir);
}

// A reason is one line of at most 255 bytes, whatever the file's name holds: here a name with a
// line break, and one too long, of files that do not exist.
TEST_F(TextureLoader, GivesItsReasonAsOneBoundedLine) {
  const std::string dir = std::filesystem::temp_directory_path();
  for (const std::string& name : {dir + "/tavenor\nmissing.jpg", dir + std::string(300, '/')}) {
    IDirect3DTexture9* texture = nullptr;
    EXPECT_TRUE(FAILED(D3DXCreateTextureFromFileA(device_, name.c_str(), &texture)));
    const std::string reason = GetLastFailureReason();
    EXPECT_EQ(std::min<std::size_t>(name.find('\n'), 255), reason.size()) << reason;
  }
}

// Copies of the viewer's own texture cut short and with a byte in 400 changed, at random: each is
// refused with a reason or made into a texture; the sanitizer build checks every read and write.
TEST_F(TextureLoader, RefusesOrLoadsDamagedFilesSafely) {
  std::ifstream original(TEXTURE, std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(original), {}};
  const std::string file = std::filesystem::temp_directory_path() / "tavenor-damaged.jpg";
  std::mt19937 random(7);
  for (int i = 0; i < 300; ++i) {
    std::string damaged = bytes.substr(0, random() % bytes.size());
    for (char& b : damaged) b = random() % 400 == 0 ? static_cast<char>(random()) : b;
    std::ofstream(file, std::ios::binary) << damaged;
    IDirect3DTexture9* texture = nullptr;
    const bool made = SUCCEEDED(D3DXCreateTextureFromFileA(device_, file.c_str(), &texture));
    EXPECT_TRUE(made ? texture->Release() == 0 : *GetLastFailureReason() != '\0' && !texture);
  }
  std::filesystem::remove(file);
}

}  // namespace
