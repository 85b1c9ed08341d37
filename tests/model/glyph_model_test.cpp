// Behaviour of the glyph model: the strip table, the face strips, the wall
// walks, the model's bounds and colours, and the texture-coordinate rule.
// Works on the built vertex array only; no device or display is involved.
#include "model/glyph_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <tuple>
#include <vector>

namespace {

// The strips of one piece as the table lists them: fronts, the same number
// of backs, then its walls (outer first).
struct PieceStrips {
  std::vector<GlyphStrip> fronts;
  std::vector<GlyphStrip> backs;
  std::vector<GlyphStrip> walls;
};

struct XY {
  float x;
  float y;
  bool operator==(const XY&) const = default;
};

const std::vector<GlyphVertex>& Model() {
  static const std::vector<GlyphVertex> model = [] {
    std::vector<GlyphVertex> vertices(GLYPH_VERTEX_COUNT);
    BuildGlyphVertices(vertices);
    return vertices;
  }();
  return model;
}

std::span<const GlyphVertex> VerticesOf(const GlyphStrip& strip) {
  return std::span(Model()).subspan(strip.firstVertex, strip.vertexCount);
}

bool IsWall(StripKind kind) { return kind == StripKind::OuterWall || kind == StripKind::HoleWall; }

// A new piece starts at every front strip that follows a wall (or opens the table).
std::vector<PieceStrips> Pieces() {
  std::vector<PieceStrips> pieces;
  StripKind previous = StripKind::OuterWall;
  for (const GlyphStrip& strip : GlyphStripTable()) {
    if (strip.kind == StripKind::FrontFace && IsWall(previous)) pieces.emplace_back();
    PieceStrips& piece = pieces.back();
    if (strip.kind == StripKind::FrontFace) piece.fronts.push_back(strip);
    if (strip.kind == StripKind::BackFace) piece.backs.push_back(strip);
    if (IsWall(strip.kind)) piece.walls.push_back(strip);
    previous = strip.kind;
  }
  return pieces;
}

XY At(const GlyphVertex& v) { return {v.position.x, v.position.y}; }

double Cross(XY o, XY a, XY b) {
  return (static_cast<double>(a.x) - o.x) * (static_cast<double>(b.y) - o.y) -
         (static_cast<double>(a.y) - o.y) * (static_cast<double>(b.x) - o.x);
}

// The outline points a wall visits, one per front/back pair.
std::vector<XY> WalkPoints(const GlyphStrip& wall) {
  std::vector<XY> points;
  const auto vertices = VerticesOf(wall);
  for (std::size_t i = 0; i + 1 < vertices.size(); i += 2) points.push_back(At(vertices[i]));
  return points;
}

double SignedArea(const std::vector<XY>& walk) {
  double twice = 0.0;
  for (std::size_t i = 0; i + 1 < walk.size(); ++i) twice += Cross({0, 0}, walk[i], walk[i + 1]);
  return twice / 2.0;
}

bool InsideTriangle(XY p, XY a, XY b, XY c) {
  const double d1 = Cross(a, b, p), d2 = Cross(b, c, p), d3 = Cross(c, a, p);
  return (d1 > 0 && d2 > 0 && d3 > 0) || (d1 < 0 && d2 < 0 && d3 < 0);
}

// True when p lies strictly inside one of the piece's front-face triangles.
bool OnFace(const PieceStrips& piece, XY p) {
  for (const GlyphStrip& strip : piece.fronts) {
    const auto v = VerticesOf(strip);
    for (std::size_t i = 0; i + 2 < v.size(); ++i) {
      if (InsideTriangle(p, At(v[i]), At(v[i + 1]), At(v[i + 2]))) return true;
    }
  }
  return false;
}

bool SameVector(const D3DVECTOR& a, const D3DVECTOR& b) {
  return a.x == b.x && a.y == b.y && a.z == b.z;
}

GlyphVertex VertexAt(float x, float y, float z, D3DVECTOR normal) {
  return {{x, y, z}, normal, FACE_DIFFUSE, FACE_SPECULAR, 0.0f, 0.0f};
}

// ---- The strip table --------------------------------------------------------------

TEST(StripTable, CoversTheVertexArrayWithoutGapOrOverlap) {
  const auto table = GlyphStripTable();
  ASSERT_EQ(static_cast<int>(table.size()), GLYPH_STRIP_COUNT);
  int next = 0;
  for (const GlyphStrip& strip : table) {
    EXPECT_EQ(strip.firstVertex, next);
    EXPECT_GE(strip.vertexCount, 3);
    next += strip.vertexCount;
  }
  EXPECT_EQ(next, GLYPH_VERTEX_COUNT);
}

// Worked out from the letter design. "R": stem cut 9 times (18), its wall 4
// corners + 14 side points (44); 45-degree leg cut 4 times (8), wall 8 + 4
// (24); bowl strip 40, walls 18 + 6 corners (48) and 12 + 4 corners (32).
// "a": arch 8 + 7 sharing a cut, 13 points + 10 corners + the start point
// (48); stem with foot 13, 12 + 6 (36); bowl 21, 9 + 8 + start point (36) and
// 10 + 4 (28). "d": foot 6, stem 10, bowl 33, 26 points + 8 corners (68),
// 12 + 4 (32); ascender 6, 6 + 4 (20).
TEST(StripTable, ListsTheDesignedWord) {
  using K = StripKind;
  const std::vector<std::tuple<int, StripKind, int>> expected = {
      {18, K::FrontFace, 1}, {18, K::BackFace, 1},  {44, K::OuterWall, 1}, {8, K::FrontFace, 1},
      {8, K::BackFace, 1},   {24, K::OuterWall, 1}, {40, K::FrontFace, 1}, {40, K::BackFace, 1},
      {48, K::OuterWall, 1}, {32, K::HoleWall, 1},  {8, K::FrontFace, 2},  {7, K::FrontFace, 2},
      {8, K::BackFace, 2},   {7, K::BackFace, 2},   {48, K::OuterWall, 2}, {13, K::FrontFace, 2},
      {13, K::BackFace, 2},  {36, K::OuterWall, 2}, {21, K::FrontFace, 2}, {21, K::BackFace, 2},
      {36, K::OuterWall, 2}, {28, K::HoleWall, 2},  {6, K::FrontFace, 3},  {10, K::FrontFace, 3},
      {33, K::FrontFace, 3}, {6, K::BackFace, 3},   {10, K::BackFace, 3},  {33, K::BackFace, 3},
      {68, K::OuterWall, 3}, {32, K::HoleWall, 3},  {6, K::FrontFace, 3},  {6, K::BackFace, 3},
      {20, K::OuterWall, 3}};
  std::vector<std::tuple<int, StripKind, int>> actual;
  for (const GlyphStrip& s : GlyphStripTable()) actual.emplace_back(s.vertexCount, s.kind, s.block);
  EXPECT_EQ(actual, expected);
  EXPECT_EQ(GLYPH_VERTEX_COUNT, 756);
}

// ---- Face strips -------------------------------------------------------------------

TEST(FaceStrips, BackFacesRepeatTheFrontsOneUnitBehind) {
  for (const PieceStrips& piece : Pieces()) {
    for (std::size_t i = 0; i < piece.fronts.size(); ++i) {
      const auto front = VerticesOf(piece.fronts[i]);
      const auto back = VerticesOf(piece.backs[i]);
      for (std::size_t k = 0; k < front.size(); ++k) {
        EXPECT_EQ(front[k].position.z, 0.0f);
        EXPECT_TRUE(SameVector(front[k].normal, {0.0f, 0.0f, -1.0f}));
        EXPECT_EQ(At(back[k]), At(front[k]));
        EXPECT_EQ(back[k].position.z, 1.0f);
        EXPECT_TRUE(SameVector(back[k].normal, {0.0f, 0.0f, 1.0f}));
      }
    }
  }
}

// The triangles' areas add up to the area inside the outer walk less the
// holes: together with the vertices lying on the walls, the faces cover each
// piece once, without overlap.
TEST(FaceStrips, CoverEachPieceExactlyOnce) {
  for (const PieceStrips& piece : Pieces()) {
    double outline = SignedArea(WalkPoints(piece.walls[0]));
    for (std::size_t i = 1; i < piece.walls.size(); ++i) {
      outline -= SignedArea(WalkPoints(piece.walls[i]));
    }
    double faces = 0.0;
    for (const GlyphStrip& strip : piece.fronts) {
      const auto v = VerticesOf(strip);
      for (std::size_t i = 0; i + 2 < v.size(); ++i) {
        faces += std::fabs(Cross(At(v[i]), At(v[i + 1]), At(v[i + 2]))) / 2.0;
      }
    }
    EXPECT_DOUBLE_EQ(faces, outline) << "piece at " << piece.fronts[0].firstVertex;
  }
}

TEST(FaceStrips, HaveEveryVertexOnTheirPiecesWalls) {
  for (const PieceStrips& piece : Pieces()) {
    std::vector<XY> wallPoints;
    for (const GlyphStrip& wall : piece.walls) {
      const std::vector<XY> walk = WalkPoints(wall);
      wallPoints.insert(wallPoints.end(), walk.begin(), walk.end());
    }
    for (const GlyphStrip& strip : piece.fronts) {
      for (const GlyphVertex& v : VerticesOf(strip)) {
        EXPECT_NE(std::find(wallPoints.begin(), wallPoints.end(), At(v)), wallPoints.end())
            << "(" << v.position.x << ", " << v.position.y << ")";
      }
    }
  }
}

// ---- Wall walks --------------------------------------------------------------------

TEST(WallWalks, PairFrontAndBackEdgesAtEachOutlinePointAndEndWhereTheyStart) {
  for (const PieceStrips& piece : Pieces()) {
    for (const GlyphStrip& wall : piece.walls) {
      const auto v = VerticesOf(wall);
      ASSERT_EQ(v.size() % 2, 0u);
      for (std::size_t i = 0; i < v.size(); i += 2) {
        EXPECT_EQ(At(v[i]), At(v[i + 1]));
        EXPECT_EQ(v[i].position.z, 0.0f);
        EXPECT_EQ(v[i + 1].position.z, 1.0f);
        EXPECT_TRUE(SameVector(v[i].normal, v[i + 1].normal));
      }
      const std::vector<XY> walk = WalkPoints(wall);
      EXPECT_EQ(walk.front(), walk.back()) << "wall at " << wall.firstVertex;
    }
  }
}

// Outer outlines and holes alike go counter-clockwise (x right, y up).
TEST(WallWalks, RunCounterClockwise) {
  for (const PieceStrips& piece : Pieces()) {
    const double outer = SignedArea(WalkPoints(piece.walls[0]));
    EXPECT_GT(outer, 0.0);
    for (std::size_t i = 1; i < piece.walls.size(); ++i) {
      const double hole = SignedArea(WalkPoints(piece.walls[i]));
      EXPECT_GT(hole, 0.0);
      EXPECT_LT(hole, outer);
    }
  }
}

// Where the normal changes, the corner point is emitted again with the new
// side's normal, giving a pair of zero-area triangles.
TEST(WallWalks, EmitEachCornerOnceForEachOfItsSides) {
  for (const PieceStrips& piece : Pieces()) {
    for (const GlyphStrip& wall : piece.walls) {
      const auto v = VerticesOf(wall);
      for (std::size_t i = 2; i < v.size(); i += 2) {
        if (!SameVector(v[i].normal, v[i - 2].normal)) {
          EXPECT_EQ(At(v[i]), At(v[i - 2])) << "wall at " << wall.firstVertex << ", " << i;
        }
      }
    }
  }
}

// A step along the normal from the middle of each side leaves the piece's
// face; a step against it enters the face. For a hole, leaving the face
// means entering the hole.
TEST(WallWalks, HaveNormalsPointingAwayFromTheSolid) {
  constexpr float STEP = 0.05f;
  for (const PieceStrips& piece : Pieces()) {
    for (const GlyphStrip& wall : piece.walls) {
      const auto v = VerticesOf(wall);
      for (std::size_t i = 2; i < v.size(); i += 2) {
        if (!SameVector(v[i].normal, v[i - 2].normal) || At(v[i]) == At(v[i - 2])) continue;
        const XY mid = {(v[i].position.x + v[i - 2].position.x) / 2,
                        (v[i].position.y + v[i - 2].position.y) / 2};
        const D3DVECTOR& n = v[i].normal;
        EXPECT_FALSE(OnFace(piece, {mid.x + STEP * n.x, mid.y + STEP * n.y}))
            << "wall at " << wall.firstVertex << ", " << i;
        EXPECT_TRUE(OnFace(piece, {mid.x - STEP * n.x, mid.y - STEP * n.y}))
            << "wall at " << wall.firstVertex << ", " << i;
      }
    }
  }
}

TEST(WallWalks, UseOnlyTheTwoDecimalNormalsInThePlane) {
  const std::vector<std::pair<float, float>> allowed = {
      {1.0f, 0.0f}, {0.0f, 1.0f}, {0.71f, 0.71f}, {0.86f, 0.51f}};
  for (const GlyphStrip& strip : GlyphStripTable()) {
    if (!IsWall(strip.kind)) continue;
    for (const GlyphVertex& v : VerticesOf(strip)) {
      EXPECT_EQ(v.normal.z, 0.0f);
      const std::pair<float, float> size = {std::fabs(v.normal.x), std::fabs(v.normal.y)};
      EXPECT_NE(std::find(allowed.begin(), allowed.end(), size), allowed.end())
          << v.normal.x << ", " << v.normal.y;
    }
  }
}

// ---- The whole model ---------------------------------------------------------------

TEST(GlyphModel, SpansTheWordsBounds) {
  float minX = 100, maxX = -100, minY = 100, maxY = -100, minZ = 100, maxZ = -100;
  for (const GlyphVertex& v : Model()) {
    minX = std::min(minX, v.position.x), maxX = std::max(maxX, v.position.x);
    minY = std::min(minY, v.position.y), maxY = std::max(maxY, v.position.y);
    minZ = std::min(minZ, v.position.z), maxZ = std::max(maxZ, v.position.z);
  }
  EXPECT_EQ(minX, 0.25f);
  EXPECT_EQ(maxX, 11.75f);
  EXPECT_EQ(minY, 0.25f);
  EXPECT_EQ(maxY, 4.0f);
  EXPECT_EQ(minZ, 0.0f);
  EXPECT_EQ(maxZ, 1.0f);
}

TEST(GlyphModel, KeepsEachBlockInsideItsCell) {
  for (const GlyphStrip& strip : GlyphStripTable()) {
    const float left = 4.0f * (strip.block - 1) + 0.25f;
    const float right = 4.0f * strip.block - 0.25f;
    for (const GlyphVertex& v : VerticesOf(strip)) {
      EXPECT_GE(v.position.x, left);
      EXPECT_LE(v.position.x, right);
    }
  }
}

TEST(GlyphModel, PutsEveryCoordinateOnTheQuarterGrid) {
  for (const GlyphVertex& v : Model()) {
    for (float c : {v.position.x, v.position.y, v.position.z}) {
      EXPECT_EQ(c * 4.0f, std::round(c * 4.0f)) << c;
    }
  }
}

TEST(GlyphModel, ColoursFacesWhiteAndWallsGreyWithTextureCoordinatesLeftAtZero) {
  for (const GlyphStrip& strip : GlyphStripTable()) {
    const bool wall = IsWall(strip.kind);
    for (const GlyphVertex& v : VerticesOf(strip)) {
      EXPECT_EQ(v.diffuse, wall ? 0xFFAAAAAAu : 0xFFFFFFFFu);
      EXPECT_EQ(v.specular, 0xFFFFFFFFu);
      EXPECT_EQ(v.u, 0.0f);
      EXPECT_EQ(v.v, 0.0f);
    }
  }
}

TEST(GlyphModel, WritesNothingIntoAnArrayOfTheWrongSize) {
#ifdef NDEBUG
  std::vector<GlyphVertex> small(3, VertexAt(9.0f, 9.0f, 9.0f, {0.0f, 0.0f, 0.0f}));
  BuildGlyphVertices(small);
  for (const GlyphVertex& v : small) EXPECT_EQ(v.position.x, 9.0f);
#else
  GTEST_SKIP() << "asserts on the size in debug builds";
#endif
}

// ---- Texture coordinates -----------------------------------------------------------

// Faces take a quarter of x and y; walls facing x a quarter of y and the
// depth; walls facing y and slanted walls a quarter of x and the depth.
TEST(TextureCoordinates, FollowTheWorkedExamples) {
  const struct {
    GlyphVertex vertex;
    float u, v;
  } cases[] = {
      {VertexAt(2.25f, 2.0f, 0.0f, {0.0f, 0.0f, -1.0f}), 0.5625f, 0.5f},
      {VertexAt(11.75f, 4.0f, 1.0f, {0.0f, 0.0f, 1.0f}), 2.9375f, 1.0f},
      {VertexAt(2.25f, 2.5f, 1.0f, {-1.0f, 0.0f, 0.0f}), 0.625f, 1.0f},
      {VertexAt(3.0f, 1.0f, 0.0f, {1.0f, 0.0f, 0.0f}), 0.25f, 0.0f},
      {VertexAt(0.75f, 3.25f, 1.0f, {0.0f, -1.0f, 0.0f}), 0.1875f, 1.0f},
      {VertexAt(3.25f, 2.5f, 1.0f, {0.71f, 0.71f, 0.0f}), 0.8125f, 1.0f},
      {VertexAt(1.5f, 0.25f, 0.0f, {-0.86f, 0.51f, 0.0f}), 0.375f, 0.0f},
  };
  std::vector<GlyphVertex> vertices;
  for (const auto& c : cases) vertices.push_back(c.vertex);
  GenerateTextureCoordinates(vertices);
  for (std::size_t i = 0; i < vertices.size(); ++i) {
    EXPECT_EQ(vertices[i].u, cases[i].u) << "case " << i;
    EXPECT_EQ(vertices[i].v, cases[i].v) << "case " << i;
  }
}

}  // namespace
