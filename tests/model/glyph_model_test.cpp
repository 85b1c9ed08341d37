// The glyph word as built, texture coordinates included, checked against its construction rules.
#include "model/glyph_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <tuple>
#include <vector>

namespace {

constexpr D3DCOLOR WHITE = 0xFFFFFFFF, GREY = 0xFFAAAAAA;
const std::span<const GlyphStrip> TABLE = GlyphStripTable();

std::span<const GlyphVertex> Of(const GlyphStrip& strip) {
  static const std::vector<GlyphVertex> model = [] {
    std::vector<GlyphVertex> vertices(GLYPH_VERTEX_COUNT);
    BuildGlyphVertices(vertices);
    GenerateTextureCoordinates(vertices);
    return vertices;
  }();
  return std::span(model).subspan(strip.firstVertex, strip.vertexCount);
}

// Checks every field of v but u and v, which stands at x, y of `at`, in its block's cell, on the
// quarter grid.
void ExpectVertex(const GlyphVertex& v, const GlyphVertex& at, int block, float z, D3DVECTOR n,
                  D3DCOLOR c) {
  const float x = at.position.x, y = at.position.y;
  EXPECT_EQ(std::tie(x, y, z, n.x, n.y, n.z, c, WHITE),
            std::tie(v.position.x, v.position.y, v.position.z, v.normal.x, v.normal.y, v.normal.z,
                     v.diffuse, v.specular));
  EXPECT_TRUE(x >= 4 * block - 3.75f && x <= 4 * block - 0.25f && y >= 0.25f && y <= 4) << x;
  EXPECT_TRUE(x * 4 == std::round(x * 4) && y * 4 == std::round(y * 4)) << x << ", " << y;
}

// Twice the signed area of the triangle o, a, b in x and y.
double Cross(const GlyphVertex& o, const GlyphVertex& a, const GlyphVertex& b) {
  const D3DVECTOR p = o.position, q = a.position, r = b.position;
  return (double{q.x} - p.x) * (double{r.y} - p.y) - (double{q.y} - p.y) * (double{r.x} - p.x);
}

// Per piece: its front strips at z = 0, the same strips again at z = 1, then one wall walk round
// each outline (outer first), counter-clockwise, normals pointing out of the solid. The face
// triangles cover exactly the area between the outer walk and the holes, so each walk is closed.
TEST(GlyphModel, EveryPieceFollowsTheConstructionRules) {
  ASSERT_FALSE(TABLE.empty());
  EXPECT_EQ(GLYPH_VERTEX_COUNT, TABLE.back().firstVertex + TABLE.back().vertexCount);
  for (std::size_t s = 0; s < TABLE.size();) {
    std::size_t fronts = 0;
    while (TABLE[s + fronts].kind == StripKind::FrontFace) ++fronts;
    double area = 0.0;
    for (std::size_t i = s; i < s + fronts; ++i) {
      const auto front = Of(TABLE[i]), back = Of(TABLE[i + fronts]);
      ASSERT_EQ(front.size(), back.size());
      double strip = 0.0;  // every other triangle of a strip turns the other way
      for (std::size_t k = 0; k < front.size(); ++k) {
        ExpectVertex(front[k], front[k], TABLE[i].block, 0, {0, 0, -1}, WHITE);
        ExpectVertex(back[k], front[k], TABLE[i].block, 1, {0, 0, 1}, WHITE);
        if (k >= 2) strip += (k % 2 ? -1 : 1) * Cross(front[k - 2], front[k - 1], front[k]);
      }
      area += std::fabs(strip) / 2;
    }
    for (s += 2 * fronts; s < TABLE.size() && TABLE[s].kind != StripKind::FrontFace; ++s) {
      const auto w = Of(TABLE[s]);
      const bool hole = TABLE[s].kind == StripKind::HoleWall;
      double twiceArea = 0.0;
      for (std::size_t k = 0; k < w.size(); k += 2) {
        const D3DVECTOR n = w[k].normal;
        ExpectVertex(w[k], w[k], TABLE[s].block, 0, {n.x, n.y, 0}, GREY);
        ExpectVertex(w[k + 1], w[k], TABLE[s].block, 1, n, GREY);
        EXPECT_TRUE(n.x == std::round(n.x * 100) / 100 && n.y == std::round(n.y * 100) / 100);
        if (k == 0) continue;
        twiceArea += Cross({}, w[k - 2], w[k]);
        const float dx = w[k].position.x - w[k - 2].position.x;
        const float dy = w[k].position.y - w[k - 2].position.y;
        if (dx == 0 && dy == 0) continue;  // a corner, again with the next side's normal
        // Along a side the normal stays: the side's right (outer) or left (hole) normal.
        EXPECT_EQ(std::tie(n.x, n.y), std::tie(w[k - 2].normal.x, w[k - 2].normal.y));
        EXPECT_NEAR(hole ? -1 : 1, (n.x * dy - n.y * dx) / std::hypot(dx, dy), 0.005);
      }
      EXPECT_GT(twiceArea, 0.0) << "wall at " << TABLE[s].firstVertex;
      area -= hole ? -twiceArea / 2 : twiceArea / 2;
    }
    EXPECT_NEAR(0.0, area, 1e-9) << "piece ending before strip " << s;
  }
}

// Texture coordinates of vertices picked by hand, one of each kind: (u, v) is (x, y) / 4 on the
// faces, (y / 4, z) on walls facing along x, (x / 4, z) on the others, slanted ones included.
TEST(GlyphModel, TexturesFacesAndWallsFromTheirPositions) {
  const struct {
    const char* what;
    D3DVECTOR position, normal;
    float u, v;
  } cases[] = {
      {"R stem, front, bottom left", {0.25f, 0.25f, 0}, {0, 0, -1}, 0.0625f, 0.0625f},
      {"R stem, back, top right", {0.75f, 4, 1}, {0, 0, 1}, 0.1875f, 1},
      {"R stem, right wall, back", {0.75f, 2.25f, 1}, {1, 0, 0}, 0.5625f, 1},
      {"R stem, bottom wall, front", {0.75f, 0.25f, 0}, {0, -1, 0}, 0.1875f, 0},
      {"R leg, slanted wall, back", {3.75f, 0.25f, 1}, {0.71f, 0.71f, 0}, 0.9375f, 1},
  };
  std::vector<GlyphVertex> model(GLYPH_VERTEX_COUNT);
  BuildGlyphVertices(model);
  GenerateTextureCoordinates(model);
  for (const auto& c : cases) {
    const auto at = [&](const D3DVECTOR& a, const D3DVECTOR& b) {
      return std::tie(a.x, a.y, a.z) == std::tie(b.x, b.y, b.z);
    };
    const auto found = std::ranges::find_if(model, [&](const GlyphVertex& v) {
      return at(v.position, c.position) && at(v.normal, c.normal);
    });
    ASSERT_NE(found, model.end()) << c.what;
    EXPECT_EQ(std::tie(found->u, found->v), std::tie(c.u, c.v)) << c.what;
  }
}

}  // namespace
