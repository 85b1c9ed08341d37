// Which of SDL's video drivers main() lets SDL try: the list SDL_VIDEODRIVER names or, by
// default, Wayland and then X11. Wayland stays on the list only where its compositor offers what
// SDL's Wayland backend needs to start: a seat and the xdg shell. Linux only (libwayland-client).
#pragma once

#include <string>

struct DisplayChoice {
  std::string drivers;           // for SDL's video-driver hint; empty when nothing is left to try
  std::string waylandShortfall;  // why Wayland was left off the list; "" when it was not
  bool named = false;            // drivers is what SDL_VIDEODRIVER named (less Wayland, maybe)
};

// named: SDL_VIDEODRIVER's value, or null. The compositor is asked only when the list holds
// Wayland.
DisplayChoice ChooseDisplay(const char* named);

// The one line main() prints when SDL finds no display among choice's drivers; sdlError is SDL's.
std::string NoDisplayReason(const DisplayChoice& choice, const char* sdlError);
