// D3DX-style maths and texture loading used by the viewer.
// Row-vector, left-handed conventions: a point is transformed as p * M and in
// a product A * B the transform A acts first. The maths is built on GLM; the
// texture loader decodes with SDL2_image and fills the texture through the
// device's own CreateTexture, so it works with any IDirect3DDevice9.
#pragma once

#include "platform/d3d9/d3d9.h"

struct D3DXVECTOR3 : D3DVECTOR {
  D3DXVECTOR3() = default;
  constexpr D3DXVECTOR3(float x_, float y_, float z_) : D3DVECTOR{x_, y_, z_} {}
};

struct D3DXQUATERNION {
  float x, y, z, w;
  D3DXQUATERNION() = default;
  constexpr D3DXQUATERNION(float x_, float y_, float z_, float w_) : x(x_), y(y_), z(z_), w(w_) {}
};

struct D3DXMATRIX : D3DMATRIX {
  D3DXMATRIX() = default;
  float& operator()(int row, int col) { return m[row][col]; }
  float operator()(int row, int col) const { return m[row][col]; }
};

// The same matrix kept on a 16-byte boundary.
struct alignas(16) D3DXMATRIXA16 : D3DXMATRIX {
  D3DXMATRIXA16() = default;
  D3DXMATRIXA16(const D3DXMATRIX& other) : D3DXMATRIX(other) {}  // NOLINT: implicit like D3DX
  D3DXMATRIXA16& operator=(const D3DXMATRIX& other) {
    D3DXMATRIX::operator=(other);
    return *this;
  }
};

// Each function writes *out and returns out, as D3DX does.
D3DXMATRIX* D3DXMatrixIdentity(D3DXMATRIX* out);
D3DXMATRIX* D3DXMatrixTranslation(D3DXMATRIX* out, float x, float y, float z);
// out = a * b ("a, then b"); out may be a or b.
D3DXMATRIX* D3DXMatrixMultiply(D3DXMATRIX* out, const D3DXMATRIX* a, const D3DXMATRIX* b);
// Rotation matrix of q, used as given (not normalised).
D3DXMATRIX* D3DXMatrixRotationQuaternion(D3DXMATRIX* out, const D3DXQUATERNION* q);
D3DXMATRIX* D3DXMatrixLookAtLH(D3DXMATRIX* out, const D3DXVECTOR3* eye, const D3DXVECTOR3* at,
                               const D3DXVECTOR3* up);
// fovy in radians; aspect = width / height.
D3DXMATRIX* D3DXMatrixPerspectiveFovLH(D3DXMATRIX* out, float fovy, float aspect, float zn,
                                       float zf);

D3DXQUATERNION* D3DXQuaternionIdentity(D3DXQUATERNION* out);
// Rotation q1 followed by rotation q2: the Hamilton product q2 * q1.
// out may be q1 or q2.
D3DXQUATERNION* D3DXQuaternionMultiply(D3DXQUATERNION* out, const D3DXQUATERNION* q1,
                                       const D3DXQUATERNION* q2);

// Loads a JPEG file into a new X8R8G8B8 texture, stretched to power-of-two
// sides and clamped to the device's maximum texture size. A backslash in
// fileName is a path separator.
// Negative for a missing, unreadable, undecodable or empty file, or one too
// large to hold; *texture is then left as it was.
HRESULT D3DXCreateTextureFromFileA(IDirect3DDevice9* device, LPCSTR fileName,
                                   IDirect3DTexture9** texture);

constexpr float D3DX_PI = 3.141592654f;
