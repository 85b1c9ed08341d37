// The D3DX maths the viewer uses, against values worked out by hand from the documented formulas
// (row vectors, p * M; left-handed camera).
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "platform/d3dx9/d3dx9.h"

namespace {

D3DXMATRIX Rows(const std::vector<float>& values) {
  D3DXMATRIX m;
  for (int i = 0; i < 16; ++i) m(i / 4, i % 4) = values[i];
  return m;
}

TEST(D3dxMaths, MatchesHandWorkedValues) {
  D3DXMATRIX identity = Rows(std::vector<float>(16, 7.0f)), translation, rotation, view, projection;
  D3DXMatrixIdentity(&identity);
  D3DXMatrixTranslation(&translation, 1.5f, -2, 3.25f);
  // The world matrix is built in place: W = W * B.
  D3DXMATRIX product = Rows({1, 2, 0, -1, 0, 1, 3, 0, 4, 0, 1, 2, 1, 2, 3, 1});
  const D3DXMATRIX b = Rows({0, 1, 0, 2, -1, 0, 0, 0, 0, 3, 2, 0, 5, 0, -2, 1});
  D3DXMatrixMultiply(&product, &product, &b);
  const D3DXQUATERNION unnormalised(1, -2, 3, 4), q1(1, 2, 3, 4), q2(-5, 6, 7, 8);
  D3DXMatrixRotationQuaternion(&rotation, &unnormalised);
  D3DXQUATERNION identityQ(3, 4, 5, 6), both;
  D3DXQuaternionIdentity(&identityQ);
  D3DXQuaternionMultiply(&both, &q1, &q2);
  // The viewer's camera: eye (3, 7, -5), target (0, 2, 0), up y; 60 degrees, 2:1, 1 to 100.
  const D3DXVECTOR3 eye(3, 7, -5), at(0, 2, 0), up(0, 1, 0);
  D3DXMatrixLookAtLH(&view, &eye, &at, &up);
  D3DXMatrixPerspectiveFovLH(&projection, D3DX_PI / 3, 2.0f, 1.0f, 100.0f);
  // Camera axes: z = (at - eye) / |at - eye| = (-3, -5, 5) / r59, x = up x z / |up x z| = (5, 0,
  // 3) / r34, y = z x x = (-15, 34, 25) / r2006; the fourth row is -(x.eye, y.eye, z.eye).
  const float r34 = std::sqrt(34.0f), r59 = std::sqrt(59.0f), r2006 = std::sqrt(2006.0f);
  const float r3 = std::sqrt(3.0f);  // cot 30 degrees
  const struct {
    const char* name;
    const float* actual;
    std::vector<float> expected;
  } cases[] = {
      {"identity", &identity.m[0][0], {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}},
      {"translation",
       &translation.m[0][0],
       {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1.5f, -2, 3.25f, 1}},
      {"product", &product.m[0][0], {-7, 1, 2, 1, -1, 9, 6, 0, 10, 7, -2, 10, 3, 10, 4, 3}},
      // 1 - 2 (y y + z z), 2 (x y + z w), 2 (x z - y w); 2 (x y - z w), 1 - 2 (x x + z z), ...
      {"rotation",
       &rotation.m[0][0],
       {-25, 20, 22, 0, -28, -19, -4, 0, -10, -20, -9, 0, 0, 0, 0, 1}},
      {"quaternion identity", &identityQ.x, {0, 0, 0, 1}},
      // q1 then q2 is q2 q1: (8 q1.xyz + 4 q2.xyz + q2.xyz x q1.xyz, 8 * 4 - q2.xyz . q1.xyz).
      {"quaternion product", &both.x, {-8, 62, 36, 4}},
      {"view",
       &view.m[0][0],
       {5 / r34, -15 / r2006, -3 / r59, 0, 0, 34 / r2006, -5 / r59, 0, 3 / r34, 25 / r2006, 5 / r59,
        0, 0, -68 / r2006, 69 / r59, 1}},
      // x scale cot(fov / 2) / aspect, y scale cot(fov / 2), zf / (zf - zn), -zn zf / (zf - zn).
      {"projection",
       &projection.m[0][0],
       {r3 / 2, 0, 0, 0, 0, r3, 0, 0, 0, 0, 100 / 99.0f, 1, 0, 0, -100 / 99.0f, 0}},
  };
  for (const auto& c : cases) {
    for (std::size_t i = 0; i < c.expected.size(); ++i) {
      EXPECT_NEAR(c.expected[i], c.actual[i], 1e-5f) << c.name << " [" << i << "]";
    }
  }
  static_assert(alignof(D3DXMATRIXA16) == 16 && sizeof(D3DXMATRIXA16) == 64);
}

}  // namespace
