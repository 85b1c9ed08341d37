// The Direct3D object of the OpenGL 3.3 device: Direct3DCreate9, the checks
// CreateDevice makes on its presentation parameters, the bookkeeping of live
// objects, the GL diagnostics helper and the test extras of d3d9_gl.h.
// Windowed devices only, one adapter, HAL only, 16-bit depth only.
#include "platform/d3d9/d3d9_gl.h"

#include <SDL.h>

#include <cstdio>

#include "platform/d3d9/d3d9_gl_device.h"
#include "platform/shared/failure_reason.h"

namespace d3d9gl {
namespace {

// Live objects of the whole process; single-threaded like the rest of the layer.
struct LiveCounts {
  int interfaces = 0;
  int glObjects = 0;
  int contexts = 0;
};
LiveCounts g_live;

// Whether the presentation parameters ask for what this layer offers: a windowed,
// discarding, single-buffered X8R8G8B8 back buffer without multisampling, no
// 16-bit depth buffer, presented paced or unpaced.
bool Offered(const D3DPRESENT_PARAMETERS& p) {
  return p.Windowed && p.FullScreen_RefreshRateInHz == 0 &&
         p.MultiSampleType == D3DMULTISAMPLE_NONE && p.BackBufferCount <= 1 &&
         (p.BackBufferFormat == D3DFMT_UNKNOWN || p.BackBufferFormat == D3DFMT_X8R8G8B8) &&
         p.SwapEffect == D3DSWAPEFFECT_DISCARD && p.EnableAutoDepthStencil &&
         p.AutoDepthStencilFormat == D3DFMT_D16 &&
         (p.PresentationInterval == D3DPRESENT_INTERVAL_DEFAULT ||
          p.PresentationInterval == D3DPRESENT_INTERVAL_IMMEDIATE);
}

}  // namespace

HRESULT Fail(HRESULT result, const char* reason) {
  SetLastFailureReason(reason);
  return result;
}

void CheckGl(const char* where) {
#ifndef NDEBUG
  for (GLenum error = glGetError(); error != GL_NO_ERROR; error = glGetError()) {
    std::fprintf(stderr, "d3d9_gl: GL error 0x%04X in %s\n", error, where);
  }
#else
  (void)where;
#endif  // NDEBUG
}

void CountInterface(int delta) { g_live.interfaces += delta; }
void CountContext(int delta) { g_live.contexts += delta; }

GLuint Counted(GLuint name) {
  if (name != 0) ++g_live.glObjects;
  return name;
}

GLuint CreateGl(void (*generate)(GLsizei, GLuint*)) {
  GLuint name = 0;
  generate(1, &name);
  return Counted(name);
}

void DestroyGl(void (*destroy)(GLsizei, const GLuint*), GLuint* name) {
  if (*name == 0) return;
  destroy(1, name);
  --g_live.glObjects;
  *name = 0;
}

void DestroyGl(void (*destroy)(GLuint), GLuint* name) {
  if (*name == 0) return;
  destroy(*name);
  --g_live.glObjects;
  *name = 0;
}

Direct3D::Direct3D() { CountInterface(+1); }
Direct3D::~Direct3D() { CountInterface(-1); }

ULONG Direct3D::Release() {
  const ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

HRESULT Direct3D::CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD behavior,
                               D3DPRESENT_PARAMETERS* params, IDirect3DDevice9** device) {
  if (params == nullptr || device == nullptr) {
    return Fail(D3DERR_INVALIDCALL, "no presentation parameters or no place for the device");
  }
  if (adapter != D3DADAPTER_DEFAULT) return Fail(D3DERR_INVALIDCALL, "no such adapter");
  if (type != D3DDEVTYPE_HAL) return Fail(D3DERR_NOTAVAILABLE, "only the HAL device is offered");
  if (behavior != D3DCREATE_SOFTWARE_VERTEXPROCESSING) {
    return Fail(D3DERR_INVALIDCALL, "only software vertex processing is offered");
  }
  if (!Offered(*params)) {
    return Fail(D3DERR_NOTAVAILABLE, "CreateDevice: presentation parameters not offered");
  }
  HWND window = params->hDeviceWindow != nullptr ? params->hDeviceWindow : focusWindow;
  if (window == nullptr) return Fail(D3DERR_INVALIDCALL, "no window to present to");
  Device* made = nullptr;
  const HRESULT created = Device::Create(this, window, *params, &made);
  if (FAILED(created)) return created;
  *device = made;
  return D3D_OK;
}

}  // namespace d3d9gl

IDirect3D9* Direct3DCreate9(UINT sdkVersion) {
  if (sdkVersion != D3D_SDK_VERSION) {
    d3d9gl::Fail(D3DERR_INVALIDCALL, "Direct3DCreate9: wrong SDK version");
    return nullptr;
  }
  if (SDL_WasInit(SDL_INIT_VIDEO) == 0) {
    d3d9gl::Fail(D3DERR_NOTAVAILABLE, "Direct3DCreate9: the video subsystem is not initialised");
    return nullptr;
  }
  return new d3d9gl::Direct3D;
}

D3DGlLiveCounts D3DGlGetLiveCounts() {
  return {d3d9gl::g_live.interfaces, d3d9gl::g_live.glObjects, d3d9gl::g_live.contexts};
}

D3DGlDeviceStats D3DGlGetDeviceStats(IDirect3DDevice9* device) {
  auto* ours = dynamic_cast<d3d9gl::Device*>(device);
  return ours != nullptr ? ours->Stats() : D3DGlDeviceStats{};
}
