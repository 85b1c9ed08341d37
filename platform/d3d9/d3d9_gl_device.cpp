// The Direct3D-9-style device on an OpenGL 3.3 core context: its life, the
// back buffer (8-bit colour, 16-bit depth), paced presentation, clearing,
// scenes, bindings and drawing. A frame is drawn straight into the window
// while the window's drawable has the back buffer's size; otherwise into an
// offscreen copy that Present stretches over the client area. GL objects are
// made only by CreateDevice and the Create* calls, and deleted only on release.
#include "platform/d3d9/d3d9_gl_device.h"

#include <algorithm>
#include <bit>
#include <new>
#include <thread>
#include <utility>

#include "platform/win32/native_window.h"

namespace d3d9gl {
namespace {

constexpr int FALLBACK_REFRESH_HZ = 60;

float Channel(D3DCOLOR color, int shift) {
  return static_cast<float>((color >> shift) & 0xFFu) / 255.0f;
}

// Bits of the bound draw framebuffer's attachment (GL_DEPTH, GL_BACK_LEFT...);
// 0 where it has none.
GLint AttachmentBits(GLenum attachment, GLenum component) {
  GLint type = GL_NONE;
  glGetFramebufferAttachmentParameteriv(GL_DRAW_FRAMEBUFFER, attachment,
                                        GL_FRAMEBUFFER_ATTACHMENT_OBJECT_TYPE, &type);
  GLint bits = 0;
  if (type != GL_NONE) {
    glGetFramebufferAttachmentParameteriv(GL_DRAW_FRAMEBUFFER, attachment, component, &bits);
  }
  return bits;
}

// The zeroed CPU copy of a new resource; false when the memory is not there.
bool Zeroed(std::size_t size, std::vector<std::uint8_t>* bytes) {
  try {
    bytes->resize(size);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

// Moves a binding to next: the device holds next and lets the old resource go,
// which frees it if nothing else holds it.
template <class Resource>
void Rebind(Resource** slot, Resource* next) {
  if (next != nullptr) next->Bind();
  Resource* previous = std::exchange(*slot, next);
  if (previous != nullptr) previous->Unbind();
}

}  // namespace

// The device's own resource behind given (null stays null); false for any other object.
template <class Resource, class Interface>
bool Device::Own(Interface* given, Resource** ours) const {
  *ours = dynamic_cast<Resource*>(given);
  return given == nullptr || (*ours != nullptr && (*ours)->Owner() == this);
}

HRESULT Device::Create(Direct3D* d3d, HWND window, const D3DPRESENT_PARAMETERS& params,
                       Device** out) {
  SDL_Window* sdlWindow = SdlWindowFromHwnd(window);
  if (sdlWindow == nullptr) {
    return Fail(D3DERR_INVALIDCALL, "CreateDevice: the window handle names no live window");
  }
  auto* device = new Device(d3d, window, sdlWindow);
  const HRESULT result = device->Initialise(params);
  if (FAILED(result)) {
    device->Release();
    return result;
  }
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
  // Known before any window is shown: a context that cannot build the program
  // cannot draw at all.
  program_ = BuildProgram(width_, height_, clipSpace_, roundDepth_);
  if (program_.name == 0) return D3DERR_NOTAVAILABLE;
  vertexArray_ = CreateGl(glGenVertexArrays);
  const std::uint32_t white = 0xFFFFFFFFu;
  whiteTexture_ = MakeGlTexture(1, 1, &white);
  GLint maxTexture = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTexture);
  maxTextureSide_ = std::min<UINT>(static_cast<UINT>(std::max(maxTexture, 1)), MAX_TEXTURE_SIDE);
  state_ = DefaultFixedState(hasDepth_);
  log_ = FrameLog(paced_, D3DCLEAR_TARGET | (hasDepth_ ? D3DCLEAR_ZBUFFER : 0));
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
  bool refused = false;
  {
    // An X server may refuse the context (an indirect one, say): a failure, not Xlib's exit.
    XErrorTrap trap;
    context_ = SDL_GL_CreateContext(sdlWindow_);
    refused = trap.Failed(sdlWindow_);
  }
  if (context_ != nullptr) CountContext(+1);
  if (refused) return D3DERR_NOTAVAILABLE;  // the trap recorded why
  if (context_ == nullptr) {
    char reason[256];
    SDL_snprintf(reason, sizeof reason, "CreateDevice: no OpenGL 3.3 core context (%s)",
                 SDL_GetError());
    return Fail(D3DERR_NOTAVAILABLE, reason);
  }
  if (!epoxy_is_desktop_gl() || epoxy_gl_version() < 33) {
    return Fail(D3DERR_NOTAVAILABLE, "CreateDevice: the OpenGL context is older than 3.3");
  }
  // Direct3D's window origin and depth range where GL offers them [ARB_clip_control].
  if (epoxy_gl_version() >= 45 || epoxy_has_gl_extension("GL_ARB_clip_control")) {
    glClipControl(GL_UPPER_LEFT, GL_ZERO_TO_ONE);
    clipSpace_ = ClipSpace::UPPER_LEFT_ZERO_TO_ONE;
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

// The offscreen copy, and whether the window's own buffers can stand in for
// it: 8-bit colour, and a depth buffer that orders fragments as a 16-bit one.
HRESULT Device::CreateBackBuffer(bool depth) {
  GLint maxSide = 0;
  glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &maxSide);
  if (width_ == 0 || height_ == 0 || width_ > static_cast<UINT>(maxSide) ||
      height_ > static_cast<UINT>(maxSide)) {
    return Fail(D3DERR_INVALIDCALL, "CreateDevice: back buffer size is zero or too large");
  }
  hasDepth_ = depth;
  const GLint windowDepth = AttachmentBits(GL_DEPTH, GL_FRAMEBUFFER_ATTACHMENT_DEPTH_SIZE);
  roundDepth_ = depth && windowDepth > 16;
  windowFits_ = AttachmentBits(GL_BACK_LEFT, GL_FRAMEBUFFER_ATTACHMENT_RED_SIZE) == 8 &&
                (!depth || windowDepth >= 16);
  const auto w = static_cast<GLsizei>(width_), h = static_cast<GLsizei>(height_);
  framebuffer_ = CreateGl(glGenFramebuffers);
  glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
  drawTarget_ = framebuffer_;
  colorBuffer_ = CreateGl(glGenRenderbuffers);
  glBindRenderbuffer(GL_RENDERBUFFER, colorBuffer_);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, w, h);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colorBuffer_);
  if (depth) {
    depthBuffer_ = CreateGl(glGenRenderbuffers);
    glBindRenderbuffer(GL_RENDERBUFFER, depthBuffer_);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT16, w, h);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depthBuffer_);
  }
  if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
    return Fail(D3DERR_NOTAVAILABLE, "CreateDevice: the back buffer framebuffer is incomplete");
  }
  return D3D_OK;
}

void Device::ApplyInitialGlState() {
  glViewport(0, 0, static_cast<GLsizei>(width_), static_cast<GLsizei>(height_));
  // Direct3D 9's defaults where GL's differ: no dithering [D3DRS_DITHERENABLE],
  // ZFUNC LESSEQUAL. Blending, stencil and scissor are off in both.
  glDisable(GL_DITHER);
  glDepthFunc(GL_LEQUAL);
  // Direct3D's front faces wind clockwise on screen. The shader's turn of y
  // under clip control mirrors every triangle, and GL's facing test does not
  // mirror it back: then they are GL's counter-clockwise ones.
  glFrontFace(clipSpace_ == ClipSpace::UPPER_LEFT_ZERO_TO_ONE ? GL_CCW : GL_CW);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glBindVertexArray(vertexArray_);
  glActiveTexture(GL_TEXTURE0);
  // A new back buffer starts black and at the far depth rather than undefined.
  glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
  clearColor_ = 0xFF000000u;
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
  Rebind(&stream_, static_cast<VertexBuffer*>(nullptr));
  Rebind(&texture_, static_cast<Texture*>(nullptr));
}

void Device::DestroyGlObjects(bool contextUsable) {
  DestroyGl(glDeleteVertexArrays, &vertexArray_, contextUsable);
  DestroyGl(glDeleteTextures, &whiteTexture_, contextUsable);
  DestroyGl(glDeleteProgram, &program_.name, contextUsable);
  DestroyGl(glDeleteRenderbuffers, &depthBuffer_, contextUsable);
  DestroyGl(glDeleteRenderbuffers, &colorBuffer_, contextUsable);
  DestroyGl(glDeleteFramebuffers, &framebuffer_, contextUsable);
}

HRESULT Device::GetDeviceCaps(D3DCAPS9* caps) {
  if (caps == nullptr) return D3DERR_INVALIDCALL;
  *caps = D3DCAPS9{maxTextureSide_, maxTextureSide_};
  return D3D_OK;
}

HRESULT Device::CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                   IDirect3DVertexBuffer9** buffer, HANDLE* shared) {
  if (buffer == nullptr || shared != nullptr || length == 0 || usage != 0) {
    return D3DERR_INVALIDCALL;
  }
  if (fvf != 0 && (fvf != VERTEX_FVF || length < VERTEX_BYTES)) return D3DERR_INVALIDCALL;
  if (pool != D3DPOOL_DEFAULT && pool != D3DPOOL_MANAGED) return D3DERR_INVALIDCALL;
  if (length > MAX_BUFFER_BYTES) return D3DERR_OUTOFVIDEOMEMORY;
  if (!MakeCurrent()) return D3DERR_DEVICELOST;
  std::vector<std::uint8_t> bytes;
  if (!Zeroed(length, &bytes)) return E_OUTOFMEMORY;
  *buffer = new VertexBuffer(this, std::move(bytes));
  return D3D_OK;
}

HRESULT Device::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                              D3DPOOL pool, IDirect3DTexture9** texture, HANDLE* shared) {
  if (texture == nullptr || shared != nullptr || levels != 1 || usage != 0) {
    return D3DERR_INVALIDCALL;
  }
  if (width == 0 || height == 0 || width > maxTextureSide_ || height > maxTextureSide_) {
    return D3DERR_INVALIDCALL;
  }
  if (format != D3DFMT_X8R8G8B8 && format != D3DFMT_A8R8G8B8) return D3DERR_INVALIDCALL;
  if (pool != D3DPOOL_DEFAULT && pool != D3DPOOL_MANAGED) return D3DERR_INVALIDCALL;
  if (!MakeCurrent()) return D3DERR_DEVICELOST;
  std::vector<std::uint8_t> texels;
  if (!Zeroed(std::size_t{4} * width * height, &texels)) return E_OUTOFMEMORY;
  *texture = new Texture(this, width, height, std::move(texels));
  return D3D_OK;
}

HRESULT Device::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                      DWORD /*stencil: there is no stencil buffer*/) {
  if (count != 0 || rects != nullptr) return D3DERR_INVALIDCALL;
  if ((flags & ~(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER)) != 0) return D3DERR_INVALIDCALL;
  const bool depth = (flags & D3DCLEAR_ZBUFFER) != 0;
  if (depth && (!hasDepth_ || !(z >= 0.0f && z <= 1.0f))) return D3DERR_INVALIDCALL;
  if (!MakeCurrent()) return D3DERR_DEVICELOST;
  Issue({FrameCommand::CLEAR, flags, color, std::bit_cast<std::uint32_t>(z)});
  return D3D_OK;
}

// Clear writes whatever the write masks say; they always let everything through.
void Device::ExecuteClear(DWORD flags, D3DCOLOR color, float z) {
  GLbitfield mask = 0;
  if ((flags & D3DCLEAR_TARGET) != 0) {
    if (color != clearColor_) {
      glClearColor(Channel(color, 16), Channel(color, 8), Channel(color, 0), Channel(color, 24));
      clearColor_ = color;
    }
    mask |= GL_COLOR_BUFFER_BIT;
  }
  if ((flags & D3DCLEAR_ZBUFFER) != 0) {
    if (z != clearDepth_) {
      glClearDepth(z);  // GL's depth buffer holds Direct3D's 0..1 depth as is
      clearDepth_ = z;
    }
    mask |= GL_DEPTH_BUFFER_BIT;
  }
  glClear(mask);
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
                        const RGNDATA* dirty) {
  // Only the whole back buffer onto the device's own window is offered.
  if (source != nullptr || dest != nullptr || overrideWindow != nullptr || dirty != nullptr ||
      inScene_) {
    return D3DERR_INVALIDCALL;
  }
  HRESULT result = D3D_OK;
  if (!MakeCurrent()) {
    result = D3DERR_DEVICELOST;
  } else if (log_.Repeated() && !WindowNeedsPicture()) {
    ++stats_.repeatedFrames;  // the window already shows this very picture
  } else {
    RunHeldBack();
    result = ShowBackBuffer();
  }
  log_.EndFrame();
  targetChosen_ = false;
  PaceAfterPresent();
  return result;
}

HRESULT Device::ShowBackBuffer() {
  ChooseTarget();
  int clientWidth = 0, clientHeight = 0;
  SDL_GL_GetDrawableSize(sdlWindow_, &clientWidth, &clientHeight);
  if (clientWidth <= 0 || clientHeight <= 0) return D3D_OK;  // nothing to show into yet
  if (!intoWindow_) {
    // The whole back buffer over the whole client area; bilinear when stretched.
    const auto w = static_cast<GLint>(width_), h = static_cast<GLint>(height_);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer_);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    drawTarget_ = 0;
    const bool sameSize = clientWidth == w && clientHeight == h;
    glBlitFramebuffer(0, 0, w, h, 0, 0, clientWidth, clientHeight, GL_COLOR_BUFFER_BIT,
                      sameSize ? GL_NEAREST : GL_LINEAR);
    ++stats_.stretchedFrames;
  }
  SDL_GL_SwapWindow(sdlWindow_);
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

// Where this frame is drawn, decided by its first command: a resize may come
// between frames, never inside one.
void Device::ChooseTarget() {
  if (targetChosen_) return;
  targetChosen_ = true;
  int clientWidth = 0, clientHeight = 0;
  SDL_GL_GetDrawableSize(sdlWindow_, &clientWidth, &clientHeight);
  intoWindow_ = windowFits_ && static_cast<UINT>(clientWidth) == width_ &&
                static_cast<UINT>(clientHeight) == height_;
  const GLuint target = intoWindow_ ? 0 : framebuffer_;
  if (target != drawTarget_) glBindFramebuffer(GL_DRAW_FRAMEBUFFER, target);
  drawTarget_ = target;
}

bool Device::WindowNeedsPicture() {
  int width = 0, height = 0;
  SDL_GL_GetDrawableSize(sdlWindow_, &width, &height);
  return mustShow_ || width != shownWidth_ || height != shownHeight_;
}

int SDLCALL Device::WatchWindow(void* device, SDL_Event* event) {
  auto* self = static_cast<Device*>(device);
  // Exposed, resized, shown, restored...: the window may have lost its picture.
  if (event->type == SDL_WINDOWEVENT && event->window.windowID == self->windowId_) {
    self->mustShow_ = true;
  }
  return 0;
}

void Device::Issue(const FrameCommand& command) {
  ChooseTarget();
  if (log_.Hold(command)) return;
  RunHeldBack();
  Execute(command);
}

void Device::RunHeldBack() {
  const std::span<const FrameCommand> held = log_.TakeHeldBack();
  // Without a window nothing could be drawn anyway.
  if (held.empty() || !MakeCurrent()) return;
  for (const FrameCommand& command : held) Execute(command);
}

void Device::Change(unsigned groups) {
  RunHeldBack();
  log_.StateChanged();
  dirty_ |= groups;
}

void Device::Execute(const FrameCommand& command) {
  if (command.kind == FrameCommand::CLEAR) {
    ExecuteClear(command.a, command.b, std::bit_cast<float>(command.c));
    return;
  }
  FlushState();
  glDrawArrays(GL_TRIANGLE_STRIP, static_cast<GLint>(command.a), static_cast<GLsizei>(command.b));
  ++stats_.draws;
  CheckGl("DrawPrimitive");
}

HRESULT Device::SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) {
  Texture* ours = nullptr;
  if (!Own(texture, &ours) || stage != 0) return D3DERR_INVALIDCALL;
  if (ours == texture_) return D3D_OK;
  Change(DIRTY_TEXTURE);
  Rebind(&texture_, ours);
  return D3D_OK;
}

// Flexible-vertex-format drawing reads stream 0 only.
HRESULT Device::SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer, UINT offset,
                                UINT stride) {
  VertexBuffer* ours = nullptr;
  if (!Own(buffer, &ours) || stream != 0) return D3DERR_INVALIDCALL;
  if (ours == stream_ && offset == streamOffset_ && stride == streamStride_) return D3D_OK;
  Change(DIRTY_STREAM);
  Rebind(&stream_, ours);
  streamOffset_ = offset;
  streamStride_ = stride;
  return D3D_OK;
}

HRESULT Device::DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) {
  if (!inScene_ || type != D3DPT_TRIANGLESTRIP || stream_ == nullptr || !fvfSet_ ||
      streamStride_ < VERTEX_BYTES) {
    return D3DERR_INVALIDCALL;
  }
  if (primitiveCount == 0) return D3D_OK;
  // Every byte read must lie in the buffer: no GL read beyond its end.
  const std::uint64_t vertices = primitiveCount + 2ull;
  const std::uint64_t last = startVertex + vertices - 1;
  const std::uint64_t length = stream_->Length();
  if (last >= length) return D3DERR_INVALIDCALL;  // at least one byte a vertex
  if (streamOffset_ + last * streamStride_ + VERTEX_BYTES > length) return D3DERR_INVALIDCALL;
  if (!MakeCurrent()) return D3DERR_DEVICELOST;
  Issue({FrameCommand::DRAW, startVertex, static_cast<std::uint32_t>(vertices), 0});
  return D3D_OK;
}

void Device::FlushState() {
  if (dirty_ == 0) return;
  if ((dirty_ & DIRTY_RASTER) != 0) ApplyRasterState(state_, hasDepth_);
  if ((dirty_ & DIRTY_STREAM) != 0) SpecifyVertexLayout();
  if ((dirty_ & DIRTY_TEXTURE) != 0) {
    glBindTexture(GL_TEXTURE_2D, texture_ != nullptr ? texture_->Name() : whiteTexture_);
  }
  UploadUniforms(state_, dirty_, program_.uniforms);
  dirty_ = 0;
}

// The one vertex format: position, normal, diffuse, specular, (u, v).
void Device::SpecifyVertexLayout() {
  const auto stride = static_cast<GLsizei>(streamStride_);
  const auto at = [this](std::uintptr_t offset) {
    return reinterpret_cast<const void*>(streamOffset_ + offset);
  };
  glBindBuffer(GL_ARRAY_BUFFER, stream_->Name());
  for (GLuint attribute = 0; attribute < 5; ++attribute) glEnableVertexAttribArray(attribute);
  glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, stride, at(0));
  glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, stride, at(12));
  // D3DCOLOR is 0xAARRGGBB, bytes B, G, R, A in memory: GL's BGRA ordering.
  glVertexAttribPointer(2, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, stride, at(24));
  glVertexAttribPointer(3, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, stride, at(28));
  glVertexAttribPointer(4, 2, GL_FLOAT, GL_FALSE, stride, at(32));
}

HRESULT Device::ReadBackBuffer(std::vector<D3DCOLOR>* pixels, UINT* width, UINT* height) {
  if (!MakeCurrent()) return D3DERR_DEVICELOST;
  ChooseTarget();
  RunHeldBack();
  std::vector<D3DCOLOR> bottomUp(static_cast<std::size_t>(width_) * height_);
  glBindFramebuffer(GL_READ_FRAMEBUFFER, intoWindow_ ? 0 : framebuffer_);
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
