// D3DXCreateTextureFromFileA over the real device, with files the test makes with the shell and
// ImageMagick. A decodable file becomes a one-level texture, whatever its name says; anything else
// is refused and leaves the output alone. Each file is named with a backslash before its name.
#include <SDL.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <tuple>

#include "platform/d3dx9/d3dx9.h"
#include "platform/shared/failure_reason.h"
#include "tests/support/plain_window.h"

namespace {

constexpr UINT DEVICE_MAX = 0;  // as wide as the device's largest texture

TEST(TextureLoader, DrawsWhatItDecodesAndRefusesTheRest) {
  // make writes the file $F; texel (in the top row) is colour within tolerance per channel. A
  // height of 0 means the file is refused.
  const struct {
    const char* make;
    UINT width = 0, height = 0;
    bool alpha = false;
    int texel = 0;
    D3DCOLOR colour = 0;
    int tolerance = 0;
  } cases[] = {
      {"convert -size 4x2 xc:#102030 png24:$F", 4, 2, false, 3, 0xFF102030},
      {"convert -size 2x2 xc:#FF000080 png32:$F", 2, 2, true, 1, 0x80FF0000},
      {"convert -size 4x4 xc:#0000FF80 -depth 16 png64:$F", 4, 4, true, 0, 0x800000FF, 1},
      {"convert -size 8x4 xc:#3060C0 -quality 100 jpg:$F", 8, 4, false, 5, 0xFF3060C0, 3},
      // Stored as C, M, Y and K, shown as orange again.
      {"convert -size 8x8 xc:#FFA500 -colorspace CMYK -quality 100 jpg:$F", 8, 8, false, 5,
       0xFFFFA500, 4},
      {"convert -size 8x8 xc:#808080 -colorspace Gray jpg:$F", 8, 8, false, 5, 0xFF808080, 2},
      // Three greys 0, 80, 240 stretch to four with a tent filter that wraps at the edges:
      // texel 0 is centred on source x -0.125, so 0.875 * 0 + 0.125 * 240 = 30.
      {"convert xc:#000 xc:#505050 xc:#F0F0F0 +append bmp3:$F", 4, 1, false, 0, 0xFF1E1E1E, 1},
      {"convert -size 300x200 xc:#204060 png24:$F", 512, 256, false, 511, 0xFF204060},
      {"convert -size 10000x2 xc:#808080 png24:$F", DEVICE_MAX, 2, false, 1234, 0xFF808080},
      // The JPEG library finishes a scan cut short; a cut PNG is refused.
      {"convert -size 64x64 gradient:red-blue jpg:$F.whole && head -c 450 $F.whole > $F", 64, 64,
       false, 0, 0xFFFF0000, 8},
      {"convert -size 64x64 gradient: -strip png24:$F.whole && head -c 100 $F.whole > $F"},
      {"head -c 4096 /dev/urandom > $F"},
      {": > $F"},
      {"convert -size 4x4 xc:red gif:$F"},
      {"mkdir $F"},
      {"ln -s nowhere $F"},
      {"true"},
      // A PNG header claiming 60000 x 60000 pixels.
      {R"(printf '\211PNG\r\n\032\n\0\0\0\rIHDR\0\0\352\140\0\0\352\140\10\2\0\0\0\0\0\0\0' > $F)"},
  };
  ASSERT_EQ(0, SDL_Init(SDL_INIT_VIDEO)) << SDL_GetError();
  const HWND window = OpenPlainWindow(64, 64);
  IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
  ASSERT_NE(nullptr, d3d) << GetLastFailureReason();
  D3DPRESENT_PARAMETERS parameters = UnpacedWindowedParameters();
  IDirect3DDevice9* device = nullptr;
  ASSERT_EQ(D3D_OK, d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window,
                                      D3DCREATE_SOFTWARE_VERTEXPROCESSING, &parameters, &device))
      << GetLastFailureReason();
  D3DCAPS9 caps{};
  device->GetDeviceCaps(&caps);
  std::string dir = (std::filesystem::temp_directory_path() / "tavenor-textures-XXXXXX").string();
  ASSERT_NE(nullptr, mkdtemp(dir.data()));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.make);
    const std::string name = "t" + std::to_string(&c - cases) + ".jpg";
    ASSERT_EQ(0, std::system(("cd " + dir + " && F=" + name + " && " + c.make).c_str()));
    auto* const untouched = reinterpret_cast<IDirect3DTexture9*>(&parameters);
    IDirect3DTexture9* texture = untouched;
    const HRESULT result =
        D3DXCreateTextureFromFileA(device, (dir + "\\" + name).c_str(), &texture);
    if (c.height == 0) {
      EXPECT_TRUE(FAILED(result));
      EXPECT_EQ(untouched, texture);
      continue;
    }
    ASSERT_EQ(D3D_OK, result) << GetLastFailureReason();
    D3DSURFACE_DESC desc{};
    texture->GetLevelDesc(0, &desc);
    const UINT width = c.width == DEVICE_MAX ? caps.MaxTextureWidth : c.width;
    EXPECT_EQ(std::tuple(width, c.height, c.alpha ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8, 1u),
              std::tuple(desc.Width, desc.Height, desc.Format, texture->GetLevelCount()));
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(D3D_OK, texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY));
    const D3DCOLOR texel = static_cast<const D3DCOLOR*>(locked.pBits)[c.texel];
    texture->UnlockRect(0);
    for (int shift = 0; shift < 32; shift += 8) {
      EXPECT_NEAR(c.colour >> shift & 0xFF, texel >> shift & 0xFF, c.tolerance)
          << std::hex << texel;
    }
    EXPECT_EQ(0u, texture->Release());
  }
  std::filesystem::remove_all(dir);
  device->Release();
  d3d->Release();
  DestroyWindow(window);
  SDL_Quit();
}

}  // namespace
