// The arcball driven by mouse messages, its four window calls answered by the stub below. The
// ball fills the 600 x 300 foreground client area: centre (300, 150), half axes 270 and 135.
#include "arcball/arcball.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

static const auto WINDOW = reinterpret_cast<HWND>(2);
static std::string captures;  // "s" for each SetCapture(WINDOW), "r" for each ReleaseCapture

HWND GetForegroundWindow() { return reinterpret_cast<HWND>(1); }
BOOL GetClientRect(HWND, RECT* rect) {
  *rect = RECT{0, 0, 600, 300};
  return TRUE;
}
HWND SetCapture(HWND window) {
  captures += window == WINDOW ? "s" : "?";
  return nullptr;
}
BOOL ReleaseCapture() {
  captures += "r";
  return TRUE;
}

namespace {

constexpr UINT MV = WM_MOUSEMOVE, LD = WM_LBUTTONDOWN, LU = WM_LBUTTONUP, RD = WM_RBUTTONDOWN;
constexpr WPARAM L = MK_LBUTTON, R = MK_RBUTTON, M = MK_MBUTTON;
constexpr float S60 = 0.8660254f, H = 0.7071068f;  // sin 60 and sin 45 degrees

struct Step {
  UINT message;
  int x, y;
  WPARAM buttons = 0;
};

// The orientation, and where the model's near point (0, 0, -1) goes: p * rotation.
struct Turn {
  std::vector<float> q, near;
};
const Turn NONE{{0, 0, 0, 1}, {0, 0, -1}};
// bx = -(435 - 300) / 270 = -0.5, z = sin 60: twice the 30-degree arc, about -y.
const Turn RIGHT{{0, -0.5f, 0, S60}, {S60, 0, -0.5f}};
// The half turn about x after RIGHT: (1, 0, 0, 0) (0, -0.5, 0, S60); y and z of RIGHT's near point
// change sign.
const Turn RIGHT_UP{{S60, 0, -0.5f, 0}, {S60, 0, 0.5f}};

LRESULT Send(ArcballControl& ball, const Step& s) {
  return ball.HandleMouse(WINDOW, s.message, s.buttons, MAKELPARAM(s.x, s.y));
}

void ExpectNear(const std::vector<float>& expected, const float* actual, const char* what) {
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_NEAR(expected[i], actual[i], 1e-5f) << what << " [" << i << "]";
  }
}

// The translation is the identity with the offset in its fourth row.
void ExpectOffset(ArcballControl& ball, const D3DVECTOR& o) {
  const std::vector<float> pure = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, o.x, o.y, o.z, 1};
  ExpectNear(pure, &ball.TranslationMatrix()->m[0][0], "translation");
}

TEST(Arcball, DragsTurnAndMoveTheModel) {
  // A right drag moves 2/600 per pixel right and 2/300 per pixel up, a middle drag 5/300 along z
  // per pixel up.
  const struct {
    std::vector<Step> steps;
    Turn turn;
    D3DVECTOR offset{};
    bool dragging = false;
  } drags[] = {
      // Every move measures from the press.
      {{{LD, 300, 150}, {MV, 100, 40, L}, {MV, 435, 150, L}}, RIGHT, {}, true},
      {{{LD, 300, 150}, {LU, 0, 0}, {MV, 300, -200, L}}, NONE},
      // Far above, pulled onto the rim at (0, -1, 0): half a turn about x.
      {{{LD, 300, 150}, {MV, 300, -200, L}}, {{1, 0, 0, 0}, {0, 0, 1}}, {}, true},
      // (10/9, -10/9) lies outside the ball: scaled onto its rim at (H, -H, 0).
      {{{LD, 0, 0}, {MV, 300, 150, L}}, {{-H, -H, 0, 0}, {0, 0, 1}}, {}, true},
      // From (-0.5, 0, S60) to the rim at (0, 1, 0): half a turn about (-S60, 0, -0.5).
      {{{LD, 435, 150}, {MV, 300, 285, L}}, {{-S60, 0, -0.5f, 0}, {-S60, 0, 0.5f}}, {}, true},
      // A second press starts from the orientation the first drag left.
      {{{LD, 300, 150}, {MV, 435, 150, L}, {LD, 300, 150}, {MV, 300, 0, L}}, RIGHT_UP, {}, true},
      // Right and bottom edges lie outside; a press outside leaves a running drag alone.
      {{{LD, 600, 100}, {LD, 100, 300}, {MV, 435, 150, L}}, NONE},
      {{{LD, 300, 150}, {LD, 700, 150}, {MV, 435, 150, L}}, RIGHT, {}, true},
      {{{LD, 300, 150}, {WM_RBUTTONUP, 0, 0}, {MV, 435, 150, L}}, RIGHT, {}, true},
      // With the left button down moves only turn, and leave no point for a pan to measure from.
      {{{LD, 300, 150}, {MV, 435, 150, L | R}, {MV, 30, 30, R}}, RIGHT, {}, true},
      // Right and middle pan; then 140 pixels left of (130, 70), to x = -10.
      {{{RD, 100, 100}, {MV, 130, 70, R | M}, {MV, -10, 100, R}}, NONE, {-11 / 30.0f, 0, 0}},
      // A move before any press measures from itself.
      {{{MV, 400, 10, M}, {WM_MBUTTONDOWN, 100, 100}, {MV, 160, 70, M}}, NONE, {0, 0, 0.5f}},
  };
  for (const auto& drag : drags) {
    SCOPED_TRACE(testing::Message() << "drag " << &drag - drags);
    ArcballControl ball;
    for (const Step& step : drag.steps) Send(ball, step);
    ExpectNear(drag.turn.q, &ball.Orientation().x, "q");
    const D3DXMATRIX& m = *ball.RotationMatrix();
    const float near[3] = {m(3, 0) - m(2, 0), m(3, 1) - m(2, 1), m(3, 2) - m(2, 2)};
    ExpectNear(drag.turn.near, near, "near");
    ExpectOffset(ball, drag.offset);
    EXPECT_EQ(drag.dragging, ball.Dragging());
  }
}

TEST(Arcball, AnswersTheMouseMessagesAndNoOthers) {
  // Each message at (300, 150) to a new ball, then a right-button move to (330, 120), which pans
  // by (0.1, 0.2) after a right or middle press and by nothing otherwise.
  const struct {
    UINT message;
    LRESULT result;
    const char* captures;
    bool dragging, pans;
  } messages[] = {
      {WM_MOUSEMOVE, 1, "", false, false},     {WM_LBUTTONDOWN, 1, "s", true, false},
      {WM_LBUTTONUP, 1, "r", false, false},    {WM_RBUTTONDOWN, 1, "s", false, true},
      {WM_RBUTTONUP, 1, "r", false, false},    {WM_MBUTTONDOWN, 1, "s", false, true},
      {WM_MBUTTONUP, 1, "r", false, false},    {WM_MOUSEWHEEL, 0, "", false, false},
      {WM_DESTROY, 0, "", false, false},       {0x10201, 0, "", false, false},
  };
  for (const auto& m : messages) {
    SCOPED_TRACE(testing::Message() << std::hex << m.message);
    ArcballControl ball;
    captures.clear();
    EXPECT_EQ(m.result, Send(ball, {m.message, 300, 150}));
    EXPECT_EQ(m.captures, captures);
    EXPECT_EQ(m.dragging, ball.Dragging());
    Send(ball, {MV, 330, 120, R});
    ExpectOffset(ball, m.pans ? D3DVECTOR{0.1f, 0.2f, 0} : D3DVECTOR{});
  }
}

}  // namespace
