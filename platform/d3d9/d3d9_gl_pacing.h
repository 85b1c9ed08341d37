// When a paced device lets the program draw again after a present. Input is
// answered at once, yet no two shown frames come closer than one refresh
// period: after each present the pacer waits for the next input or window
// event; an event that comes within a period of the last shown frame waits
// for the period's end, so the frame then drawn takes every input received by
// then. Input that streams faster than the refresh waits past the end for the
// stream's next event, at most one of its intervals, so that the frame shows
// the newest input as soon as it comes. A repeat that was skipped rather than
// shown delays nothing. The clock and the wait come from outside, so the rules
// run without a display.
#pragma once

#include <chrono>

namespace d3d9gl {

class PresentPacer {
 public:
  using Clock = std::chrono::steady_clock;

  // What the pacer acts through.
  class World {
   public:
    virtual Clock::time_point Now() = 0;
    // Blocks until an input or window event waits for the program (onlyNew
    // false) or arrives after the call (onlyNew true), true, or until `until`, false.
    virtual bool WaitForEvent(Clock::time_point until, bool onlyNew) = 0;

   protected:
    ~World() = default;
  };

  // Longest wait for an event with nothing to show: a program that is not
  // an event loop gets Present back within this, as after a refresh.
  static constexpr Clock::duration MAX_IDLE_WAIT = std::chrono::milliseconds(100);

  // period: the least time between shown frames, zero where the swap itself
  // waits for the display's refresh.
  PresentPacer(World& world, Clock::duration period) : world_(world), period_(period) {}

  // Called at the end of each Present, after the frame was shown (shown) or
  // skipped as a repeat of the one the window shows; returns when the program
  // may draw its next frame.
  void AfterPresent(bool shown);

 private:
  World& world_;
  Clock::duration period_;
  Clock::time_point lastShown_{};  // long ago, until a frame is shown
};

}  // namespace d3d9gl
