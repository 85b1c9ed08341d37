// The glyph word: its vertex record, its vertices and its strip table.
// Three glyph blocks of flat strokes extruded one unit deep, cut into
// triangle strips (front faces, back faces, side walls). The vertex count
// and the strip table are derived at compile time from model/glyph_data.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "model/glyph_data.h"
#include "platform/d3d9/d3d9.h"

struct GlyphVertex {
  D3DVECTOR position;  // model space: x right, y up, z away from the viewer
  D3DVECTOR normal;    // lighting normal, not renormalised
  D3DCOLOR diffuse;
  D3DCOLOR specular;
  float u;
  float v;
};
static_assert(sizeof(GlyphVertex) == 40, "the device reads 40-byte vertices");
static_assert(offsetof(GlyphVertex, diffuse) == 24 && offsetof(GlyphVertex, u) == 32);

constexpr DWORD GLYPH_VERTEX_FVF =
    D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX1;  // 0x1D2

constexpr D3DCOLOR FACE_DIFFUSE = 0xFFFFFFFF;
constexpr D3DCOLOR FACE_SPECULAR = 0xFFFFFFFF;
constexpr D3DCOLOR WALL_DIFFUSE = 0xFFAAAAAA;
constexpr D3DCOLOR WALL_SPECULAR = 0xFFFFFFFF;

enum class StripKind : std::uint8_t { FrontFace, BackFace, OuterWall, HoleWall };

struct GlyphStrip {
  int firstVertex;  // sum of the vertex counts of the strips before it
  int vertexCount;  // drawn as vertexCount - 2 triangles
  StripKind kind;
  int block;  // 1, 2 or 3
};

// Both follow from the glyph data: every front strip is emitted twice (front
// and back), every outline point of every wall walk twice (z = 0 and z = 1).
inline constexpr int GLYPH_VERTEX_COUNT = glyph_data::VertexCount();
inline constexpr int GLYPH_STRIP_COUNT = glyph_data::StripCount();

// The strips in buffer order; static storage, valid for the whole run.
std::span<const GlyphStrip> GlyphStripTable();

// Writes the model's GLYPH_VERTEX_COUNT vertices with u = v = 0.
// out.size() must equal GLYPH_VERTEX_COUNT; otherwise nothing is written.
void BuildGlyphVertices(std::span<GlyphVertex> out);

// Fills u and v from each vertex's position and normal: faces (normal x = y
// = 0) get (x/4, y/4); walls facing +-x get (y/4, z); other walls (x/4, z).
void GenerateTextureCoordinates(std::span<GlyphVertex> vertices);
