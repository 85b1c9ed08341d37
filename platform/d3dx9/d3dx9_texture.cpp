// D3DXCreateTextureFromFileA: reads a JPEG file, checks the size its
// header claims before anything is decoded, decodes it with SDL2_image,
// stretches it to power-of-two sides with a triangle filter
// (clamped to the device's largest texture) and fills one mip level of a new
// texture through the device's own CreateTexture and LockRect.
#include <SDL.h>
#include <SDL_image.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "platform/d3dx9/d3dx9.h"
#include "platform/shared/failure_reason.h"

namespace {

// The code D3DX documents for a file it cannot make an image of.
constexpr HRESULT D3DXERR_INVALIDDATA = MAKE_D3DHRESULT(2905);

// Bounds on what is read and decoded, checked before any large allocation.
constexpr std::uintmax_t MAX_FILE_BYTES = 256u << 20;
constexpr std::uint64_t MAX_IMAGE_PIXELS = std::uint64_t{1} << 25;  // 128 MiB as 32-bit texels
// A longer side only costs filter tables: shrinking it to the device's limit
// would take hundreds of MiB for nothing a texture can show.
constexpr std::uint32_t MAX_IMAGE_SIDE = 65536;

// The image size a JPEG's frame header gives.
struct ImageHeader {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
};

// Pixels as 0xXXRRGGBB, rows top first.
struct Image {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<std::uint32_t> pixels;
};

HRESULT Refuse(HRESULT result, const std::string& path, const char* why) {
  const std::string reason = path + ": " + why;
  SetLastFailureReason(reason.c_str());
  return result;
}

// Sets *why and reports failure.
bool Explain(const char** why, const char* text) {
  *why = text;
  return false;
}

// A backslash separates directories, as on Windows: "..\leopard.jpg".
std::string NativePath(const char* name) {
  std::string path(name);
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

// Reads the whole regular file; *why says what went wrong otherwise. A file
// over the limit is refused by its size, before anything is read (a sparse
// file can claim gigabytes it never stored). The reading stays bounded too,
// for a file that grows meanwhile.
bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>* bytes, const char** why) {
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  if (status.type() == std::filesystem::file_type::not_found) return Explain(why, "no such file");
  if (error) return Explain(why, "cannot be examined");
  if (status.type() == std::filesystem::file_type::directory) return Explain(why, "is a directory");
  if (status.type() != std::filesystem::file_type::regular) {
    return Explain(why, "is not a regular file");
  }
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  if (!error && size > MAX_FILE_BYTES) return Explain(why, "is too large to hold");
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return Explain(why, std::strerror(errno));
  bytes->clear();
  std::uint8_t chunk[65536];
  std::size_t got = 0;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0 && bytes->size() <= MAX_FILE_BYTES) {
    bytes->insert(bytes->end(), chunk, chunk + got);
  }
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) return Explain(why, "cannot be read");
  if (bytes->empty()) return Explain(why, "is empty");
  if (bytes->size() > MAX_FILE_BYTES) return Explain(why, "is too large to hold");
  return true;
}

std::uint32_t Be16(const std::uint8_t* p) { return (p[0] << 8) | p[1]; }

// Walks the JPEG markers up to the first frame header (SOFn), which holds the size.
bool JpegHeader(const std::vector<std::uint8_t>& b, ImageHeader* h) {
  const std::size_t n = b.size();
  if (n < 4 || b[0] != 0xFF || b[1] != 0xD8) return false;
  std::size_t i = 2;
  while (i + 4 <= n) {
    if (b[i] != 0xFF) return false;
    const std::uint8_t marker = b[i + 1];
    i += 2;
    if (marker == 0xFF) {  // fill byte
      --i;
      continue;
    }
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) continue;  // no length
    if (marker == 0xD9 || marker == 0xDA) return false;  // image ends or data begins first
    const std::size_t length = Be16(b.data() + i);
    const bool frame =
        marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (frame) {
      if (i + 7 > n) return false;
      *h = {Be16(b.data() + i + 5), Be16(b.data() + i + 3)};
      return true;
    }
    if (length < 2) return false;
    i += length;
  }
  return false;
}

// Recognises a JPEG and the size its header claims, and checks that size
// before anything is decoded. The viewer's texture is a JPEG, and JPEG is the
// one format read: no other decoder is reachable from a file's contents.
bool ReadHeader(const std::vector<std::uint8_t>& bytes, ImageHeader* header, const char** why) {
  if (!JpegHeader(bytes, header)) return Explain(why, "is not a readable JPEG image");
  if (header->width == 0 || header->height == 0) return Explain(why, "holds an empty image");
  // Only the pixel count matters: a long, thin image is stretched down to the
  // device's limit like any other.
  if (header->width > MAX_IMAGE_SIDE || header->height > MAX_IMAGE_SIDE ||
      std::uint64_t{header->width} * header->height > MAX_IMAGE_PIXELS) {
    return Explain(why, "claims an image too large to hold");
  }
  return true;
}

// SDL_image reads a CMYK JPEG as four channels that land, once converted to
// ARGB, as A = K, R = Y, G = M, B = C. The values are stored inverted (the
// usual Adobe form), so R = C * K / 255, G = M * K / 255, B = Y * K / 255.
void FlattenCmyk(Image* image) {
  for (std::uint32_t& p : image->pixels) {
    const std::uint32_t k = p >> 24;
    const auto scaled = [&](int shift) { return (((p >> shift) & 0xFFu) * k + 127) / 255; };
    p = 0xFF000000u | (scaled(0) << 16) | (scaled(8) << 8) | scaled(16);
  }
}

// Copies an ARGB8888 surface into image, if its size is one the header allows.
bool CopySurface(SDL_Surface* argb, const ImageHeader& header, Image* image) {
  if (argb->w <= 0 || argb->h <= 0 || static_cast<std::uint32_t>(argb->w) > header.width ||
      static_cast<std::uint32_t>(argb->h) > header.height) {
    return false;
  }
  image->width = static_cast<std::uint32_t>(argb->w);
  image->height = static_cast<std::uint32_t>(argb->h);
  image->pixels.resize(std::size_t{image->width} * image->height);
  SDL_LockSurface(argb);
  for (std::uint32_t y = 0; y < image->height; ++y) {
    std::memcpy(image->pixels.data() + std::size_t{y} * image->width,
                static_cast<const std::uint8_t*>(argb->pixels) + std::size_t{y} * argb->pitch,
                std::size_t{4} * image->width);
  }
  SDL_UnlockSurface(argb);
  return true;
}

// Decodes the JPEG in bytes into pixels. The JPEG decoder is called by name:
// IMG_Load_RW would sniff the content again and may hand a damaged JPEG to
// another decoder, such as the SVG one, which leaks.
bool Decode(const std::vector<std::uint8_t>& bytes, const ImageHeader& header, Image* image,
            const char** why) {
  SDL_RWops* source = SDL_RWFromConstMem(bytes.data(), static_cast<int>(bytes.size()));
  if (source == nullptr) return Explain(why, "cannot be decoded");
  SDL_Surface* decoded = IMG_LoadJPG_RW(source);
  SDL_RWclose(source);
  if (decoded == nullptr) return Explain(why, "cannot be decoded");
  const bool cmyk = decoded->format->Amask != 0;  // a JPEG has no alpha: four channels are CMYK
  SDL_Surface* argb = SDL_ConvertSurfaceFormat(decoded, SDL_PIXELFORMAT_ARGB8888, 0);
  SDL_FreeSurface(decoded);
  if (argb == nullptr) return Explain(why, "cannot be converted");
  const bool copied = CopySurface(argb, header, image);
  SDL_FreeSurface(argb);
  if (!copied) return Explain(why, "decodes to a size its header does not claim");
  if (cmyk) FlattenCmyk(image);
  return true;
}

// ---- Triangle-filter resampling ---------------------------------------------------
struct Tap {
  std::uint32_t index;
  float weight;
};

// For each of `to` samples, the `from` samples a tent filter weighs in. The
// tent is one source texel wide when enlarging and one destination texel wide
// when reducing; samples off the edge wrap, as D3DX's filter does by default.
std::vector<std::vector<Tap>> TentTaps(std::uint32_t from, std::uint32_t to) {
  std::vector<std::vector<Tap>> taps(to);
  const double scale = static_cast<double>(from) / to;
  const double radius = std::max(1.0, scale);
  for (std::uint32_t i = 0; i < to; ++i) {
    const double centre = (i + 0.5) * scale - 0.5;
    double total = 0.0;
    for (auto j = static_cast<std::int64_t>(std::ceil(centre - radius));
         j <= static_cast<std::int64_t>(std::floor(centre + radius)); ++j) {
      const double weight = 1.0 - std::fabs(static_cast<double>(j) - centre) / radius;
      if (weight <= 0.0) continue;
      const std::int64_t wrapped = ((j % from) + from) % from;
      taps[i].push_back({static_cast<std::uint32_t>(wrapped), static_cast<float>(weight)});
      total += weight;
    }
    for (Tap& tap : taps[i]) tap.weight = static_cast<float>(tap.weight / total);
  }
  return taps;
}

// Filters each new row down from the source rows its taps name, then across.
// Whatever the two scales, the work stays within a few passes over the source
// and the memory within one source row.
Image Resample(const Image& image, std::uint32_t width, std::uint32_t height) {
  Image out{width, height, {}};
  out.pixels.resize(std::size_t{width} * height);
  const auto across = TentTaps(image.width, width);
  const auto down = TentTaps(image.height, height);
  std::vector<float> column(std::size_t{4} * image.width);  // 4 floats a source texel
  for (std::uint32_t y = 0; y < height; ++y) {
    std::fill(column.begin(), column.end(), 0.0f);
    for (const Tap& tap : down[y]) {
      const std::uint32_t* row = image.pixels.data() + std::size_t{tap.index} * image.width;
      for (std::size_t i = 0; i < column.size(); ++i) {
        column[i] += tap.weight * static_cast<float>((row[i / 4] >> (8 * (i % 4))) & 0xFFu);
      }
    }
    for (std::uint32_t x = 0; x < width; ++x) {
      std::uint32_t p = 0;
      for (int c = 0; c < 4; ++c) {
        float sum = 0.0f;
        for (const Tap& tap : across[x]) sum += tap.weight * column[4 * tap.index + c];
        // Weights are positive and sum to one: round by adding a half.
        p |= static_cast<std::uint32_t>(std::min(sum, 255.0f) + 0.5f) << (8 * c);
      }
      out.pixels[std::size_t{y} * width + x] = p;
    }
  }
  return out;
}

std::uint32_t PowerOfTwoAtLeast(std::uint32_t n) {
  std::uint32_t p = 1;
  while (p < n) p <<= 1;
  return p;
}

// Makes the texture and fills its only level from image.
HRESULT FillTexture(IDirect3DDevice9* device, const Image& image, IDirect3DTexture9** texture) {
  IDirect3DTexture9* made = nullptr;
  HRESULT result = device->CreateTexture(image.width, image.height, 1, 0, D3DFMT_X8R8G8B8,
                                         D3DPOOL_MANAGED, &made, nullptr);
  if (FAILED(result)) return result;
  D3DLOCKED_RECT locked{};
  result = made->LockRect(0, &locked, nullptr, 0);
  if (SUCCEEDED(result)) {
    for (std::uint32_t y = 0; y < image.height; ++y) {
      auto* row = reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(locked.pBits) +
                                                   std::size_t{y} * locked.Pitch);
      const std::uint32_t* from = image.pixels.data() + std::size_t{y} * image.width;
      for (std::uint32_t x = 0; x < image.width; ++x) {
        row[x] = from[x] | 0xFF000000u;
      }
    }
    result = made->UnlockRect(0);
  }
  if (FAILED(result)) {
    made->Release();
    return result;
  }
  *texture = made;
  return D3D_OK;
}

}  // namespace

namespace {

// The loader proper; may throw std::bad_alloc for an image that fits the
// limits above but not the memory left.
HRESULT LoadTexture(IDirect3DDevice9* device, const std::string& path,
                    IDirect3DTexture9** texture) {
  std::vector<std::uint8_t> bytes;
  ImageHeader header;
  Image image;
  const char* why = "";
  if (!ReadWholeFile(path, &bytes, &why)) return Refuse(D3DERR_INVALIDCALL, path, why);
  if (!ReadHeader(bytes, &header, &why)) return Refuse(D3DXERR_INVALIDDATA, path, why);
  if (!Decode(bytes, header, &image, &why)) return Refuse(D3DXERR_INVALIDDATA, path, why);
  bytes = {};
  D3DCAPS9 caps{};
  if (FAILED(device->GetDeviceCaps(&caps)) || caps.MaxTextureWidth == 0 ||
      caps.MaxTextureHeight == 0) {
    return Refuse(D3DERR_INVALIDCALL, path, "the device reports no texture size");
  }
  // Power-of-two sides, as D3DX's default sizes are, then no larger than the device takes.
  const std::uint32_t width = std::min(PowerOfTwoAtLeast(image.width), caps.MaxTextureWidth);
  const std::uint32_t height = std::min(PowerOfTwoAtLeast(image.height), caps.MaxTextureHeight);
  if (width != image.width || height != image.height) image = Resample(image, width, height);
  const HRESULT result = FillTexture(device, image, texture);
  if (FAILED(result)) return Refuse(result, path, "the device refused the texture");
  return D3D_OK;
}

}  // namespace

HRESULT D3DXCreateTextureFromFileA(IDirect3DDevice9* device, LPCSTR fileName,
                                   IDirect3DTexture9** texture) {
  if (device == nullptr || fileName == nullptr || texture == nullptr) {
    SetLastFailureReason("D3DXCreateTextureFromFileA: missing argument");
    return D3DERR_INVALIDCALL;
  }
  const std::string path = NativePath(fileName);
  try {
    return LoadTexture(device, path, texture);
  } catch (const std::bad_alloc&) {
    return Refuse(E_OUTOFMEMORY, path, "not enough memory to load it");
  }
}
