// The glyph word "Rad" as data: each piece's front-face strips and its
// outlines, on a grid of quarter units, and the counts that follow from them.
// Everything here is constexpr so that the vertex count and the strip table
// are fixed at compile time from the same data the vertices are built from.
// Rules the data keeps are checked by static_asserts in glyph_model.cpp.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <span>

namespace glyph_data {

// A point in quarter units: x = 1 is 0.25 in model space.
struct QPoint {
  int x;
  int y;
  constexpr bool operator==(const QPoint&) const = default;
};

using Strip = std::span<const QPoint>;    // front-face triangle strip, z = 0
using Outline = std::span<const QPoint>;  // corners, counter-clockwise, from the walk's start

// One connected solid: its front strips (one group: all fronts, then all
// backs) and its outlines (the outer one first, then its holes).
struct Piece {
  int block;  // 1, 2 or 3
  std::span<const Strip> fronts;
  std::span<const Outline> outlines;
};

// ---- Block 1: "R" (stem, leg, bowl ring; cell x 0..4) ------------------------

// Stem: cut every half unit upwards, the last step a quarter.
inline constexpr QPoint R_STEM[] = {{1, 1},  {3, 1},  {1, 3},  {3, 3},  {1, 5},  {3, 5},
                                    {1, 7},  {3, 7},  {1, 9},  {3, 9},  {1, 11}, {3, 11},
                                    {1, 13}, {3, 13}, {1, 15}, {3, 15}, {1, 16}, {3, 16}};
inline constexpr Strip R_STEM_STRIPS[] = {R_STEM};
inline constexpr QPoint R_STEM_OUTLINE[] = {{1, 1}, {3, 1}, {3, 16}, {1, 16}};
inline constexpr Outline R_STEM_OUTLINES[] = {R_STEM_OUTLINE};

// Leg: a 45-degree band from under the bowl to the baseline.
inline constexpr QPoint R_LEG[] = {{7, 7},  {9, 7},  {9, 5},  {11, 5},
                                   {11, 3}, {13, 3}, {13, 1}, {15, 1}};
inline constexpr Strip R_LEG_STRIPS[] = {R_LEG};
inline constexpr QPoint R_LEG_OUTLINE[] = {{13, 1}, {15, 1}, {9, 7}, {7, 7}};
inline constexpr Outline R_LEG_OUTLINES[] = {R_LEG_OUTLINE};

// Bowl: a ring with the right-hand corners cut at 45 degrees. The strip
// starts on the bottom band and fans round the inner corner at each turn.
inline constexpr QPoint R_BOWL[] = {
    {8, 8},   {8, 10},  {10, 8},  {10, 10}, {12, 8},  {12, 10}, {13, 8},  {13, 10},
    {15, 10}, {13, 10}, {15, 12}, {13, 12}, {15, 14}, {13, 14}, {13, 16}, {13, 14},
    {12, 16}, {12, 14}, {10, 16}, {10, 14}, {8, 16},  {8, 14},  {6, 16},  {6, 14},
    {4, 16},  {6, 14},  {4, 14},  {6, 14},  {4, 12},  {6, 12},  {4, 12},  {6, 10},
    {4, 10},  {6, 10},  {4, 8},   {6, 10},  {6, 8},   {6, 10},  {8, 8},   {8, 10}};
inline constexpr Strip R_BOWL_STRIPS[] = {R_BOWL};
inline constexpr QPoint R_BOWL_OUTLINE[] = {{4, 8}, {13, 8}, {15, 10}, {15, 14}, {13, 16}, {4, 16}};
inline constexpr QPoint R_BOWL_HOLE[] = {{6, 10}, {13, 10}, {13, 14}, {6, 14}};
inline constexpr Outline R_BOWL_OUTLINES[] = {R_BOWL_OUTLINE, R_BOWL_HOLE};

// ---- Block 2: "a" (arch, stem with foot, bowl ring; cell x 4..8) --------------

// Arch: an arc with cut shoulders over the stem, in two strips that share the
// cut at the top; its wall starts at the middle of the top.
inline constexpr QPoint A_ARCH_LEFT[] = {{19, 9},  {21, 9},  {19, 12}, {21, 11},
                                         {20, 13}, {23, 11}, {24, 13}, {25, 11}};
inline constexpr QPoint A_ARCH_RIGHT[] = {{24, 13}, {25, 11}, {28, 13}, {27, 11},
                                          {29, 12}, {27, 9},  {29, 9}};
inline constexpr Strip A_ARCH_STRIPS[] = {A_ARCH_LEFT, A_ARCH_RIGHT};
inline constexpr QPoint A_ARCH_OUTLINE[] = {{24, 13}, {20, 13}, {19, 12}, {19, 9},
                                            {21, 9},  {21, 11}, {27, 11}, {27, 9},
                                            {29, 9},  {29, 12}, {28, 13}};
inline constexpr Outline A_ARCH_OUTLINES[] = {A_ARCH_OUTLINE};

// Stem turning into a foot at the baseline.
inline constexpr QPoint A_STEM[] = {{27, 8}, {29, 8}, {27, 6}, {29, 6}, {27, 4}, {29, 4}, {27, 3},
                                    {29, 3}, {27, 1}, {29, 3}, {29, 1}, {31, 3}, {31, 1}};
inline constexpr Strip A_STEM_STRIPS[] = {A_STEM};
inline constexpr QPoint A_STEM_OUTLINE[] = {{27, 1}, {31, 1}, {31, 3}, {29, 3}, {29, 8}, {27, 8}};
inline constexpr Outline A_STEM_OUTLINES[] = {A_STEM_OUTLINE};

// Bowl: an eight-sided ring, a quarter unit thick at top and bottom; its
// outer wall starts at the middle of the bottom.
inline constexpr QPoint A_BOWL[] = {{20, 5}, {18, 6}, {19, 5}, {17, 5}, {19, 3}, {17, 2}, {19, 2},
                                    {18, 1}, {21, 2}, {22, 1}, {23, 2}, {25, 1}, {24, 2}, {26, 2},
                                    {24, 4}, {26, 5}, {24, 5}, {25, 6}, {22, 5}, {18, 6}, {20, 5}};
inline constexpr Strip A_BOWL_STRIPS[] = {A_BOWL};
inline constexpr QPoint A_BOWL_OUTLINE[] = {{22, 1}, {25, 1}, {26, 2}, {26, 5}, {25, 6},
                                            {18, 6}, {17, 5}, {17, 2}, {18, 1}};
inline constexpr QPoint A_BOWL_HOLE[] = {{19, 2}, {24, 2}, {24, 5}, {19, 5}};
inline constexpr Outline A_BOWL_OUTLINES[] = {A_BOWL_OUTLINE, A_BOWL_HOLE};

// ---- Block 3: "d" (body with the bowl, ascender; cell x 8..12) ----------------

// Body: foot, lower stem and the bowl, which closes on the stem.
inline constexpr QPoint D_FOOT[] = {{43, 3}, {43, 1}, {45, 3}, {45, 1}, {47, 3}, {47, 1}};
inline constexpr QPoint D_STEM[] = {{41, 1}, {43, 1}, {41, 3}, {43, 3}, {41, 5},
                                    {43, 5}, {41, 7}, {43, 7}, {41, 9}, {43, 9}};
inline constexpr QPoint D_BOWL[] = {
    {41, 1}, {41, 3},  {39, 1},  {39, 3},  {37, 1},  {37, 3}, {35, 1},  {35, 3}, {34, 1},
    {35, 3}, {33, 2},  {35, 3},  {33, 3},  {35, 5},  {33, 5}, {35, 7},  {33, 7}, {35, 9},
    {33, 9}, {35, 9},  {33, 10}, {35, 9},  {34, 11}, {35, 9}, {35, 11}, {37, 9}, {37, 11},
    {39, 9}, {39, 11}, {41, 9},  {41, 11}, {43, 9},  {43, 11}};
inline constexpr Strip D_BODY_STRIPS[] = {D_FOOT, D_STEM, D_BOWL};
inline constexpr QPoint D_BODY_OUTLINE[] = {{34, 1},  {47, 1},  {47, 3},  {43, 3},
                                            {43, 11}, {34, 11}, {33, 10}, {33, 2}};
inline constexpr QPoint D_BODY_HOLE[] = {{35, 3}, {41, 3}, {41, 9}, {35, 9}};
inline constexpr Outline D_BODY_OUTLINES[] = {D_BODY_OUTLINE, D_BODY_HOLE};

// Ascender, parted from the body like the arch of the "a" from its stem.
inline constexpr QPoint D_ASCENDER[] = {{43, 12}, {41, 12}, {43, 14}, {41, 14}, {43, 16}, {41, 16}};
inline constexpr Strip D_ASCENDER_STRIPS[] = {D_ASCENDER};
inline constexpr QPoint D_ASCENDER_OUTLINE[] = {{41, 12}, {43, 12}, {43, 16}, {41, 16}};
inline constexpr Outline D_ASCENDER_OUTLINES[] = {D_ASCENDER_OUTLINE};

// The pieces in buffer order.
inline constexpr Piece PIECES[] = {
    {1, R_STEM_STRIPS, R_STEM_OUTLINES}, {1, R_LEG_STRIPS, R_LEG_OUTLINES},
    {1, R_BOWL_STRIPS, R_BOWL_OUTLINES}, {2, A_ARCH_STRIPS, A_ARCH_OUTLINES},
    {2, A_STEM_STRIPS, A_STEM_OUTLINES}, {2, A_BOWL_STRIPS, A_BOWL_OUTLINES},
    {3, D_BODY_STRIPS, D_BODY_OUTLINES}, {3, D_ASCENDER_STRIPS, D_ASCENDER_OUTLINES},
};

// ---- What follows from the data ---------------------------------------------

// The most points one side of an outline can carry; checked in glyph_model.cpp.
inline constexpr int MAX_SIDE_POINTS = 32;

constexpr int Abs(int v) { return v < 0 ? -v : v; }

// True when p lies on the segment a-b strictly between its ends.
constexpr bool LiesInside(QPoint p, QPoint a, QPoint b) {
  const long cross =
      static_cast<long>(b.x - a.x) * (p.y - a.y) - static_cast<long>(b.y - a.y) * (p.x - a.x);
  if (cross != 0 || p == a || p == b) return false;
  return std::min(a.x, b.x) <= p.x && p.x <= std::max(a.x, b.x) && std::min(a.y, b.y) <= p.y &&
         p.y <= std::max(a.y, b.y);
}

// The points a wall emits along one side: its first corner, the piece's
// strip vertices on the side in walking order, its last corner. `out` must
// hold MAX_SIDE_POINTS; returns how many were written.
constexpr int SidePoints(const Piece& piece, QPoint a, QPoint b, std::span<QPoint> out) {
  int n = 0;
  out[n++] = a;
  for (const Strip& strip : piece.fronts) {
    for (QPoint p : strip) {
      const bool seen = std::find(out.begin() + 1, out.begin() + n, p) != out.begin() + n;
      if (LiesInside(p, a, b) && !seen && n < MAX_SIDE_POINTS - 1) out[n++] = p;
    }
  }
  const auto distance = [a](QPoint p) { return Abs(p.x - a.x) + Abs(p.y - a.y); };
  std::sort(out.begin() + 1, out.begin() + n,
            [&](QPoint p, QPoint q) { return distance(p) < distance(q); });
  out[n++] = b;
  return n;
}

// Outline points visited by a wall walk; each is emitted as two vertices.
constexpr int WalkPointCount(const Piece& piece, Outline outline) {
  int count = 0;
  const std::size_t n = outline.size();
  for (std::size_t i = 0; i < n; ++i) {
    std::array<QPoint, MAX_SIDE_POINTS> side{};
    count += SidePoints(piece, outline[i], outline[(i + 1) % n], side);
  }
  return count;
}

constexpr int FrontVertexCount(const Piece& piece) {
  int count = 0;
  for (const Strip& strip : piece.fronts) count += static_cast<int>(strip.size());
  return count;
}

constexpr int VertexCount() {
  int count = 0;
  for (const Piece& piece : PIECES) {
    count += 2 * FrontVertexCount(piece);
    for (const Outline& outline : piece.outlines) count += 2 * WalkPointCount(piece, outline);
  }
  return count;
}

constexpr int StripCount() {
  int count = 0;
  for (const Piece& piece : PIECES) {
    count += 2 * static_cast<int>(piece.fronts.size()) + static_cast<int>(piece.outlines.size());
  }
  return count;
}

}  // namespace glyph_data
