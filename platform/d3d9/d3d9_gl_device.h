// The OpenGL device and the Direct3D object that makes it. Not for code
// outside platform/d3d9; tests and benches use d3d9_gl.h. The device's work is
// split by concern: context and targets (d3d9_gl_context.cpp), state and
// bindings (d3d9_gl_state.cpp), resources (d3d9_gl_resources.cpp), the frame's
// commands and their log (d3d9_gl_frame_log.cpp), present and pacing
// (d3d9_gl_present.cpp, d3d9_gl_pacing.cpp).
#pragma once

#include <SDL.h>
#include <epoxy/gl.h>

#include <optional>

#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/d3d9_gl.h"
#include "platform/d3d9/d3d9_gl_frame_log.h"
#include "platform/d3d9/d3d9_gl_objects.h"
#include "platform/d3d9/d3d9_gl_pacing.h"
#include "platform/d3d9/d3d9_gl_resources.h"
#include "platform/d3d9/d3d9_gl_shader.h"
#include "platform/d3d9/d3d9_gl_state.h"

namespace d3d9gl {

constexpr UINT MAX_TEXTURE_SIDE = 4096;      // reported cap, also bounded by GL's own maximum
constexpr UINT MAX_BUFFER_BYTES = 1u << 28;  // largest vertex buffer (256 MiB)

class Direct3D;

// The back buffer: fixed in size for the device's life. The frame is drawn
// into the offscreen copy only while the window's size differs from it.
struct BackBuffer {
  UINT width = 0, height = 0;
  GLuint framebuffer = 0, colorBuffer = 0, depthBuffer = 0;
  bool windowFits = false;  // the window's buffers can hold the back buffer's picture
  bool roundDepth = false;  // the window's depth is finer than 16 bits: round it
};

// Where the frame under way is drawn, chosen by its first command.
struct FrameTarget {
  bool chosen = false;
  bool intoWindow = false;  // straight into the window
  GLuint bound = 0;         // the framebuffer bound for drawing
};

// What the window shows.
struct ShownPicture {
  bool stale = true;  // the window may not show the last presented picture
  int width = 0, height = 0;
  std::uint32_t windowId = 0;
};

// What draws read: the vertex stream, the texture of stage 0, the vertex array.
struct Bindings {
  GLuint vertexArray = 0;
  VertexBuffer* stream = nullptr;
  UINT offset = 0, stride = 0;
  bool fvfSet = false;
  Texture* texture = nullptr;
  GLuint whiteTexture = 0;  // what stage 0 samples with no texture bound
};

// The clear values as last sent to GL.
struct ClearValues {
  D3DCOLOR color = 0;
  float depth = 1.0f;
};

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

  // Makes the device's context current. The window lives as long as the
  // device: the program releases the device on WM_DESTROY, before the window goes.
  void MakeCurrent();
  // The first step of any change to what later draws produce (state,
  // bindings, resource contents): the commands held back so far run now, with
  // what they saw, and later draws no longer count as repeats of earlier ones.
  void StateChanging();
  D3DGlDeviceStats Stats() const { return stats_; }

 private:
  Device(Direct3D* d3d, SDL_Window* sdlWindow);
  ~Device() override;
  // Context and targets.
  HRESULT Initialise(const D3DPRESENT_PARAMETERS& params);
  HRESULT CreateContext();
  HRESULT CreateBackBuffer();
  void ApplyInitialGlState();
  void DestroyGlObjects();
  void ChooseTarget();
  // State and bindings.
  template <class Resource, class Interface>
  bool Own(Interface* given, Resource** ours) const;
  // The second step of a state change: the GL state of `groups` is sent
  // again before the next draw.
  void Resend(unsigned groups) { dirty_ |= groups; }
  void ReleaseBindings();
  void FlushState();
  void SpecifyVertexLayout();
  // The frame's commands.
  void Issue(const FrameCommand& command);
  void RunHeldBack();
  void Execute(const FrameCommand& command);
  void ExecuteClear(const ClearCommand& clear);
  void ExecuteDraw(const DrawCommand& draw);
  // Present and pacing.
  void ChoosePacing(UINT interval);
  void ShowBackBuffer();
  bool WindowNeedsPicture();
  static int SDLCALL WatchWindow(void* device, SDL_Event* event);

  ULONG refs_ = 1;
  Direct3D* d3d_;
  SDL_Window* sdlWindow_;
  SDL_GLContext context_ = nullptr;
  UINT maxTextureSide_ = 0;
  BackBuffer back_;
  FrameTarget target_;
  ShownPicture shown_;
  std::optional<PresentPacer> pacer_;  // none for an unpaced (IMMEDIATE) device
  Bindings bound_;
  ShaderProgram program_;
  FixedState state_;
  unsigned dirty_ = DIRTY_ALL;
  bool inScene_ = false;
  ClearValues cleared_;
  FrameLog log_{false};
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
