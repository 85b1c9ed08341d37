// The lighting state every frame draws with: a material whose colours come
// from the vertices, one white spot light at index 0 aimed at the world
// origin, specular highlights, and a dim grey ambient level. All constants;
// calling it again re-establishes exactly the same state.
#include "platform/d3dx9/d3dx9.h"
#include "render/graphics.h"

namespace {

constexpr D3DCOLOR AMBIENT_LEVEL = 0x00202020;  // 0x20 per channel, alpha 0

// Black except for Power 1: the vertex colours replace the material's own
// diffuse, ambient and specular (see the material sources below).
D3DMATERIAL9 GlyphMaterial() {
  D3DMATERIAL9 material{};
  material.Power = 1.0f;
  return material;
}

// A white spot light at (5, 20, 5) pointing along (-1, -4, -1), so its axis
// passes through the world origin; inner cone 30 degrees, outer 45 degrees.
D3DLIGHT9 SpotLight() {
  D3DLIGHT9 light{};
  light.Type = D3DLIGHT_SPOT;
  light.Diffuse = D3DCOLORVALUE{1.0f, 1.0f, 1.0f, 1.0f};
  light.Specular = D3DCOLORVALUE{1.0f, 1.0f, 1.0f, 1.0f};
  light.Ambient = D3DCOLORVALUE{1.0f, 1.0f, 1.0f, 1.0f};
  light.Position = D3DVECTOR{5.0f, 20.0f, 5.0f};
  light.Direction = D3DVECTOR{-1.0f, -4.0f, -1.0f};
  light.Range = 100.0f;
  light.Falloff = 1.5f;
  light.Attenuation0 = 1.0f;
  light.Attenuation1 = 0.05f;
  light.Attenuation2 = 0.001f;
  light.Theta = D3DX_PI / 6.0f;
  light.Phi = D3DX_PI / 4.0f;
  return light;
}

}  // namespace

void ConfigureLighting() {
  const D3DMATERIAL9 material = GlyphMaterial();
  g_device->SetMaterial(&material);
  // Ambient and diffuse reflectance from the vertex diffuse colour, specular
  // from the vertex specular colour.
  g_device->SetRenderState(D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_COLOR1);
  g_device->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1);
  g_device->SetRenderState(D3DRS_SPECULARMATERIALSOURCE, D3DMCS_COLOR2);
  g_device->SetRenderState(D3DRS_SPECULARENABLE, TRUE);

  const D3DLIGHT9 light = SpotLight();
  g_device->SetLight(0, &light);
  g_device->LightEnable(0, TRUE);

  g_device->SetRenderState(D3DRS_LIGHTING, TRUE);
  g_device->SetRenderState(D3DRS_AMBIENT, AMBIENT_LEVEL);
}
