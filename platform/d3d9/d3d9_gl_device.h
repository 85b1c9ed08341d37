// The OpenGL device and the Direct3D object that makes it. Not for code
// outside platform/d3d9; tests and benches use d3d9_gl.h.
#pragma once

#include <SDL.h>
#include <epoxy/gl.h>

#include <chrono>

#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/d3d9_gl.h"
#include "platform/d3d9/d3d9_gl_frame_log.h"
#include "platform/d3d9/d3d9_gl_objects.h"
#include "platform/d3d9/d3d9_gl_resources.h"
#include "platform/d3d9/d3d9_gl_shader.h"
#include "platform/d3d9/d3d9_gl_state.h"

namespace d3d9gl {

constexpr UINT MAX_TEXTURE_SIDE = 4096;      // reported cap, also bounded by GL's own maximum
constexpr UINT MAX_BUFFER_BYTES = 1u << 28;  // largest vertex buffer (256 MiB)

class Direct3D;

class Device final : public IDirect3DDevice9 {
 public:
  // Makes a device for window. On failure the reason is recorded and *out unchanged.
  static HRESULT Create(Direct3D* d3d, HWND window, const D3DPRESENT_PARAMETERS& params,
                        Device** out);

  ULONG AddRef() { return ++refs_; }
  ULONG Release() override;
  HRESULT GetDeviceCaps(D3DCAPS9* caps) override;
  HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                             IDirect3DVertexBuffer9** buffer, HANDLE* shared) override;
  HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                        D3DPOOL pool, IDirect3DTexture9** texture, HANDLE* shared) override;
  HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                DWORD stencil) override;
  HRESULT BeginScene() override;
  HRESULT EndScene() override;
  HRESULT Present(const RECT* source, const RECT* dest, HWND overrideWindow,
                  const RGNDATA* dirty) override;
  HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override;
  HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override;
  HRESULT SetMaterial(const D3DMATERIAL9* material) override;
  HRESULT SetLight(DWORD index, const D3DLIGHT9* light) override;
  HRESULT LightEnable(DWORD index, BOOL enable) override;
  HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override;
  HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) override;
  HRESULT SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer, UINT offset,
                          UINT stride) override;
  HRESULT SetFVF(DWORD fvf) override;
  HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) override;

  // Makes the device's context current; false when its window is gone.
  bool MakeCurrent();
  // Something is about to change what later draws produce (state, bindings,
  // resource contents): commands held back so far run first, with what they
  // saw, and the GL state of `groups` is sent again before the next draw.
  void Change(unsigned groups);
  HRESULT ReadBackBuffer(std::vector<D3DCOLOR>* pixels, UINT* width, UINT* height);
  D3DGlDeviceStats Stats() const { return stats_; }

 private:
  Device(Direct3D* d3d, HWND window, SDL_Window* sdlWindow);
  ~Device() override;
  HRESULT Initialise(const D3DPRESENT_PARAMETERS& params);
  HRESULT CreateContext();
  HRESULT CreateBackBuffer(bool depth);
  void ApplyInitialGlState();
  void ChoosePacing(UINT interval);
  template <class Resource, class Interface>
  bool Own(Interface* given, Resource** ours) const;
  void ReleaseBindings();
  void DestroyGlObjects(bool contextUsable);
  HRESULT ShowBackBuffer();
  void PaceAfterPresent();
  void ChooseTarget();
  bool WindowNeedsPicture();
  static int SDLCALL WatchWindow(void* device, SDL_Event* event);
  void Issue(const FrameCommand& command);
  void RunHeldBack();
  void Execute(const FrameCommand& command);
  void ExecuteClear(DWORD flags, D3DCOLOR color, float z);
  void FlushState();
  void SpecifyVertexLayout();

  // The object and the window it draws into.
  ULONG refs_ = 1;
  Direct3D* d3d_;
  HWND window_;
  SDL_Window* sdlWindow_;
  SDL_GLContext context_ = nullptr;
  UINT maxTextureSide_ = 0;

  // The back buffer: fixed in size for the device's life; the frame is drawn
  // into the offscreen copy only while the window's size differs from it.
  UINT width_ = 0, height_ = 0;
  bool hasDepth_ = false;
  GLuint framebuffer_ = 0, colorBuffer_ = 0, depthBuffer_ = 0;
  bool windowFits_ = false;  // the window's buffers can hold the back buffer's picture
  bool roundDepth_ = false;  // the window's depth is finer than 16 bits: round it
  bool targetChosen_ = false;
  bool intoWindow_ = false;  // this frame is drawn straight into the window
  GLuint drawTarget_ = 0;    // the framebuffer bound for drawing

  // Presentation: pacing, and what the window shows.
  bool paced_ = true;
  std::chrono::steady_clock::duration period_{};
  std::chrono::steady_clock::time_point lastPresent_{};
  bool watching_ = false;
  std::uint32_t windowId_ = 0;
  bool mustShow_ = true;  // the window may not show the last presented picture
  int shownWidth_ = 0, shownHeight_ = 0;

  // Bindings.
  GLuint vertexArray_ = 0;
  VertexBuffer* stream_ = nullptr;
  UINT streamOffset_ = 0, streamStride_ = 0;
  bool fvfSet_ = false;
  Texture* texture_ = nullptr;
  GLuint whiteTexture_ = 0;  // what stage 0 samples with no texture bound

  // The program and the state it draws with.
  ClipSpace clipSpace_ = ClipSpace::GL_DEFAULT;
  ShaderProgram program_;
  FixedState state_;
  unsigned dirty_ = DIRTY_ALL;
  bool inScene_ = false;
  D3DCOLOR clearColor_ = 0;  // as last sent to GL
  float clearDepth_ = 1.0f;

  FrameLog log_{false, 0};
  D3DGlDeviceStats stats_{};
};

class Direct3D final : public IDirect3D9 {
 public:
  Direct3D();
  ULONG AddRef() { return ++refs_; }
  ULONG Release() override;
  HRESULT CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD behavior,
                       D3DPRESENT_PARAMETERS* params, IDirect3DDevice9** device) override;

 private:
  ~Direct3D();
  ULONG refs_ = 1;
};

}  // namespace d3d9gl
