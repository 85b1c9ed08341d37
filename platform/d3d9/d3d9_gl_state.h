// The fixed-function state of the OpenGL device: the record of what the
// program set, Direct3D 9's defaults for it, which values the device draws
// faithfully, and the groups of GL state a change leaves to be sent again.
#pragma once

#include <array>

#include "platform/d3d9/d3d9.h"

namespace d3d9gl {

// The one vertex format drawn: position, normal, diffuse, specular, one (u, v) set.
constexpr DWORD VERTEX_FVF =
    D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX1;
constexpr UINT VERTEX_BYTES = 40;
constexpr int RENDER_STATE_SLOTS = 256;  // D3DRENDERSTATETYPE values are below this

// Groups of state whose GL counterpart must be sent again before the next draw.
enum Dirty : unsigned {
  DIRTY_CULLING = 1u << 0,
  DIRTY_TRANSFORM = 1u << 1,  // world-view, projection, normal matrix
  DIRTY_LIGHT = 1u << 2,      // the camera-space light (it follows the view too)
  DIRTY_MATERIAL = 1u << 3,
  DIRTY_LIGHTING = 1u << 4,  // ambient level, colour sources, specular switch
  DIRTY_STREAM = 1u << 5,    // vertex attribute pointers
  DIRTY_TEXTURE = 1u << 6,   // texture bound to unit 0
  DIRTY_ALL = (1u << 7) - 1,
};

struct FixedState {
  std::array<DWORD, RENDER_STATE_SLOTS> render{};
  D3DMATERIAL9 material{};
  D3DLIGHT9 light{};
  bool lightSet = false;
  bool lightEnabled = false;
  D3DMATRIX world{}, view{}, projection{};
};

// Direct3D 9's defaults.
FixedState DefaultFixedState();
// Whether value is one the device draws faithfully for render state `state`;
// *dirty receives the groups it affects. False for states it does not offer.
bool AcceptRenderState(DWORD state, DWORD value, unsigned* dirty);
// The same for a texture stage state; accepted ones change nothing drawn.
bool AcceptStageState(DWORD stage, DWORD type, DWORD value);
// Whether light is a spot light the shader evaluates as Direct3D 9 does.
bool AcceptLight(const D3DLIGHT9& light);
// Applies the culling of state to GL.
void ApplyCulling(const FixedState& state);

}  // namespace d3d9gl
