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
  bool WaitForEvent(Clock::time_point until, bool onlyNew) override {
    ++waits;
    // The loop has taken every event that came before now; any left came since.
    auto next = events_.begin();
    if (onlyNew) next = std::ranges::find_if(events_, [&](auto& e) { return At(e) > now_; });
    if (next != events_.end() && At(*next) <= std::max(now_, until)) {
      now_ = std::max(now_, At(*next));
      return true;
    }
    now_ = std::max(now_, until);
    return false;
  }

  // Runs the loop until `end`; the times of the shown frames, from the start.
  std::vector<milliseconds> Run(milliseconds end) {
    PresentPacer pacer(*this, PERIOD);
    std::vector<milliseconds> shown;
    while (now_ < Start() + end) {
      bool changed = false;
      for (; !events_.empty() && At(events_.front()) <= now_; events_.pop_front()) {
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
  static Clock::time_point At(const Event& e) { return Start() + e.at; }

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
      // Shown at 2; the input at 5 waits for the period's end, 2 + 16.
      {"input within a period is shown at its end",
       {{milliseconds(0), Kind::INPUT}, {milliseconds(5), Kind::INPUT}},
       {milliseconds(2), milliseconds(20)}},
      // Inputs 8 ms apart within the period: the next is expected 8 (and a quarter) after the
      // last, at 21 + 2 at the latest; it comes at 21 and is drawn at once, with all before it.
      {"input streaming faster than the refresh is shown as the stream's next input comes",
       {{milliseconds(0), Kind::INPUT}, {milliseconds(5), Kind::INPUT},
        {milliseconds(13), Kind::INPUT}, {milliseconds(21), Kind::INPUT}},
       {milliseconds(2), milliseconds(23)}},
      {"a stream that stops waits out one interval and a quarter after its last input",
       {{milliseconds(0), Kind::INPUT}, {milliseconds(5), Kind::INPUT},
        {milliseconds(13), Kind::INPUT}},
       {milliseconds(2), milliseconds(25)}},
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

TEST(PresentPacer, KeepsShownFramesAPeriodApartAndFreshUnderAStreamOfInput) {
  // Input every 8 ms (125 Hz) with a 3 ms wobble, for a second: 11, 7, 7, 7, 11... apart.
  std::vector<Event> events;
  for (int i = 0; i < 125; ++i) events.push_back({milliseconds(8 * i + (i * 7) % 4), Kind::INPUT});
  const Shown shown = Loop(events).Run(milliseconds(1100));
  ASSERT_GE(shown.size(), 2u);
  for (std::size_t i = 1; i < shown.size(); ++i) EXPECT_GE(shown[i] - shown[i - 1], PERIOD);
  // At least one frame a period, the longest gap and a draw.
  EXPECT_GE(shown.size(), 1000u / (16 + 11 + 2));
  // How old the newest input in each frame is when it shows: mostly just the draw.
  std::vector<milliseconds> ages;
  for (const milliseconds at : shown) {
    const auto newest = std::ranges::find_if(events, [&](auto& e) { return e.at > at - DRAW; });
    ages.push_back(at - std::prev(newest)->at);
  }
  std::ranges::nth_element(ages, ages.begin() + ages.size() / 2);
  EXPECT_EQ(ages[ages.size() / 2], DRAW);
  // The last input (at 992) is on screen within a period, its gap and a quarter (at most 11 ms and
  // a quarter), and a draw.
  EXPECT_GE(shown.back(), milliseconds(992) + DRAW);
  EXPECT_LE(shown.back(), milliseconds(992) + PERIOD + milliseconds(14) + DRAW);
}

}  // namespace
