// Tests of the D3DX-style maths: translations, products, quaternion rotations,
// the left-handed camera matrices and point transforms. Expected values are
// literal or come from the documented D3DX formulas, written out here on
// their own; nothing needs a display.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>

#include "platform/d3dx9/d3dx9.h"

namespace {

constexpr float TOLERANCE = 1e-5f;

// Builds a matrix from its rows, as D3DX stores it.
D3DXMATRIX Rows(const float (&values)[4][4]) {
  D3DXMATRIX m;
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      m(r, c) = values[r][c];
    }
  }
  return m;
}

// Sixteen distinct, non-symmetric entries: catches swapped rows and columns.
D3DXMATRIX Sample(float base) {
  D3DXMATRIX m;
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      m(r, c) = base + static_cast<float>(r * 4 + c) * 0.5f - static_cast<float>(c * c);
    }
  }
  return m;
}

// The row-by-column product a * b, written out.
D3DXMATRIX Product(const D3DXMATRIX& a, const D3DXMATRIX& b) {
  D3DXMATRIX out;
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      float sum = 0.0f;
      for (int k = 0; k < 4; ++k) {
        sum += a(r, k) * b(k, c);
      }
      out(r, c) = sum;
    }
  }
  return out;
}

// The rotation matrix of (x, y, z, w) by D3DX's documented formula.
D3DXMATRIX QuaternionFormula(const D3DXQUATERNION& q) {
  const float x = q.x, y = q.y, z = q.z, w = q.w;
  return Rows({{1 - 2 * (y * y + z * z), 2 * (x * y + z * w), 2 * (x * z - y * w), 0},
               {2 * (x * y - z * w), 1 - 2 * (x * x + z * z), 2 * (y * z + x * w), 0},
               {2 * (x * z + y * w), 2 * (y * z - x * w), 1 - 2 * (x * x + y * y), 0},
               {0, 0, 0, 1}});
}

// The row vector (p, 1) times m, without the division by w.
D3DXVECTOR3 TimesMatrix(const D3DXVECTOR3& p, const D3DXMATRIX& m) {
  return D3DXVECTOR3(p.x * m(0, 0) + p.y * m(1, 0) + p.z * m(2, 0) + m(3, 0),
                     p.x * m(0, 1) + p.y * m(1, 1) + p.z * m(2, 1) + m(3, 1),
                     p.x * m(0, 2) + p.y * m(1, 2) + p.z * m(2, 2) + m(3, 2));
}

void ExpectMatrixNear(const D3DXMATRIX& expected, const D3DXMATRIX& actual, float tolerance) {
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      EXPECT_NEAR(expected(r, c), actual(r, c), tolerance) << "row " << r << " column " << c;
    }
  }
}

void ExpectVectorNear(const D3DXVECTOR3& expected, const D3DXVECTOR3& actual) {
  EXPECT_NEAR(expected.x, actual.x, TOLERANCE);
  EXPECT_NEAR(expected.y, actual.y, TOLERANCE);
  EXPECT_NEAR(expected.z, actual.z, TOLERANCE);
}

void ExpectQuaternionNear(const D3DXQUATERNION& expected, const D3DXQUATERNION& actual) {
  ExpectVectorNear(D3DXVECTOR3(expected.x, expected.y, expected.z),
                   D3DXVECTOR3(actual.x, actual.y, actual.z));
  EXPECT_NEAR(expected.w, actual.w, TOLERANCE);
}

const float HALF_SQRT2 = std::sqrt(0.5f);

}  // namespace

// ---- Identity and translation -------------------------------------------------

TEST(MatrixTranslation, PutsTheOffsetInTheFourthRowOfAnIdentity) {
  D3DXMATRIX m;
  EXPECT_EQ(&m, D3DXMatrixTranslation(&m, 1.5f, -2.0f, 3.25f));
  ExpectMatrixNear(Rows({{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {1.5f, -2.0f, 3.25f, 1}}), m,
                   0.0f);
}

TEST(Identity, IsTheUnitMatrixAndTheZeroAxisUnitWQuaternion) {
  D3DXMATRIX m = Sample(7.0f);
  EXPECT_EQ(&m, D3DXMatrixIdentity(&m));
  ExpectMatrixNear(Rows({{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}), m, 0.0f);
  D3DXQUATERNION q(3, 4, 5, 6);
  EXPECT_EQ(&q, D3DXQuaternionIdentity(&q));
  ExpectQuaternionNear(D3DXQUATERNION(0, 0, 0, 1), q);
}

// ---- Products -------------------------------------------------------------------

TEST(MatrixMultiply, IsTheRowByColumnProductAThenB) {
  const D3DXMATRIX a = Sample(1.0f);
  const D3DXMATRIX b = Sample(-3.0f);
  D3DXMATRIX out;
  EXPECT_EQ(&out, D3DXMatrixMultiply(&out, &a, &b));
  ExpectMatrixNear(Product(a, b), out, 1e-4f);
  // The output may be either input, or both.
  D3DXMATRIX intoA = a;
  D3DXMatrixMultiply(&intoA, &intoA, &b);
  ExpectMatrixNear(Product(a, b), intoA, 1e-4f);
  D3DXMATRIX intoB = b;
  D3DXMatrixMultiply(&intoB, &a, &intoB);
  ExpectMatrixNear(Product(a, b), intoB, 1e-4f);
  D3DXMATRIX square = a;
  D3DXMatrixMultiply(&square, &square, &square);
  ExpectMatrixNear(Product(a, a), square, 1e-3f);
}

// ---- Quaternions ------------------------------------------------------------------

TEST(MatrixRotationQuaternion, GivesTheKnownMatricesOfAQuarterTurnAndOfMinusIdentity) {
  const struct {
    D3DXQUATERNION q;
    D3DXMATRIX expected;
  } cases[] = {
      // A quarter turn about z takes x to y.
      {D3DXQUATERNION(0, 0, HALF_SQRT2, HALF_SQRT2),
       Rows({{0, 1, 0, 0}, {-1, 0, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}})},
      {D3DXQUATERNION(0, 0, 0, -1), Rows({{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}})},
  };
  for (const auto& c : cases) {
    D3DXMATRIX m;
    EXPECT_EQ(&m, D3DXMatrixRotationQuaternion(&m, &c.q));
    ExpectMatrixNear(c.expected, m, TOLERANCE);
  }
}

TEST(MatrixRotationQuaternion, FollowsTheFormulaWithAnUnnormalisedQuaternionAsGiven) {
  const D3DXQUATERNION q(1, -2, 3, 4);
  D3DXMATRIX m;
  D3DXMatrixRotationQuaternion(&m, &q);
  // m00 = 1 - 2 (4 + 9) = -25: no normalisation happened.
  EXPECT_FLOAT_EQ(-25.0f, m(0, 0));
  ExpectMatrixNear(QuaternionFormula(q), m, TOLERANCE);
}

TEST(QuaternionMultiply, IsTheHamiltonProductQ2TimesQ1) {
  const D3DXQUATERNION q1(1, 2, 3, 4);
  const D3DXQUATERNION q2(-5, 6, 7, 8);
  D3DXQUATERNION out;
  EXPECT_EQ(&out, D3DXQuaternionMultiply(&out, &q1, &q2));
  // (a, A)(b, B) = (ab - A.B, aB + bA + A x B) with a = q2.w, A = q2.xyz, b = q1.w, B = q1.xyz.
  const D3DXQUATERNION expected(8 * 1 + 4 * -5 + (6 * 3 - 7 * 2), 8 * 2 + 4 * 6 + (7 * 1 - -5 * 3),
                                8 * 3 + 4 * 7 + (-5 * 2 - 6 * 1), 8 * 4 - (-5 * 1 + 6 * 2 + 7 * 3));
  ExpectQuaternionNear(expected, out);
  // The output may be either input.
  D3DXQUATERNION intoFirst = q1;
  D3DXQuaternionMultiply(&intoFirst, &intoFirst, &q2);
  ExpectQuaternionNear(expected, intoFirst);
  D3DXQUATERNION intoSecond = q2;
  D3DXQuaternionMultiply(&intoSecond, &q1, &intoSecond);
  ExpectQuaternionNear(expected, intoSecond);
}

TEST(QuaternionMultiply, RotatesByQ1ThenQ2) {
  // A quarter turn about x, then a quarter turn about y.
  const D3DXQUATERNION q1(HALF_SQRT2, 0, 0, HALF_SQRT2);
  const D3DXQUATERNION q2(0, HALF_SQRT2, 0, HALF_SQRT2);
  D3DXQUATERNION both;
  D3DXQuaternionMultiply(&both, &q1, &q2);
  D3DXMATRIX m1, m2, m;
  D3DXMatrixRotationQuaternion(&m1, &q1);
  D3DXMatrixRotationQuaternion(&m2, &q2);
  D3DXMatrixRotationQuaternion(&m, &both);
  ExpectMatrixNear(Product(m1, m2), m, TOLERANCE);
  const D3DXVECTOR3 p(0.3f, -1.2f, 2.0f);
  ExpectVectorNear(TimesMatrix(TimesMatrix(p, m1), m2), TimesMatrix(p, m));
}

// ---- Camera -----------------------------------------------------------------------

TEST(MatrixLookAtLH, OfACameraOnTheMinusZAxisIsAShiftAlongZ) {
  const D3DXVECTOR3 eye(0, 0, -5), at(0, 0, 0), up(0, 1, 0);
  D3DXMATRIX m;
  EXPECT_EQ(&m, D3DXMatrixLookAtLH(&m, &eye, &at, &up));
  ExpectMatrixNear(Rows({{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 5, 1}}), m, TOLERANCE);
}

TEST(MatrixLookAtLH, FollowsTheFormulaForAnObliqueCamera) {
  const D3DXVECTOR3 eye(2, 3, -4), at(-1, 0.5f, 6), up(0.2f, 1, 0.1f);
  // z = normalize(at - eye), x = normalize(up x z), y = z x x.
  const float zx = -3, zy = -2.5f, zz = 10;
  const float zl = std::sqrt(zx * zx + zy * zy + zz * zz);
  const D3DXVECTOR3 z(zx / zl, zy / zl, zz / zl);
  const D3DXVECTOR3 xr(up.y * z.z - up.z * z.y, up.z * z.x - up.x * z.z, up.x * z.y - up.y * z.x);
  const float xl = std::sqrt(xr.x * xr.x + xr.y * xr.y + xr.z * xr.z);
  const D3DXVECTOR3 x(xr.x / xl, xr.y / xl, xr.z / xl);
  const D3DXVECTOR3 y(z.y * x.z - z.z * x.y, z.z * x.x - z.x * x.z, z.x * x.y - z.y * x.x);
  auto dot = [&](const D3DXVECTOR3& a) { return a.x * eye.x + a.y * eye.y + a.z * eye.z; };
  D3DXMATRIX m;
  D3DXMatrixLookAtLH(&m, &eye, &at, &up);
  ExpectMatrixNear(Rows({{x.x, y.x, z.x, 0},
                         {x.y, y.y, z.y, 0},
                         {x.z, y.z, z.z, 0},
                         {-dot(x), -dot(y), -dot(z), 1}}),
                   m, TOLERANCE);
  // The eye lands on the origin and the target straight ahead on +z.
  ExpectVectorNear(D3DXVECTOR3(0, 0, 0), TimesMatrix(eye, m));
  ExpectVectorNear(D3DXVECTOR3(0, 0, zl), TimesMatrix(at, m));
}

TEST(MatrixLookAtLH, StaysFiniteWhenTheEyeIsTheTarget) {
  const D3DXVECTOR3 eye(1, 2, 3), up(0, 1, 0);
  D3DXMATRIX m;
  D3DXMatrixLookAtLH(&m, &eye, &eye, &up);
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      EXPECT_TRUE(std::isfinite(m(r, c))) << "row " << r << " column " << c;
    }
  }
}

TEST(MatrixPerspectiveFovLH, HasTheDocumentedEntries) {
  // fovy 90 degrees: yScale = cot(45 deg) = 1; aspect 2: xScale = 0.5;
  // zn 1, zf 3: m22 = 3 / 2, m32 = -1 * 3 / 2.
  D3DXMATRIX m;
  EXPECT_EQ(&m, D3DXMatrixPerspectiveFovLH(&m, D3DX_PI / 2, 2.0f, 1.0f, 3.0f));
  ExpectMatrixNear(Rows({{0.5f, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1.5f, 1}, {0, 0, -1.5f, 0}}), m,
                   TOLERANCE);
}

// ---- Point transform --------------------------------------------------------------

TEST(Vec3TransformCoord, DividesByTheResultingW) {
  // w = 0.5 x + 1 for a point (x, y, z, 1).
  const D3DXMATRIX m = Rows({{2, 0, 0, 0.5f}, {0, 3, 0, 0}, {0, 0, 4, 0}, {1, 1, 1, 1}});
  const D3DXVECTOR3 p(2, 1, -1);
  D3DXVECTOR3 out;
  EXPECT_EQ(&out, D3DXVec3TransformCoord(&out, &p, &m));
  // (2*2 + 1, 1*3 + 1, -1*4 + 1) / (0.5*2 + 1).
  ExpectVectorNear(D3DXVECTOR3(2.5f, 2.0f, -1.5f), out);
  // The output may be the input.
  D3DXVECTOR3 inPlace = p;
  D3DXVec3TransformCoord(&inPlace, &inPlace, &m);
  ExpectVectorNear(D3DXVECTOR3(2.5f, 2.0f, -1.5f), inPlace);
}

// ---- Layout -------------------------------------------------------------------------

TEST(MatrixLayout, AlignedMatrixSitsOnSixteenByteBoundaries) {
  static_assert(alignof(D3DXMATRIXA16) == 16);
  static_assert(sizeof(D3DXMATRIX) == 64 && sizeof(D3DXMATRIXA16) == 64);
  static_assert(sizeof(D3DXQUATERNION) == 16 && sizeof(D3DXVECTOR3) == 12);
  struct Holder {
    char pad;
    D3DXMATRIXA16 matrix;
  };
  const auto held = std::make_unique<Holder[]>(3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(0u, reinterpret_cast<std::uintptr_t>(&held[i].matrix) % 16);
  }
}
