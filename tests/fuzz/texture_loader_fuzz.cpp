// The texture loader on arbitrary file bytes, through the fake device. A failed load must leave
// the output alone and give a reason; a successful one must make one texture, with power-of-two
// sides no larger than the device's 256, that its release frees. ASan checks that the loader
// writes only the texture's own memory.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/d3dx9/d3dx9.h"
#include "platform/shared/failure_reason.h"
#include "tests/fake/fake.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

const std::string file =
    std::filesystem::temp_directory_path() / ("texture-fuzz-" + std::to_string(getpid()));

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static IDirect3D9* const d3d = Direct3DCreate9(D3D_SDK_VERSION);
  static IDirect3DDevice9* device = nullptr;
  if (device == nullptr) {
    D3DPRESENT_PARAMETERS params{};
    d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, nullptr, 0, &params, &device);
    std::atexit([] { std::remove(file.c_str()); });
  }
  std::FILE* out = std::fopen(file.c_str(), "wb");
  std::fwrite(data, 1, size, out);
  std::fclose(out);
  fake::state.log.clear();
  SetLastFailureReason("");
  IDirect3DTexture9* texture = nullptr;
  if (FAILED(D3DXCreateTextureFromFileA(device, file.c_str(), &texture))) {
    Check(texture == nullptr && *GetLastFailureReason() != '\0');
    return 0;
  }
  Check(fake::state.log.size() == 1);  // CreateTexture: width, height, levels, ...
  for (const double side : {fake::state.log[0].second[0], fake::state.log[0].second[1]}) {
    const auto n = static_cast<unsigned>(side);
    Check(n > 0 && n <= 256 && (n & (n - 1)) == 0);
  }
  Check(texture->Release() == 0);
  return 0;
}
