// Present probe for the viewer and the yardstick, preloaded with LD_PRELOAD by
// bench/program/program_bench.py: wraps SDL_GL_SwapWindow and keeps, in the file named by
// TAVENOR_PROBE_COUNTER, two little-endian int64 readable while the program runs: the number of
// presents so far and the CLOCK_MONOTONIC nanoseconds at the end of the first. A measuring tool
// outside the program; it sees only swaps made through the PLT.
#include <SDL.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <ctime>

namespace {

using SwapFunction = void (*)(SDL_Window*);

struct Counts {
  std::atomic<std::int64_t> presents;
  std::atomic<std::int64_t> firstPresentNs;
};

// The counts in the file named by TAVENOR_PROBE_COUNTER; null when unset or when the file cannot
// be mapped.
Counts* MapCounts() {
  const char* path = std::getenv("TAVENOR_PROBE_COUNTER");
  if (!path) return nullptr;
  const int fd = open(path, O_RDWR | O_CREAT, 0600);
  if (fd < 0) return nullptr;
  void* memory = MAP_FAILED;
  if (ftruncate(fd, sizeof(Counts)) == 0) {
    memory = mmap(nullptr, sizeof(Counts), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  }
  close(fd);
  return memory == MAP_FAILED ? nullptr : static_cast<Counts*>(memory);
}

}  // namespace

// Stands in for SDL's own function: presents through it, then counts.
extern "C" void SDL_GL_SwapWindow(SDL_Window* window) {
  static SwapFunction real = reinterpret_cast<SwapFunction>(dlsym(RTLD_NEXT, "SDL_GL_SwapWindow"));
  static Counts* counts = MapCounts();
  if (real) real(window);
  if (!counts) return;
  if (counts->presents.fetch_add(1) == 0) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);  // the clock of Python's time.monotonic_ns()
    counts->firstPresentNs = now.tv_sec * 1000000000LL + now.tv_nsec;
  }
}
