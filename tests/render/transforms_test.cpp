// ComposeTransforms: the world placement that follows the arcball, and the
// fixed camera and projection, checked against values worked out here from
// the documented formulas (row vectors: p' = p * M).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "render/graphics.h"
#include "tests/fake/fake_d3d9.h"
#include "tests/render/graphics_fixture.h"

namespace {

using fake_d3d9::CallsNamed;
using testing::ElementsAre;

using Vec = std::array<double, 3>;
using Matrix = std::array<std::array<double, 4>, 4>;

constexpr double kTolerance = 1e-5;

Vec Cross(const Vec& a, const Vec& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
double Dot(const Vec& a, const Vec& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
Vec Normalise(const Vec& v) {
  const double n = std::sqrt(Dot(v, v));
  return {v[0] / n, v[1] / n, v[2] / n};
}
Vec Add(const Vec& a, const Vec& b) { return {a[0] + b[0], a[1] + b[1], a[2] + b[2]}; }
Vec Scale(const Vec& v, double s) { return {v[0] * s, v[1] * s, v[2] * s}; }

// The point p (w = 1) transformed by a recorded affine matrix.
Vec Transform(const D3DMATRIX& m, const Vec& p) {
  Vec out{};
  for (int j = 0; j < 3; ++j) {
    out[j] = p[0] * m.m[0][j] + p[1] * m.m[1][j] + p[2] * m.m[2][j] + m.m[3][j];
  }
  return out;
}

// v turned by the unit quaternion (x, y, z, w): v + 2w(u x v) + 2u x (u x v).
Vec Rotate(const D3DXQUATERNION& q, const Vec& v) {
  const Vec u{q.x, q.y, q.z};
  const Vec uv = Cross(u, v);
  return Add(Add(v, Scale(uv, 2.0 * q.w)), Scale(Cross(u, uv), 2.0));
}

void ExpectNear(const Vec& actual, const Vec& expected) {
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(actual[i], expected[i], kTolerance) << "component " << i;
}

void ExpectMatrixNear(const D3DMATRIX& actual, const Matrix& expected) {
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      EXPECT_NEAR(actual.m[r][c], expected[r][c], kTolerance) << "row " << r << " column " << c;
    }
  }
}

class ComposeTransformsTest : public render_test::GraphicsTest {
 protected:
  void SetUp() override {
    GraphicsTest::SetUp();
    ASSERT_EQ(StartGraphics(render_test::StandInWindow()), S_OK);
    fake_d3d9::Get().calls.clear();
  }

  // Runs ComposeTransforms and returns the matrix sent for the given state.
  D3DMATRIX Compose(D3DTRANSFORMSTATETYPE state) {
    fake_d3d9::Get().calls.clear();
    ComposeTransforms();
    for (const auto& call : CallsNamed("SetTransform")) {
      if (call.values.at(0) == static_cast<double>(state)) return std::get<D3DMATRIX>(call.record);
    }
    ADD_FAILURE() << "no SetTransform for state " << state;
    return D3DMATRIX{};
  }

  // A left drag from the ball's centre up and to the right.
  void TurnTheModel() {
    g_arcball->StartRotation(300, 150);
    g_arcball->ContinueRotation(420, 90);
    g_arcball->StopRotation();
    ASSERT_LT(g_arcball->Orientation().w, 0.99f) << "the drag should have turned the model";
  }

  // A right drag that pans the model; returns the arcball's translation.
  Vec PanTheModel() {
    const HWND window = render_test::StandInWindow();
    g_arcball->HandleMouse(window, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(100, 100));
    g_arcball->HandleMouse(window, WM_MOUSEMOVE, MK_RBUTTON, MAKELPARAM(160, 60));
    g_arcball->HandleMouse(window, WM_RBUTTONUP, 0, MAKELPARAM(160, 60));
    const D3DXMATRIX& t = *g_arcball->TranslationMatrix();
    const Vec offset{t.m[3][0], t.m[3][1], t.m[3][2]};
    EXPECT_GT(Dot(offset, offset), 0.0) << "the drag should have panned the model";
    return offset;
  }
};

TEST_F(ComposeTransformsTest, SetsWorldThenViewThenProjection) {
  ComposeTransforms();

  const auto sets = CallsNamed("SetTransform");
  ASSERT_EQ(sets.size(), 3u);
  EXPECT_THAT(sets[0].values, ElementsAre(256));
  EXPECT_THAT(sets[1].values, ElementsAre(2));
  EXPECT_THAT(sets[2].values, ElementsAre(3));
  EXPECT_EQ(fake_d3d9::Get().calls.size(), 3u);
}

TEST_F(ComposeTransformsTest, UntouchedArcballGivesTheShiftThatCentresTheWord) {
  const D3DMATRIX world = Compose(D3DTS_WORLD);

  ExpectMatrixNear(world, Matrix{{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {-6, 0, 0, 1}}});
}

TEST_F(ComposeTransformsTest, TurnsTheModelAboutTheMiddleOfTheWordsWidth) {
  TurnTheModel();
  const D3DMATRIX world = Compose(D3DTS_WORLD);

  ExpectNear(Transform(world, {6, 0, 0}), {0, 0, 0});
  // Any other model point turns about (6, 0, 0) by the arcball's orientation.
  const D3DXQUATERNION q = g_arcball->Orientation();
  ExpectNear(Transform(world, {8, 3, 1}), Rotate(q, {2, 3, 1}));
  ExpectNear(Transform(world, {0.25, 0.25, 0}), Rotate(q, {-5.75, 0.25, 0}));
}

TEST_F(ComposeTransformsTest, PansAlongTheWorldAxesWhateverTheOrientation) {
  TurnTheModel();
  const Vec pan = PanTheModel();
  const D3DMATRIX world = Compose(D3DTS_WORLD);

  // The turning point lands exactly on the pan offset, unturned.
  ExpectNear(Transform(world, {6, 0, 0}), pan);
  const D3DXQUATERNION q = g_arcball->Orientation();
  ExpectNear(Transform(world, {11.75, 4, 1}), Add(Rotate(q, {5.75, 4, 1}), pan));
}

TEST_F(ComposeTransformsTest, LooksFromTheFixedEyeAtTheFixedTarget) {
  const D3DMATRIX view = Compose(D3DTS_VIEW);

  // Left-handed look-at: z towards the target, x = up x z, y = z x x.
  const Vec eye{3, 7, -5};
  const Vec z = Normalise({0 - 3, 2 - 7, 0 + 5});
  const Vec x = Normalise(Cross({0, 1, 0}, z));
  const Vec y = Cross(z, x);
  ExpectMatrixNear(view, Matrix{{{x[0], y[0], z[0], 0},
                                 {x[1], y[1], z[1], 0},
                                 {x[2], y[2], z[2], 0},
                                 {-Dot(x, eye), -Dot(y, eye), -Dot(z, eye), 1}}});
  // So the eye is the view's origin and the target lies straight ahead.
  ExpectNear(Transform(view, eye), {0, 0, 0});
  ExpectNear(Transform(view, {0, 2, 0}), {0, 0, std::sqrt(59.0)});
}

TEST_F(ComposeTransformsTest, Projects60DegreesVerticallyWithAspectTwoFromOneToAHundred) {
  const D3DMATRIX projection = Compose(D3DTS_PROJECTION);

  const double yScale = std::sqrt(3.0);  // cot(30 degrees)
  ExpectMatrixNear(projection, Matrix{{{yScale / 2, 0, 0, 0},
                                       {0, yScale, 0, 0},
                                       {0, 0, 100.0 / 99.0, 1},
                                       {0, 0, -100.0 / 99.0, 0}}});
}

}  // namespace
