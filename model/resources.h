// The model's device resources: the texture from "leopard.jpg" and the
// vertex buffer holding the glyph word.
#pragma once

#include "platform/win32/win32.h"

// Fills g_texture and g_vertexBuffer; needs g_device. S_OK or E_FAIL.
// A texture found in neither the current nor the parent directory shows the
// message box "Could not find leopard.jpg".
HRESULT BuildGlyphModel();
