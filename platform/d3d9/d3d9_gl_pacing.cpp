// The present pacer's rules; see d3d9_gl_pacing.h.
#include "platform/d3d9/d3d9_gl_pacing.h"

namespace d3d9gl {

void PresentPacer::AfterPresent(bool shown) {
  if (shown) lastShown_ = world_.Now();
  // Nothing changes the picture but an event, so there is nothing to draw before one comes.
  if (!world_.WaitForEvent(world_.Now() + MAX_IDLE_WAIT, false)) return;
  // Within a period of the last shown frame every event that comes joins the next frame (past
  // it, none is waited for); the last two time the input.
  const Clock::time_point due = lastShown_ + period_;
  Clock::time_point last = world_.Now();
  Clock::duration gap = Clock::duration::max();
  while (world_.WaitForEvent(due, true)) {
    gap = world_.Now() - last;
    last = world_.Now();
  }
  // Streaming faster than the refresh, the next event is expected a gap after the last (give or
  // take a quarter): drawn as it comes, the frame shows the newest input at once.
  if (gap >= period_) return;
  const Clock::time_point expected = last + gap + gap / 4;
  if (expected > world_.Now()) world_.WaitForEvent(expected, true);
}

}  // namespace d3d9gl
