// Linked into sanitized builds only (TAVENOR_SANITIZE): a dlclose() that keeps
// every shared object loaded until the process ends. SDL closes its display at
// SDL_Quit and Mesa's DRI driver is unloaded with it; LeakSanitizer, which runs
// at exit, then sees the driver's process-wide blocks with no module to name or
// root them, and reports them as leaks of an unknown module. Kept loaded, they
// are reachable from the driver's data, and real third-party leaks keep a
// library name that lsan.supp can match.
#include <dlfcn.h>

extern "C" int dlclose(void*) noexcept { return 0; }
