// The present pacer driven by a simulated program loop on a simulated clock: events arrive at
// given times; the loop takes every waiting event, draws for 2 ms and presents, and the frame is
// shown when an input changed the picture or an expose cost the window its picture, skipped as a
// repeat otherwise. Period 16 ms throughout.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <vector>

#include "platform/d3d9/d3d9_gl_pacing.h"

namespace {

using d3d9gl::PresentPacer;
using Clock = PresentPacer::Clock;
using std::chrono::milliseconds;

constexpr milliseconds PERIOD{16}, DRAW{2};
enum class Kind { INPUT, EXPOSE, NOTHING_CHANGED };
struct Event {
  milliseconds at;
  Kind kind;
};

class Loop final : public PresentPacer::World {
 public:
  explicit Loop(std::vector<Event> events) : events_(events.begin(), events.end()) {}

  Clock::time_point Now() override { return now_; }
  bool WaitForEvent(Clock::time_point until) override {
    ++waits;
    if (!events_.empty() && Start() + events_.front().at <= std::max(now_, until)) {
      now_ = std::max(now_, Start() + events_.front().at);
      return true;
    }
    now_ = std::max(now_, until);
    return false;
  }
  void SleepUntil(Clock::time_point until) override { now_ = std::max(now_, until); }

  // Runs the loop until `end`; the times of the shown frames, from the start.
  std::vector<milliseconds> Run(milliseconds end) {
    PresentPacer pacer(*this, PERIOD);
    std::vector<milliseconds> shown;
    while (now_ < Start() + end) {
      bool changed = false;
      for (; !events_.empty() && Start() + events_.front().at <= now_; events_.pop_front()) {
        changed = changed || events_.front().kind != Kind::NOTHING_CHANGED;
      }
      now_ += DRAW;
      if (changed) shown.push_back(std::chrono::duration_cast<milliseconds>(now_ - Start()));
      pacer.AfterPresent(changed);
    }
    return shown;
  }

  int waits = 0;

 private:
  // An hour after the clock's epoch, so that "never shown" lies long before.
  static Clock::time_point Start() { return Clock::time_point(std::chrono::hours(1)); }

  std::deque<Event> events_;
  Clock::time_point now_ = Start();
};

using Shown = std::vector<milliseconds>;

TEST(PresentPacer, ShowsAtOnceAfterAPeriodAndAtThePeriodsEndBefore) {
  const struct {
    const char* what;
    std::vector<Event> events;
    Shown shown;
  } cases[] = {
      {"input after a long idle is shown without waiting", {{milliseconds(5000), Kind::INPUT}},
       {milliseconds(5002)}},
      {"an expose during idle is shown at once", {{milliseconds(3000), Kind::EXPOSE}},
       {milliseconds(3002)}},
      // Shown at 2; the second input waits for 2 + 16, then comes with the third.
      {"input within a period is shown at its end, with all input received by then",
       {{milliseconds(0), Kind::INPUT}, {milliseconds(5), Kind::INPUT},
        {milliseconds(17), Kind::INPUT}},
       {milliseconds(2), milliseconds(20)}},
      // Shown at 2; the move at 10 waits for 18 and draws a repeat, skipped at 20. The input at
      // 25 is more than a period after the frame shown at 2: shown at once, not 16 after the skip.
      {"a skipped repeat does not delay the next shown frame",
       {{milliseconds(0), Kind::INPUT}, {milliseconds(10), Kind::NOTHING_CHANGED},
        {milliseconds(25), Kind::INPUT}},
       {milliseconds(2), milliseconds(27)}},
  };
  for (const auto& c : cases) {
    Loop loop(c.events);
    EXPECT_EQ(loop.Run(milliseconds(6000)), c.shown) << c.what;
    // Idle, the loop wakes once every 100 ms at most: 60 times in 6 s, a few more around events.
    EXPECT_LE(loop.waits, 64) << c.what;
  }
}

TEST(PresentPacer, KeepsShownFramesAPeriodApartUnderAStreamOfInput) {
  // Input every 8 ms (125 Hz) with a 3 ms wobble, for a second.
  std::vector<Event> events;
  for (int i = 0; i < 125; ++i) events.push_back({milliseconds(8 * i + (i * 7) % 4), Kind::INPUT});
  const Shown shown = Loop(events).Run(milliseconds(1100));
  ASSERT_GE(shown.size(), 2u);
  for (std::size_t i = 1; i < shown.size(); ++i) EXPECT_GE(shown[i] - shown[i - 1], PERIOD);
  // Not fewer frames than the period allows, give or take the draw: at least one every 18 ms.
  EXPECT_GE(shown.size(), 1000u / 18);
  // The last input (at 993 + its wobble) is on screen within a period and a draw.
  EXPECT_LE(shown.back(), events.back().at + PERIOD + DRAW);
  EXPECT_GE(shown.back(), events.back().at);
}

}  // namespace
