// The Direct3D-9-style device on an OpenGL 3.3 core context: its life, the
// offscreen back buffer (RGBA8 colour, 16-bit depth) that Present stretches
// over the window's client area, paced presentation, clearing, scenes,
// bindings and drawing. GL objects are made only by CreateDevice, the
// Create* calls and the first draw of each shader variant, and deleted only on
// release. TAVENOR_GENERIC_SHADER=1 at CreateDevice makes every draw use the
// generic program instead of the variants (for comparisons).
#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <new>
#include <thread>
#include <utility>

#include "platform/d3d9/d3d9_gl_internal.h"
#include "platform/shared/native_window.h"

namespace d3d9gl {
namespace {

constexpr int FALLBACK_REFRESH_HZ = 60;

float Channel(D3DCOLOR color, int shift) {
  return static_cast<float>((color >> shift) & 0xFFu) / 255.0f;
}

// A rectangle of the back buffer in Direct3D coordinates (y down), clipped to
// it and turned into a GL scissor box (y up); false when nothing is left.
bool ScissorOf(const D3DRECT& rect, UINT width, UINT height, GLint box[4]) {
  const LONG x1 = std::max<LONG>(rect.x1, 0);
  const LONG y1 = std::max<LONG>(rect.y1, 0);
  const LONG x2 = std::min<LONG>(rect.x2, static_cast<LONG>(width));
  const LONG y2 = std::min<LONG>(rect.y2, static_cast<LONG>(height));
  if (x1 >= x2 || y1 >= y2) return false;
  box[0] = x1;
  box[1] = static_cast<GLint>(height) - y2;
  box[2] = x2 - x1;
  box[3] = y2 - y1;
  return true;
}

}  // namespace

HRESULT Device::Create(Direct3D* d3d, HWND window, D3DPRESENT_PARAMETERS* params, Device** out) {
  SDL_Window* sdlWindow = SdlWindowFromHwnd(window);
  if (sdlWindow == nullptr) {
    return Fail(D3DERR_INVALIDCALL, "CreateDevice: the window handle names no live window");
  }
  auto* device = new Device(d3d, window, sdlWindow);
  const HRESULT result = device->Initialise(*params);
  if (FAILED(result)) {
    device->Release();
    return result;
  }
  params->BackBufferWidth = device->width_;
  params->BackBufferHeight = device->height_;
  if (params->BackBufferFormat == D3DFMT_UNKNOWN) params->BackBufferFormat = D3DFMT_X8R8G8B8;
  params->BackBufferCount = 1;
  *out = device;
  return D3D_OK;
}

Device::Device(Direct3D* d3d, HWND window, SDL_Window* sdlWindow)
    : d3d_(d3d), window_(window), sdlWindow_(sdlWindow) {
  // A device keeps the Direct3D object that made it, as in Direct3D 9.
  d3d_->AddRef();
  CountInterface(+1);
}

Device::~Device() {
  if (watching_) SDL_DelEventWatch(WatchWindow, this);
  const bool usable = MakeCurrent();
  ReleaseBindings();
  DestroyGlObjects(usable);
  if (context_ != nullptr) {
    SDL_GL_DeleteContext(context_);
    CountContext(-1);
  }
  d3d_->Release();
  CountInterface(-1);
}

ULONG Device::Release() {
  const ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

HRESULT Device::Initialise(const D3DPRESENT_PARAMETERS& params) {
  HRESULT result = CreateContext();
  if (FAILED(result)) return result;
  ChoosePacing(params.PresentationInterval);
  int drawableWidth = 0, drawableHeight = 0;
  SDL_GL_GetDrawableSize(sdlWindow_, &drawableWidth, &drawableHeight);
  // Width and height 0 take the client area's size at creation, for good.
  width_ = params.BackBufferWidth != 0 ? params.BackBufferWidth : static_cast<UINT>(drawableWidth);
  height_ =
      params.BackBufferHeight != 0 ? params.BackBufferHeight : static_cast<UINT>(drawableHeight);
  result = CreateBackBuffer(params.EnableAutoDepthStencil != FALSE);
  if (FAILED(result)) return result;
  const char* generic = std::getenv("TAVENOR_GENERIC_SHADER");
  genericOnly_ = generic != nullptr && std::strcmp(generic, "1") == 0;
  // Reserved so that the bound program's address never moves.
  programs_.reserve(PROGRAM_VARIANTS + 1);
  vertexArray_ = CreateGl(GlKind::VertexArray);
  GLint maxTexture = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTexture);
  maxTextureSide_ = std::min<UINT>(static_cast<UINT>(std::max(maxTexture, 1)), MAX_TEXTURE_SIDE);
  ResetFixedState(&state_, hasDepth_);
  ApplyInitialGlState();
  windowId_ = SDL_GetWindowID(sdlWindow_);
  SDL_AddEventWatch(WatchWindow, this);
  watching_ = true;
  CheckGl("CreateDevice");
  return D3D_OK;
}

HRESULT Device::CreateContext() {
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
  context_ = SDL_GL_CreateContext(sdlWindow_);
  if (context_ == nullptr) {
    char reason[256];
    SDL_snprintf(reason, sizeof reason, "CreateDevice: no OpenGL 3.3 core context (%s)",
                 SDL_GetError());
    return Fail(D3DERR_NOTAVAILABLE, reason);
  }
  CountContext(+1);
  if (!epoxy_is_desktop_gl() || epoxy_gl_version() < 33) {
    return Fail(D3DERR_NOTAVAILABLE, "CreateDevice: the OpenGL context is older than 3.3");
  }
  return D3D_OK;
}

void Device::ChoosePacing(UINT interval) {
  paced_ = interval != D3DPRESENT_INTERVAL_IMMEDIATE;
  // Vsync where the driver offers it. Present paces itself as well, which
  // costs nothing when the swap already waited for the display.
  SDL_GL_SetSwapInterval(paced_ ? 1 : 0);
  int hz = 0;
  SDL_DisplayMode mode;
  const int display = SDL_GetWindowDisplayIndex(sdlWindow_);
  if (display >= 0 && SDL_GetCurrentDisplayMode(display, &mode) == 0) hz = mode.refresh_rate;
  if (hz <= 0) hz = FALLBACK_REFRESH_HZ;
  period_ = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
      std::chrono::duration<double>(1.0 / hz));
  lastPresent_ = std::chrono::steady_clock::now() - period_;
}

HRESULT Device::CreateBackBuffer(bool depth) {
  GLint maxSide = 0;
  glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &maxSide);
  if (width_ == 0 || height_ == 0 || width_ > static_cast<UINT>(maxSide) ||
      height_ > static_cast<UINT>(maxSide)) {
    return Fail(D3DERR_INVALIDCALL, "CreateDevice: back buffer size is zero or too large");
  }
  const auto w = static_cast<GLsizei>(width_), h = static_cast<GLsizei>(height_);
  framebuffer_ = CreateGl(GlKind::Framebuffer);
  glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
  colorBuffer_ = CreateGl(GlKind::Renderbuffer);
  glBindRenderbuffer(GL_RENDERBUFFER, colorBuffer_);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, w, h);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colorBuffer_);
  if (depth) {
    depthBuffer_ = CreateGl(GlKind::Renderbuffer);
    glBindRenderbuffer(GL_RENDERBUFFER, depthBuffer_);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT16, w, h);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depthBuffer_);
  }
  hasDepth_ = depth;
  if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
    return Fail(D3DERR_NOTAVAILABLE, "CreateDevice: the back buffer framebuffer is incomplete");
  }
  return D3D_OK;
}

void Device::ApplyInitialGlState() {
  glViewport(0, 0, static_cast<GLsizei>(width_), static_cast<GLsizei>(height_));
  // Direct3D 9's defaults where GL's differ: no dithering [D3DRS_DITHERENABLE].
  glDisable(GL_DITHER);
  glDisable(GL_BLEND);
  glDisable(GL_STENCIL_TEST);
  glDisable(GL_SCISSOR_TEST);
  glFrontFace(GL_CW);  // Direct3D's front faces wind clockwise on screen
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glBindVertexArray(vertexArray_);
  glActiveTexture(GL_TEXTURE0);
  // A new back buffer starts black and at the far depth rather than undefined.
  glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
  glClearDepth(1.0);
  glClear(GL_COLOR_BUFFER_BIT | (hasDepth_ ? GL_DEPTH_BUFFER_BIT : 0));
  dirty_ = DIRTY_ALL;
}

bool Device::MakeCurrent() {
  if (context_ == nullptr) return false;
  if (SDL_GL_GetCurrentContext() == context_) return true;
  // The context is not current (another device drew, or our window went):
  // only a live window of ours may take it again.
  if (SdlWindowFromHwnd(window_) != sdlWindow_) return false;
  return SDL_GL_MakeCurrent(sdlWindow_, context_) == 0;
}

void Device::ReleaseBindings() {
  VertexBuffer* stream = stream_;
  Texture* texture = texture_;
  stream_ = nullptr;
  texture_ = nullptr;
  if (stream != nullptr) stream->Unbind();
  if (texture != nullptr) texture->Unbind();
}

void Device::DestroyGlObjects(bool contextUsable) {
  DestroyGl(GlKind::VertexArray, &vertexArray_, contextUsable);
  for (ShaderProgram& program : programs_) DestroyGl(GlKind::Program, &program.name, contextUsable);
  DestroyGl(GlKind::Renderbuffer, &depthBuffer_, contextUsable);
  DestroyGl(GlKind::Renderbuffer, &colorBuffer_, contextUsable);
  DestroyGl(GlKind::Framebuffer, &framebuffer_, contextUsable);
}

HRESULT Device::GetDeviceCaps(D3DCAPS9* caps) {
  if (caps == nullptr) return D3DERR_INVALIDCALL;
  *caps = D3DCAPS9{};
  caps->DeviceType = D3DDEVTYPE_HAL;
  caps->AdapterOrdinal = D3DADAPTER_DEFAULT;
  caps->MaxTextureWidth = maxTextureSide_;
  caps->MaxTextureHeight = maxTextureSide_;
  caps->MaxActiveLights = MAX_LIGHTS;
  return D3D_OK;
}

HRESULT Device::CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                   IDirect3DVertexBuffer9** buffer, HANDLE* shared) {
  if (buffer == nullptr || shared != nullptr || length == 0) return D3DERR_INVALIDCALL;
  if ((usage & ~(D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC)) != 0) return D3DERR_INVALIDCALL;
  if (pool == D3DPOOL_SCRATCH || pool > D3DPOOL_SCRATCH) return D3DERR_INVALIDCALL;
  if (pool == D3DPOOL_MANAGED && (usage & D3DUSAGE_DYNAMIC) != 0) return D3DERR_INVALIDCALL;
  if (fvf != 0) {
    const FvfLayout layout = DescribeFvf(fvf);
    if (!layout.supported || length < layout.size) return D3DERR_INVALIDCALL;
  }
  if (length > MAX_BUFFER_BYTES) return D3DERR_OUTOFVIDEOMEMORY;
  if (!MakeCurrent()) return D3DERR_DEVICELOST;
  std::vector<std::uint8_t> bytes;
  try {
    bytes.resize(length);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  *buffer = new VertexBuffer(this, std::move(bytes));
  return D3D_OK;
}

HRESULT Device::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                              D3DPOOL pool, IDirect3DTexture9** texture, HANDLE* shared) {
  if (texture == nullptr || shared != nullptr) return D3DERR_INVALIDCALL;
  if (width == 0 || height == 0 || width > maxTextureSide_ || height > maxTextureSide_) {
    return D3DERR_INVALIDCALL;
  }
  if (format != D3DFMT_X8R8G8B8 && format != D3DFMT_A8R8G8B8) return D3DERR_INVALIDCALL;
  // Render targets, depth textures and unbindable pools are not offered.
  if ((usage & ~D3DUSAGE_DYNAMIC) != 0) return D3DERR_INVALIDCALL;
  if (pool != D3DPOOL_DEFAULT && pool != D3DPOOL_MANAGED) return D3DERR_INVALIDCALL;
  if (pool == D3DPOOL_MANAGED && usage != 0) return D3DERR_INVALIDCALL;
  const UINT fullChain = FullMipChain(width, height);
  if (levels > fullChain) return D3DERR_INVALIDCALL;
  if (!MakeCurrent()) return D3DERR_DEVICELOST;
  std::vector<TextureLevel> storage;
  try {
    storage = MakeTextureLevels(width, height, levels == 0 ? fullChain : levels);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  *texture = new Texture(this, std::move(storage), format, pool, usage);
  return D3D_OK;
}

HRESULT Device::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                      DWORD /*stencil*/) {
  if (count != 0 && rects == nullptr) return D3DERR_INVALIDCALL;
  // There is no stencil buffer to clear.
  if ((flags & ~(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER)) != 0) return D3DERR_INVALIDCALL;
  const bool depth = (flags & D3DCLEAR_ZBUFFER) != 0;
  if (depth && (!hasDepth_ || !(z >= 0.0f && z <= 1.0f))) return D3DERR_INVALIDCALL;
  if (!MakeCurrent()) return D3DERR_DEVICELOST;
  if (count != 0) {
    // Rectangles are not logged: they make this frame one that is always drawn.
    Touch();
    Record({FrameCommand::CLEAR_RECTS, flags, color, 0, stateVersion_});
    ExecuteClear(flags, color, z, count, rects);
  } else if (Record({FrameCommand::CLEAR, flags, color, std::bit_cast<std::uint32_t>(z), 0})) {
    ExecuteClear(flags, color, z, 0, nullptr);
  }
  return D3D_OK;
}

void Device::ExecuteClear(DWORD flags, D3DCOLOR color, float z, DWORD count, const D3DRECT* rects) {
  GLbitfield mask = 0;
  // Clear writes whatever the write masks say, as Direct3D's Clear does.
  if ((flags & D3DCLEAR_TARGET) != 0) {
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glClearColor(Channel(color, 16), Channel(color, 8), Channel(color, 0), Channel(color, 24));
    mask |= GL_COLOR_BUFFER_BIT;
  }
  if ((flags & D3DCLEAR_ZBUFFER) != 0) {
    glDepthMask(GL_TRUE);
    glClearDepth(z);  // GL's depth buffer holds Direct3D's 0..1 depth as is
    mask |= GL_DEPTH_BUFFER_BIT;
  }
  if (count == 0) {
    glClear(mask);
  } else {
    glEnable(GL_SCISSOR_TEST);
    GLint box[4];
    for (DWORD i = 0; i < count; ++i) {
      if (!ScissorOf(rects[i], width_, height_, box)) continue;
      glScissor(box[0], box[1], box[2], box[3]);
      glClear(mask);
    }
    glDisable(GL_SCISSOR_TEST);
  }
  ApplyWriteMasks(state_);
  CheckGl("Clear");
}

HRESULT Device::BeginScene() {
  if (inScene_) return D3DERR_INVALIDCALL;
  inScene_ = true;
  return D3D_OK;
}

HRESULT Device::EndScene() {
  if (!inScene_) return D3DERR_INVALIDCALL;
  inScene_ = false;
  return D3D_OK;
}

HRESULT Device::Present(const RECT* source, const RECT* dest, HWND overrideWindow,
                        const RGNDATA* /*dirty: only a hint*/) {
  // Only the whole back buffer onto the device's own window is offered.
  if (source != nullptr || dest != nullptr || overrideWindow != nullptr || inScene_) {
    return D3DERR_INVALIDCALL;
  }
  HRESULT result = D3D_OK;
  if (!MakeCurrent()) {
    result = D3DERR_DEVICELOST;
  } else if (FrameRepeated() && !WindowNeedsPicture()) {
    ++stats_.repeatedFrames;  // the window already shows this very picture
  } else {
    CatchUp();
    result = ShowBackBuffer();
  }
  StartNextFrame();
  PaceAfterPresent();
  return result;
}

HRESULT Device::ShowBackBuffer() {
  if (!MakeCurrent()) return D3DERR_DEVICELOST;
  int clientWidth = 0, clientHeight = 0;
  SDL_GL_GetDrawableSize(sdlWindow_, &clientWidth, &clientHeight);
  if (clientWidth <= 0 || clientHeight <= 0) return D3D_OK;  // nothing to show into yet
  const auto w = static_cast<GLint>(width_), h = static_cast<GLint>(height_);
  glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer_);
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
  // The whole back buffer over the whole client area; bilinear when stretched.
  const bool sameSize = clientWidth == w && clientHeight == h;
  glBlitFramebuffer(0, 0, w, h, 0, 0, clientWidth, clientHeight, GL_COLOR_BUFFER_BIT,
                    sameSize ? GL_NEAREST : GL_LINEAR);
  SDL_GL_SwapWindow(sdlWindow_);
  glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
  mustShow_ = false;
  shownWidth_ = clientWidth;
  shownHeight_ = clientHeight;
  CheckGl("Present");
  return D3D_OK;
}

void Device::PaceAfterPresent() {
  const auto now = std::chrono::steady_clock::now();
  if (!paced_) {
    lastPresent_ = now;
    return;
  }
  // At most one present per refresh: sleep out what is left of the period.
  // With working vsync the swap has already waited and nothing is left.
  const auto due = lastPresent_ + period_;
  if (now < due) {
    std::this_thread::sleep_until(due);
    lastPresent_ = due;
  } else {
    lastPresent_ = now;
  }
}

HRESULT Device::SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) {
  if (stage >= MAX_STAGES) return D3DERR_INVALIDCALL;
  Texture* ours = nullptr;
  if (texture != nullptr) {
    ours = dynamic_cast<Texture*>(texture);
    if (ours == nullptr || ours->Owner() != this) return D3DERR_INVALIDCALL;
  }
  // Later stages are always disabled and sample nothing.
  if (stage != 0) return ours == nullptr ? D3D_OK : D3DERR_INVALIDCALL;
  if (ours == texture_) return D3D_OK;
  Touch();
  if (ours != nullptr) ours->Bind();
  Texture* previous = texture_;
  texture_ = ours;
  dirty_ |= DIRTY_TEXTURE;
  if (previous != nullptr) previous->Unbind();
  return D3D_OK;
}

HRESULT Device::SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer, UINT offset,
                                UINT stride) {
  // Flexible-vertex-format drawing reads stream 0 only.
  if (stream != 0) return D3DERR_INVALIDCALL;
  VertexBuffer* ours = nullptr;
  if (buffer != nullptr) {
    ours = dynamic_cast<VertexBuffer*>(buffer);
    if (ours == nullptr || ours->Owner() != this) return D3DERR_INVALIDCALL;
  }
  if (ours == stream_ && offset == streamOffset_ && stride == streamStride_) return D3D_OK;
  Touch();
  if (ours != nullptr) ours->Bind();
  VertexBuffer* previous = stream_;
  stream_ = ours;
  streamOffset_ = offset;
  streamStride_ = stride;
  dirty_ |= DIRTY_LAYOUT;
  if (previous != nullptr) previous->Unbind();
  return D3D_OK;
}

HRESULT Device::CheckDrawRange(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount,
                               GLenum* mode, GLsizei* count) const {
  std::uint64_t vertices = 0;
  switch (type) {
    case D3DPT_TRIANGLELIST:
      *mode = GL_TRIANGLES;
      vertices = 3ull * primitiveCount;
      break;
    case D3DPT_TRIANGLESTRIP:
      *mode = GL_TRIANGLE_STRIP;
      vertices = primitiveCount + 2ull;
      break;
    case D3DPT_TRIANGLEFAN:
      *mode = GL_TRIANGLE_FAN;
      vertices = primitiveCount + 2ull;
      break;
    default:
      return D3DERR_INVALIDCALL;  // points and lines rasterise differently in GL
  }
  if (stream_ == nullptr || !layout_.supported || !layout_.hasPosition) return D3DERR_INVALIDCALL;
  if (streamStride_ < layout_.size) return D3DERR_INVALIDCALL;
  *count = 0;
  if (primitiveCount == 0) return D3D_OK;
  // Every byte read must lie in the buffer: no GL read beyond its end.
  const std::uint64_t last = static_cast<std::uint64_t>(startVertex) + vertices - 1;
  const std::uint64_t length = stream_->Length();
  if (last >= length) return D3DERR_INVALIDCALL;  // stride >= 12 bytes per vertex
  const std::uint64_t end = streamOffset_ + last * streamStride_ + layout_.size;
  if (end > length) return D3DERR_INVALIDCALL;
  *count = static_cast<GLsizei>(vertices);
  return D3D_OK;
}

HRESULT Device::DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) {
  if (!inScene_) return D3DERR_INVALIDCALL;
  GLenum mode = GL_TRIANGLES;
  GLsizei count = 0;
  const HRESULT checked = CheckDrawRange(type, startVertex, primitiveCount, &mode, &count);
  if (FAILED(checked) || count == 0) return checked;
  if (!MakeCurrent()) return D3DERR_DEVICELOST;
  if (Record({FrameCommand::DRAW, mode, startVertex, static_cast<std::uint32_t>(count),
              stateVersion_})) {
    ExecuteDraw(mode, static_cast<GLint>(startVertex), count);
  }
  return D3D_OK;
}

void Device::ExecuteDraw(GLenum mode, GLint first, GLsizei count) {
  FlushState();
  if (program_->name == 0) return;  // it failed to build: the reason is recorded
  glDrawArrays(mode, first, count);
  ++stats_.draws;
  CheckGl("DrawPrimitive");
}

void Device::FlushState() {
  if (dirty_ == 0) return;
  if ((dirty_ & DIRTY_RASTER) != 0) ApplyRasterState(state_, hasDepth_);
  if ((dirty_ & DIRTY_LAYOUT) != 0) SpecifyVertexLayout();
  if ((dirty_ & DIRTY_TEXTURE) != 0) {
    glBindTexture(GL_TEXTURE_2D, texture_ != nullptr ? texture_->Name() : 0);
  }
  if ((dirty_ & DIRTY_SHADER_KEY) != 0) ChooseProgram();
  stats_.uniformUploads += UploadUniforms(state_, layout_, stateKey_, dirty_, program_->uniforms);
  dirty_ = 0;
}

// Binds the program generated for the state, building it on its first use.
void Device::ChooseProgram() {
  stateKey_ = MakeShaderKey(state_, layout_, texture_ != nullptr);
  ShaderKey key = genericOnly_ ? ShaderKey{.generic = true} : stateKey_;
  if (program_ != nullptr && program_->key == key) return;
  ShaderProgram* program = FindProgram(key);
  if (program == nullptr && programs_.size() >= PROGRAM_VARIANTS) {
    key = ShaderKey{.generic = true};
    program = FindProgram(key);
  }
  if (program == nullptr) {
    programs_.push_back(BuildProgram(key, width_, height_));
    program = &programs_.back();
  }
  program_ = program;
  glUseProgram(program_->name);
  // Uniforms belong to a program: the newly bound one gets all of them.
  dirty_ |= DIRTY_UNIFORMS;
}

ShaderProgram* Device::FindProgram(const ShaderKey& key) {
  for (ShaderProgram& program : programs_) {
    if (program.key == key) return &program;
  }
  return nullptr;
}

void Device::SpecifyVertexLayout() {
  enum Attribute : GLuint { POSITION = 0, NORMAL = 1, DIFFUSE = 2, SPECULAR = 3, TEXCOORD = 4 };
  const auto stride = static_cast<GLsizei>(streamStride_);
  const auto at = [this](int offset) {
    return reinterpret_cast<const void*>(static_cast<std::uintptr_t>(streamOffset_) + offset);
  };
  glBindBuffer(GL_ARRAY_BUFFER, stream_->Name());
  glEnableVertexAttribArray(POSITION);
  glVertexAttribPointer(POSITION, 3, GL_FLOAT, GL_FALSE, stride, at(0));
  // Missing parts read constants: no normal, opaque white diffuse, black specular.
  const auto attach = [&](GLuint index, int offset, GLint size, GLenum type, bool normalised,
                          float x, float y, float z, float w) {
    if (offset < 0) {
      glDisableVertexAttribArray(index);
      glVertexAttrib4f(index, x, y, z, w);
      return;
    }
    glEnableVertexAttribArray(index);
    glVertexAttribPointer(index, size, type, normalised ? GL_TRUE : GL_FALSE, stride, at(offset));
  };
  // D3DCOLOR is 0xAARRGGBB, bytes B, G, R, A in memory: GL's BGRA ordering.
  attach(NORMAL, layout_.normal, 3, GL_FLOAT, false, 0, 0, 0, 1);
  attach(DIFFUSE, layout_.diffuse, GL_BGRA, GL_UNSIGNED_BYTE, true, 1, 1, 1, 1);
  attach(SPECULAR, layout_.specular, GL_BGRA, GL_UNSIGNED_BYTE, true, 0, 0, 0, 0);
  const DWORD set = state_.stage[0][D3DTSS_TEXCOORDINDEX];
  const int texcoord = set < layout_.textureSets ? layout_.texture + static_cast<int>(8 * set) : -1;
  attach(TEXCOORD, texcoord, 2, GL_FLOAT, false, 0, 0, 0, 1);
  ++stats_.layoutChanges;
}

HRESULT Device::ReadBackBuffer(std::vector<D3DCOLOR>* pixels, UINT* width, UINT* height) {
  if (!MakeCurrent()) return D3DERR_DEVICELOST;
  CatchUp();
  std::vector<D3DCOLOR> bottomUp(static_cast<std::size_t>(width_) * height_);
  glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer_);
  // BGRA with 8_8_8_8_REV packs each pixel as 0xAARRGGBB on any byte order.
  glReadPixels(0, 0, static_cast<GLsizei>(width_), static_cast<GLsizei>(height_), GL_BGRA,
               GL_UNSIGNED_INT_8_8_8_8_REV, bottomUp.data());
  pixels->resize(bottomUp.size());
  for (UINT row = 0; row < height_; ++row) {
    const D3DCOLOR* from = bottomUp.data() + static_cast<std::size_t>(height_ - 1 - row) * width_;
    D3DCOLOR* to = pixels->data() + static_cast<std::size_t>(row) * width_;
    for (UINT x = 0; x < width_; ++x) to[x] = from[x] | 0xFF000000u;  // X8R8G8B8
  }
  *width = width_;
  *height = height_;
  CheckGl("ReadBackBuffer");
  return D3D_OK;
}

}  // namespace d3d9gl
