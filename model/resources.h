// The program's device objects and the model's share of them: the texture
// from "leopard.jpg" and the vertex buffer holding the glyph word. The
// rendering room makes and releases the Direct3D object and the device;
// this room fills the texture and the buffer.
#pragma once

#include "platform/d3d9/d3d9.h"

// Each holds the one reference its creator handed out; null when not made.
extern IDirect3D9* g_d3d;
extern IDirect3DDevice9* g_device;
extern IDirect3DVertexBuffer9* g_vertexBuffer;
extern IDirect3DTexture9* g_texture;

// Fills g_texture and g_vertexBuffer; needs g_device. S_OK or E_FAIL.
// A texture found in neither the current nor the parent directory shows the
// message box "Could not find leopard.jpg".
HRESULT BuildGlyphModel();
