"""The real viewer on Wayland: a headless sway under our virtual pointer, with Xvfb beside it. The
drags land as the scene says and give the X11 pictures; with both displays reachable the window is
on Wayland; it idles and closes through the compositor. On weston's seatless headless backend it
falls back to X11 or says why it cannot, and never crashes."""

import os
import signal
import sys
import time
import unittest

import harness
import test_viewer
from harness import VIEWER_TITLE as VIEWER
from test_viewer import REASON

IDLE_SECONDS = 3.0  # 1 % of it is three clock ticks, so one stray tick cannot fail the case


def cpu_seconds(pid):
    """User plus system CPU time of process pid so far."""
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


class Wayland(test_viewer.ViewerCase):
    @classmethod
    def setUpClass(cls):
        cls.sway = cls.enterClassContext(harness.Compositor("sway", pointer=True))

    def start_on_sway(self, texture_dir):
        """The viewer on sway, DISPLAY (Xvfb) still set, and its window there."""
        program = self.start_viewer(texture_dir, self.sway.env)
        return program, program.wait_window(display=self.sway)

    def test_drags_land_as_the_scene_says_with_the_x11_pictures(self):
        program, window = self.start_on_sway(".")
        self.assertEqual(harness.find_windows(VIEWER), [], "a window on X11 as well")
        shots = self.follow_drags(window)
        program.stop()
        program = self.start_viewer(".")
        x11 = self.follow_drags(program.wait_window())
        program.stop()
        self.assert_windows_gone()
        for number, (shot, theirs) in enumerate(zip(shots, x11)):
            differing = test_viewer.differing_channels(shot, theirs)
            self.assertLess(differing, 30, f"channels differing from X11's after {number} drags")

    def test_idles_and_ends_with_the_compositors_close(self):
        program, window = self.start_on_sway("app")
        harness.settled_screenshot(window, timeout=20.0)
        before = cpu_seconds(program.pid)
        time.sleep(IDLE_SECONDS)
        self.assertLessEqual(cpu_seconds(program.pid) - before, 0.01 * IDLE_SECONDS, "idle CPU")
        window.close()
        self.assert_ended(program, 1.0, 0, "")

    def test_sdl_videodriver_still_chooses(self):
        program = self.start_viewer("app", {**self.sway.env, "SDL_VIDEODRIVER": "x11"})
        window = program.wait_window()
        self.assertEqual(self.sway.find(VIEWER), [], "a window on sway as well")
        harness.run_tool("wmctrl", "-i", "-c", hex(window.wid))
        self.assert_ended(program, 1.0, 0, "")
        self.assert_windows_gone()

    def test_without_a_seat_it_takes_x11_or_says_why_and_never_crashes(self):
        # Environment on top of the seatless compositor's, window expected on X11, exit, stderr.
        seatless = rf"tavenor: cannot open a display: .*\bwl_seat\b{REASON}"
        cases = [
            ({}, True, 0, ""),
            ({"DISPLAY": None}, False, 1, seatless),
            ({"SDL_VIDEODRIVER": "wayland"}, False, 1, seatless),
        ]
        with harness.Compositor("weston") as weston:
            for env, on_x11, exit, stderr in cases:
                with self.subTest(env=env):
                    program = self.start_viewer("app", {**weston.env, **env})
                    if on_x11:
                        harness.run_tool("wmctrl", "-i", "-c", hex(program.wait_window().wid))
                    self.assert_ended(program, 1.0 if on_x11 else 2.0, exit, stderr)
                    self.assert_windows_gone()


if __name__ == "__main__":
    test_viewer.PROGRAM = os.path.abspath(sys.argv.pop(1))
    for name in ("WAYLAND_DISPLAY", "WAYLAND_SOCKET"):
        os.environ.pop(name, None)
    # Terminated (a CTest timeout), the run unwinds as from ^C, and the compositors close at exit.
    signal.signal(signal.SIGTERM, signal.default_int_handler)
    unittest.main(verbosity=2)
