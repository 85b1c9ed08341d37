// D3DX-style matrix, quaternion and vector maths on GLM.
// A D3DX matrix (row-major, row vectors: p * M) has the same sixteen floats in
// memory as the GLM matrix (column-major, column vectors: G * p) of the same
// transform, so values pass between the two by plain copies; only products
// swap order (D3DX a * b is GLM gb * ga). Every output may alias an input.
#include <cmath>
#include <cstring>
#include <glm/ext/matrix_clip_space.hpp>
#include <glm/ext/matrix_transform.hpp>
#include <glm/glm.hpp>
#include <glm/gtc/quaternion.hpp>
#include <glm/gtc/type_ptr.hpp>

#include "platform/d3dx9/d3dx9.h"

namespace {

// The GLM matrix of the same transform as m (same memory, column vectors).
glm::mat4 ToGlm(const D3DXMATRIX& m) { return glm::make_mat4(&m.m[0][0]); }

// Writes the GLM matrix g into *out in D3DX layout and returns out.
D3DXMATRIX* FromGlm(D3DXMATRIX* out, const glm::mat4& g) {
  std::memcpy(&out->m, glm::value_ptr(g), sizeof out->m);
  return out;
}

glm::quat ToGlm(const D3DXQUATERNION& q) { return glm::quat(q.w, q.x, q.y, q.z); }

glm::vec3 ToGlm(const D3DXVECTOR3& v) { return glm::vec3(v.x, v.y, v.z); }

// Unit vector along v, or the zero vector when v has no length (as D3DX's
// normalise does), so a degenerate camera gives a finite matrix, not NaNs.
glm::vec3 NormalizeOrZero(const glm::vec3& v) {
  const float length = glm::length(v);
  return length > 0.0f ? v / length : glm::vec3(0.0f);
}

}  // namespace

D3DXMATRIX* D3DXMatrixIdentity(D3DXMATRIX* out) { return FromGlm(out, glm::mat4(1.0f)); }

D3DXMATRIX* D3DXMatrixTranslation(D3DXMATRIX* out, float x, float y, float z) {
  return FromGlm(out, glm::translate(glm::mat4(1.0f), glm::vec3(x, y, z)));
}

D3DXMATRIX* D3DXMatrixMultiply(D3DXMATRIX* out, const D3DXMATRIX* a, const D3DXMATRIX* b) {
  // Row vectors: p * a * b applies a first; with column vectors that is gb * ga * p.
  return FromGlm(out, ToGlm(*b) * ToGlm(*a));
}

D3DXMATRIX* D3DXMatrixRotationQuaternion(D3DXMATRIX* out, const D3DXQUATERNION* q) {
  // mat4_cast uses 1 - 2(y² + z²), 2(xy + zw), ... without normalising, as D3DX does.
  return FromGlm(out, glm::mat4_cast(ToGlm(*q)));
}

D3DXMATRIX* D3DXMatrixLookAtLH(D3DXMATRIX* out, const D3DXVECTOR3* eye, const D3DXVECTOR3* at,
                               const D3DXVECTOR3* up) {
  const glm::vec3 e = ToGlm(*eye);
  const glm::vec3 z = NormalizeOrZero(ToGlm(*at) - e);
  const glm::vec3 x = NormalizeOrZero(glm::cross(ToGlm(*up), z));
  const glm::vec3 y = glm::cross(z, x);
  // Camera axes as columns, eye moved to the origin in the fourth row.
  const float rows[4][4] = {{x.x, y.x, z.x, 0.0f},
                            {x.y, y.y, z.y, 0.0f},
                            {x.z, y.z, z.z, 0.0f},
                            {-glm::dot(x, e), -glm::dot(y, e), -glm::dot(z, e), 1.0f}};
  std::memcpy(&out->m, rows, sizeof rows);
  return out;
}

D3DXMATRIX* D3DXMatrixPerspectiveFovLH(D3DXMATRIX* out, float fovy, float aspect, float zn,
                                       float zf) {
  // Left-handed, depth mapped to 0..1: the layout of D3DX's PerspectiveFovLH.
  return FromGlm(out, glm::perspectiveLH_ZO(fovy, aspect, zn, zf));
}

D3DXQUATERNION* D3DXQuaternionIdentity(D3DXQUATERNION* out) {
  *out = D3DXQUATERNION(0.0f, 0.0f, 0.0f, 1.0f);
  return out;
}

D3DXQUATERNION* D3DXQuaternionMultiply(D3DXQUATERNION* out, const D3DXQUATERNION* q1,
                                       const D3DXQUATERNION* q2) {
  // q1 then q2 is the Hamilton product q2 * q1.
  const glm::quat product = ToGlm(*q2) * ToGlm(*q1);
  *out = D3DXQUATERNION(product.x, product.y, product.z, product.w);
  return out;
}
