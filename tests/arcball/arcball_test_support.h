// Shared helpers of the arcball tests: a ball set up as the viewer sets it
// (600 x 300, radius 0.9), a window of the fake window system to hand to
// HandleMouse, and comparisons of vectors, quaternions and matrices.
// Expected values are always written in the tests themselves.
#pragma once

#include <gtest/gtest.h>

#include <cmath>

#include "arcball/arcball.h"
#include "tests/fake/fake_win32.h"

namespace arcball_test {

constexpr float TOLERANCE = 1e-6f;
constexpr float SIN_60 = 0.8660254f;  // sqrt(3) / 2

// Resets the fake window system before each test.
class FakeWindowTest : public ::testing::Test {
 protected:
  void SetUp() override { fake_win32::Reset(); }
  void TearDown() override { fake_win32::Reset(); }

  // A ball as the viewer makes it: constructed, then sized 600 x 300 at 0.9.
  static ArcballControl ViewerBall() {
    ArcballControl ball;
    ball.Resize(600, 300, 0.9f);
    return ball;
  }

  // A window of the fake window system, for HandleMouse and its capture calls.
  HWND Window() {
    if (window == nullptr) {
      WNDCLASSEXA wc{};
      wc.cbSize = sizeof wc;
      wc.lpfnWndProc = DefWindowProcA;
      wc.lpszClassName = "ArcballTest";
      RegisterClassExA(&wc);
      window = CreateWindowExA(0, "ArcballTest", "arcball test", WS_OVERLAPPEDWINDOW, 0, 0, 600,
                               300, nullptr, nullptr, nullptr, nullptr);
    }
    return window;
  }

 private:
  HWND window = nullptr;
};

inline void ExpectVectorNear(const D3DXVECTOR3& expected, const D3DXVECTOR3& actual,
                             float tolerance = TOLERANCE) {
  EXPECT_NEAR(expected.x, actual.x, tolerance);
  EXPECT_NEAR(expected.y, actual.y, tolerance);
  EXPECT_NEAR(expected.z, actual.z, tolerance);
}

inline void ExpectQuaternionNear(const D3DXQUATERNION& expected, const D3DXQUATERNION& actual,
                                 float tolerance = TOLERANCE) {
  EXPECT_NEAR(expected.x, actual.x, tolerance);
  EXPECT_NEAR(expected.y, actual.y, tolerance);
  EXPECT_NEAR(expected.z, actual.z, tolerance);
  EXPECT_NEAR(expected.w, actual.w, tolerance);
}

// The point p turned as the row vector p * m (upper 3 x 3 plus the fourth row).
inline D3DXVECTOR3 Transform(const D3DXVECTOR3& p, const D3DXMATRIX& m) {
  return D3DXVECTOR3(p.x * m(0, 0) + p.y * m(1, 0) + p.z * m(2, 0) + m(3, 0),
                     p.x * m(0, 1) + p.y * m(1, 1) + p.z * m(2, 1) + m(3, 1),
                     p.x * m(0, 2) + p.y * m(1, 2) + p.z * m(2, 2) + m(3, 2));
}

// Checks that m is the identity with (x, y, z) in its fourth row.
inline void ExpectTranslation(float x, float y, float z, const D3DXMATRIX& m,
                              float tolerance = TOLERANCE) {
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 4; ++c) {
      EXPECT_EQ(r == c ? 1.0f : 0.0f, m(r, c)) << "row " << r << " column " << c;
    }
  }
  EXPECT_NEAR(x, m(3, 0), tolerance);
  EXPECT_NEAR(y, m(3, 1), tolerance);
  EXPECT_NEAR(z, m(3, 2), tolerance);
  EXPECT_EQ(1.0f, m(3, 3));
}

inline void ExpectIdentity(const D3DXMATRIX& m, float tolerance = TOLERANCE) {
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      EXPECT_NEAR(r == c ? 1.0f : 0.0f, m(r, c), tolerance) << "row " << r << " column " << c;
    }
  }
}

}  // namespace arcball_test
