// Frame probe for the viewer, preloaded with LD_PRELOAD by bench/program/program_bench.py.
// Wraps SDL_GL_SwapWindow. At the end of the first present it writes "first_frame_ns <ns>", the
// time since the launcher's stamp TAVENOR_PROBE_START_NS (CLOCK_MONOTONIC), to TAVENOR_PROBE_OUT,
// and with TAVENOR_PROBE_EXIT=1 ends the process there. With TAVENOR_PROBE_COUNTER it keeps the
// number of presents so far as a little-endian int64 in that file, readable while the program
// runs. Sees only swaps made through the PLT.
#include <SDL.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
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
  const long long elapsed = start ? nowNs - std::atoll(start) : -1;
  const char* path = std::getenv("TAVENOR_PROBE_OUT");
  FILE* out = path ? std::fopen(path, "w") : stderr;
  if (!out) return;
  std::fprintf(out, "first_frame_ns %lld\n", elapsed);
  if (out != stderr) std::fclose(out);
}

// The shared count of presents in the file named by TAVENOR_PROBE_COUNTER; null when unset or
// when the file cannot be mapped.
std::atomic<std::int64_t>* MapCounter() {
  const char* path = std::getenv("TAVENOR_PROBE_COUNTER");
  if (!path) return nullptr;
  const int fd = open(path, O_RDWR | O_CREAT, 0600);
  if (fd < 0) return nullptr;
  void* memory = MAP_FAILED;
  if (ftruncate(fd, sizeof(std::int64_t)) == 0) {
    memory = mmap(nullptr, sizeof(std::int64_t), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  }
  close(fd);
  return memory == MAP_FAILED ? nullptr : static_cast<std::atomic<std::int64_t>*>(memory);
}

}  // namespace

// Stands in for SDL's own function: presents through it, then counts and reports.
extern "C" void SDL_GL_SwapWindow(SDL_Window* window) {
  static SwapFunction real = reinterpret_cast<SwapFunction>(dlsym(RTLD_NEXT, "SDL_GL_SwapWindow"));
  static std::atomic<std::int64_t>* counter = MapCounter();
  static bool first = true;
  if (real) real(window);
  if (counter) counter->fetch_add(1, std::memory_order_relaxed);
  if (!first) return;
  first = false;
  ReportFirstFrame(MonotonicNs());
  const char* exitAfter = std::getenv("TAVENOR_PROBE_EXIT");
  if (exitAfter && exitAfter[0] == '1') _exit(0);
}
