// The OpenGL device's context and targets: its life, the GL 3.3 core context,
// the back buffer (8-bit colour, 16-bit depth) and the choice, frame by frame,
// of drawing straight into the window (while the window's drawable has the
// back buffer's size) or into an offscreen copy that Present stretches over
// the client area. GL objects are made only by CreateDevice and the Create*
// calls, and deleted only on release.
#include <algorithm>

#include "platform/d3d9/d3d9_gl_device.h"
#include "platform/win32/native_window.h"

namespace d3d9gl {
namespace {

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

}  // namespace

HRESULT Device::Create(Direct3D* d3d, HWND window, const D3DPRESENT_PARAMETERS& params,
                       Device** out) {
  SDL_Window* sdlWindow = SdlWindowFromHwnd(window);
  if (sdlWindow == nullptr) {
    return Fail(D3DERR_INVALIDCALL, "CreateDevice: the window handle names no live window");
  }
  auto* device = new Device(d3d, sdlWindow);
  const HRESULT result = device->Initialise(params);
  if (FAILED(result)) {
    device->Release();
    return result;
  }
  *out = device;
  return D3D_OK;
}

Device::Device(Direct3D* d3d, SDL_Window* sdlWindow) : d3d_(d3d), sdlWindow_(sdlWindow) {
  // A device keeps the Direct3D object that made it, as in Direct3D 9.
  d3d_->AddRef();
  CountInterface(+1);
}

Device::~Device() {
  // A watch never added (a failed creation) is not found, and nothing is removed.
  SDL_DelEventWatch(WatchWindow, this);
  MakeCurrent();
  ReleaseBindings();
  DestroyGlObjects();
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
  back_.width =
      params.BackBufferWidth != 0 ? params.BackBufferWidth : static_cast<UINT>(drawableWidth);
  back_.height =
      params.BackBufferHeight != 0 ? params.BackBufferHeight : static_cast<UINT>(drawableHeight);
  result = CreateBackBuffer();
  if (FAILED(result)) return result;
  // Known before any window is shown: a context that cannot build the program
  // cannot draw at all.
  program_ = BuildProgram(back_.width, back_.height, back_.roundDepth);
  if (program_.name == 0) return D3DERR_NOTAVAILABLE;
  bound_.vertexArray = CreateGl(glGenVertexArrays);
  const std::uint32_t white = 0xFFFFFFFFu;
  bound_.whiteTexture = MakeGlTexture(1, 1, &white);
  GLint maxTexture = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTexture);
  maxTextureSide_ = std::min<UINT>(static_cast<UINT>(std::max(maxTexture, 1)), MAX_TEXTURE_SIDE);
  state_ = DefaultFixedState();
  log_ = FrameLog(pacer_.has_value());
  ApplyInitialGlState();
  shown_.windowId = SDL_GetWindowID(sdlWindow_);
  SDL_AddEventWatch(WatchWindow, this);
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
  // Direct3D's window origin and depth range, which every GL 4.5 driver and most 3.3 ones offer.
  if (epoxy_gl_version() < 45 && !epoxy_has_gl_extension("GL_ARB_clip_control")) {
    return Fail(D3DERR_NOTAVAILABLE, "CreateDevice: the OpenGL context has no clip control");
  }
  glClipControl(GL_UPPER_LEFT, GL_ZERO_TO_ONE);
  return D3D_OK;
}

// The offscreen copy, and whether the window's own buffers can stand in for
// it: 8-bit colour, and a depth buffer that orders fragments as a 16-bit one.
HRESULT Device::CreateBackBuffer() {
  GLint maxSide = 0;
  glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &maxSide);
  const UINT width = back_.width, height = back_.height;
  if (width == 0 || height == 0 || width > static_cast<UINT>(maxSide) ||
      height > static_cast<UINT>(maxSide)) {
    return Fail(D3DERR_INVALIDCALL, "CreateDevice: back buffer size is zero or too large");
  }
  const GLint windowDepth = AttachmentBits(GL_DEPTH, GL_FRAMEBUFFER_ATTACHMENT_DEPTH_SIZE);
  back_.roundDepth = windowDepth > 16;
  back_.windowFits =
      AttachmentBits(GL_BACK_LEFT, GL_FRAMEBUFFER_ATTACHMENT_RED_SIZE) == 8 && windowDepth >= 16;
  const auto w = static_cast<GLsizei>(width), h = static_cast<GLsizei>(height);
  back_.framebuffer = CreateGl(glGenFramebuffers);
  glBindFramebuffer(GL_FRAMEBUFFER, back_.framebuffer);
  target_.bound = back_.framebuffer;
  back_.colorBuffer = CreateGl(glGenRenderbuffers);
  glBindRenderbuffer(GL_RENDERBUFFER, back_.colorBuffer);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, w, h);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                            back_.colorBuffer);
  back_.depthBuffer = CreateGl(glGenRenderbuffers);
  glBindRenderbuffer(GL_RENDERBUFFER, back_.depthBuffer);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT16, w, h);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER,
                            back_.depthBuffer);
  if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
    return Fail(D3DERR_NOTAVAILABLE, "CreateDevice: the back buffer framebuffer is incomplete");
  }
  return D3D_OK;
}

void Device::ApplyInitialGlState() {
  glViewport(0, 0, static_cast<GLsizei>(back_.width), static_cast<GLsizei>(back_.height));
  // Direct3D 9's defaults where GL's differ: no dithering (D3DRS_DITHERENABLE
  // FALSE), the depth test on (ZENABLE TRUE with a depth buffer), ZFUNC
  // LESSEQUAL. Blending, stencil and scissor are off in both.
  glDisable(GL_DITHER);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);
  // Direct3D's front faces wind clockwise on screen. The shader's turn of y
  // under clip control mirrors every triangle, and GL's facing test does not
  // mirror it back: then they are GL's counter-clockwise ones.
  glFrontFace(GL_CCW);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glBindVertexArray(bound_.vertexArray);
  glActiveTexture(GL_TEXTURE0);
  // A new back buffer starts black and at the far depth rather than undefined.
  glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
  cleared_.color = 0xFF000000u;
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  dirty_ = DIRTY_ALL;
}

void Device::MakeCurrent() {
  if (context_ != nullptr && SDL_GL_GetCurrentContext() != context_) {
    SDL_GL_MakeCurrent(sdlWindow_, context_);
  }
}

void Device::DestroyGlObjects() {
  DestroyGl(glDeleteVertexArrays, &bound_.vertexArray);
  DestroyGl(glDeleteTextures, &bound_.whiteTexture);
  DestroyGl(glDeleteProgram, &program_.name);
  DestroyGl(glDeleteRenderbuffers, &back_.depthBuffer);
  DestroyGl(glDeleteRenderbuffers, &back_.colorBuffer);
  DestroyGl(glDeleteFramebuffers, &back_.framebuffer);
}

HRESULT Device::GetDeviceCaps(D3DCAPS9* caps) {
  if (caps == nullptr) return D3DERR_INVALIDCALL;
  *caps = D3DCAPS9{maxTextureSide_, maxTextureSide_};
  return D3D_OK;
}

// Where this frame is drawn, decided by its first command: a resize may come
// between frames, never inside one.
void Device::ChooseTarget() {
  if (target_.chosen) return;
  target_.chosen = true;
  int clientWidth = 0, clientHeight = 0;
  SDL_GL_GetDrawableSize(sdlWindow_, &clientWidth, &clientHeight);
  target_.intoWindow = back_.windowFits && static_cast<UINT>(clientWidth) == back_.width &&
                       static_cast<UINT>(clientHeight) == back_.height;
  const GLuint target = target_.intoWindow ? 0 : back_.framebuffer;
  if (target != target_.bound) glBindFramebuffer(GL_DRAW_FRAMEBUFFER, target);
  target_.bound = target;
}

}  // namespace d3d9gl
