// Measures how far the arcball's orientation drifts from unit length over
// many random drags (nothing renormalises it). Prints the largest and the
// final deviation of |orientation| from 1 after 1e5, 1e6 and 1e7 drags.
// Run: build/bench/arcball/arcball_drift [seed]
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "arcball/arcball.h"

namespace {

constexpr long REPORT_AT[] = {100000, 1000000, 10000000};

// |q| - 1 in double precision.
double LengthError(const D3DXQUATERNION& q) {
  const double x = q.x, y = q.y, z = q.z, w = q.w;
  return std::sqrt(x * x + y * y + z * z + w * w) - 1.0;
}

// One drag: a press inside the 600 x 300 ball, 1 to 6 moves anywhere around
// it (captured moves may leave the window), a release.
void RandomDrag(ArcballControl& ball, std::mt19937& random) {
  ball.StartRotation(static_cast<int>(random() % 600), static_cast<int>(random() % 300));
  const int moves = 1 + static_cast<int>(random() % 6);
  for (int i = 0; i < moves; ++i) {
    ball.ContinueRotation(-300 + static_cast<int>(random() % 1201),
                          -300 + static_cast<int>(random() % 901));
  }
  ball.StopRotation();
}

}  // namespace

int main(int argc, char** argv) {
  const unsigned seed = argc > 1 ? static_cast<unsigned>(std::strtoul(argv[1], nullptr, 10)) : 1u;
  std::mt19937 random(seed);
  ArcballControl ball;
  ball.Resize(600, 300, 0.9f);
  double worst = 0.0;
  long drags = 0;
  std::printf("seed %u\n", seed);
  for (const long target : REPORT_AT) {
    for (; drags < target; ++drags) {
      RandomDrag(ball, random);
      worst = std::max(worst, std::fabs(LengthError(ball.Orientation())));
    }
    std::printf("%8ld drags: largest | |q| - 1 | = %.3g, final |q| - 1 = %.3g\n", drags, worst,
                LengthError(ball.Orientation()));
  }
  return 0;
}
