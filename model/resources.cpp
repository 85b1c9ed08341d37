// The model's device resources: the texture loaded from "leopard.jpg" (in the
// current directory, else its parent) and the vertex buffer holding the glyph
// word with generated texture coordinates, written once by one lock and one
// copy. A failure leaves what was made in its global and names its cause in
// the platform's failure reason.
#include "model/resources.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "model/glyph_model.h"
#include "platform/d3dx9/d3dx9.h"
#include "platform/shared/failure_reason.h"

IDirect3D9* g_d3d = nullptr;
IDirect3DDevice9* g_device = nullptr;
IDirect3DVertexBuffer9* g_vertexBuffer = nullptr;
IDirect3DTexture9* g_texture = nullptr;

namespace {

constexpr const char* TEXTURE_FILE = "leopard.jpg";
constexpr const char* PARENT_TEXTURE_FILE = "..\\leopard.jpg";  // the loader reads '\' as '/'

// Records why a start-up step failed, with the platform's result code.
void NoteFailure(const char* what, HRESULT hr) {
  char reason[128];
  std::snprintf(reason, sizeof reason, "%s (result 0x%08X)", what, static_cast<unsigned>(hr));
  SetLastFailureReason(reason);
}

// Loads the texture from the current directory, else from its parent. When
// both fail the user is told, and the reason keeps both attempts' causes.
HRESULT LoadTexture() {
  if (SUCCEEDED(D3DXCreateTextureFromFileA(g_device, TEXTURE_FILE, &g_texture))) return S_OK;
  // Copied now: the second attempt overwrites the platform's reason.
  const std::string hereReason = GetLastFailureReason();
  if (SUCCEEDED(D3DXCreateTextureFromFileA(g_device, PARENT_TEXTURE_FILE, &g_texture))) {
    return S_OK;
  }
  const std::string reason = "cannot load leopard.jpg (current directory: " + hereReason +
                             "; parent directory: " + GetLastFailureReason() + ")";
  SetLastFailureReason(reason.c_str());
  MessageBoxA(nullptr, "Could not find leopard.jpg", "Tavenor.exe", MB_OK);
  return E_FAIL;
}

// The whole model with texture coordinates, prepared in ordinary memory so
// that the locked buffer is touched by one copy only.
std::vector<GlyphVertex> GlyphVertices() {
  std::vector<GlyphVertex> vertices(static_cast<std::size_t>(GLYPH_VERTEX_COUNT));
  BuildGlyphVertices(vertices);
  GenerateTextureCoordinates(vertices);
  return vertices;
}

}  // namespace

HRESULT BuildGlyphModel() {
  if (FAILED(LoadTexture())) return E_FAIL;

  const UINT length = static_cast<UINT>(GLYPH_VERTEX_COUNT) * sizeof(GlyphVertex);
  HRESULT hr = g_device->CreateVertexBuffer(length, 0, GLYPH_VERTEX_FVF, D3DPOOL_DEFAULT,
                                            &g_vertexBuffer, nullptr);
  if (FAILED(hr)) {
    NoteFailure("cannot create the vertex buffer", hr);
    return E_FAIL;
  }

  const std::vector<GlyphVertex> vertices = GlyphVertices();
  void* data = nullptr;
  hr = g_vertexBuffer->Lock(0, 0, &data, 0);
  if (FAILED(hr)) {
    NoteFailure("cannot lock the vertex buffer", hr);
    return E_FAIL;
  }
  std::memcpy(data, vertices.data(), length);
  g_vertexBuffer->Unlock();
  return S_OK;
}
