// Input storm: HandleMouse driven by 100,000 random messages with random
// numbers, button flags and coordinates over the whole 16-bit range (half of
// the points near the 600 x 300 ball so that drags really start). Checks the
// results, that other messages change nothing, and that the matrices stay finite.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>

#include "tests/arcball/arcball_test_support.h"

namespace arcball_test {
namespace {

constexpr int MESSAGE_COUNT = 100000;
constexpr std::uint32_t SEED = 20240611;

// A random message: mostly near the mouse range, sometimes any 32-bit number.
UINT RandomMessage(std::mt19937& random) {
  if (random() % 5 == 0) {
    return static_cast<UINT>(random());
  }
  return 0x01FE + static_cast<UINT>(random() % 14);  // 0x1FE .. 0x20B
}

// A random packed point: half anywhere in 16 bits, half around the ball.
LPARAM RandomPoint(std::mt19937& random) {
  if (random() % 2 == 0) {
    return static_cast<LPARAM>(random());
  }
  const int x = -50 + static_cast<int>(random() % 701);
  const int y = -50 + static_cast<int>(random() % 401);
  return MAKELPARAM(x, y);
}

bool AllFinite(const D3DXMATRIX& m) {
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      if (!std::isfinite(m(r, c))) return false;
    }
  }
  return true;
}

// What a message outside 0x200..0x209 must leave untouched.
struct Snapshot {
  D3DXQUATERNION orientation;
  D3DXMATRIX translation;
  POINT lastMouse;
  bool dragging;
  int setCaptureCalls;
  int releaseCaptureCalls;

  static Snapshot Of(ArcballControl& ball) {
    const fake_win32::State& fake = fake_win32::Get();
    return Snapshot{ball.Orientation(), *ball.TranslationMatrix(), ball.LastMouse(),
                    ball.Dragging(),    fake.setCaptureCalls,      fake.releaseCaptureCalls};
  }

  bool operator==(const Snapshot& other) const {
    const auto& a = orientation;
    const auto& b = other.orientation;
    bool same = a.x == b.x && a.y == b.y && a.z == b.z && a.w == b.w;
    for (int r = 0; r < 4; ++r) {
      for (int c = 0; c < 4; ++c) {
        same = same && translation(r, c) == other.translation(r, c);
      }
    }
    return same && lastMouse.x == other.lastMouse.x && lastMouse.y == other.lastMouse.y &&
           dragging == other.dragging && setCaptureCalls == other.setCaptureCalls &&
           releaseCaptureCalls == other.releaseCaptureCalls;
  }
};

using InputStorm = FakeWindowTest;

TEST_F(InputStorm, RandomMessagesKeepResultsExactAndMatricesFinite) {
  ArcballControl ball = ViewerBall();
  std::mt19937 random(SEED);
  int mouseMessages = 0, drags = 0, translatingMoves = 0;
  float worstNormError = 0.0f;
  for (int i = 0; i < MESSAGE_COUNT; ++i) {
    const UINT message = RandomMessage(random);
    const WPARAM buttons = static_cast<WPARAM>(random());
    const LPARAM point = RandomPoint(random);
    const bool mouse = message >= WM_MOUSEMOVE && message <= WM_MBUTTONDBLCLK;
    const Snapshot before = Snapshot::Of(ball);

    const LRESULT result = ball.HandleMouse(Window(), message, buttons, point);

    ASSERT_EQ(mouse ? 1 : 0, result) << "message " << i << ": 0x" << std::hex << message;
    if (!mouse) {
      ASSERT_TRUE(before == Snapshot::Of(ball)) << "message " << i << " changed the state";
    }
    ASSERT_TRUE(AllFinite(*ball.RotationMatrix())) << "message " << i;
    ASSERT_TRUE(AllFinite(*ball.TranslationMatrix())) << "message " << i;
    const D3DXQUATERNION& q = ball.Orientation();
    const float norm = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
    worstNormError = std::max(worstNormError, std::fabs(norm - 1.0f));

    mouseMessages += mouse ? 1 : 0;
    drags += !before.dragging && ball.Dragging() ? 1 : 0;
    const bool translating = message == WM_MOUSEMOVE && (buttons & MK_LBUTTON) == 0 &&
                             (buttons & (MK_RBUTTON | MK_MBUTTON)) != 0;
    translatingMoves += translating ? 1 : 0;
  }
  // The storm really exercised turning and moving, and the translation stayed pure.
  EXPECT_GT(mouseMessages, MESSAGE_COUNT / 2);
  EXPECT_GT(drags, 100);
  EXPECT_GT(translatingMoves, 1000);
  ExpectTranslation(ball.TranslationMatrix()->m[3][0], ball.TranslationMatrix()->m[3][1],
                    ball.TranslationMatrix()->m[3][2], *ball.TranslationMatrix());
  EXPECT_LT(worstNormError, 1e-3f);
}

}  // namespace
}  // namespace arcball_test
