// ChooseDisplay (display_choice.h): one registry round trip with the Wayland compositor before
// SDL starts its own Wayland backend, which in SDL 2.26 dies inside SDL_Init on a compositor that
// offers no seat. The connection is closed again before SDL opens its own.
#include "platform/win32/display_choice.h"

#include <strings.h>
#include <wayland-client.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

constexpr char kWayland[] = "wayland";
constexpr char kDefaultDrivers[] = "wayland,x11";

// What the compositor announced in its first burst of globals.
struct Offered {
  bool seat = false;
  bool wmBase = false;
};

void OnGlobal(void* data, wl_registry* /*registry*/, uint32_t /*name*/, const char* interface,
              uint32_t /*version*/) {
  auto* offered = static_cast<Offered*>(data);
  if (std::strcmp(interface, "wl_seat") == 0) offered->seat = true;
  if (std::strcmp(interface, "xdg_wm_base") == 0) offered->wmBase = true;
}

void OnGlobalRemove(void* /*data*/, wl_registry* /*registry*/, uint32_t /*name*/) {}

constexpr wl_registry_listener kRegistryListener{OnGlobal, OnGlobalRemove};

// Asks the compositor at display (already connected) for its globals; why it falls short, or "".
std::string AskCompositor(wl_display* display, const std::string& where) {
  Offered offered;
  wl_registry* registry = wl_display_get_registry(display);
  wl_registry_add_listener(registry, &kRegistryListener, &offered);
  const bool answered = wl_display_roundtrip(display) >= 0;
  wl_registry_destroy(registry);
  if (!answered) return "the compositor at " + where + " broke the connection";
  if (!offered.seat) return "the compositor at " + where + " offers no seat (wl_seat)";
  if (!offered.wmBase) return "the compositor at " + where + " offers no xdg shell (xdg_wm_base)";
  return "";
}

// "" when SDL's Wayland backend can start on the compositor the environment names; else why not.
std::string WaylandShortfall() {
  // A socket the compositor handed us can be connected to once only, so SDL gets it unasked.
  if (const char* socket = std::getenv("WAYLAND_SOCKET"); socket != nullptr && *socket != 0) {
    return "";
  }
  const char* name = std::getenv("WAYLAND_DISPLAY");
  if (name == nullptr || *name == 0) return "WAYLAND_DISPLAY is unset";
  // libwayland prints a line of its own for a relative name without a runtime directory; the
  // line we print says it instead.
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (name[0] != '/' && (runtime == nullptr || runtime[0] != '/')) {
    return std::string("WAYLAND_DISPLAY is ") + name + " but XDG_RUNTIME_DIR is " +
           (runtime == nullptr ? "unset" : "not an absolute path");
  }
  wl_display* display = wl_display_connect(nullptr);
  if (display == nullptr) {
    return std::string("no compositor answers at ") + name + " (" + std::strerror(errno) + ")";
  }
  std::string shortfall = AskCompositor(display, name);
  wl_display_disconnect(display);
  return shortfall;
}

// The list without its Wayland entries (SDL matches names without regard to case).
std::string WithoutWayland(const std::string& drivers) {
  std::string kept;
  size_t start = 0;
  while (start <= drivers.size()) {
    size_t end = drivers.find(',', start);
    if (end == std::string::npos) end = drivers.size();
    const std::string entry = drivers.substr(start, end - start);
    if (strcasecmp(entry.c_str(), kWayland) != 0 && !entry.empty()) {
      kept += (kept.empty() ? "" : ",") + entry;
    }
    start = end + 1;
  }
  return kept;
}

}  // namespace

DisplayChoice ChooseDisplay(const char* named) {
  DisplayChoice choice;
  // SDL treats an empty variable as none named.
  choice.named = named != nullptr && *named != 0;
  choice.drivers = choice.named ? named : kDefaultDrivers;
  const std::string others = WithoutWayland(choice.drivers);
  if (others == choice.drivers) return choice;  // Wayland not asked for: nothing to check
  choice.waylandShortfall = WaylandShortfall();
  if (!choice.waylandShortfall.empty()) choice.drivers = others;
  return choice;
}

std::string NoDisplayReason(const DisplayChoice& choice, const char* sdlError) {
  std::string reason;
  if (!choice.waylandShortfall.empty()) reason = "Wayland: " + choice.waylandShortfall;
  if (choice.drivers.empty()) return reason;
  if (!reason.empty()) reason += "; ";
  // Drivers the user named may be any of SDL's, and a compositor that passed the check failed in
  // SDL: only SDL can say why.
  if (choice.named || choice.waylandShortfall.empty()) return reason + sdlError;
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || *display == 0) return reason + "X11: DISPLAY is unset";
  return reason + "X11 at " + display + ": " + sdlError;
}
