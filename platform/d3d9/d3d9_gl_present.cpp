// Present and pacing of the OpenGL device: a paced device shows a frame only
// when it differs from the picture the window shows (or the window lost it),
// and then lets the program draw again as its pacer says (d3d9_gl_pacing.h),
// waiting on the window layer for input; an unpaced one shows every frame and
// never waits. A frame drawn offscreen is stretched over the client area.
#include <algorithm>

#include "platform/d3d9/d3d9_gl_device.h"
#include "platform/win32/native_window.h"

namespace d3d9gl {
namespace {

constexpr int FALLBACK_REFRESH_HZ = 60;

// The pacer's world: the steady clock and the window layer's wait for an event.
class SdlWorld final : public PresentPacer::World {
 public:
  PresentPacer::Clock::time_point Now() override { return PresentPacer::Clock::now(); }

  bool WaitForEvent(PresentPacer::Clock::time_point until, bool onlyNew) override {
    // Whole milliseconds, rounded up: the wait never ends before `until`.
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Now()).count();
    return WaitForWindowEvent(static_cast<int>(std::max<long long>(left, 0)), onlyNew);
  }
};

SdlWorld g_world;

}  // namespace

void Device::ChoosePacing(UINT interval) {
  if (interval == D3DPRESENT_INTERVAL_IMMEDIATE) {
    SDL_GL_SetSwapInterval(0);
    return;
  }
  // Where the swap waits for the display's refresh, that wait is the pacing;
  // elsewhere (Xvfb, say) the pacer keeps shown frames a refresh period apart.
  if (SDL_GL_SetSwapInterval(1) == 0) {
    pacer_.emplace(g_world, PresentPacer::Clock::duration::zero());
    return;
  }
  int hz = 0;
  SDL_DisplayMode mode;
  const int display = SDL_GetWindowDisplayIndex(sdlWindow_);
  if (display >= 0 && SDL_GetCurrentDisplayMode(display, &mode) == 0) hz = mode.refresh_rate;
  if (hz <= 0) hz = FALLBACK_REFRESH_HZ;
  pacer_.emplace(g_world, std::chrono::duration_cast<PresentPacer::Clock::duration>(
                              std::chrono::duration<double>(1.0 / hz)));
}

HRESULT Device::Present(const RECT* source, const RECT* dest, HWND overrideWindow,
                        const RGNDATA* dirty) {
  // Only the whole back buffer onto the device's own window is offered.
  if (source != nullptr || dest != nullptr || overrideWindow != nullptr || dirty != nullptr ||
      inScene_) {
    return D3DERR_INVALIDCALL;
  }
  MakeCurrent();
  const bool show = !log_.Repeated() || WindowNeedsPicture();
  if (show) {
    RunHeldBack();
    ShowBackBuffer();
  } else {
    ++stats_.repeatedFrames;  // the window already shows this very picture
  }
  log_.EndFrame();
  target_.chosen = false;
  if (pacer_) pacer_->AfterPresent(show);
  return D3D_OK;
}

void Device::ShowBackBuffer() {
  ChooseTarget();
  int clientWidth = 0, clientHeight = 0;
  SDL_GL_GetDrawableSize(sdlWindow_, &clientWidth, &clientHeight);
  if (clientWidth <= 0 || clientHeight <= 0) return;  // nothing to show into yet
  if (!target_.intoWindow) {
    // The whole back buffer over the whole client area; bilinear when stretched.
    const auto w = static_cast<GLint>(back_.width), h = static_cast<GLint>(back_.height);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, back_.framebuffer);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    target_.bound = 0;
    const bool sameSize = clientWidth == w && clientHeight == h;
    glBlitFramebuffer(0, 0, w, h, 0, 0, clientWidth, clientHeight, GL_COLOR_BUFFER_BIT,
                      sameSize ? GL_NEAREST : GL_LINEAR);
    ++stats_.stretchedFrames;
  }
  SDL_GL_SwapWindow(sdlWindow_);
  shown_.stale = false;
  shown_.width = clientWidth;
  shown_.height = clientHeight;
  CheckGl("Present");
}

bool Device::WindowNeedsPicture() {
  int width = 0, height = 0;
  SDL_GL_GetDrawableSize(sdlWindow_, &width, &height);
  return shown_.stale || width != shown_.width || height != shown_.height;
}

int SDLCALL Device::WatchWindow(void* device, SDL_Event* event) {
  auto* self = static_cast<Device*>(device);
  // Exposed, resized, shown, restored...: the window may have lost its picture.
  if (event->type == SDL_WINDOWEVENT && event->window.windowID == self->shown_.windowId) {
    self->shown_.stale = true;
  }
  return 0;
}

}  // namespace d3d9gl
