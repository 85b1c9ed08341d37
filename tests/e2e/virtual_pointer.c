/* A pointer device for the end-to-end test on a wlroots compositor, over the
 * wlr virtual-pointer protocol: reads commands from stdin, one a line, in the
 * compositor's layout pixels on an area of the size given on the command line.
 * Commands: move X Y, down B, up B (B: 1 left, 2 middle, 3 right, as X numbers
 * them), sleep MS, sync (answers "synced" once the compositor has seen all). */
#include <errno.h>
#include <linux/input-event-codes.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <wayland-client.h>

#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

struct globals {
  struct wl_seat* seat;
  struct zwlr_virtual_pointer_manager_v1* manager;
};

static void on_global(void* data, struct wl_registry* registry, uint32_t name,
                      const char* interface, uint32_t version) {
  struct globals* found = data;
  (void)version;
  if (strcmp(interface, wl_seat_interface.name) == 0 && found->seat == NULL) {
    found->seat = wl_registry_bind(registry, name, &wl_seat_interface, 1);
  } else if (strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0) {
    found->manager =
        wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1);
  }
}

static void on_global_remove(void* data, struct wl_registry* registry, uint32_t name) {
  (void)data;
  (void)registry;
  (void)name;
}

static const struct wl_registry_listener registry_listener = {on_global, on_global_remove};

/* Event timestamps: milliseconds of the monotonic clock, as input devices give them. */
static uint32_t now_ms(void) {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return (uint32_t)(now.tv_sec * 1000 + now.tv_nsec / 1000000);
}

/* X's button numbers to Linux event codes; 0 for any other. */
static uint32_t button_code(int number) {
  switch (number) {
    case 1:
      return BTN_LEFT;
    case 2:
      return BTN_MIDDLE;
    case 3:
      return BTN_RIGHT;
    default:
      return 0;
  }
}

static void sleep_ms(long ms) {
  struct timespec pause = {ms / 1000, (ms % 1000) * 1000000};
  while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
  }
}

/* Carries out one command line; 0 when it is not one. */
static int run_command(const char* line, struct wl_display* display,
                       struct zwlr_virtual_pointer_v1* pointer, uint32_t width, uint32_t height) {
  long x = 0, y = 0;
  int button = 0;
  char state[8] = "";
  if (sscanf(line, "move %ld %ld", &x, &y) == 2) {
    /* The protocol carries no negative positions; the compositor clamps to the area. */
    x = x < 0 ? 0 : x;
    y = y < 0 ? 0 : y;
    zwlr_virtual_pointer_v1_motion_absolute(pointer, now_ms(), (uint32_t)x, (uint32_t)y, width,
                                            height);
  } else if (sscanf(line, "%7s %d", state, &button) == 2 && button_code(button) != 0 &&
             (strcmp(state, "down") == 0 || strcmp(state, "up") == 0)) {
    zwlr_virtual_pointer_v1_button(pointer, now_ms(), button_code(button),
                                   strcmp(state, "down") == 0 ? WL_POINTER_BUTTON_STATE_PRESSED
                                                              : WL_POINTER_BUTTON_STATE_RELEASED);
  } else if (sscanf(line, "sleep %ld", &x) == 1 && x >= 0) {
    sleep_ms(x);
    return 1;
  } else if (strcmp(line, "sync\n") == 0) {
    if (wl_display_roundtrip(display) < 0) return 0;
    puts("synced");
    fflush(stdout);
    return 1;
  } else {
    return 0;
  }
  zwlr_virtual_pointer_v1_frame(pointer);
  return wl_display_flush(display) >= 0;
}

int main(int argc, char** argv) {
  char *end_w = NULL, *end_h = NULL;
  const unsigned long width = argc == 3 ? strtoul(argv[1], &end_w, 10) : 0;
  const unsigned long height = argc == 3 ? strtoul(argv[2], &end_h, 10) : 0;
  if (width == 0 || height == 0 || *end_w != 0 || *end_h != 0) {
    fprintf(stderr, "usage: %s WIDTH HEIGHT < commands\n", argv[0]);
    return 2;
  }
  struct wl_display* display = wl_display_connect(NULL);
  if (display == NULL) {
    fprintf(stderr, "virtual_pointer: no Wayland compositor answers\n");
    return 1;
  }
  struct globals found = {NULL, NULL};
  struct wl_registry* registry = wl_display_get_registry(display);
  wl_registry_add_listener(registry, &registry_listener, &found);
  wl_display_roundtrip(display);
  if (found.manager == NULL) {
    fprintf(stderr, "virtual_pointer: the compositor offers no zwlr_virtual_pointer_manager_v1\n");
    wl_display_disconnect(display);
    return 1;
  }
  struct zwlr_virtual_pointer_v1* pointer =
      zwlr_virtual_pointer_manager_v1_create_virtual_pointer(found.manager, found.seat);
  char line[128];
  int status = 0;
  while (status == 0 && fgets(line, sizeof line, stdin) != NULL) {
    if (!run_command(line, display, pointer, (uint32_t)width, (uint32_t)height)) {
      fprintf(stderr, "virtual_pointer: cannot carry out: %s", line);
      status = 1;
    }
  }
  zwlr_virtual_pointer_v1_destroy(pointer);
  zwlr_virtual_pointer_manager_v1_destroy(found.manager);
  if (found.seat != NULL) wl_seat_destroy(found.seat);
  wl_registry_destroy(registry);
  wl_display_roundtrip(display);
  wl_display_disconnect(display);
  return status;
}
