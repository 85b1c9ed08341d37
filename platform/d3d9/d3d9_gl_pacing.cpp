// The present pacer's rule; see d3d9_gl_pacing.h.
#include "platform/d3d9/d3d9_gl_pacing.h"

namespace d3d9gl {

void PresentPacer::AfterPresent(bool shown) {
  if (shown) lastShown_ = world_.Now();
  // Nothing changes the picture but an event, so there is nothing to draw before one comes.
  world_.WaitForEvent(world_.Now() + MAX_IDLE_WAIT);
  // Within a period of the last shown frame the event waits for the period's
  // end, and every event received by then reaches the next frame.
  const Clock::time_point due = lastShown_ + period_;
  if (world_.Now() < due) world_.SleepUntil(due);
}

}  // namespace d3d9gl
