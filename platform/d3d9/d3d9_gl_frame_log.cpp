// The frame log of a paced device; see d3d9_gl_frame_log.h.
#include "platform/d3d9/d3d9_gl_frame_log.h"

#include <utility>

namespace d3d9gl {

FrameLog::FrameLog(bool holdRepeats, std::uint32_t fullClear)
    : holdRepeats_(holdRepeats), fullClear_(fullClear) {}

bool FrameLog::Hold(const FrameCommand& command) {
  const Entry entry{command, command.kind == FrameCommand::DRAW ? stateVersion_ : 0};
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
  // Only a frame that starts from a cleared target (and depth buffer) is
  // determined by its own commands alone.
  const bool fullClear = !previous_.empty() &&
                         previous_.front().command.kind == FrameCommand::CLEAR &&
                         (previous_.front().command.a & fullClear_) == fullClear_;
  holding_ = holdRepeats_ && fullClear;
}

}  // namespace d3d9gl
