// The log of a paced device's frames, which lets it skip a frame that repeats
// the previous one. Every clear and draw of a frame is logged, a draw with the
// version of the state it saw. While a frame that began with a full clear
// repeats the previous one command for command, its commands are held back
// instead of run; if it repeats it to the end, nothing of it needs drawing
// (on a software rasteriser that is most of an idle viewer's CPU). Before
// anything changes what later commands draw, the device runs the held-back
// commands, so the pictures never differ from drawing every frame.
#pragma once

#include <cstdint>
#include <span>
#include <variant>
#include <vector>

#include "platform/d3d9/d3d9.h"

namespace d3d9gl {

// Clear of the whole target and/or depth buffer (D3DCLEAR_* flags).
struct ClearCommand {
  DWORD flags;
  D3DCOLOR color;
  float z;
  bool operator==(const ClearCommand&) const = default;
};

// One triangle strip of `count` vertices from `first` on.
struct DrawCommand {
  UINT first;
  UINT count;
  bool operator==(const DrawCommand&) const = default;
};

using FrameCommand = std::variant<ClearCommand, DrawCommand>;

class FrameLog {
 public:
  // holdRepeats: whether frames may be held back at all (paced devices).
  explicit FrameLog(bool holdRepeats);

  // Logs the frame's next command. True when it repeats the previous frame's
  // command at the same place and is held back; false when it must run now,
  // after whatever is held back.
  bool Hold(const FrameCommand& command);
  // The commands held back so far, now to be run; none are held afterwards.
  std::span<const FrameCommand> TakeHeldBack();
  // Later draws see changed state: they no longer repeat earlier ones.
  void StateChanged() { ++stateVersion_; }
  // Whether the whole frame so far repeated the previous one and was held back.
  bool Repeated() const;
  // Ends the frame (at Present); the next command starts a new one.
  void EndFrame();

 private:
  struct Entry {
    FrameCommand command;
    std::uint64_t version;  // the state version a draw saw; 0 for clears
    bool operator==(const Entry&) const = default;
  };

  // The clear that leaves a frame depending on its own commands alone.
  static constexpr DWORD FULL_CLEAR = D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER;
  bool holdRepeats_;
  std::vector<Entry> frame_, previous_;
  std::vector<FrameCommand> heldBack_;
  std::vector<FrameCommand> running_;  // what TakeHeldBack handed out last
  bool holding_ = false;               // the frame repeats the previous one so far
  std::uint64_t stateVersion_ = 0;
};

}  // namespace d3d9gl
