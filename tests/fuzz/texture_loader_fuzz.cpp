// libFuzzer target: the texture loader (D3DXCreateTextureFromFileA) on
// arbitrary bytes, written as leopard.jpg into a private temporary folder and
// loaded through the recording fake device (recording off). Aborts when a
// success hands back no texture or one that is not power-of-two, within the
// device's maximum and fully readable, when a failure touches the output or
// gives no reason, or when a texture outlives its release.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/d3d9/d3d9.h"
#include "platform/d3dx9/d3dx9.h"
#include "tests/fake/fake_d3d9.h"

namespace {

// Small, so that images beyond it exercise the clamp to the device's maximum.
constexpr DWORD MAX_TEXTURE_SIDE = 256;

struct Fixture {
  std::filesystem::path folder;
  std::string file;
  IDirect3D9* d3d = nullptr;
  IDirect3DDevice9* device = nullptr;
};

Fixture* fixture = nullptr;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "texture_loader_fuzz: %s\n", what);
  std::abort();
}

void Check(bool ok, const char* what) {
  if (!ok) Fail(what);
}

void RemoveFolder() {
  if (fixture) {
    std::error_code ignored;
    std::filesystem::remove_all(fixture->folder, ignored);
  }
}

bool PowerOfTwo(UINT side) { return side != 0 && (side & (side - 1)) == 0; }

// Reads every texel of level 0, so a short buffer shows up as an ASan report.
void CheckTexture(IDirect3DTexture9* texture) {
  D3DSURFACE_DESC desc{};
  Check(SUCCEEDED(texture->GetLevelDesc(0, &desc)), "GetLevelDesc failed on a loaded texture");
  Check(PowerOfTwo(desc.Width) && PowerOfTwo(desc.Height), "sides are not powers of two");
  Check(desc.Width <= MAX_TEXTURE_SIDE && desc.Height <= MAX_TEXTURE_SIDE,
        "texture larger than the device's maximum");
  Check(desc.Format == D3DFMT_X8R8G8B8 || desc.Format == D3DFMT_A8R8G8B8, "unexpected format");
  D3DLOCKED_RECT locked{};
  Check(SUCCEEDED(texture->LockRect(0, &locked, nullptr, 0)), "LockRect failed");
  Check(locked.Pitch >= static_cast<int>(desc.Width * 4), "pitch shorter than a row");
  const auto* bytes = static_cast<const volatile std::uint8_t*>(locked.pBits);
  unsigned sum = 0;
  for (UINT y = 0; y < desc.Height; ++y) {
    for (UINT x = 0; x < desc.Width * 4; ++x) sum += bytes[y * locked.Pitch + x];
  }
  texture->UnlockRect(0);
  (void)sum;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fixture = new Fixture;
  std::string pattern = (std::filesystem::temp_directory_path() / "texture-fuzz-XXXXXX").string();
  if (!mkdtemp(pattern.data())) Fail("cannot make a temporary folder");
  fixture->folder = pattern;
  fixture->file = (fixture->folder / "leopard.jpg").string();
  std::atexit(RemoveFolder);

  fake_d3d9::Get().recording = false;
  fake_d3d9::Get().maxTextureSize = MAX_TEXTURE_SIDE;
  fixture->d3d = Direct3DCreate9(D3D_SDK_VERSION);
  D3DPRESENT_PARAMETERS params{};
  params.Windowed = TRUE;
  const HWND window = reinterpret_cast<HWND>(std::uintptr_t{0x1000});
  if (!fixture->d3d || FAILED(fixture->d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window,
                                                         D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                                                         &params, &fixture->device))) {
    Fail("cannot make the fake device");
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::FILE* out = std::fopen(fixture->file.c_str(), "wb");
  if (!out) Fail("cannot write the input file");
  const bool written = std::fwrite(data, 1, size, out) == size;
  if (std::fclose(out) != 0 || !written) Fail("cannot write the input file");

  const int liveBefore = fake_d3d9::LiveObjects();
  IDirect3DTexture9* const untouched = reinterpret_cast<IDirect3DTexture9*>(std::uintptr_t{0x5a5a});
  IDirect3DTexture9* texture = untouched;
  D3DSetLastFailureReason("");
  const HRESULT hr = D3DXCreateTextureFromFileA(fixture->device, fixture->file.c_str(), &texture);
  if (FAILED(hr)) {
    Check(texture == untouched, "a failed load changed the output");
    Check(*D3DGetLastFailureReason() != '\0', "a failed load gave no reason");
  } else {
    Check(texture != nullptr && texture != untouched, "a successful load gave no texture");
    CheckTexture(texture);
    texture->Release();
  }
  Check(fake_d3d9::LiveObjects() == liveBefore, "a texture outlived its release");
  return 0;
}
