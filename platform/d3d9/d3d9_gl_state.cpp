// Fixed-function state of the OpenGL device: Direct3D 9's defaults, which
// values of each render state, texture stage state and light the device draws
// faithfully (everything else is refused with D3DERR_INVALIDCALL), the state
// setters and bindings, and the sending of changed state to GL before a draw.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <span>
#include <utility>

#include "platform/d3d9/d3d9_gl_device.h"

namespace d3d9gl {
namespace {

// A render state the device offers: its Direct3D 9 default, the accepted
// value range and the state groups a change dirties.
struct RenderStateRule {
  D3DRENDERSTATETYPE state;
  DWORD defaultValue;
  DWORD minValue;
  DWORD maxValue;
  unsigned dirty;
};

constexpr DWORD ANY = 0xFFFFFFFFu;
constexpr float PI = 3.14159265358979f;

// Only lit, depth-tested drawing is offered: LIGHTING and ZENABLE keep their
// defaults, TRUE (every device has its 16-bit depth buffer).
constexpr RenderStateRule RENDER_STATE_RULES[] = {
    {D3DRS_ZENABLE, D3DZB_TRUE, D3DZB_TRUE, D3DZB_TRUE, 0},
    {D3DRS_CULLMODE, D3DCULL_CCW, D3DCULL_NONE, D3DCULL_CCW, DIRTY_CULLING},
    {D3DRS_SPECULARENABLE, FALSE, FALSE, TRUE, DIRTY_LIGHTING},
    {D3DRS_LIGHTING, TRUE, TRUE, TRUE, 0},
    {D3DRS_AMBIENT, 0, 0, ANY, DIRTY_LIGHTING},
    {D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1, D3DMCS_MATERIAL, D3DMCS_COLOR2, DIRTY_LIGHTING},
    {D3DRS_SPECULARMATERIALSOURCE, D3DMCS_COLOR2, D3DMCS_MATERIAL, D3DMCS_COLOR2, DIRTY_LIGHTING},
    {D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL, D3DMCS_MATERIAL, D3DMCS_COLOR2, DIRTY_LIGHTING},
};

const RenderStateRule* FindRule(DWORD state) {
  for (const RenderStateRule& rule : RENDER_STATE_RULES) {
    if (rule.state == state) return &rule;
  }
  return nullptr;
}

// Moves a binding to next: the device holds next and lets the old resource go,
// which frees it if nothing else holds it.
template <class Resource>
void Rebind(Resource** slot, Resource* next) {
  if (next != nullptr) next->Bind();
  Resource* previous = std::exchange(*slot, next);
  if (previous != nullptr) previous->Unbind();
}

D3DMATRIX Identity() {
  D3DMATRIX m{};
  for (int i = 0; i < 4; ++i) m.m[i][i] = 1.0f;
  return m;
}

}  // namespace

FixedState DefaultFixedState() {
  FixedState state;
  for (const RenderStateRule& rule : RENDER_STATE_RULES) {
    state.render[rule.state] = rule.defaultValue;
  }
  state.world = state.view = state.projection = Identity();
  return state;
}

bool AcceptRenderState(DWORD state, DWORD value, unsigned* dirty) {
  const RenderStateRule* rule = FindRule(state);
  if (rule == nullptr || value < rule->minValue || value > rule->maxValue) return false;
  *dirty = rule->dirty;
  return true;
}

// Stage 0 draws the texel times the diffuse colour, as its defaults do, and
// leaves alpha alone (nothing reads it).
bool AcceptStageState(DWORD stage, DWORD type, DWORD value) {
  if (stage != 0) return false;
  switch (type) {
    case D3DTSS_COLOROP:
      return value == D3DTOP_MODULATE;
    case D3DTSS_COLORARG1:
      return value == D3DTA_TEXTURE;
    case D3DTSS_COLORARG2:
      return value == D3DTA_DIFFUSE;
    case D3DTSS_ALPHAOP:
      return value == D3DTOP_DISABLE;
    default:
      return false;
  }
}

bool AcceptLight(const D3DLIGHT9& l) {
  // Every field after the type is a float: colours, vectors, range, falloff, attenuation, cones.
  const std::span<const float> values(&l.Diffuse.r, &l.Phi + 1);
  const D3DVECTOR& d = l.Direction;
  if (l.Type != D3DLIGHT_SPOT ||
      !std::ranges::all_of(values, [](float v) { return std::isfinite(v); }) ||
      d.x * d.x + d.y * d.y + d.z * d.z <= 0.0f) {
    return false;
  }
  // Range lies in [0, sqrt(FLT_MAX)]; attenuation must not divide by zero everywhere.
  if (l.Range < 0.0f || l.Range > std::sqrt(std::numeric_limits<float>::max()) ||
      l.Attenuation0 < 0.0f || l.Attenuation1 < 0.0f || l.Attenuation2 < 0.0f ||
      l.Attenuation0 + l.Attenuation1 + l.Attenuation2 <= 0.0f) {
    return false;
  }
  return l.Theta >= 0.0f && l.Theta <= l.Phi && l.Phi <= PI && l.Falloff >= 0.0f;
}

void ApplyCulling(const FixedState& state) {
  // GL's front faces are Direct3D's clockwise ones (see glFrontFace), so GL's
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
    StateChanging();
    Resend(groups);
    state_.render[state] = value;
  }
  return D3D_OK;
}

HRESULT Device::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
  return AcceptStageState(stage, type, value) ? D3D_OK : D3DERR_INVALIDCALL;
}

HRESULT Device::SetMaterial(const D3DMATERIAL9* material) {
  if (material == nullptr) return D3DERR_INVALIDCALL;
  if (std::memcmp(material, &state_.material, sizeof *material) != 0) {
    StateChanging();
    Resend(DIRTY_MATERIAL);
    state_.material = *material;
  }
  return D3D_OK;
}

HRESULT Device::SetLight(DWORD index, const D3DLIGHT9* light) {
  if (index != 0 || light == nullptr || !AcceptLight(*light)) return D3DERR_INVALIDCALL;
  if (!state_.lightSet || std::memcmp(light, &state_.light, sizeof *light) != 0) {
    if (state_.lightEnabled) {
      StateChanging();
      Resend(DIRTY_LIGHT);
    }
    state_.light = *light;
    state_.lightSet = true;
  }
  return D3D_OK;
}

// Enabling a light never set would make Direct3D's default light, a
// directional one, which the device does not offer.
HRESULT Device::LightEnable(DWORD index, BOOL enable) {
  if (index != 0 || (enable && !state_.lightSet)) return D3DERR_INVALIDCALL;
  if (state_.lightEnabled != (enable != FALSE)) {
    StateChanging();
    Resend(DIRTY_LIGHT);
    state_.lightEnabled = enable != FALSE;
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
      groups |= DIRTY_LIGHT;
      break;
    case D3DTS_PROJECTION:
      slot = &state_.projection;
      break;
    default:
      return D3DERR_INVALIDCALL;
  }
  if (std::memcmp(matrix, slot, sizeof *matrix) != 0) {
    StateChanging();
    Resend(groups);
    *slot = *matrix;
  }
  return D3D_OK;
}

HRESULT Device::SetFVF(DWORD fvf) {
  if (fvf != VERTEX_FVF) return D3DERR_INVALIDCALL;
  bound_.fvfSet = true;
  return D3D_OK;
}

// The device's own resource behind given (null stays null); false for any other object.
template <class Resource, class Interface>
bool Device::Own(Interface* given, Resource** ours) const {
  *ours = dynamic_cast<Resource*>(given);
  return given == nullptr || (*ours != nullptr && (*ours)->Owner() == this);
}

HRESULT Device::SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) {
  Texture* ours = nullptr;
  if (!Own(texture, &ours) || stage != 0) return D3DERR_INVALIDCALL;
  if (ours == bound_.texture) return D3D_OK;
  StateChanging();
  Resend(DIRTY_TEXTURE);
  Rebind(&bound_.texture, ours);
  return D3D_OK;
}

// Flexible-vertex-format drawing reads stream 0 only.
HRESULT Device::SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer, UINT offset,
                                UINT stride) {
  VertexBuffer* ours = nullptr;
  if (!Own(buffer, &ours) || stream != 0) return D3DERR_INVALIDCALL;
  if (ours == bound_.stream && offset == bound_.offset && stride == bound_.stride) return D3D_OK;
  StateChanging();
  Resend(DIRTY_STREAM);
  Rebind(&bound_.stream, ours);
  bound_.offset = offset;
  bound_.stride = stride;
  return D3D_OK;
}

void Device::ReleaseBindings() {
  Rebind(&bound_.stream, static_cast<VertexBuffer*>(nullptr));
  Rebind(&bound_.texture, static_cast<Texture*>(nullptr));
}

void Device::StateChanging() {
  RunHeldBack();
  log_.StateChanged();
}

void Device::FlushState() {
  if (dirty_ == 0) return;
  if ((dirty_ & DIRTY_CULLING) != 0) ApplyCulling(state_);
  if ((dirty_ & DIRTY_STREAM) != 0) SpecifyVertexLayout();
  if ((dirty_ & DIRTY_TEXTURE) != 0) {
    const Texture* texture = bound_.texture;
    glBindTexture(GL_TEXTURE_2D, texture != nullptr ? texture->Name() : bound_.whiteTexture);
  }
  UploadUniforms(state_, dirty_, program_.uniforms);
  dirty_ = 0;
}

// The one vertex format: position, normal, diffuse, specular, (u, v).
void Device::SpecifyVertexLayout() {
  const auto stride = static_cast<GLsizei>(bound_.stride);
  const auto at = [this](std::uintptr_t offset) {
    return reinterpret_cast<const void*>(bound_.offset + offset);
  };
  glBindBuffer(GL_ARRAY_BUFFER, bound_.stream->Name());
  for (GLuint attribute = 0; attribute < 5; ++attribute) glEnableVertexAttribArray(attribute);
  glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, stride, at(0));
  glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, stride, at(12));
  // D3DCOLOR is 0xAARRGGBB, bytes B, G, R, A in memory: GL's BGRA ordering.
  glVertexAttribPointer(2, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, stride, at(24));
  glVertexAttribPointer(3, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, stride, at(28));
  glVertexAttribPointer(4, 2, GL_FLOAT, GL_FALSE, stride, at(32));
}

}  // namespace d3d9gl
