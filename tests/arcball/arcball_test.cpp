// Tests of the arcball's construction, ball mapping and rotation drag.
// The ball is 600 x 300 at radius 0.9 unless a test says otherwise: its half
// axes are 270 and 135 pixels around the centre (300, 150).
#include <cmath>
#include <cstdint>
#include <memory>

#include "tests/arcball/arcball_test_support.h"

namespace arcball_test {
namespace {

// ---- Construction -----------------------------------------------------------------

using Construction = FakeWindowTest;

TEST_F(Construction, SizesTheBallToTheForegroundClientAreaOr600By300) {
  const struct {
    bool hasForeground;
    RECT client;
    int width, height;
  } cases[] = {
      {true, RECT{0, 0, 800, 500}, 800, 500},
      {false, RECT{0, 0, 800, 500}, 600, 300},
      {true, RECT{0, 0, 0, 0}, 600, 300},
  };
  for (const auto& c : cases) {
    fake_win32::Get().hasForeground = c.hasForeground;
    fake_win32::Get().foregroundClient = c.client;
    ArcballControl ball;
    EXPECT_EQ(c.width, ball.Width()) << c.hasForeground << " " << c.client.right;
    EXPECT_EQ(c.height, ball.Height()) << c.hasForeground << " " << c.client.right;
    EXPECT_FLOAT_EQ(0.9f, ball.Radius());
  }
}

TEST_F(Construction, StartsAtRestWithIdentityOrientationAndMatrices) {
  ArcballControl ball;
  ExpectQuaternionNear(D3DXQUATERNION(0, 0, 0, 1), ball.Orientation(), 0.0f);
  ExpectQuaternionNear(D3DXQUATERNION(0, 0, 0, 1), ball.StartOrientation(), 0.0f);
  ExpectVectorNear(D3DXVECTOR3(0, 0, 0), ball.StartPoint(), 0.0f);
  ExpectVectorNear(D3DXVECTOR3(0, 0, 0), ball.CurrentPoint(), 0.0f);
  EXPECT_FALSE(ball.Dragging());
  ExpectIdentity(*ball.RotationMatrix(), 0.0f);
  ExpectIdentity(*ball.TranslationMatrix(), 0.0f);
}

TEST_F(Construction, ResetStateSetsRadiusOneButKeepsTheSize) {
  ArcballControl ball = ViewerBall();
  ball.ResetState();
  EXPECT_FLOAT_EQ(1.0f, ball.Radius());
  EXPECT_EQ(600, ball.Width());
  EXPECT_EQ(300, ball.Height());
}

TEST_F(Construction, KeepsItsMatricesOnSixteenByteBoundaries) {
  const auto ball = std::make_unique<ArcballControl>();
  EXPECT_EQ(0u, reinterpret_cast<std::uintptr_t>(ball->RotationMatrix()) % 16);
  EXPECT_EQ(0u, reinterpret_cast<std::uintptr_t>(ball->TranslationMatrix()) % 16);
}

// ---- Resize -----------------------------------------------------------------------

using Resize = FakeWindowTest;

TEST_F(Resize, IgnoresASizeOrRadiusWithoutExtent) {
  ArcballControl ball = ViewerBall();
  ball.Resize(0, 300, 0.9f);
  ball.Resize(600, -1, 0.9f);
  ball.Resize(600, 300, 0.0f);
  ball.Resize(600, 300, std::nanf(""));
  EXPECT_EQ(600, ball.Width());
  EXPECT_EQ(300, ball.Height());
  EXPECT_FLOAT_EQ(0.9f, ball.Radius());
  ExpectVectorNear(D3DXVECTOR3(0, 0, 1), ball.MapToSphere(300, 150));
}

// ---- Ball mapping -------------------------------------------------------------------

using MapToSphere = FakeWindowTest;

TEST_F(MapToSphere, PutsKnownPointsWhereTheBallFormulaSays) {
  ArcballControl ball = ViewerBall();
  // x grows to the left of the centre, y downward; the pole and the rim are exact.
  const struct {
    float x, y;
    D3DXVECTOR3 expected;
    float tolerance;
  } cases[] = {
      {300, 150, D3DXVECTOR3(0, 0, 1), 0.0f},
      {570, 150, D3DXVECTOR3(-1, 0, 0), 0.0f},
      {30, 150, D3DXVECTOR3(1, 0, 0), 0.0f},
      {300, 15, D3DXVECTOR3(0, -1, 0), 0.0f},
      {300, 285, D3DXVECTOR3(0, 1, 0), 0.0f},
      // (300/270, -150/135) = (10/9, -10/9): m = 2.469 > 1, scaled by 1/sqrt(m).
      {0, 0, D3DXVECTOR3(0.7071068f, -0.7071068f, 0), TOLERANCE},
      // bx = -(435 - 300) / 270 = -0.5, z = sqrt(1 - 0.25).
      {435, 150, D3DXVECTOR3(-0.5f, 0, SIN_60), TOLERANCE},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.x << ", " << c.y);
    ExpectVectorNear(c.expected, ball.MapToSphere(c.x, c.y), c.tolerance);
  }
}

TEST_F(MapToSphere, UsesIntegerHalfSizesButUnroundedHalfAxes) {
  ArcballControl ball = ViewerBall();
  ball.Resize(601, 301, 1.0f);
  // Centre (300, 150) by integer halves, so this is exactly the pole.
  ExpectVectorNear(D3DXVECTOR3(0, 0, 1), ball.MapToSphere(300, 150), 0.0f);
  // Half axis 300.5, not 300: bx = 300 / 300.5 stays inside the ball.
  const float bx = 300.0f / 300.5f;
  ExpectVectorNear(D3DXVECTOR3(bx, 0, std::sqrt(1 - bx * bx)), ball.MapToSphere(0, 150), 1e-5f);
}

TEST_F(MapToSphere, ReturnsUnitVectorsInTheUpperHalfEverywhere) {
  ArcballControl ball = ViewerBall();
  for (int y = -400; y <= 700; y += 37) {
    for (int x = -700; x <= 1300; x += 41) {
      const D3DXVECTOR3 p = ball.MapToSphere(static_cast<float>(x), static_cast<float>(y));
      EXPECT_NEAR(1.0f, std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z), 1e-6f) << x << ", " << y;
      EXPECT_GE(p.z, 0.0f) << x << ", " << y;
    }
  }
}

// ---- Rotation between ball points ---------------------------------------------------

TEST(RotationBetween, IsCrossProductAndDotProduct) {
  const struct {
    D3DXVECTOR3 from, to;
    D3DXQUATERNION expected;
  } cases[] = {
      // (0*0.6 - 0.8*0.8, 0.8*0 - 0.6*0.6, 0.6*0.8 - 0), dot 0.48.
      {D3DXVECTOR3(0.6f, 0, 0.8f), D3DXVECTOR3(0, 0.8f, 0.6f),
       D3DXQUATERNION(-0.64f, -0.36f, 0.48f, 0.48f)},
      {D3DXVECTOR3(0.48f, -0.6f, 0.64f), D3DXVECTOR3(0.48f, -0.6f, 0.64f),
       D3DXQUATERNION(0, 0, 0, 1)},
      // Opposite rim points.
      {D3DXVECTOR3(1, 0, 0), D3DXVECTOR3(-1, 0, 0), D3DXQUATERNION(0, 0, 0, -1)},
  };
  for (const auto& c : cases) {
    ExpectQuaternionNear(c.expected, RotationBetween(&c.from, &c.to));
  }
}

// ---- Rotation drag --------------------------------------------------------------------

using RotationDrag = FakeWindowTest;

TEST_F(RotationDrag, TurnsSixtyDegreesForAQuarterRadiusDragToTheRight) {
  ArcballControl ball = ViewerBall();
  ball.StartRotation(300, 150);
  ball.ContinueRotation(435, 150);
  // Arc of 30 degrees over the ball, turn of 60 degrees about -y.
  ExpectQuaternionNear(D3DXQUATERNION(0, -0.5f, 0, SIN_60), ball.Orientation());
  const D3DXMATRIX& m = *ball.RotationMatrix();
  // The near side (-z) follows the pointer to the right.
  ExpectVectorNear(D3DXVECTOR3(SIN_60, 0, -0.5f), Transform(D3DXVECTOR3(0, 0, -1), m), 1e-6f);
  ExpectVectorNear(D3DXVECTOR3(0.5f, 0, SIN_60), Transform(D3DXVECTOR3(1, 0, 0), m), 1e-6f);
}

TEST_F(RotationDrag, TurnsHalfARoundForADragFromTheCentreToTheRim) {
  ArcballControl ball = ViewerBall();
  ball.StartRotation(300, 150);
  ball.ContinueRotation(300, 15);
  ExpectQuaternionNear(D3DXQUATERNION(1, 0, 0, 0), ball.Orientation());
  ExpectVectorNear(D3DXVECTOR3(0, -1, 0), ball.CurrentPoint());
}

TEST_F(RotationDrag, DoesNotTurnForADragBetweenOppositeRimPoints) {
  ArcballControl ball = ViewerBall();
  ball.StartRotation(30, 150);
  ball.ContinueRotation(570, 150);
  ExpectQuaternionNear(D3DXQUATERNION(0, 0, 0, -1), ball.Orientation());
  ExpectIdentity(*ball.RotationMatrix());
}

TEST_F(RotationDrag, StartsOnlyInsideTheRectangle) {
  ArcballControl ball = ViewerBall();
  ball.StartRotation(600, 100);  // right edge
  EXPECT_FALSE(ball.Dragging());
  ball.StartRotation(100, 300);  // bottom edge
  EXPECT_FALSE(ball.Dragging());
  ball.StartRotation(-1, 100);
  EXPECT_FALSE(ball.Dragging());
  ball.StartRotation(0, 0);
  EXPECT_TRUE(ball.Dragging());
  ExpectVectorNear(D3DXVECTOR3(0.7071068f, -0.7071068f, 0), ball.StartPoint());
  ball.StopRotation();
  ball.StartRotation(599, 299);
  EXPECT_TRUE(ball.Dragging());
}

TEST_F(RotationDrag, ContinueBeforeAnyStartChangesNothing) {
  ArcballControl ball = ViewerBall();
  ball.ContinueRotation(435, 150);
  EXPECT_FALSE(ball.Dragging());
  ExpectQuaternionNear(D3DXQUATERNION(0, 0, 0, 1), ball.Orientation(), 0.0f);
  ExpectVectorNear(D3DXVECTOR3(0, 0, 0), ball.CurrentPoint(), 0.0f);
}

TEST_F(RotationDrag, MeasuresEveryMoveFromThePress) {
  ArcballControl ball = ViewerBall();
  ball.StartRotation(300, 150);
  ball.ContinueRotation(100, 40);
  ball.ContinueRotation(500, 260);
  ball.ContinueRotation(435, 150);
  ExpectQuaternionNear(D3DXQUATERNION(0, -0.5f, 0, SIN_60), ball.Orientation());
}

TEST_F(RotationDrag, StopKeepsTheTurnAndASecondDragStartsFromIt) {
  ArcballControl ball = ViewerBall();
  ball.StartRotation(300, 150);
  ball.ContinueRotation(435, 150);
  ball.StopRotation();
  EXPECT_FALSE(ball.Dragging());
  ball.ContinueRotation(300, 15);  // no drag: changes nothing
  ball.StartRotation(300, 150);
  ExpectQuaternionNear(D3DXQUATERNION(0, -0.5f, 0, SIN_60), ball.StartOrientation());
  ball.ContinueRotation(300, 15);
  // The half turn about x comes after the first turn: (1, 0, 0, 0) * (0, -0.5, 0, sin 60).
  ExpectQuaternionNear(D3DXQUATERNION(SIN_60, 0, -0.5f, 0), ball.Orientation());
  // (0, 0, -1) went to (sin 60, 0, -0.5) with the first drag; the half turn flips y and z.
  ExpectVectorNear(D3DXVECTOR3(SIN_60, 0, 0.5f),
                   Transform(D3DXVECTOR3(0, 0, -1), *ball.RotationMatrix()));
}

TEST_F(RotationDrag, APressOutsideKeepsTheRunningDrag) {
  ArcballControl ball = ViewerBall();
  ball.StartRotation(300, 150);
  ball.StartRotation(700, 150);
  EXPECT_TRUE(ball.Dragging());
  ExpectVectorNear(D3DXVECTOR3(0, 0, 1), ball.StartPoint());
  ball.ContinueRotation(435, 150);
  ExpectQuaternionNear(D3DXQUATERNION(0, -0.5f, 0, SIN_60), ball.Orientation());
}

TEST_F(RotationDrag, ResizeKeepsTheStartPointAndMapsLaterMovesWithTheNewSize) {
  ArcballControl ball = ViewerBall();
  ball.StartRotation(300, 150);
  ball.Resize(300, 150, 1.0f);
  ExpectVectorNear(D3DXVECTOR3(0, 0, 1), ball.StartPoint(), 0.0f);
  // New centre (150, 75), half axis 150: bx = -(75 - 150) / 150 = 0.5.
  ball.ContinueRotation(75, 75);
  ExpectVectorNear(D3DXVECTOR3(0.5f, 0, SIN_60), ball.CurrentPoint());
  // (0, 0, 1) x (0.5, 0, sin 60) = (0, 0.5, 0); dot = sin 60.
  ExpectQuaternionNear(D3DXQUATERNION(0, 0.5f, 0, SIN_60), ball.Orientation());
}

TEST_F(RotationDrag, RotationMatrixFollowsTheLatestOrientation) {
  ArcballControl ball = ViewerBall();
  ball.StartRotation(300, 150);
  ball.ContinueRotation(435, 150);
  ball.RotationMatrix();
  ball.ContinueRotation(300, 15);
  // Half a turn about x: y and z change sign.
  const D3DXMATRIX& m = *ball.RotationMatrix();
  ExpectVectorNear(D3DXVECTOR3(0.25f, -0.5f, -2), Transform(D3DXVECTOR3(0.25f, 0.5f, 2), m), 1e-6f);
}

}  // namespace
}  // namespace arcball_test
