// Input-to-picture latency of a window whose picture follows a held left drag (the viewer, the
// yardstick's follow mode): XTest moves the pointer, MIT-SHM reads the window back until the
// picture changes. Prints lines for bench/program/program_bench.py: "single" (ms from each lone
// move's flush to its changed picture), "stream-begin" and "stream-end" (around 5 s of moves at
// 125 Hz, for the caller to sample CPU and presents), "ages" (ms from the latest move to each new
// picture's position until the picture was read) and "unknown" (pictures of no position). Exits 1
// with one line on stderr. Usage: tavenor_latency WINDOW-ID
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/XTest.h>
#include <sys/shm.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <numbers>
#include <random>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Ms = std::chrono::duration<double, std::milli>;

constexpr int SINGLE_MOVES = 60;
constexpr double GAP_MIN_MS = 30, GAP_MAX_MS = 80;  // off the beat of any 60 Hz pacing
constexpr int STREAM_MOVES = 625;                   // 5 s at 125 Hz
constexpr auto STREAM_PERIOD = std::chrono::milliseconds(8);
constexpr auto STREAM_TAIL = std::chrono::milliseconds(250);  // pictures still on their way
constexpr auto POLL_PAUSE = std::chrono::microseconds(200);   // leaves the CPU to the program
constexpr auto CHANGE_TIMEOUT = std::chrono::seconds(1);
constexpr int POSITIONS = 6;  // round the window's centre, each differing from the last
constexpr double RADIUS = 60;

[[noreturn]] void Die(const char* cause) {
  std::fprintf(stderr, "tavenor_latency: %s\n", cause);
  std::exit(1);
}

void Say(const char* line) {
  std::printf("%s\n", line);
  std::fflush(stdout);  // the caller acts on it at once
}

void Print(const char* name, const std::vector<double>& values) {
  std::printf("%s", name);
  for (double value : values) std::printf(" %.3f", value);
  Say("");
}

// The window under a left drag pressed at its centre and released at the end: the pointer moved
// with XTest, the picture read through shared memory, a round trip with no pixels on the wire.
class Session {
 public:
  Session(Display* display, Window window) : display_(display), window_(window) {
    int event, error, major, minor;
    XWindowAttributes attributes;
    if (!XTestQueryExtension(display, &event, &error, &major, &minor) ||
        !XShmQueryExtension(display) || !XGetWindowAttributes(display, window, &attributes)) {
      Die("no XTest, no MIT-SHM, or no such window");
    }
    AttachImage(attributes);
    Window child;
    XTranslateCoordinates(display, window, DefaultRootWindow(display), attributes.width / 2,
                          attributes.height / 2, &centreX_, &centreY_, &child);
    XTestFakeMotionEvent(display, -1, centreX_, centreY_, CurrentTime);
    XTestFakeButtonEvent(display, 1, True, CurrentTime);
    XSync(display, False);
  }
  ~Session() {
    XTestFakeButtonEvent(display_, 1, False, CurrentTime);
    XShmDetach(display_, &segment_);
    XSync(display_, False);
    XDestroyImage(image_);
    shmdt(segment_.shmaddr);
  }
  // Moves the pointer to position i % POSITIONS; the time the move left for the server.
  Clock::time_point Move(int i) {
    const double angle = 2 * std::numbers::pi * (i % POSITIONS) / POSITIONS;
    XTestFakeMotionEvent(
        display_, -1, centreX_ + static_cast<int>(std::lround(RADIUS * std::cos(angle))),
        centreY_ + static_cast<int>(std::lround(RADIUS * std::sin(angle))), CurrentTime);
    XFlush(display_);
    return Clock::now();
  }
  // A hash of the picture now: equal pictures, equal hashes.
  std::size_t Picture() {
    if (!XShmGetImage(display_, window_, image_, 0, 0, AllPlanes)) Die("cannot read the window");
    return std::hash<std::string_view>{}({image_->data, bytes_});
  }
  // Polls until the picture differs from before; the time it was read back.
  Clock::time_point Change(std::size_t before) {
    const Clock::time_point deadline = Clock::now() + CHANGE_TIMEOUT;
    while (Picture() == before) {
      if (Clock::now() > deadline) Die("the picture did not change after a move");
      std::this_thread::sleep_for(POLL_PAUSE);
    }
    return Clock::now();
  }
  // The picture once two reads 50 ms apart agree.
  std::size_t Settled() {
    std::size_t last = 0, now = Picture();
    while (now != last) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      last = std::exchange(now, Picture());
    }
    return now;
  }

 private:
  // A window-sized image in a shared segment the server writes into.
  void AttachImage(const XWindowAttributes& attributes) {
    image_ = XShmCreateImage(display_, attributes.visual, attributes.depth, ZPixmap, nullptr,
                             &segment_, attributes.width, attributes.height);
    bytes_ = static_cast<std::size_t>(image_->bytes_per_line) * image_->height;
    segment_.shmid = shmget(IPC_PRIVATE, bytes_, IPC_CREAT | 0600);
    segment_.shmaddr = image_->data = static_cast<char*>(shmat(segment_.shmid, nullptr, 0));
    if (segment_.shmid < 0 || image_->data == reinterpret_cast<char*>(-1)) Die("no shared memory");
    XShmAttach(display_, &segment_);
    XSync(display_, False);
    shmctl(segment_.shmid, IPC_RMID, nullptr);  // gone once both sides detach, however we end
  }

  Display* display_;
  Window window_;
  XShmSegmentInfo segment_{};
  XImage* image_ = nullptr;
  std::size_t bytes_ = 0;
  int centreX_ = 0, centreY_ = 0;
};

// One move at a time, each a random pause after the last one shows.
void SingleMoves(Session& session) {
  std::mt19937 random(SINGLE_MOVES);
  std::uniform_real_distribution<double> gap(GAP_MIN_MS, GAP_MAX_MS);
  std::vector<double> latencies;
  for (int i = 0; i < SINGLE_MOVES; ++i) {
    std::this_thread::sleep_for(Ms(gap(random)));
    const std::size_t before = session.Picture();
    const Clock::time_point sent = session.Move(i);
    latencies.push_back(Ms(session.Change(before) - sent).count());
  }
  Print("single", latencies);
}

// The settled picture of every position first; then moves cycling through them, each picture
// that appears matched to the latest move to its position.
void Stream(Session& session) {
  std::map<std::size_t, int> positionOf;
  for (int p = 0; p < POSITIONS; ++p) {
    const std::size_t before = session.Picture();
    session.Move(p);
    session.Change(before);
    positionOf[session.Settled()] = p;
  }
  if (positionOf.size() != POSITIONS) Die("two positions show the same picture");
  std::vector<Clock::time_point> latest(POSITIONS);
  std::vector<double> ages;
  int unknown = 0;
  std::size_t shown = session.Picture();
  // One read of the picture; a new one is aged or counted unknown.
  const auto watch = [&] {
    const std::size_t picture = session.Picture();
    if (picture != std::exchange(shown, picture)) {
      const auto found = positionOf.find(picture);
      if (found == positionOf.end()) {
        ++unknown;
      } else {
        ages.push_back(Ms(Clock::now() - latest[found->second]).count());
      }
    }
    std::this_thread::sleep_for(POLL_PAUSE);
  };
  Say("stream-begin");
  const Clock::time_point start = Clock::now(), end = start + STREAM_MOVES * STREAM_PERIOD;
  for (int sent = 0; sent < STREAM_MOVES; ++sent) {
    while (Clock::now() < start + sent * STREAM_PERIOD) watch();
    latest[sent % POSITIONS] = session.Move(sent);
  }
  while (Clock::now() < end) watch();
  Say("stream-end");
  while (Clock::now() < end + STREAM_TAIL) watch();
  Print("ages", ages);
  std::printf("unknown %d\n", unknown);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) Die("usage: tavenor_latency WINDOW-ID");
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) Die("cannot open the display");
  {
    Session session(display, std::strtoul(argv[1], nullptr, 0));
    session.Settled();
    SingleMoves(session);
    Stream(session);
  }
  XCloseDisplay(display);
  return 0;
}
