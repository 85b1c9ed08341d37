// Tests of ArcballControl::HandleMouse: pan and dolly steps, button
// precedence, capture calls, results and coordinate unpacking. The ball is
// 600 x 300 with moveRadius 1: a right drag moves 2/600 along x per pixel to
// the right and 2/300 along y per pixel up; a middle drag 5/300 along z per
// pixel up.
#include "tests/arcball/arcball_test_support.h"

namespace arcball_test {
namespace {

class HandleMouse : public FakeWindowTest {
 protected:
  LRESULT Send(UINT message, int x, int y, WPARAM buttons = 0) {
    return ball.HandleMouse(Window(), message, buttons, MAKELPARAM(x, y));
  }

  ArcballControl ball = ViewerBall();
};

// ---- Pan and dolly ------------------------------------------------------------------

TEST_F(HandleMouse, RightDragPansAlongXAndYStepByStep) {
  Send(WM_RBUTTONDOWN, 100, 100);
  Send(WM_MOUSEMOVE, 130, 70, MK_RBUTTON);
  // dx = (100 - 130) / 600 = -0.05, dy = (100 - 70) / 300 = 0.1: step (-2 dx, 2 dy, 0).
  ExpectTranslation(0.1f, 0.2f, 0.0f, *ball.TranslationMatrix());
  EXPECT_EQ(130, ball.LastMouse().x);
  EXPECT_EQ(70, ball.LastMouse().y);
  Send(WM_MOUSEMOVE, 190, 100, MK_RBUTTON);
  // Second step: 60 pixels right (+0.2), 30 pixels down (-0.2).
  ExpectTranslation(0.3f, 0.0f, 0.0f, *ball.TranslationMatrix());
}

TEST_F(HandleMouse, MiddleDragDolliesAlongZAndIgnoresHorizontalMotion) {
  Send(WM_MBUTTONDOWN, 100, 100);
  Send(WM_MOUSEMOVE, 160, 70, MK_MBUTTON);
  // 5 * (100 - 70) / 300 = 0.5.
  ExpectTranslation(0.0f, 0.0f, 0.5f, *ball.TranslationMatrix());
  Send(WM_MOUSEMOVE, 100, 130, MK_MBUTTON);
  ExpectTranslation(0.0f, 0.0f, -0.5f, *ball.TranslationMatrix());
}

TEST_F(HandleMouse, RightAndMiddleTogetherPanOnly) {
  Send(WM_RBUTTONDOWN, 100, 100);
  Send(WM_MOUSEMOVE, 130, 70, MK_RBUTTON | MK_MBUTTON);
  ExpectTranslation(0.1f, 0.2f, 0.0f, *ball.TranslationMatrix());
}

TEST_F(HandleMouse, FirstPanOrDollyMoveWithoutAPressDoesNotJump) {
  Send(WM_MOUSEMOVE, 130, 70, MK_RBUTTON);
  ExpectTranslation(0.0f, 0.0f, 0.0f, *ball.TranslationMatrix());
  EXPECT_EQ(130, ball.LastMouse().x);
  EXPECT_EQ(70, ball.LastMouse().y);
  Send(WM_MOUSEMOVE, 160, 40, MK_RBUTTON);
  ExpectTranslation(0.1f, 0.2f, 0.0f, *ball.TranslationMatrix());
  // Nor does a first dolly move.
  ArcballControl fresh = ViewerBall();
  fresh.HandleMouse(Window(), WM_MOUSEMOVE, MK_MBUTTON, MAKELPARAM(400, 10));
  ExpectTranslation(0.0f, 0.0f, 0.0f, *fresh.TranslationMatrix());
}

TEST_F(HandleMouse, TranslatingMoveAfterALeftDragMeasuresFromTheLastRightPress) {
  Send(WM_RBUTTONDOWN, 100, 100);
  Send(WM_RBUTTONUP, 100, 100);
  Send(WM_LBUTTONDOWN, 300, 150);
  Send(WM_MOUSEMOVE, 200, 200, MK_LBUTTON);
  Send(WM_LBUTTONUP, 200, 200);
  Send(WM_MOUSEMOVE, 130, 70, MK_RBUTTON);
  ExpectTranslation(0.1f, 0.2f, 0.0f, *ball.TranslationMatrix());
}

// ---- Button precedence ------------------------------------------------------------------

TEST_F(HandleMouse, LeftButtonOnAMoveOnlyTurns) {
  Send(WM_RBUTTONDOWN, 100, 100);
  Send(WM_LBUTTONDOWN, 300, 150);
  Send(WM_MOUSEMOVE, 435, 150, MK_LBUTTON | MK_RBUTTON);
  ExpectQuaternionNear(D3DXQUATERNION(0, -0.5f, 0, SIN_60), ball.Orientation());
  Send(WM_MOUSEMOVE, 435, 150, MK_LBUTTON | MK_MBUTTON);
  ExpectTranslation(0.0f, 0.0f, 0.0f, *ball.TranslationMatrix(), 0.0f);
  EXPECT_EQ(100, ball.LastMouse().x);
  EXPECT_EQ(100, ball.LastMouse().y);
}

TEST_F(HandleMouse, MoveWithoutButtonFlagsChangesNothing) {
  Send(WM_RBUTTONDOWN, 100, 100);
  Send(WM_LBUTTONDOWN, 300, 150);
  EXPECT_EQ(1, Send(WM_MOUSEMOVE, 435, 20, MK_SHIFT | MK_CONTROL));
  ExpectQuaternionNear(D3DXQUATERNION(0, 0, 0, 1), ball.Orientation(), 0.0f);
  ExpectTranslation(0.0f, 0.0f, 0.0f, *ball.TranslationMatrix(), 0.0f);
  EXPECT_EQ(100, ball.LastMouse().x);
}

// ---- Rotation through messages --------------------------------------------------------

TEST_F(HandleMouse, LeftPressOutsideCapturesButStartsNoDrag) {
  Send(WM_LBUTTONDOWN, 650, 150);
  EXPECT_EQ(1, fake_win32::Get().setCaptureCalls);
  EXPECT_EQ(Window(), fake_win32::Get().capture);
  EXPECT_FALSE(ball.Dragging());
  Send(WM_MOUSEMOVE, 435, 150, MK_LBUTTON);
  ExpectQuaternionNear(D3DXQUATERNION(0, 0, 0, 1), ball.Orientation(), 0.0f);
}

TEST_F(HandleMouse, LeftDragTurnsUntilTheLeftReleaseEvenIfARightReleaseFreesTheCapture) {
  Send(WM_LBUTTONDOWN, 300, 150);
  EXPECT_TRUE(ball.Dragging());
  Send(WM_RBUTTONDOWN, 300, 150);
  Send(WM_RBUTTONUP, 300, 150);
  EXPECT_EQ(1, fake_win32::Get().releaseCaptureCalls);
  EXPECT_EQ(nullptr, fake_win32::Get().capture);
  EXPECT_TRUE(ball.Dragging());
  Send(WM_MOUSEMOVE, 435, 150, MK_LBUTTON);
  ExpectQuaternionNear(D3DXQUATERNION(0, -0.5f, 0, SIN_60), ball.Orientation());
  Send(WM_LBUTTONUP, 435, 150);
  EXPECT_FALSE(ball.Dragging());
  EXPECT_EQ(2, fake_win32::Get().releaseCaptureCalls);
}

TEST_F(HandleMouse, DoubleClicksActAsPresses) {
  Send(WM_LBUTTONDBLCLK, 300, 150);
  EXPECT_TRUE(ball.Dragging());
  Send(WM_RBUTTONDBLCLK, 10, 20);
  EXPECT_EQ(10, ball.LastMouse().x);
  EXPECT_EQ(20, ball.LastMouse().y);
  Send(WM_MBUTTONDBLCLK, 30, 40);
  EXPECT_EQ(30, ball.LastMouse().x);
  EXPECT_EQ(40, ball.LastMouse().y);
  EXPECT_EQ(3, fake_win32::Get().setCaptureCalls);
}

// ---- Capture --------------------------------------------------------------------------

TEST_F(HandleMouse, EveryPressCapturesEveryReleaseFreesAndMovesDoNeither) {
  const UINT presses[] = {WM_LBUTTONDOWN,   WM_LBUTTONDBLCLK, WM_RBUTTONDOWN,
                          WM_RBUTTONDBLCLK, WM_MBUTTONDOWN,   WM_MBUTTONDBLCLK};
  int expected = 0;
  for (const UINT press : presses) {
    fake_win32::Get().capture = nullptr;
    Send(press, 10, 10);
    EXPECT_EQ(++expected, fake_win32::Get().setCaptureCalls) << std::hex << press;
    EXPECT_EQ(Window(), fake_win32::Get().capture) << std::hex << press;
  }
  expected = 0;
  for (const UINT release : {WM_LBUTTONUP, WM_RBUTTONUP, WM_MBUTTONUP}) {
    fake_win32::Get().capture = Window();
    Send(release, 10, 10);
    EXPECT_EQ(++expected, fake_win32::Get().releaseCaptureCalls) << std::hex << release;
    EXPECT_EQ(nullptr, fake_win32::Get().capture) << std::hex << release;
  }
  // Moves neither capture nor release.
  Send(WM_MOUSEMOVE, 10, 10, MK_LBUTTON | MK_RBUTTON | MK_MBUTTON);
  Send(WM_MOUSEMOVE, 20, 20, 0);
  EXPECT_EQ(6, fake_win32::Get().setCaptureCalls);
  EXPECT_EQ(3, fake_win32::Get().releaseCaptureCalls);
}

// ---- Results and other messages -----------------------------------------------------------

TEST_F(HandleMouse, ReturnsOneForTheTenMouseMessages) {
  for (UINT message = WM_MOUSEMOVE; message <= WM_MBUTTONDBLCLK; ++message) {
    EXPECT_EQ(1, Send(message, 10, 10)) << std::hex << message;
  }
}

TEST_F(HandleMouse, ReturnsZeroAndChangesNothingForOtherMessages) {
  Send(WM_RBUTTONDOWN, 100, 100);
  Send(WM_LBUTTONDOWN, 300, 150);
  fake_win32::State& fake = fake_win32::Get();
  const int setCalls = fake.setCaptureCalls;
  const UINT others[] = {WM_NULL, WM_CREATE, WM_DESTROY, WM_PAINT, WM_CLOSE, 0x01FF,
                         0x020A,  0x020B,    0x0400,     0x1200,   0x10200u, 0xFFFFFFFFu};
  for (const UINT message : others) {
    EXPECT_EQ(0, Send(message, 435, 20, MK_LBUTTON | MK_RBUTTON | MK_MBUTTON))
        << std::hex << message;
  }
  EXPECT_EQ(setCalls, fake.setCaptureCalls);
  EXPECT_EQ(0, fake.releaseCaptureCalls);
  EXPECT_TRUE(ball.Dragging());
  ExpectQuaternionNear(D3DXQUATERNION(0, 0, 0, 1), ball.Orientation(), 0.0f);
  ExpectTranslation(0.0f, 0.0f, 0.0f, *ball.TranslationMatrix(), 0.0f);
  EXPECT_EQ(100, ball.LastMouse().x);
  EXPECT_EQ(100, ball.LastMouse().y);
}

// ---- Coordinates -----------------------------------------------------------------------------

TEST_F(HandleMouse, ReadsEachWordAsASigned16BitCoordinate) {
  const struct {
    LPARAM packed;
    int x, y;
  } cases[] = {{0x0005FFFF, -1, 5}, {0xFFFF0007u, 7, -1}, {0x80007FFFu, 32767, -32768}};
  for (const auto& c : cases) {
    ball.HandleMouse(Window(), WM_RBUTTONDOWN, 0, c.packed);
    EXPECT_EQ(c.x, ball.LastMouse().x) << std::hex << c.packed;
    EXPECT_EQ(c.y, ball.LastMouse().y) << std::hex << c.packed;
  }
}

TEST_F(HandleMouse, PansWithAPointerLeftOfTheWindow) {
  Send(WM_RBUTTONDOWN, 0, 20);
  Send(WM_MOUSEMOVE, -10, 20, MK_RBUTTON);
  EXPECT_EQ(-10, ball.LastMouse().x);
  // Ten pixels to the left: -2 * 10 / 600 along x.
  ExpectTranslation(-1.0f / 30.0f, 0.0f, 0.0f, *ball.TranslationMatrix());
}

TEST_F(HandleMouse, TurnsWithAPointerAboveTheWindow) {
  Send(WM_LBUTTONDOWN, 300, 150);
  Send(WM_MOUSEMOVE, 300, -200, MK_LBUTTON);
  // Far outside, the point is pulled onto the rim straight up: half a turn about x.
  ExpectQuaternionNear(D3DXQUATERNION(1, 0, 0, 0), ball.Orientation());
}

}  // namespace
}  // namespace arcball_test
