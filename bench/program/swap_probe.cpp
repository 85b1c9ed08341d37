// Start-up probe for the viewer, preloaded with LD_PRELOAD by bench/program/program_bench.py.
// Wraps SDL_GL_SwapWindow: at the end of the first presented frame it writes the time since the
// launcher's start stamp (TAVENOR_PROBE_START_NS, CLOCK_MONOTONIC) to TAVENOR_PROBE_OUT, and
// with TAVENOR_PROBE_EXIT=1 ends the process there. Sees only swaps made through the PLT.
#include <SDL.h>
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

using SwapFunction = void (*)(SDL_Window*);

// CLOCK_MONOTONIC in nanoseconds, the clock Python's time.monotonic_ns() reads.
long long MonotonicNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * 1000000000LL + now.tv_nsec;
}

// Writes "first_frame_ns <elapsed>" to the file named by TAVENOR_PROBE_OUT (stderr if unset).
void ReportFirstFrame(long long nowNs) {
  const char* start = std::getenv("TAVENOR_PROBE_START_NS");
  long long elapsed = start ? nowNs - std::atoll(start) : -1;
  const char* path = std::getenv("TAVENOR_PROBE_OUT");
  FILE* out = path ? std::fopen(path, "w") : stderr;
  if (!out) return;
  std::fprintf(out, "first_frame_ns %lld\n", elapsed);
  if (out != stderr) std::fclose(out);
}

}  // namespace

// Stands in for SDL's own function: presents through it, then reports the first frame.
extern "C" void SDL_GL_SwapWindow(SDL_Window* window) {
  static SwapFunction real = reinterpret_cast<SwapFunction>(dlsym(RTLD_NEXT, "SDL_GL_SwapWindow"));
  static bool reported = false;
  if (real) real(window);
  if (reported) return;
  reported = true;
  ReportFirstFrame(MonotonicNs());
  const char* exitAfter = std::getenv("TAVENOR_PROBE_EXIT");
  if (exitAfter && exitAfter[0] == '1') _exit(0);
}
