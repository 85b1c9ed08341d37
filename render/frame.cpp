// One frame: clear to white, set every state the model is drawn with, draw
// each strip of the model's strip table, present. A frame creates, releases
// and allocates nothing; a scene that cannot begin is skipped but presented.
#include "model/glyph_model.h"
#include "render/graphics.h"

namespace {

constexpr D3DCOLOR CLEAR_COLOUR = 0xFFFFFFFF;  // opaque white

// The texture modulated by the lit vertex colour; no alpha operation.
void BindTextureStage() {
  g_device->SetTexture(0, g_texture);
  g_device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
  g_device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
  g_device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
  g_device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
}

// Each strip starts where the previous one ended; n vertices make n - 2
// triangles.
void DrawStrips() {
  UINT firstVertex = 0;
  for (const GlyphStrip& strip : GlyphStripTable()) {
    const UINT vertexCount = static_cast<UINT>(strip.vertexCount);
    g_device->DrawPrimitive(D3DPT_TRIANGLESTRIP, firstVertex, vertexCount - 2);
    firstVertex += vertexCount;
  }
}

}  // namespace

void DrawFrame() {
  g_device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, CLEAR_COLOUR, 1.0f, 0);
  if (SUCCEEDED(g_device->BeginScene())) {
    ConfigureLighting();
    ComposeTransforms();
    BindTextureStage();
    g_device->SetStreamSource(0, g_vertexBuffer, 0, sizeof(GlyphVertex));
    g_device->SetFVF(GLYPH_VERTEX_FVF);
    DrawStrips();
    g_device->EndScene();
  }
  // Presented even when the scene failed to begin: the window still gets a
  // picture and the next idle moment tries a whole frame again.
  g_device->Present(nullptr, nullptr, nullptr, nullptr);
}
