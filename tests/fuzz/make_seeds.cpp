// Makes the fuzzers' seed corpora, so that none is kept as binary files:
// window-input records for drags, clicks and closes, and small images in the
// formats the texture loader reads (PNG, JPEG, BMP; RGB, RGBA, grey,
// odd sizes). Usage: make_seeds <dir>: writes <dir>/seeds/{window,texture}
// and leaves <dir>/corpus/{window,texture} empty for the fuzzers' finds.
#include <SDL.h>
#include <SDL_image.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/fuzz/window_input_records.h"

namespace {

namespace fs = std::filesystem;
using fuzz_input::Kind;
using fuzz_input::Record;

Record Event(Kind kind, int x, int y, std::uint8_t button = 0, std::uint8_t mask = 0,
             std::uint16_t timeStep = 16) {
  Record r;
  r.kind = static_cast<std::uint8_t>(kind);
  r.button = button;
  r.mask = mask;
  r.x = x;
  r.y = y;
  r.timeStep = timeStep;
  return r;
}

// A press at `from`, `steps` moves to `to` with the button's mask, a release.
std::vector<Record> Drag(std::uint8_t button, int fromX, int fromY, int toX, int toY, int steps) {
  const std::uint8_t mask = static_cast<std::uint8_t>(SDL_BUTTON(button));
  std::vector<Record> records{Event(Kind::Press, fromX, fromY, button)};
  for (int i = 1; i <= steps; ++i) {
    records.push_back(Event(Kind::Motion, fromX + (toX - fromX) * i / steps,
                            fromY + (toY - fromY) * i / steps, 0, mask));
  }
  records.push_back(Event(Kind::Release, toX, toY, button));
  return records;
}

void WriteFile(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

void WriteWindowSeed(const fs::path& dir, const char* name, std::uint8_t flags,
                     const std::vector<Record>& records) {
  std::vector<std::uint8_t> bytes;
  fuzz_input::EncodeHeader(bytes, fuzz_input::Header{flags, 100, 130});
  for (const Record& r : records) fuzz_input::EncodeRecord(bytes, r);
  WriteFile(dir / name, bytes);
}

void MakeWindowSeeds(const fs::path& dir) {
  WriteWindowSeed(dir, "left-drag", 0, Drag(SDL_BUTTON_LEFT, 300, 150, 450, 180, 24));
  WriteWindowSeed(dir, "right-drag", 0, Drag(SDL_BUTTON_RIGHT, 100, 100, 130, 70, 8));
  WriteWindowSeed(dir, "middle-drag", 0, Drag(SDL_BUTTON_MIDDLE, 100, 100, 160, 70, 8));
  // Outside the window while captured: negative and beyond 16 bits.
  WriteWindowSeed(dir, "left-drag-outside", 0, Drag(SDL_BUTTON_LEFT, 20, 20, -70000, 40000, 6));
  std::vector<Record> clicks = Drag(SDL_BUTTON_LEFT, 200, 100, 200, 100, 0);
  const std::vector<Record> second = Drag(SDL_BUTTON_LEFT, 201, 101, 201, 101, 0);
  clicks.insert(clicks.end(), second.begin(), second.end());
  WriteWindowSeed(dir, "double-click", fuzz_input::FLAG_DOUBLE_CLICKS, clicks);
  // A right press during a left drag, then the close request and a key.
  std::vector<Record> mixed = Drag(SDL_BUTTON_LEFT, 300, 150, 320, 160, 2);
  mixed.insert(mixed.begin() + 2, Event(Kind::Press, 310, 155, SDL_BUTTON_RIGHT));
  Record close = Event(Kind::Window, 0, 0);
  close.windowEvent = SDL_WINDOWEVENT_CLOSE;
  mixed.push_back(close);
  mixed.push_back(Event(Kind::Other, 0, 0));
  WriteWindowSeed(dir, "mixed-and-close", 0, mixed);
}

// A surface of the given pixel format filled with a simple gradient.
SDL_Surface* Gradient(int width, int height, Uint32 format) {
  SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, format);
  if (!surface) return nullptr;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const Uint32 pixel =
          SDL_MapRGBA(surface->format, Uint8(x * 255 / width), Uint8(y * 255 / height),
                      Uint8((x + y) * 40), Uint8(255 - x * 20));
      auto* row = static_cast<Uint8*>(surface->pixels) + y * surface->pitch;
      SDL_memcpy(row + x * 4, &pixel, 4);
    }
  }
  return surface;
}

bool MakeTextureSeeds(const fs::path& dir) {
  SDL_Surface* rgb = Gradient(5, 3, SDL_PIXELFORMAT_RGB888);
  SDL_Surface* rgba = Gradient(4, 4, SDL_PIXELFORMAT_RGBA8888);
  SDL_Surface* wide = Gradient(9, 2, SDL_PIXELFORMAT_RGB888);
  if (!rgb || !rgba || !wide) return false;
  const bool ok = IMG_SavePNG(rgb, (dir / "rgb.png").c_str()) == 0 &&
                  IMG_SavePNG(rgba, (dir / "rgba.png").c_str()) == 0 &&
                  IMG_SaveJPG(rgb, (dir / "rgb.jpg").c_str(), 85) == 0 &&
                  IMG_SaveJPG(wide, (dir / "wide.jpg").c_str(), 50) == 0 &&
                  SDL_SaveBMP(rgb, (dir / "rgb.bmp").c_str()) == 0 &&
                  SDL_SaveBMP(rgba, (dir / "rgba.bmp").c_str()) == 0;
  SDL_FreeSurface(rgb);
  SDL_FreeSurface(rgba);
  SDL_FreeSurface(wide);
  return ok;
}

void MakeEmptyDir(const fs::path& dir) {
  fs::remove_all(dir);
  fs::create_directories(dir);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_seeds <dir>\n");
    return 2;
  }
  const fs::path root = argv[1];
  for (const char* name : {"seeds/window", "seeds/texture", "corpus/window", "corpus/texture"}) {
    MakeEmptyDir(root / name);
  }
  MakeWindowSeeds(root / "seeds/window");
  if (!MakeTextureSeeds(root / "seeds/texture")) {
    std::fprintf(stderr, "make_seeds: cannot write the images: %s\n", SDL_GetError());
    return 1;
  }
  return 0;
}
