"""Hardening: an input storm end to end. 5,000 pointer moves in one left drag reach the viewer
while it draws; it keeps up (the picture settles on the drag's end within 2 s, and a close still
ends it within a second), and since a drag's turn depends only on its press and current points,
the final picture equals the one a fresh viewer shows after a short drag between the same points.
"""

import random
import time

import hardening_case
from hardening_case import harness, picture, viewer_case

MOVES = 5000
PRESS = (300, 150)  # the ball's centre
SETTLE_WITHIN_S = 2.0
EXIT_WITHIN_S = 1.0


def random_walk(count, width, height, seed=5000):
    """count client points, each a short random step from the last, kept inside the window."""
    rng = random.Random(seed)
    x, y = PRESS
    points = []
    for _ in range(count):
        x = min(max(x + rng.randint(-25, 25), 0), width - 1)
        y = min(max(y + rng.randint(-25, 25), 0), height - 1)
        points.append((x, y))
    return points


class InputStorm(viewer_case.ViewerCase):
    def storm(self, window, points):
        """Presses the left button at PRESS, moves through points with no pause and releases at
        the last one: one xdotool command, so the moves arrive as fast as X can send them."""
        wid = str(window.wid)
        args = ["xdotool", "mousemove", "--window", wid, *map(str, PRESS), "mousedown", "1"]
        for x, y in points:
            args += ["mousemove", "--window", wid, str(x), str(y)]
        args += ["mouseup", "1"]
        harness.run_tool(*args, timeout=120.0)

    def test_final_picture_after_5000_moves_equals_a_fresh_drag_to_the_same_point(self):
        program, window, first = self.start_and_show()
        width, height = window.size()
        points = random_walk(MOVES, width, height)
        began = time.monotonic()
        self.storm(window, points)
        sent = time.monotonic()
        self.assertTrue(program.running(), f"the storm ended the program: {program.stderr()!r}")
        stormed = harness.settled_screenshot(window, differs_from=first, timeout=SETTLE_WITHIN_S)
        settled_after = time.monotonic() - sent
        self.keep(stormed, "stormed")
        print(f"\n{MOVES} moves sent in {sent - began:.2f} s; picture settled "
              f"{settled_after:.2f} s later", flush=True)
        asked = time.monotonic()
        window.close_through_wm()
        self.assertEqual(program.wait_exit(EXIT_WITHIN_S - (time.monotonic() - asked)), 0,
                         f"stderr: {program.stderr()!r}")

        fresh_program = self.start_viewer()
        fresh_window = fresh_program.wait_window()
        fresh_first = harness.first_picture(fresh_window)
        fresh_window.drag(1, PRESS, points[-1], steps=4)
        fresh = harness.settled_screenshot(fresh_window, differs_from=fresh_first)
        self.keep(fresh, "fresh")
        difference = picture.mean_difference(stormed, fresh)
        self.assertEqual(stormed.pixels, fresh.pixels,
                         f"pictures differ (mean {difference:.3f} per channel); end {points[-1]}")
        self.assertIsNone(hardening_case.sanitizer_report(program.stderr()))


if __name__ == "__main__":
    hardening_case.main()
