// Fixed-function state of the OpenGL device: Direct3D 9's defaults, which
// values of each render state, texture stage state and light this layer draws
// faithfully (everything else is refused with D3DERR_INVALIDCALL), the state
// setters, the flexible vertex formats it reads, and the GL raster state.
#include <cmath>
#include <cstring>
#include <limits>

#include "platform/d3d9/d3d9_gl_internal.h"

namespace d3d9gl {
namespace {

// A render state this layer knows: its Direct3D 9 default, the accepted value
// range and the state groups a change dirties.
struct RenderStateRule {
  D3DRENDERSTATETYPE state;
  DWORD defaultValue;
  DWORD minValue;
  DWORD maxValue;
  unsigned dirty;
};

constexpr DWORD ANY = 0xFFFFFFFFu;
constexpr DWORD D3DBLEND_ZERO = 1, D3DBLEND_ONE = 2, D3DBLEND_LAST = 17;
constexpr float PI = 3.14159265358979f;

// Values a state may take are those drawn exactly as Direct3D 9 draws them:
// fog, alpha test, blending, stencil and non-solid fills are not implemented,
// so only their "off" values pass. Dithering has no visible effect on an
// 8-bit-per-channel target and is accepted either way, as is clipping.
constexpr RenderStateRule RENDER_STATE_RULES[] = {
    {D3DRS_ZENABLE, D3DZB_TRUE, D3DZB_FALSE, D3DZB_TRUE, DIRTY_RASTER},
    {D3DRS_FILLMODE, D3DFILL_SOLID, D3DFILL_SOLID, D3DFILL_SOLID, 0},
    {D3DRS_SHADEMODE, D3DSHADE_GOURAUD, D3DSHADE_GOURAUD, D3DSHADE_GOURAUD, 0},
    {D3DRS_ZWRITEENABLE, TRUE, FALSE, TRUE, DIRTY_RASTER},
    {D3DRS_ALPHATESTENABLE, FALSE, FALSE, FALSE, 0},
    {D3DRS_LASTPIXEL, TRUE, FALSE, TRUE, 0},
    {D3DRS_SRCBLEND, D3DBLEND_ONE, D3DBLEND_ZERO, D3DBLEND_LAST, 0},
    {D3DRS_DESTBLEND, D3DBLEND_ZERO, D3DBLEND_ZERO, D3DBLEND_LAST, 0},
    {D3DRS_CULLMODE, D3DCULL_CCW, D3DCULL_NONE, D3DCULL_CCW, DIRTY_RASTER},
    {D3DRS_ZFUNC, D3DCMP_LESSEQUAL, D3DCMP_NEVER, D3DCMP_ALWAYS, DIRTY_RASTER},
    {D3DRS_ALPHAREF, 0, 0, 0xFF, 0},
    {D3DRS_ALPHAFUNC, D3DCMP_ALWAYS, D3DCMP_NEVER, D3DCMP_ALWAYS, 0},
    {D3DRS_DITHERENABLE, FALSE, FALSE, TRUE, 0},
    {D3DRS_ALPHABLENDENABLE, FALSE, FALSE, FALSE, 0},
    {D3DRS_FOGENABLE, FALSE, FALSE, FALSE, 0},
    {D3DRS_SPECULARENABLE, FALSE, FALSE, TRUE, DIRTY_STAGE},
    {D3DRS_STENCILENABLE, FALSE, FALSE, FALSE, 0},
    {D3DRS_TEXTUREFACTOR, ANY, 0, ANY, 0},
    {D3DRS_CLIPPING, TRUE, FALSE, TRUE, 0},
    {D3DRS_LIGHTING, TRUE, FALSE, TRUE, DIRTY_LIGHTING},
    {D3DRS_AMBIENT, 0, 0, ANY, DIRTY_LIGHTING},
    {D3DRS_COLORVERTEX, TRUE, FALSE, TRUE, DIRTY_LIGHTING},
    {D3DRS_LOCALVIEWER, TRUE, FALSE, TRUE, DIRTY_LIGHTING},
    {D3DRS_NORMALIZENORMALS, FALSE, FALSE, TRUE, DIRTY_LIGHTING},
    {D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1, D3DMCS_MATERIAL, D3DMCS_COLOR2, DIRTY_LIGHTING},
    {D3DRS_SPECULARMATERIALSOURCE, D3DMCS_COLOR2, D3DMCS_MATERIAL, D3DMCS_COLOR2, DIRTY_LIGHTING},
    {D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL, D3DMCS_MATERIAL, D3DMCS_COLOR2, DIRTY_LIGHTING},
    {D3DRS_EMISSIVEMATERIALSOURCE, D3DMCS_MATERIAL, D3DMCS_MATERIAL, D3DMCS_COLOR2, DIRTY_LIGHTING},
    {D3DRS_COLORWRITEENABLE, 0xF, 0, 0xF, DIRTY_RASTER},
};

const RenderStateRule* FindRule(DWORD state) {
  for (const RenderStateRule& rule : RENDER_STATE_RULES) {
    if (rule.state == state) return &rule;
  }
  return nullptr;
}

bool IsStageOp(DWORD stage, DWORD op) {
  // Only stage 0 blends; later stages may only be disabled, as they are by default.
  if (stage != 0) return op == D3DTOP_DISABLE;
  return op == D3DTOP_DISABLE || op == D3DTOP_SELECTARG1 || op == D3DTOP_SELECTARG2 ||
         op == D3DTOP_MODULATE;
}

bool IsStageArg(DWORD arg) {
  return arg == D3DTA_DIFFUSE || arg == D3DTA_CURRENT || arg == D3DTA_TEXTURE;
}

bool Finite(float value) { return std::isfinite(value); }

bool FiniteColor(const D3DCOLORVALUE& c) {
  return Finite(c.r) && Finite(c.g) && Finite(c.b) && Finite(c.a);
}

bool FiniteVector(const D3DVECTOR& v) { return Finite(v.x) && Finite(v.y) && Finite(v.z); }

bool AllFinite(const D3DLIGHT9& l) {
  return FiniteColor(l.Diffuse) && FiniteColor(l.Specular) && FiniteColor(l.Ambient) &&
         FiniteVector(l.Position) && FiniteVector(l.Direction) && Finite(l.Range) &&
         Finite(l.Falloff) && Finite(l.Attenuation0) && Finite(l.Attenuation1) &&
         Finite(l.Attenuation2) && Finite(l.Theta) && Finite(l.Phi);
}

// The light LightEnable makes for an index that was never set [IDirect3DDevice9::LightEnable].
D3DLIGHT9 DefaultLight() {
  D3DLIGHT9 light{};
  light.Type = D3DLIGHT_DIRECTIONAL;
  light.Diffuse = {1.0f, 1.0f, 1.0f, 0.0f};
  light.Direction = {0.0f, 0.0f, 1.0f};
  return light;
}

D3DMATRIX Identity() {
  D3DMATRIX m{};
  for (int i = 0; i < 4; ++i) m.m[i][i] = 1.0f;
  return m;
}

GLenum GlCompare(DWORD d3dCompare) {
  // D3DCMP_NEVER..D3DCMP_ALWAYS run in the same order as GL_NEVER..GL_ALWAYS.
  return GL_NEVER + (d3dCompare - D3DCMP_NEVER);
}

}  // namespace

void ResetFixedState(FixedState* state, bool autoDepth) {
  *state = FixedState{};
  for (const RenderStateRule& rule : RENDER_STATE_RULES) {
    state->render[rule.state] = rule.defaultValue;
  }
  state->render[D3DRS_ZENABLE] = autoDepth ? D3DZB_TRUE : D3DZB_FALSE;
  for (DWORD stage = 0; stage < MAX_STAGES; ++stage) {
    auto& s = state->stage[stage];
    s[D3DTSS_COLOROP] = stage == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
    s[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
    s[D3DTSS_COLORARG2] = D3DTA_CURRENT;
    s[D3DTSS_ALPHAOP] = stage == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
    s[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
    s[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
    s[D3DTSS_TEXCOORDINDEX] = stage;
  }
  state->world = state->view = state->projection = state->texture0 = Identity();
}

bool AcceptRenderState(DWORD state, DWORD value, unsigned* dirty) {
  const RenderStateRule* rule = FindRule(state);
  if (rule == nullptr || value < rule->minValue || value > rule->maxValue) return false;
  *dirty = rule->dirty;
  return true;
}

bool AcceptStageState(DWORD stage, DWORD type, DWORD value) {
  if (stage >= MAX_STAGES) return false;
  switch (type) {
    case D3DTSS_COLOROP:
    case D3DTSS_ALPHAOP:
      return IsStageOp(stage, value);
    case D3DTSS_COLORARG1:
    case D3DTSS_COLORARG2:
    case D3DTSS_ALPHAARG1:
    case D3DTSS_ALPHAARG2:
      return IsStageArg(value);
    case D3DTSS_TEXCOORDINDEX:
      return value < MAX_STAGES;  // plain set indices; no generated coordinates
    default:
      return false;
  }
}

bool AcceptLight(const D3DLIGHT9& light) {
  if (!AllFinite(light)) return false;
  if (light.Type != D3DLIGHT_POINT && light.Type != D3DLIGHT_SPOT &&
      light.Type != D3DLIGHT_DIRECTIONAL) {
    return false;
  }
  const D3DVECTOR& d = light.Direction;
  if (light.Type != D3DLIGHT_POINT && d.x * d.x + d.y * d.y + d.z * d.z <= 0.0f) return false;
  if (light.Type == D3DLIGHT_DIRECTIONAL) return true;
  // Range lies in [0, sqrt(FLT_MAX)]; attenuation must not divide by zero everywhere.
  if (light.Range < 0.0f || light.Range > std::sqrt(std::numeric_limits<float>::max())) {
    return false;
  }
  if (light.Attenuation0 < 0.0f || light.Attenuation1 < 0.0f || light.Attenuation2 < 0.0f ||
      light.Attenuation0 + light.Attenuation1 + light.Attenuation2 <= 0.0f) {
    return false;
  }
  if (light.Type == D3DLIGHT_POINT) return true;
  return light.Theta >= 0.0f && light.Theta <= light.Phi && light.Phi <= PI &&
         light.Falloff >= 0.0f;
}

FvfLayout DescribeFvf(DWORD fvf) {
  constexpr DWORD known =
      D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEXCOUNT_MASK;
  FvfLayout layout;
  // Other position kinds, point size and non-2-D coordinate sets are not read.
  if ((fvf & ~known) != 0) return layout;
  layout.textureSets = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
  if (layout.textureSets > 8) return layout;
  layout.supported = true;
  UINT offset = 0;
  if ((fvf & D3DFVF_XYZ) != 0) {
    layout.hasPosition = true;
    offset += 12;
  }
  auto take = [&offset](bool present, UINT bytes) {
    const int at = present ? static_cast<int>(offset) : -1;
    if (present) offset += bytes;
    return at;
  };
  layout.normal = take((fvf & D3DFVF_NORMAL) != 0, 12);
  layout.diffuse = take((fvf & D3DFVF_DIFFUSE) != 0, 4);
  layout.specular = take((fvf & D3DFVF_SPECULAR) != 0, 4);
  layout.texture = take(layout.textureSets > 0, 8 * layout.textureSets);
  layout.size = offset;
  return layout;
}

void ApplyWriteMasks(const FixedState& state) {
  const DWORD mask = state.render[D3DRS_COLORWRITEENABLE];
  glColorMask((mask & 1) != 0, (mask & 2) != 0, (mask & 4) != 0, (mask & 8) != 0);
  glDepthMask(state.render[D3DRS_ZWRITEENABLE] != FALSE);
}

void ApplyRasterState(const FixedState& state, bool hasDepth) {
  if (hasDepth && state.render[D3DRS_ZENABLE] != D3DZB_FALSE) {
    glEnable(GL_DEPTH_TEST);
  } else {
    glDisable(GL_DEPTH_TEST);
  }
  glDepthFunc(GlCompare(state.render[D3DRS_ZFUNC]));
  ApplyWriteMasks(state);
  // Both APIs put normalised +y at the top of the picture, so a triangle that
  // winds clockwise on screen does so for both; with glFrontFace(GL_CW) GL's
  // back faces are the counter-clockwise ones that D3DCULL_CCW removes.
  const DWORD cull = state.render[D3DRS_CULLMODE];
  if (cull == D3DCULL_NONE) {
    glDisable(GL_CULL_FACE);
  } else {
    glEnable(GL_CULL_FACE);
    glCullFace(cull == D3DCULL_CCW ? GL_BACK : GL_FRONT);
  }
}

HRESULT Device::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
  unsigned groups = 0;
  if (!AcceptRenderState(state, value, &groups)) return D3DERR_INVALIDCALL;
  if (state_.render[state] != value) {
    if (groups != 0) Touch();
    state_.render[state] = value;
    dirty_ |= groups;
  }
  return D3D_OK;
}

HRESULT Device::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
  if (!AcceptStageState(stage, type, value)) return D3DERR_INVALIDCALL;
  DWORD& slot = state_.stage[stage][type];
  if (slot != value) {
    if (stage == 0) Touch();
    slot = value;
    if (stage == 0) dirty_ |= type == D3DTSS_TEXCOORDINDEX ? DIRTY_LAYOUT : DIRTY_STAGE;
  }
  return D3D_OK;
}

HRESULT Device::SetMaterial(const D3DMATERIAL9* material) {
  if (material == nullptr) return D3DERR_INVALIDCALL;
  if (std::memcmp(material, &state_.material, sizeof *material) != 0) {
    Touch();
    state_.material = *material;
    dirty_ |= DIRTY_MATERIAL;
  }
  return D3D_OK;
}

HRESULT Device::SetLight(DWORD index, const D3DLIGHT9* light) {
  if (index >= MAX_LIGHTS || light == nullptr || !AcceptLight(*light)) return D3DERR_INVALIDCALL;
  LightSlot& slot = state_.lights[index];
  state_.lightSet[index] = true;
  if (std::memcmp(light, &slot.light, sizeof *light) != 0) {
    if (slot.enabled) Touch();
    slot.light = *light;
    if (slot.enabled) dirty_ |= DIRTY_LIGHTS;
  }
  return D3D_OK;
}

HRESULT Device::LightEnable(DWORD index, BOOL enable) {
  if (index >= MAX_LIGHTS) return D3DERR_INVALIDCALL;
  LightSlot& slot = state_.lights[index];
  if (!state_.lightSet[index]) {
    slot.light = DefaultLight();
    state_.lightSet[index] = true;
  }
  if (slot.enabled != (enable != FALSE)) {
    Touch();
    slot.enabled = enable != FALSE;
    dirty_ |= DIRTY_LIGHTS;
  }
  return D3D_OK;
}

HRESULT Device::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) {
  if (matrix == nullptr) return D3DERR_INVALIDCALL;
  D3DMATRIX* slot = nullptr;
  unsigned groups = DIRTY_TRANSFORM;
  switch (state) {
    case D3DTS_WORLD:
      slot = &state_.world;
      break;
    case D3DTS_VIEW:
      slot = &state_.view;
      groups |= DIRTY_LIGHTS;
      break;
    case D3DTS_PROJECTION:
      slot = &state_.projection;
      break;
    // Kept but never applied: texture transforms stay disabled.
    case D3DTS_TEXTURE0:
      slot = &state_.texture0;
      groups = 0;
      break;
    default:
      return D3DERR_INVALIDCALL;
  }
  if (std::memcmp(matrix, slot, sizeof *matrix) != 0) {
    if (groups != 0) Touch();
    *slot = *matrix;
    dirty_ |= groups;
  }
  return D3D_OK;
}

HRESULT Device::SetFVF(DWORD fvf) {
  const FvfLayout layout = DescribeFvf(fvf);
  if (!layout.supported) return D3DERR_INVALIDCALL;
  if (fvf != fvf_) {
    Touch();
    fvf_ = fvf;
    layout_ = layout;
    // Colour sources fall back to the material when the vertex lacks the colour.
    dirty_ |= DIRTY_LAYOUT | DIRTY_LIGHTING;
  }
  return D3D_OK;
}

}  // namespace d3d9gl
