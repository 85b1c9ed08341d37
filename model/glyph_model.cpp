// Builds the glyph word from model/glyph_data.h by the construction rules:
// per piece its front strips (z = 0), the same strips as back faces (z = 1),
// then one wall walk per outline, outer first. Offers the strip table, the
// vertices and the texture-coordinate rule; the data's own rules (grid,
// cells, counter-clockwise outlines, known side slopes) are checked here at
// compile time, so a malformed glyph does not build.
#include "model/glyph_model.h"

#include <array>
#include <cassert>

namespace {

using glyph_data::Outline;
using glyph_data::Piece;
using glyph_data::PIECES;
using glyph_data::QPoint;
using glyph_data::Strip;

constexpr float QUARTER = 0.25f;  // model units per grid step

// Wall normals carry these two-decimal values and are not renormalised.
constexpr float DIAGONAL = 0.71f;     // sides at 45 degrees
constexpr float STEEP_MAJOR = 0.86f;  // sides rising 5 steps in 3
constexpr float STEEP_MINOR = 0.51f;

enum class Slope { Axis, Diagonal, Steep, Unknown };

constexpr Slope SideSlope(QPoint a, QPoint b) {
  const int dx = glyph_data::Abs(b.x - a.x);
  const int dy = glyph_data::Abs(b.y - a.y);
  if ((dx == 0) != (dy == 0)) return Slope::Axis;
  if (dx == dy && dx != 0) return Slope::Diagonal;
  if (5 * dx == 3 * dy && dx != 0) return Slope::Steep;
  return Slope::Unknown;
}

constexpr float Sign(int v) { return v > 0 ? 1.0f : (v < 0 ? -1.0f : 0.0f); }

// The normal of the side a-b pointing away from the solid. Outlines and holes
// are both walked counter-clockwise, so the solid lies left of an outer walk
// and right of a hole's walk: outwards is right of the walk for the outer
// outline and left of it, into the hole, for a hole.
constexpr D3DVECTOR WallNormal(QPoint a, QPoint b, bool hole) {
  const int flip = hole ? -1 : 1;
  const int nx = flip * (b.y - a.y);  // (dy, -dx) is right of the direction (dx, dy)
  const int ny = flip * -(b.x - a.x);
  switch (SideSlope(a, b)) {
    case Slope::Axis:
      return {Sign(nx), Sign(ny), 0.0f};
    case Slope::Diagonal:
      return {Sign(nx) * DIAGONAL, Sign(ny) * DIAGONAL, 0.0f};
    case Slope::Steep:
      return {Sign(nx) * STEEP_MAJOR, Sign(ny) * STEEP_MINOR, 0.0f};
    case Slope::Unknown:
      break;
  }
  return {0.0f, 0.0f, 0.0f};
}

// ---- Compile-time checks of the glyph data ------------------------------------

constexpr long TwiceSignedArea(Outline outline) {
  long sum = 0;
  for (std::size_t i = 0; i < outline.size(); ++i) {
    const QPoint a = outline[i];
    const QPoint b = outline[(i + 1) % outline.size()];
    sum += static_cast<long>(a.x) * b.y - static_cast<long>(b.x) * a.y;
  }
  return sum;
}

// Block k owns the cell x in [16(k-1), 16k] quarter units, strokes keeping a
// quarter unit clear of its edges; all strokes lie in y 1..16.
constexpr bool InsideCell(QPoint p, int block) {
  return p.x >= 16 * (block - 1) + 1 && p.x <= 16 * block - 1 && p.y >= 1 && p.y <= 16;
}

constexpr bool OutlineIsSound(const Piece& piece, Outline outline) {
  if (outline.size() < 3 || TwiceSignedArea(outline) <= 0) return false;
  for (std::size_t i = 0; i < outline.size(); ++i) {
    const QPoint a = outline[i];
    const QPoint b = outline[(i + 1) % outline.size()];
    if (!InsideCell(a, piece.block) || SideSlope(a, b) == Slope::Unknown) return false;
    int onSide = 2;
    for (const Strip& strip : piece.fronts) {
      for (QPoint p : strip) onSide += glyph_data::LiesInside(p, a, b) ? 1 : 0;
    }
    if (onSide > glyph_data::MAX_SIDE_POINTS) return false;
  }
  return true;
}

constexpr bool PieceIsSound(const Piece& piece) {
  if (piece.fronts.empty() || piece.outlines.empty()) return false;
  for (const Strip& strip : piece.fronts) {
    if (strip.size() < 3) return false;
    for (QPoint p : strip) {
      if (!InsideCell(p, piece.block)) return false;
    }
  }
  for (const Outline& outline : piece.outlines) {
    if (!OutlineIsSound(piece, outline)) return false;
  }
  return true;
}

constexpr bool GlyphDataIsSound() {
  int block = 1;
  for (const Piece& piece : PIECES) {
    if (piece.block < block || piece.block > 3 || !PieceIsSound(piece)) return false;
    block = piece.block;
  }
  return true;
}
static_assert(GlyphDataIsSound(),
              "glyph data: points off their cell, an outline not counter-clockwise, "
              "a side of unknown slope, or a strip of fewer than 3 vertices");

// ---- Strip table ----------------------------------------------------------------

constexpr std::array<GlyphStrip, GLYPH_STRIP_COUNT> MakeStripTable() {
  std::array<GlyphStrip, GLYPH_STRIP_COUNT> table{};
  std::size_t next = 0;
  int firstVertex = 0;
  const auto add = [&](int count, StripKind kind, int block) {
    table[next++] = {firstVertex, count, kind, block};
    firstVertex += count;
  };
  for (const Piece& piece : PIECES) {
    for (const Strip& strip : piece.fronts) {
      add(static_cast<int>(strip.size()), StripKind::FrontFace, piece.block);
    }
    for (const Strip& strip : piece.fronts) {
      add(static_cast<int>(strip.size()), StripKind::BackFace, piece.block);
    }
    for (std::size_t i = 0; i < piece.outlines.size(); ++i) {
      const StripKind kind = i == 0 ? StripKind::OuterWall : StripKind::HoleWall;
      add(2 * glyph_data::WalkPointCount(piece, piece.outlines[i]), kind, piece.block);
    }
  }
  return table;
}

constexpr std::array<GlyphStrip, GLYPH_STRIP_COUNT> STRIP_TABLE = MakeStripTable();
static_assert(STRIP_TABLE.back().firstVertex + STRIP_TABLE.back().vertexCount ==
              GLYPH_VERTEX_COUNT);

// ---- Vertices -------------------------------------------------------------------

// Appends vertices to the caller's array in order.
class VertexWriter {
 public:
  explicit VertexWriter(std::span<GlyphVertex> out) : out_(out) {}

  void Face(QPoint p, float z, float normalZ) {
    Put({{p.x * QUARTER, p.y * QUARTER, z},
         {0.0f, 0.0f, normalZ},
         FACE_DIFFUSE,
         FACE_SPECULAR,
         0.0f,
         0.0f});
  }

  // One outline point of a wall: front edge, then back edge.
  void WallPair(QPoint p, D3DVECTOR normal) {
    Put({{p.x * QUARTER, p.y * QUARTER, 0.0f}, normal, WALL_DIFFUSE, WALL_SPECULAR, 0.0f, 0.0f});
    Put({{p.x * QUARTER, p.y * QUARTER, 1.0f}, normal, WALL_DIFFUSE, WALL_SPECULAR, 0.0f, 0.0f});
  }

  std::size_t Written() const { return next_; }

 private:
  void Put(const GlyphVertex& vertex) { out_[next_++] = vertex; }

  std::span<GlyphVertex> out_;
  std::size_t next_ = 0;
};

// The walk starts and ends at outline[0]; every side is emitted with its own
// normal, so each corner appears twice.
void WriteWall(VertexWriter& writer, const Piece& piece, Outline outline, bool hole) {
  for (std::size_t i = 0; i < outline.size(); ++i) {
    const QPoint a = outline[i];
    const QPoint b = outline[(i + 1) % outline.size()];
    const D3DVECTOR normal = WallNormal(a, b, hole);
    std::array<QPoint, glyph_data::MAX_SIDE_POINTS> points{};
    const int count = glyph_data::SidePoints(piece, a, b, points);
    for (int k = 0; k < count; ++k) writer.WallPair(points[k], normal);
  }
}

void WritePiece(VertexWriter& writer, const Piece& piece) {
  for (const Strip& strip : piece.fronts) {
    for (QPoint p : strip) writer.Face(p, 0.0f, -1.0f);
  }
  for (const Strip& strip : piece.fronts) {
    for (QPoint p : strip) writer.Face(p, 1.0f, 1.0f);
  }
  for (std::size_t i = 0; i < piece.outlines.size(); ++i) {
    WriteWall(writer, piece, piece.outlines[i], i > 0);
  }
}

}  // namespace

std::span<const GlyphStrip> GlyphStripTable() { return STRIP_TABLE; }

void BuildGlyphVertices(std::span<GlyphVertex> out) {
  assert(out.size() == static_cast<std::size_t>(GLYPH_VERTEX_COUNT) &&
         "BuildGlyphVertices needs room for exactly GLYPH_VERTEX_COUNT vertices");
  if (out.size() != static_cast<std::size_t>(GLYPH_VERTEX_COUNT)) return;
  VertexWriter writer(out);
  for (const Piece& piece : PIECES) WritePiece(writer, piece);
  assert(writer.Written() == out.size());
}

void GenerateTextureCoordinates(std::span<GlyphVertex> vertices) {
  for (GlyphVertex& vertex : vertices) {
    const D3DVECTOR& n = vertex.normal;
    const D3DVECTOR& p = vertex.position;
    // Exact comparisons: the construction writes these components as 0.
    if (n.x == 0.0f && n.y == 0.0f) {  // front and back faces
      vertex.u = p.x / 4.0f;
      vertex.v = p.y / 4.0f;
    } else if (n.y == 0.0f && n.z == 0.0f) {  // walls facing +-x
      vertex.u = p.y / 4.0f;
      vertex.v = p.z;
    } else {  // walls facing +-y and the slanted walls
      vertex.u = p.x / 4.0f;
      vertex.v = p.z;
    }
  }
}
