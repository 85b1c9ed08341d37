// make_leopard: draws the viewer's texture, a 256 x 256 leopard-spot pattern
// (dark broken-ring rosettes around darker tawny centres, small solid spots,
// on a golden ground), and saves it as a JPEG. The pattern tiles seamlessly
// and is the same on every run (fixed seed, own integer-to-float mapping).
// Rerun from the repository root: build/tools/leopard/make_leopard leopard.jpg
#include <SDL.h>
#include <SDL_image.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>
#include <random>
#include <vector>

namespace {

constexpr int SIZE = 256;
constexpr int JPEG_QUALITY = 85;
constexpr std::uint32_t SEED = 20240611u;

struct Colour {
  float r, g, b;
};

constexpr Colour GROUND = {214.0f, 160.0f, 74.0f};        // golden tawny
constexpr Colour GROUND_PALE = {236.0f, 200.0f, 128.0f};  // paler patches
constexpr Colour CENTRE = {176.0f, 112.0f, 44.0f};        // darker tawny inside a rosette
constexpr Colour SPOT = {38.0f, 24.0f, 14.0f};            // near-black brown

// Uniform numbers in [0, 1) from the raw generator output, so that the
// image does not depend on how a standard library maps distributions.
class Random {
 public:
  explicit Random(std::uint32_t seed) : engine_(seed) {}
  float Next() { return static_cast<float>(engine_() >> 8) / 16777216.0f; }
  float Between(float lo, float hi) { return lo + (hi - lo) * Next(); }

 private:
  std::mt19937 engine_;
};

// A rosette: a ring of dark patches, broken at a few gaps, around a centre
// that is a little darker than the ground. The wobble terms make its outline
// irregular; `gaps` are angles where the ring is open.
struct Rosette {
  float x, y, radius;
  float wobblePhase[3];
  float breakPhase;  // where the ring's patches start
  int breakCount;    // how many patches the ring falls into
  float gapAngle[2];
};

struct Spot {
  float x, y, radius;
};

// Distance along one axis on the torus of side SIZE (the texture repeats).
float WrapDelta(float d) {
  if (d > SIZE / 2.0f) return d - SIZE;
  if (d < -SIZE / 2.0f) return d + SIZE;
  return d;
}

float AngleGap(float a, float b) {
  float d = std::fabs(a - b);
  d = std::fmod(d, 2.0f * std::numbers::pi_v<float>);
  return std::min(d, 2.0f * std::numbers::pi_v<float> - d);
}

// Rosettes on a jittered 5 x 5 grid, so that they are spread evenly but not
// in rows; small spots fill some of the space between them.
std::vector<Rosette> PlaceRosettes(Random& random) {
  std::vector<Rosette> rosettes;
  constexpr int GRID = 5;
  constexpr float CELL = static_cast<float>(SIZE) / GRID;
  for (int gy = 0; gy < GRID; ++gy) {
    for (int gx = 0; gx < GRID; ++gx) {
      Rosette r{};
      r.x = (gx + 0.5f) * CELL + random.Between(-0.22f, 0.22f) * CELL + (gy % 2) * CELL * 0.5f;
      r.y = (gy + 0.5f) * CELL + random.Between(-0.22f, 0.22f) * CELL;
      r.radius = random.Between(0.26f, 0.36f) * CELL;
      for (float& phase : r.wobblePhase) phase = random.Between(0.0f, 6.2832f);
      r.breakPhase = random.Between(0.0f, 6.2832f);
      r.breakCount = 3 + static_cast<int>(random.Next() * 3.0f);
      for (float& gap : r.gapAngle) gap = random.Between(0.0f, 6.2832f);
      rosettes.push_back(r);
    }
  }
  return rosettes;
}

std::vector<Spot> PlaceSpots(Random& random) {
  std::vector<Spot> spots;
  for (int i = 0; i < 70; ++i) {
    spots.push_back(
        {random.Between(0.0f, SIZE), random.Between(0.0f, SIZE), random.Between(1.6f, 3.6f)});
  }
  return spots;
}

// How dark (0..1) the rosette makes the point at offset (dx, dy) from its
// centre, and whether the point lies inside its centre patch.
float RosetteInk(const Rosette& r, float dx, float dy, bool& inCentre) {
  const float distance = std::sqrt(dx * dx + dy * dy);
  const float angle = std::atan2(dy, dx);
  const float wobble = 1.0f + 0.10f * std::sin(3.0f * angle + r.wobblePhase[0]) +
                       0.07f * std::sin(5.0f * angle + r.wobblePhase[1]) +
                       0.05f * std::sin(7.0f * angle + r.wobblePhase[2]);
  const float radius = r.radius * wobble;
  if (distance < radius * 0.78f) inCentre = true;
  // The ring is a band around `radius` that falls into `breakCount`
  // patches and is open at two gaps; each patch thins out towards its ends.
  const float patch = std::sin(r.breakCount * angle + r.breakPhase);
  float thickness = 0.46f * r.radius * std::clamp(0.55f + 0.9f * patch, 0.0f, 1.0f);
  for (float gapAngle : r.gapAngle) {
    thickness *= std::clamp(AngleGap(angle, gapAngle) / 0.5f, 0.0f, 1.0f);
  }
  const float edge = std::fabs(distance - radius) - thickness * 0.5f;
  return std::clamp(1.0f - edge / 1.2f, 0.0f, 1.0f);
}

Colour Mix(Colour a, Colour b, float t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

// Low-frequency variation of the ground, periodic over the tile.
float GroundShade(float x, float y) {
  constexpr float K = 2.0f * std::numbers::pi_v<float> / SIZE;
  return 0.5f + 0.25f * std::sin(2.0f * K * x + 1.3f) * std::sin(3.0f * K * y + 0.4f) +
         0.25f * std::sin(5.0f * K * (x + y) + 2.1f);
}

Colour PixelColour(float x, float y, const std::vector<Rosette>& rosettes,
                   const std::vector<Spot>& spots) {
  Colour colour = Mix(GROUND, GROUND_PALE, 0.35f * GroundShade(x, y));
  float ink = 0.0f;
  for (const Rosette& r : rosettes) {
    const float dx = WrapDelta(x - r.x);
    const float dy = WrapDelta(y - r.y);
    if (std::fabs(dx) > 1.6f * r.radius || std::fabs(dy) > 1.6f * r.radius) continue;
    bool inCentre = false;
    ink = std::max(ink, RosetteInk(r, dx, dy, inCentre));
    if (inCentre) colour = Mix(colour, CENTRE, 0.75f);
  }
  for (const Spot& s : spots) {
    const float dx = WrapDelta(x - s.x);
    const float dy = WrapDelta(y - s.y);
    // Slightly oval, so that the small spots do not look punched.
    const float edge = std::sqrt(dx * dx + 1.6f * dy * dy) - s.radius;
    ink = std::max(ink, std::clamp(1.0f - edge / 1.2f, 0.0f, 1.0f));
  }
  return Mix(colour, SPOT, ink);
}

// Fills an RGB24 surface; `pitch` bytes per row.
void Paint(std::uint8_t* pixels, int pitch) {
  Random random(SEED);
  const std::vector<Rosette> rosettes = PlaceRosettes(random);
  std::vector<Spot> spots = PlaceSpots(random);
  // Keep the small spots out of the rosettes so that the rings stay open.
  std::erase_if(spots, [&](const Spot& s) {
    return std::any_of(rosettes.begin(), rosettes.end(), [&](const Rosette& r) {
      const float dx = WrapDelta(s.x - r.x);
      const float dy = WrapDelta(s.y - r.y);
      return std::sqrt(dx * dx + dy * dy) < 1.35f * r.radius;
    });
  });
  for (int y = 0; y < SIZE; ++y) {
    for (int x = 0; x < SIZE; ++x) {
      const Colour c = PixelColour(x + 0.5f, y + 0.5f, rosettes, spots);
      std::uint8_t* p = pixels + y * pitch + x * 3;
      p[0] = static_cast<std::uint8_t>(std::clamp(c.r, 0.0f, 255.0f));
      p[1] = static_cast<std::uint8_t>(std::clamp(c.g, 0.0f, 255.0f));
      p[2] = static_cast<std::uint8_t>(std::clamp(c.b, 0.0f, 255.0f));
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT.jpg\n", argv[0]);
    return 2;
  }
  SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormat(0, SIZE, SIZE, 24, SDL_PIXELFORMAT_RGB24);
  if (surface == nullptr) {
    std::fprintf(stderr, "make_leopard: cannot make a surface: %s\n", SDL_GetError());
    return 1;
  }
  Paint(static_cast<std::uint8_t*>(surface->pixels), surface->pitch);
  const int saved = IMG_SaveJPG(surface, argv[1], JPEG_QUALITY);
  SDL_FreeSurface(surface);
  if (saved != 0) {
    std::fprintf(stderr, "make_leopard: cannot write %s: %s\n", argv[1], IMG_GetError());
    return 1;
  }
  return 0;
}
