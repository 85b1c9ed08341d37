// The three fixed-function transforms of a frame: the world placement that
// follows the arcball, and the constant camera and projection. Rebuilt on
// every frame because mouse messages may have changed the arcball since.
#include "platform/d3dx9/d3dx9.h"
#include "render/graphics.h"

namespace {

// Moves the middle of the word's width (model x = 6) to the world origin,
// so the arcball turns the word about that point.
constexpr float MODEL_CENTRE_X = 6.0f;

// Projection: 60 degrees vertically; aspect of the nominal 600 x 300 window,
// not of the measured client area.
constexpr float FIELD_OF_VIEW = D3DX_PI / 3.0f;
constexpr float ASPECT_RATIO = 2.0f;
constexpr float NEAR_PLANE = 1.0f;
constexpr float FAR_PLANE = 100.0f;

}  // namespace

void ComposeTransforms() {
  // World = shift * rotation * translation: the pan comes last, so it moves
  // the word along the world's axes whatever its orientation.
  D3DXMATRIXA16 world;
  D3DXMatrixTranslation(&world, -MODEL_CENTRE_X, 0.0f, 0.0f);
  D3DXMatrixMultiply(&world, &world, g_arcball->RotationMatrix());
  D3DXMatrixMultiply(&world, &world, g_arcball->TranslationMatrix());
  g_device->SetTransform(D3DTS_WORLD, &world);

  const D3DXVECTOR3 eye(3.0f, 7.0f, -5.0f);
  const D3DXVECTOR3 target(0.0f, 2.0f, 0.0f);
  const D3DXVECTOR3 up(0.0f, 1.0f, 0.0f);
  D3DXMATRIXA16 view;
  D3DXMatrixLookAtLH(&view, &eye, &target, &up);
  g_device->SetTransform(D3DTS_VIEW, &view);

  D3DXMATRIXA16 projection;
  D3DXMatrixPerspectiveFovLH(&projection, FIELD_OF_VIEW, ASPECT_RATIO, NEAR_PLANE, FAR_PLANE);
  g_device->SetTransform(D3DTS_PROJECTION, &projection);
}
