// Lifetime of the graphics objects: the Direct3D object, the device, the
// arcball, and (made by BuildGlyphModel in between) the model's texture and
// vertex buffer. Everything is made once at start-up and released once when
// the window is destroyed; a failed start-up leaves what it made for the
// caller to release.
#include "render/graphics.h"

#include <new>

#include "platform/shared/failure_reason.h"

ArcballControl* g_arcball = nullptr;

namespace {

// The window's nominal size, which the arcball's rectangle follows.
constexpr int ARCBALL_WIDTH = 600;
constexpr int ARCBALL_HEIGHT = 300;
constexpr float ARCBALL_RADIUS = 0.9f;

// A windowed device on the focus window, back buffer of the client size in
// the display's format, with its own 16-bit depth buffer.
D3DPRESENT_PARAMETERS PresentParameters() {
  D3DPRESENT_PARAMETERS params{};
  params.Windowed = TRUE;
  params.SwapEffect = D3DSWAPEFFECT_DISCARD;
  params.BackBufferFormat = D3DFMT_UNKNOWN;
  params.EnableAutoDepthStencil = TRUE;
  params.AutoDepthStencilFormat = D3DFMT_D16;
  return params;
}

// Releases a device object, if any, and empties the pointer that held it.
template <class Object>
void ReleaseAndEmpty(Object*& object) {
  if (object) {
    object->Release();
    object = nullptr;
  }
}

}  // namespace

HRESULT StartGraphics(HWND window) {
  g_d3d = Direct3DCreate9(D3D_SDK_VERSION);
  if (!g_d3d) return E_FAIL;

  D3DPRESENT_PARAMETERS params = PresentParameters();
  if (FAILED(g_d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window,
                                 D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params, &g_device))) {
    return E_FAIL;
  }

  // The only two states that hold for the whole run: no culling, depth test on.
  g_device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  g_device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);

  // Every frame reads g_arcball untested, so an arcball that cannot be made
  // is a failed start-up rather than a later crash.
  g_arcball = new (std::nothrow) ArcballControl;
  if (!g_arcball) {
    SetLastFailureReason("not enough memory for the arcball");
    return E_FAIL;
  }
  g_arcball->Resize(ARCBALL_WIDTH, ARCBALL_HEIGHT, ARCBALL_RADIUS);
  return S_OK;
}

void ReleaseGraphics() {
  delete g_arcball;
  g_arcball = nullptr;
  // Resources before the device that made them, the Direct3D object last.
  ReleaseAndEmpty(g_vertexBuffer);
  ReleaseAndEmpty(g_texture);
  ReleaseAndEmpty(g_device);
  ReleaseAndEmpty(g_d3d);
}
