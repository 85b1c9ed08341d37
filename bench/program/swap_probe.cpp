// Frame probe for the viewer, preloaded with LD_PRELOAD by bench/program/program_bench.py.
// Wraps SDL_GL_SwapWindow: at the end of the first presented frame it writes the time since the
// launcher's start stamp (TAVENOR_PROBE_START_NS, CLOCK_MONOTONIC) to TAVENOR_PROBE_OUT, and
// with TAVENOR_PROBE_EXIT=1 ends the process there; otherwise it adds the count and span of all
// presents when the process exits normally. Sees only swaps made through the PLT.
#include <SDL.h>
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

using SwapFunction = void (*)(SDL_Window*);

// Presents seen so far and the times of the first and the latest.
struct Presents {
  long long count = 0;
  long long firstNs = 0;
  long long lastNs = 0;
  ~Presents();
};
Presents presents;

// CLOCK_MONOTONIC in nanoseconds, the clock Python's time.monotonic_ns() reads.
long long MonotonicNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * 1000000000LL + now.tv_nsec;
}

// Appends one "<name> <values>" line to the file named by TAVENOR_PROBE_OUT (stderr if unset).
void Report(const char* line) {
  const char* path = std::getenv("TAVENOR_PROBE_OUT");
  FILE* out = path ? std::fopen(path, "a") : stderr;
  if (!out) return;
  std::fputs(line, out);
  if (out != stderr) std::fclose(out);
}

// "first_frame_ns <elapsed>": from the launcher's stamp to the end of the first present.
void ReportFirstFrame(long long nowNs) {
  const char* start = std::getenv("TAVENOR_PROBE_START_NS");
  char line[64];
  std::snprintf(line, sizeof line, "first_frame_ns %lld\n", start ? nowNs - std::atoll(start) : -1);
  Report(line);
}

// "presents <count> <ns from the first to the last>", when a program that presented ends.
Presents::~Presents() {
  if (count == 0) return;
  char line[80];
  std::snprintf(line, sizeof line, "presents %lld %lld\n", count, lastNs - firstNs);
  Report(line);
}

}  // namespace

// Stands in for SDL's own function: presents through it, then reports the first frame.
extern "C" void SDL_GL_SwapWindow(SDL_Window* window) {
  static SwapFunction real = reinterpret_cast<SwapFunction>(dlsym(RTLD_NEXT, "SDL_GL_SwapWindow"));
  if (real) real(window);
  const long long now = MonotonicNs();
  presents.lastNs = now;
  if (presents.count++ > 0) return;
  presents.firstNs = now;
  ReportFirstFrame(now);
  const char* exitAfter = std::getenv("TAVENOR_PROBE_EXIT");
  if (exitAfter && exitAfter[0] == '1') _exit(0);
}
