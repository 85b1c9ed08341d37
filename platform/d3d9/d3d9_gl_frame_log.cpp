// Repeated frames of a paced OpenGL device. Every clear and draw of a frame
// is logged with the state version it saw. A frame that begins with a full
// clear depends on nothing but its log, so while a new frame repeats the
// previous one command for command its GL work is held back; if it repeats it
// to the end, Present leaves the window showing that very picture rather than
// draw and swap it again (on a software rasteriser, most of an idle viewer's
// CPU). Any difference, state change, resource upload or read-back first runs
// what was held back, so results never differ from drawing every frame. Window
// events (expose, resize, show) make the next Present show the picture again.
// Unpaced devices (D3DPRESENT_INTERVAL_IMMEDIATE, for measuring) draw every frame.
#include <bit>

#include "platform/d3d9/d3d9_gl_internal.h"

namespace d3d9gl {

void Device::Touch() {
  CatchUp();
  ++stateVersion_;
}

bool Device::Record(const FrameCommand& command) {
  const std::size_t at = frame_.size();
  frame_.push_back(command);
  if (holding_ && at == heldBack_ && at < previousFrame_.size() && previousFrame_[at] == command) {
    ++heldBack_;
    return false;
  }
  CatchUp();
  return true;
}

void Device::CatchUp() {
  // With nothing held back yet the frame may go on being compared.
  if (!holding_ || heldBack_ == 0) return;
  holding_ = false;
  const std::size_t count = heldBack_;
  heldBack_ = 0;
  // Without a window nothing could be drawn anyway.
  if (!MakeCurrent()) return;
  for (std::size_t i = 0; i < count; ++i) {
    const FrameCommand& c = frame_[i];
    if (c.kind == FrameCommand::CLEAR) {
      ExecuteClear(c.a, c.b, std::bit_cast<float>(c.c), 0, nullptr);
    } else {
      ExecuteDraw(static_cast<GLenum>(c.a), static_cast<GLint>(c.b), static_cast<GLsizei>(c.c));
    }
  }
}

bool Device::FrameRepeated() const {
  return holding_ && heldBack_ == frame_.size() && frame_.size() == previousFrame_.size();
}

bool Device::WindowNeedsPicture() {
  int width = 0, height = 0;
  SDL_GL_GetDrawableSize(sdlWindow_, &width, &height);
  return mustShow_ || width != shownWidth_ || height != shownHeight_;
}

void Device::StartNextFrame() {
  std::swap(previousFrame_, frame_);
  frame_.clear();
  heldBack_ = 0;
  // Only a frame that starts from a cleared target and depth buffer is
  // determined by its own commands alone.
  const bool fullClear = !previousFrame_.empty() &&
                         previousFrame_.front().kind == FrameCommand::CLEAR &&
                         (previousFrame_.front().a & D3DCLEAR_TARGET) != 0 &&
                         ((previousFrame_.front().a & D3DCLEAR_ZBUFFER) != 0 || !hasDepth_);
  holding_ = paced_ && fullClear;
}

int SDLCALL Device::WatchWindow(void* device, SDL_Event* event) {
  auto* self = static_cast<Device*>(device);
  // Exposed, resized, shown, restored...: the window may have lost its picture.
  if (event->type == SDL_WINDOWEVENT && event->window.windowID == self->windowId_) {
    self->mustShow_ = true;
  }
  return 0;
}

}  // namespace d3d9gl
