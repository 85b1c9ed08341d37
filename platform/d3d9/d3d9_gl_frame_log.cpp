// The frame's commands: Clear and DrawPrimitive are checked, logged in the
// frame log of a paced device (see d3d9_gl_frame_log.h), held back while the
// frame repeats the previous one, and run against GL otherwise.
#include "platform/d3d9/d3d9_gl_frame_log.h"

#include <utility>

#include "platform/d3d9/d3d9_gl_device.h"

namespace d3d9gl {
namespace {

float Channel(D3DCOLOR color, int shift) {
  return static_cast<float>((color >> shift) & 0xFFu) / 255.0f;
}

}  // namespace

FrameLog::FrameLog(bool holdRepeats) : holdRepeats_(holdRepeats) {}

bool FrameLog::Hold(const FrameCommand& command) {
  const bool draw = std::holds_alternative<DrawCommand>(command);
  const Entry entry{command, draw ? stateVersion_ : 0};
  const std::size_t at = frame_.size();
  frame_.push_back(entry);
  holding_ = holding_ && at < previous_.size() && previous_[at] == entry;
  if (holding_) heldBack_.push_back(command);
  return holding_;
}

std::span<const FrameCommand> FrameLog::TakeHeldBack() {
  // Once something differs the rest of the frame runs as it comes.
  holding_ = false;
  running_.clear();
  std::swap(running_, heldBack_);
  return running_;
}

bool FrameLog::Repeated() const { return holding_ && frame_.size() == previous_.size(); }

void FrameLog::EndFrame() {
  std::swap(previous_, frame_);
  frame_.clear();
  heldBack_.clear();
  // Only a frame that starts from a cleared target and depth buffer is
  // determined by its own commands alone.
  const ClearCommand* first =
      previous_.empty() ? nullptr : std::get_if<ClearCommand>(&previous_.front().command);
  holding_ = holdRepeats_ && first != nullptr && first->flags == FULL_CLEAR;
}

HRESULT Device::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                      DWORD /*stencil: there is no stencil buffer*/) {
  if (count != 0 || rects != nullptr) return D3DERR_INVALIDCALL;
  if ((flags & ~(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER)) != 0) return D3DERR_INVALIDCALL;
  const bool depth = (flags & D3DCLEAR_ZBUFFER) != 0;
  if (depth && !(z >= 0.0f && z <= 1.0f)) return D3DERR_INVALIDCALL;
  MakeCurrent();
  Issue(ClearCommand{flags, color, z});
  return D3D_OK;
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

HRESULT Device::DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) {
  const VertexBuffer* stream = bound_.stream;
  if (!inScene_ || type != D3DPT_TRIANGLESTRIP || stream == nullptr || !bound_.fvfSet ||
      bound_.stride < VERTEX_BYTES) {
    return D3DERR_INVALIDCALL;
  }
  if (primitiveCount == 0) return D3D_OK;
  // Every byte read must lie in the buffer: no GL read beyond its end.
  const std::uint64_t vertices = primitiveCount + 2ull;
  const std::uint64_t last = startVertex + vertices - 1;
  const std::uint64_t length = stream->Length();
  if (last >= length) return D3DERR_INVALIDCALL;  // at least one byte a vertex
  if (bound_.offset + last * bound_.stride + VERTEX_BYTES > length) return D3DERR_INVALIDCALL;
  MakeCurrent();
  Issue(DrawCommand{startVertex, static_cast<UINT>(vertices)});
  return D3D_OK;
}

void Device::Issue(const FrameCommand& command) {
  ChooseTarget();
  if (log_.Hold(command)) return;
  RunHeldBack();
  Execute(command);
}

void Device::RunHeldBack() {
  const std::span<const FrameCommand> held = log_.TakeHeldBack();
  if (!held.empty()) MakeCurrent();
  for (const FrameCommand& command : held) Execute(command);
}

void Device::Execute(const FrameCommand& command) {
  if (const auto* clear = std::get_if<ClearCommand>(&command)) {
    ExecuteClear(*clear);
  } else {
    ExecuteDraw(std::get<DrawCommand>(command));
  }
}

// Clear writes whatever the write masks say; they always let everything through.
void Device::ExecuteClear(const ClearCommand& clear) {
  GLbitfield mask = 0;
  if ((clear.flags & D3DCLEAR_TARGET) != 0) {
    if (clear.color != cleared_.color) {
      const D3DCOLOR c = clear.color;
      glClearColor(Channel(c, 16), Channel(c, 8), Channel(c, 0), Channel(c, 24));
      cleared_.color = c;
    }
    mask |= GL_COLOR_BUFFER_BIT;
  }
  if ((clear.flags & D3DCLEAR_ZBUFFER) != 0) {
    if (clear.z != cleared_.depth) {
      glClearDepth(clear.z);  // GL's depth buffer holds Direct3D's 0..1 depth as is
      cleared_.depth = clear.z;
    }
    mask |= GL_DEPTH_BUFFER_BIT;
  }
  glClear(mask);
  CheckGl("Clear");
}

void Device::ExecuteDraw(const DrawCommand& draw) {
  FlushState();
  glDrawArrays(GL_TRIANGLE_STRIP, static_cast<GLint>(draw.first),
               static_cast<GLsizei>(draw.count));
  ++stats_.draws;
  CheckGl("DrawPrimitive");
}

}  // namespace d3d9gl
