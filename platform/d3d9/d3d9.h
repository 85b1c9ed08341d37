// Direct3D-9-style device interface the viewer draws through.
// Offers the fixed-function subset the program uses, with Direct3D 9's names,
// layouts and documented values: lit triangle strips of one vertex format,
// one spot light, vertex colours as material sources, texture stage 0
// modulating the lit colour, a 16-bit depth buffer. Any other call or value
// returns D3DERR_INVALIDCALL (or D3DERR_NOTAVAILABLE) and changes nothing.
// Implemented on OpenGL 3.3 core by d3d9_gl*.cpp; the tests link a recording
// fake in its place. Creating calls that fail leave their reason in
// GetLastFailureReason() (platform/shared/failure_reason.h).
#pragma once

#include <cstdint>

#include "platform/win32/win32.h"

// ---- Colours, vectors, matrices -----------------------------------------------
using D3DCOLOR = DWORD;  // 0xAARRGGBB

struct D3DCOLORVALUE {
  float r, g, b, a;
};

struct D3DVECTOR {
  float x, y, z;
};

// Row-major, row vectors: a point p is transformed as p * M.
struct D3DMATRIX {
  float m[4][4];
};

struct D3DRECT;  // Clear takes no rectangles
struct RGNDATA;  // Present takes no dirty region

// ---- Enumerations: the values the program and the texture loader pass --------
enum D3DDEVTYPE : std::uint32_t { D3DDEVTYPE_HAL = 1 };

enum D3DFORMAT : std::uint32_t {
  D3DFMT_UNKNOWN = 0,
  D3DFMT_X8R8G8B8 = 22,
  D3DFMT_D16 = 80,
};

enum D3DPOOL : std::uint32_t { D3DPOOL_DEFAULT = 0, D3DPOOL_MANAGED = 1 };
enum D3DMULTISAMPLE_TYPE : std::uint32_t { D3DMULTISAMPLE_NONE = 0 };
enum D3DSWAPEFFECT : std::uint32_t { D3DSWAPEFFECT_DISCARD = 1 };

enum D3DRENDERSTATETYPE : std::uint32_t {
  D3DRS_ZENABLE = 7,
  D3DRS_CULLMODE = 22,
  D3DRS_SPECULARENABLE = 29,
  D3DRS_LIGHTING = 137,
  D3DRS_AMBIENT = 139,
  D3DRS_DIFFUSEMATERIALSOURCE = 145,
  D3DRS_SPECULARMATERIALSOURCE = 146,
  D3DRS_AMBIENTMATERIALSOURCE = 147,
};

enum D3DCULL : std::uint32_t { D3DCULL_NONE = 1, D3DCULL_CW = 2, D3DCULL_CCW = 3 };
enum D3DZBUFFERTYPE : std::uint32_t { D3DZB_TRUE = 1 };
enum D3DMATERIALCOLORSOURCE : std::uint32_t {
  D3DMCS_MATERIAL = 0,
  D3DMCS_COLOR1 = 1,
  D3DMCS_COLOR2 = 2,
};

enum D3DTEXTURESTAGESTATETYPE : std::uint32_t {
  D3DTSS_COLOROP = 1,
  D3DTSS_COLORARG1 = 2,
  D3DTSS_COLORARG2 = 3,
  D3DTSS_ALPHAOP = 4,
};

enum D3DTEXTUREOP : std::uint32_t {
  D3DTOP_DISABLE = 1,
  D3DTOP_MODULATE = 4,
};

// Texture stage argument sources (D3DTA_*).
constexpr DWORD D3DTA_DIFFUSE = 0x00000000;
constexpr DWORD D3DTA_TEXTURE = 0x00000002;

enum D3DTRANSFORMSTATETYPE : std::uint32_t {
  D3DTS_VIEW = 2,
  D3DTS_PROJECTION = 3,
  D3DTS_WORLD = 256,
};

enum D3DPRIMITIVETYPE : std::uint32_t { D3DPT_TRIANGLESTRIP = 5 };
enum D3DLIGHTTYPE : std::uint32_t { D3DLIGHT_SPOT = 2 };

// Flexible vertex format bits.
constexpr DWORD D3DFVF_XYZ = 0x002;
constexpr DWORD D3DFVF_NORMAL = 0x010;
constexpr DWORD D3DFVF_DIFFUSE = 0x040;
constexpr DWORD D3DFVF_SPECULAR = 0x080;
constexpr DWORD D3DFVF_TEX1 = 0x100;

constexpr DWORD D3DCLEAR_TARGET = 0x1;
constexpr DWORD D3DCLEAR_ZBUFFER = 0x2;

constexpr UINT D3DPRESENT_INTERVAL_DEFAULT = 0x00000000;
constexpr UINT D3DPRESENT_INTERVAL_IMMEDIATE = 0x80000000;

constexpr DWORD D3DCREATE_SOFTWARE_VERTEXPROCESSING = 0x20;

constexpr UINT D3DADAPTER_DEFAULT = 0;
constexpr UINT D3D_SDK_VERSION = 32;

// Result codes: MAKE_HRESULT(1, 0x876, code).
constexpr HRESULT MAKE_D3DHRESULT(unsigned code) {
  return static_cast<HRESULT>(0x88760000u | code);
}
constexpr HRESULT D3D_OK = S_OK;
constexpr HRESULT D3DERR_NOTAVAILABLE = MAKE_D3DHRESULT(2154);
constexpr HRESULT D3DERR_INVALIDCALL = MAKE_D3DHRESULT(2156);
constexpr HRESULT D3DERR_OUTOFVIDEOMEMORY = MAKE_D3DHRESULT(380);

// ---- Records ------------------------------------------------------------------
struct D3DPRESENT_PARAMETERS {
  UINT BackBufferWidth;
  UINT BackBufferHeight;
  D3DFORMAT BackBufferFormat;
  UINT BackBufferCount;
  D3DMULTISAMPLE_TYPE MultiSampleType;
  DWORD MultiSampleQuality;
  D3DSWAPEFFECT SwapEffect;
  HWND hDeviceWindow;
  BOOL Windowed;
  BOOL EnableAutoDepthStencil;
  D3DFORMAT AutoDepthStencilFormat;
  DWORD Flags;
  UINT FullScreen_RefreshRateInHz;
  UINT PresentationInterval;
};

struct D3DMATERIAL9 {
  D3DCOLORVALUE Diffuse;
  D3DCOLORVALUE Ambient;
  D3DCOLORVALUE Specular;
  D3DCOLORVALUE Emissive;
  float Power;
};

struct D3DLIGHT9 {
  D3DLIGHTTYPE Type;
  D3DCOLORVALUE Diffuse;
  D3DCOLORVALUE Specular;
  D3DCOLORVALUE Ambient;
  D3DVECTOR Position;
  D3DVECTOR Direction;
  float Range;
  float Falloff;
  float Attenuation0;
  float Attenuation1;
  float Attenuation2;
  float Theta;  // inner cone, full angle in radians
  float Phi;    // outer cone, full angle in radians
};

struct D3DLOCKED_RECT {
  int Pitch;  // bytes per row
  void* pBits;
};

// The capabilities the texture loader reads.
struct D3DCAPS9 {
  DWORD MaxTextureWidth;
  DWORD MaxTextureHeight;
};

// ---- Interfaces ----------------------------------------------------------------
// Reference counted like COM objects: the creator hands out one reference;
// Release() frees the object when the count reaches zero.
class IDirect3DResource9 {
 public:
  virtual ULONG Release() = 0;

 protected:
  virtual ~IDirect3DResource9() = default;
};

class IDirect3DBaseTexture9 : public IDirect3DResource9 {};

class IDirect3DTexture9 : public IDirect3DBaseTexture9 {
 public:
  // Level 0, the whole texture, flags 0: rows of 4-byte texels, 0xAARRGGBB
  // in memory order B, G, R, A. Unlocking makes what was written drawable.
  virtual HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) = 0;
  virtual HRESULT UnlockRect(UINT level) = 0;
};

class IDirect3DVertexBuffer9 : public IDirect3DResource9 {
 public:
  // The whole buffer: offset 0, size 0, flags 0.
  virtual HRESULT Lock(UINT offset, UINT size, void** data, DWORD flags) = 0;
  virtual HRESULT Unlock() = 0;
};

class IDirect3DDevice9 {
 public:
  virtual ULONG Release() = 0;
  virtual HRESULT GetDeviceCaps(D3DCAPS9* caps) = 0;

  // fvf is 0 or the one vertex format the device draws; usage 0.
  virtual HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                     IDirect3DVertexBuffer9** buffer, HANDLE* shared) = 0;
  // One level, usage 0, X8R8G8B8.
  virtual HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                                D3DPOOL pool, IDirect3DTexture9** texture, HANDLE* shared) = 0;

  // The whole target and depth buffer, no rectangles, no stencil.
  virtual HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                        DWORD stencil) = 0;
  virtual HRESULT BeginScene() = 0;
  virtual HRESULT EndScene() = 0;
  // The whole back buffer onto the device's window: all four arguments null. A paced device
  // (D3DPRESENT_INTERVAL_DEFAULT) returns when the next frame is worth drawing: once input or a
  // window event waits, or after at most a tenth of a second, and never sooner than a refresh
  // period after the last frame it showed.
  virtual HRESULT Present(const RECT* source, const RECT* dest, HWND overrideWindow,
                          const RGNDATA* dirty) = 0;

  virtual HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) = 0;
  // Stage 0 only: colour = texture x diffuse, alpha disabled (alpha is never read).
  virtual HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) = 0;
  virtual HRESULT SetMaterial(const D3DMATERIAL9* material) = 0;
  // Light 0 only, a spot light.
  virtual HRESULT SetLight(DWORD index, const D3DLIGHT9* light) = 0;
  virtual HRESULT LightEnable(DWORD index, BOOL enable) = 0;
  virtual HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) = 0;
  virtual HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) = 0;
  virtual HRESULT SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer, UINT offset,
                                  UINT stride) = 0;
  virtual HRESULT SetFVF(DWORD fvf) = 0;
  virtual HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) = 0;

 protected:
  virtual ~IDirect3DDevice9() = default;
};

class IDirect3D9 {
 public:
  virtual ULONG Release() = 0;
  // On success *device holds one reference. On failure *device is left as it was.
  virtual HRESULT CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD behavior,
                               D3DPRESENT_PARAMETERS* params, IDirect3DDevice9** device) = 0;

 protected:
  virtual ~IDirect3D9() = default;
};

// Returns a new Direct3D object, or null when sdkVersion is not
// D3D_SDK_VERSION or the graphics system is unusable.
IDirect3D9* Direct3DCreate9(UINT sdkVersion);
