// Pieces of the OpenGL 3.3 device shared by the platform/d3d9_gl_*.cpp files:
// the device, its two resource kinds, the Direct3D object, GL object
// bookkeeping and the fixed-function state record. Not for code outside
// platform/; tests and benches use platform/d3d9_gl.h.
#pragma once

#include <SDL.h>
#include <epoxy/gl.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <vector>

#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/d3d9_gl.h"

namespace d3d9gl {

// ---- Capabilities ---------------------------------------------------------------
constexpr DWORD MAX_LIGHTS = 8;               // light indices 0..7
constexpr DWORD MAX_STAGES = 8;               // texture stages 0..7; only stage 0 may be enabled
constexpr DWORD MAX_TEXTURE_SIDE = 4096;      // reported cap, also bounded by GL's own maximum
constexpr UINT MAX_BUFFER_BYTES = 1u << 28;   // largest vertex buffer (256 MiB)
constexpr int RENDER_STATE_SLOTS = 256;       // D3DRENDERSTATETYPE values are below this
constexpr int LIGHT_VEC4S = 7;                // vec4s per light in the shader's light array
constexpr std::size_t PROGRAM_VARIANTS = 32;  // variants kept; later states use the generic one

// ---- Bookkeeping of live objects (for leak tests) ---------------------------------
enum class GlKind { Buffer, Texture, Framebuffer, Renderbuffer, VertexArray, Shader, Program };
// Makes one GL object of the kind in the current context and counts it
// (shaders through CreateGlShader, which needs their stage).
GLuint CreateGl(GlKind kind);
GLuint CreateGlShader(GLenum stage);
// Deletes *name (when the context is still usable) and uncounts it; *name becomes 0.
void DestroyGl(GlKind kind, GLuint* name, bool contextUsable);
// Counts device-level interfaces (Direct3D, devices, buffers, textures) and contexts.
void CountInterface(int delta);
void CountContext(int delta);

// One glGetError check per call site in debug builds; nothing in release builds.
void CheckGl(const char* where);

// Records reason for GetLastFailureReason() and returns result.
HRESULT Fail(HRESULT result, const char* reason);

// ---- Vertex layout --------------------------------------------------------------
struct FvfLayout {
  bool supported = false;  // only XYZ, NORMAL, DIFFUSE, SPECULAR and 2-D texture sets
  bool hasPosition = false;
  UINT size = 0;    // bytes per vertex
  int normal = -1;  // byte offsets, -1 when absent
  int diffuse = -1;
  int specular = -1;
  int texture = -1;  // first texture coordinate set
  UINT textureSets = 0;
};
FvfLayout DescribeFvf(DWORD fvf);

class Device;

// ---- Resources --------------------------------------------------------------------
// Reference counting shared by buffers and textures. Like Direct3D 9, a live
// resource holds one reference on its device, and the device's bindings hold
// the resource internally without touching its public count: a resource whose
// count reaches zero while bound is freed when the binding goes.
class DeviceChild {
 public:
  explicit DeviceChild(Device* device);
  DeviceChild(const DeviceChild&) = delete;
  DeviceChild& operator=(const DeviceChild&) = delete;
  ULONG AddPublic() { return ++refs_; }
  ULONG ReleasePublic();
  void Bind() { ++binds_; }
  void Unbind();  // may free the object
  Device* Owner() const { return device_; }

 protected:
  virtual ~DeviceChild();

 private:
  Device* device_;
  ULONG refs_ = 1;
  ULONG binds_ = 0;
};

class VertexBuffer final : public IDirect3DVertexBuffer9, public DeviceChild {
 public:
  // bytes is the zeroed CPU copy, allocated by the caller so that nothing here throws.
  VertexBuffer(Device* device, std::vector<std::uint8_t> bytes);
  ULONG AddRef() override { return AddPublic(); }
  ULONG Release() override { return ReleasePublic(); }
  HRESULT Lock(UINT offset, UINT size, void** data, DWORD flags) override;
  HRESULT Unlock() override;
  UINT Length() const { return static_cast<UINT>(bytes_.size()); }
  GLuint Name() const { return name_; }

 private:
  ~VertexBuffer() override;
  std::vector<std::uint8_t> bytes_;  // the CPU copy that Lock hands out
  GLuint name_ = 0;
  bool locked_ = false;
  bool readOnly_ = false;
  UINT lockOffset_ = 0;
  UINT lockSize_ = 0;
};

// One mip level's CPU copy: rows of 4-byte B, G, R, A texels.
struct TextureLevel {
  UINT width;
  UINT height;
  std::vector<std::uint8_t> texels;
};

// The zeroed levels of a width x height texture; may throw std::bad_alloc.
std::vector<TextureLevel> MakeTextureLevels(UINT width, UINT height, UINT levels);

class Texture final : public IDirect3DTexture9, public DeviceChild {
 public:
  // levels come from MakeTextureLevels, so that nothing here throws.
  Texture(Device* device, std::vector<TextureLevel> levels, D3DFORMAT format, D3DPOOL pool,
          DWORD usage);
  ULONG AddRef() override { return AddPublic(); }
  ULONG Release() override { return ReleasePublic(); }
  DWORD GetLevelCount() override { return static_cast<DWORD>(levels_.size()); }
  HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override;
  HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
  HRESULT UnlockRect(UINT level) override;
  GLuint Name() const { return name_; }

 private:
  ~Texture() override;
  void Upload();

  std::vector<TextureLevel> levels_;
  D3DFORMAT format_;
  D3DPOOL pool_;
  DWORD usage_;
  GLuint name_ = 0;
  int lockedLevel_ = -1;
  bool readOnly_ = false;
};

// Number of mip levels of a full chain down to 1 x 1.
UINT FullMipChain(UINT width, UINT height);

// ---- Fixed-function state ---------------------------------------------------------
// Groups of state whose GL counterpart must be sent again before the next draw.
enum Dirty : unsigned {
  DIRTY_RASTER = 1u << 0,     // depth, culling, colour mask
  DIRTY_TRANSFORM = 1u << 1,  // world-view, projection, normal matrix
  DIRTY_LIGHTS = 1u << 2,     // camera-space lights (also follow the view)
  DIRTY_MATERIAL = 1u << 3,
  DIRTY_LIGHTING = 1u << 4,  // lighting switches, ambient, colour sources
  DIRTY_STAGE = 1u << 5,     // texture stage ops, specular enable
  DIRTY_LAYOUT = 1u << 6,    // vertex attribute pointers
  DIRTY_TEXTURE = 1u << 7,   // texture bound to unit 0
  DIRTY_ALL = 0xFFu,
  // What a program's code depends on, and what its uniforms hold.
  DIRTY_SHADER_KEY = DIRTY_LIGHTS | DIRTY_LIGHTING | DIRTY_STAGE | DIRTY_TEXTURE,
  DIRTY_UNIFORMS = DIRTY_TRANSFORM | DIRTY_LIGHTS | DIRTY_MATERIAL | DIRTY_LIGHTING | DIRTY_STAGE,
};

struct LightSlot {
  D3DLIGHT9 light;
  bool enabled;
};

struct FixedState {
  std::array<DWORD, RENDER_STATE_SLOTS> render{};
  std::array<std::array<DWORD, 32>, MAX_STAGES> stage{};
  D3DMATERIAL9 material{};
  std::array<LightSlot, MAX_LIGHTS> lights{};
  std::array<bool, MAX_LIGHTS> lightSet{};
  D3DMATRIX world{}, view{}, projection{}, texture0{};
};

// Fills state with Direct3D 9's defaults; ZENABLE follows the auto depth buffer.
void ResetFixedState(FixedState* state, bool autoDepth);
// Whether value is one this layer draws faithfully for render state `state`;
// *dirty receives the groups it affects. False for unknown states too.
bool AcceptRenderState(DWORD state, DWORD value, unsigned* dirty);
// The same for a texture stage state on the given stage.
bool AcceptStageState(DWORD stage, DWORD type, DWORD value);
// Whether light is one the shader evaluates as Direct3D 9 does.
bool AcceptLight(const D3DLIGHT9& light);

// Uniform locations of one fixed-function program; -1 for those it does not read.
struct ProgramUniforms {
  GLint worldView = -1, projection = -1, normalMatrix = -1, pixelOffset = -1;
  GLint flags = -1, sources = -1, material = -1, ambient = -1, lights = -1;
  GLint select = -1, sampler = -1;
};

// One argument of a texture stage 0 product: the interpolated diffuse colour,
// the texel or one. The order is that of the generic program's weights.
enum class StageFactor : std::uint8_t { DIFFUSE, TEXEL, ONE };

// Everything the code of a generated program depends on: states with equal
// keys share one program. The generic key (nothing else set) names the one
// program that reads all of these from uniforms instead.
struct ShaderKey {
  bool generic = false;
  bool lighting = false;
  bool normalizeNormals = false;
  bool localViewer = false;
  bool specular = false;
  std::array<std::uint8_t, MAX_LIGHTS> lightTypes{};  // of each enabled light in order, then 0
  std::array<std::uint8_t, 4> sources{};  // ambient, diffuse, specular, emissive (D3DMCS_*)
  std::array<StageFactor, 4> factors{};   // colour arg 1, colour arg 2, alpha arg 1, alpha arg 2
  bool operator==(const ShaderKey&) const = default;
};

// The key of the variant that draws state as Direct3D 9 does. layout tells
// which vertex colours exist (absent ones fall back to the material).
ShaderKey MakeShaderKey(const FixedState& state, const FvfLayout& layout, bool textureBound);

struct ShaderProgram {
  ShaderKey key;
  GLuint name;  // 0 when it failed to build
  ProgramUniforms uniforms;
};

// Builds and binds the program for key, drawing to a width x height back
// buffer; name 0 (with the reason recorded and the info log printed) when it
// does not compile or link.
ShaderProgram BuildProgram(const ShaderKey& key, UINT width, UINT height);

// Sends each dirty uniform group of state that the bound program reads; stage
// is the state's own key (the generic program takes its choices from it).
// Returns the number of glUniform calls made.
int UploadUniforms(const FixedState& state, const FvfLayout& layout, const ShaderKey& stage,
                   unsigned dirty, const ProgramUniforms& uniforms);
// Applies depth, cull and colour-mask render states to GL.
void ApplyRasterState(const FixedState& state, bool hasDepth);
// Applies only the colour and depth write masks (Clear overrides them).
void ApplyWriteMasks(const FixedState& state);

// ---- Device -----------------------------------------------------------------------
// One clear or draw of a frame, with everything its pixels depend on.
struct FrameCommand {
  enum Kind : std::uint32_t { CLEAR, CLEAR_RECTS, DRAW } kind;
  std::uint32_t a, b, c;  // CLEAR: flags, colour, depth bits; DRAW: GL mode, first, count
  std::uint64_t version;  // the state version a draw or rectangle clear saw
  bool operator==(const FrameCommand&) const = default;
};

class Direct3D;

class Device final : public IDirect3DDevice9 {
 public:
  // Makes a device for window. On failure the reason is recorded and *out unchanged.
  // Fills in the back buffer's size, format and count that it chose.
  static HRESULT Create(Direct3D* d3d, HWND window, D3DPRESENT_PARAMETERS* params, Device** out);

  ULONG AddRef() override { return ++refs_; }
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
  // The largest texture side CreateTexture accepts.
  UINT MaxTextureSide() const { return maxTextureSide_; }
  HRESULT ReadBackBuffer(std::vector<D3DCOLOR>* pixels, UINT* width, UINT* height);
  D3DGlDeviceStats Stats() const { return stats_; }
  // Resources call this when their GL work disturbed a binding the device relies on.
  void MarkDirty(unsigned groups) { dirty_ |= groups; }
  // Called before anything changes what later draws produce (state, bindings,
  // resource contents): held-back work is done first and the state version moves on.
  void Touch();

 private:
  Device(Direct3D* d3d, HWND window, SDL_Window* sdlWindow);
  ~Device() override;
  HRESULT Initialise(const D3DPRESENT_PARAMETERS& params);
  HRESULT CreateContext();
  HRESULT CreateBackBuffer(bool depth);
  void ApplyInitialGlState();
  void ChoosePacing(UINT interval);
  void ReleaseBindings();
  void DestroyGlObjects(bool contextUsable);
  HRESULT ShowBackBuffer();
  void PaceAfterPresent();
  HRESULT CheckDrawRange(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount, GLenum* mode,
                         GLsizei* count) const;
  void FlushState();
  void ChooseProgram();
  ShaderProgram* FindProgram(const ShaderKey& key);
  void SpecifyVertexLayout();
  void ExecuteClear(DWORD flags, D3DCOLOR color, float z, DWORD count, const D3DRECT* rects);
  void ExecuteDraw(GLenum mode, GLint first, GLsizei count);

  // The frame log of d3d9_gl_frames.cpp: a frame that repeats the previous one
  // command for command is held back and, if it repeats it to the end, not drawn again.
  bool Record(const FrameCommand& command);  // true when the command must run now
  void CatchUp();                            // runs the held-back commands
  bool FrameRepeated() const;
  bool WindowNeedsPicture();
  void StartNextFrame();
  static int SDLCALL WatchWindow(void* device, SDL_Event* event);

  ULONG refs_ = 1;
  Direct3D* d3d_;
  HWND window_;
  SDL_Window* sdlWindow_;
  SDL_GLContext context_ = nullptr;

  UINT width_ = 0, height_ = 0;  // the back buffer, fixed for the device's life
  bool hasDepth_ = false;
  UINT maxTextureSide_ = 0;
  GLuint framebuffer_ = 0, colorBuffer_ = 0, depthBuffer_ = 0, vertexArray_ = 0;
  bool genericOnly_ = false;             // every draw uses the generic program (for comparisons)
  std::vector<ShaderProgram> programs_;  // built on first use, kept for the device's life
  ShaderProgram* program_ = nullptr;     // the bound one
  ShaderKey stateKey_;                   // the key of the state as last flushed

  bool paced_ = true;
  std::chrono::steady_clock::duration period_{};
  std::chrono::steady_clock::time_point lastPresent_{};

  bool inScene_ = false;
  FixedState state_;
  unsigned dirty_ = DIRTY_ALL;
  DWORD fvf_ = 0;
  FvfLayout layout_;
  VertexBuffer* stream_ = nullptr;
  UINT streamOffset_ = 0, streamStride_ = 0;
  Texture* texture_ = nullptr;
  D3DGlDeviceStats stats_{};

  std::vector<FrameCommand> frame_, previousFrame_;
  std::size_t heldBack_ = 0;  // leading commands of frame_ not run yet
  bool holding_ = false;
  std::uint64_t stateVersion_ = 0;
  bool watching_ = false;
  std::uint32_t windowId_ = 0;
  bool mustShow_ = true;  // the window may not show the back buffer's picture
  int shownWidth_ = 0, shownHeight_ = 0;
};

class Direct3D final : public IDirect3D9 {
 public:
  Direct3D();
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override;
  HRESULT CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD behavior,
                       D3DPRESENT_PARAMETERS* params, IDirect3DDevice9** device) override;

 private:
  ~Direct3D();
  ULONG refs_ = 1;
};

}  // namespace d3d9gl
