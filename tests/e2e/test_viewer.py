"""The real viewer under real X input: its pictures, worked out from the scene, and its endings.
Run without WAYLAND_DISPLAY, so that it tests X11 from a Wayland session too. ViewerCase and the
drag table serve the Wayland test as well (test_wayland.py)."""

import collections
import math
import os
import re
import shutil
import sys
import tempfile
import time
import unittest
from signal import SIGHUP, SIGINT, SIGKILL, SIGQUIT, SIGTERM

import harness
from harness import MESSAGE_BOX_TITLE as BOX, VIEWER_TITLE as VIEWER

TEXTURE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "../..", harness.TEXTURE_NAME)
# The word's model-space box, shifted by -6 along x, turned about the world origin, then moved.
# The camera looks from EYE at (0, 2, 0), y up, left-handed, 60 degrees high, aspect 2, 600 x 300:
# FORWARD is the direction (-3, -5, 5), RIGHT = (0, 1, 0) x FORWARD and UP = FORWARD x RIGHT.
WORD = ((0.25, 11.75), (0.25, 4.0), (0.0, 1.0))
EYE = (3.0, 7.0, -5.0)
FORWARD = [a / math.sqrt(59) for a in (-3, -5, 5)]
RIGHT = [a / math.sqrt(34) for a in (5, 0, 3)]
UP = [a / math.sqrt(59 * 34) for a in (-15, 34, 25)]
Census = collections.namedtuple("Census", "drawn box coloured bright")
Ending = collections.namedtuple("Ending", "texture end exit stderr env fd", defaults=["", {}, None])
REASON = r"(?!no reason given)\S.*\n"
CANNOT_CREATE = rf'tavenor: cannot create the window "{VIEWER}": {REASON}'
NO_DISPLAY = rf"tavenor: cannot open a display: {REASON}"  # no DISPLAY, nor a Wayland socket
NAMES_TEXTURE = rf".*{re.escape(harness.TEXTURE_NAME)}.*\n"
# Button, from, to (maybe outside), turn (radians) and offset added, lit. Middle: 5 units away per
# 300 px up; at 10 all the word is over 27 degrees off the light's axis ((5, 20, 5) to the origin),
# past the outer cone's 22.5. Left, from the ball's centre: 2 asin(dx/270), 270 = 0.9 * 300 the
# half-axis. Right: 2 units per 600 px right, per 300 up.
DRAGS = [
    (2, (300, 250), (300, 40), 0, (0, 0, 3.5), True),
    (2, (300, 290), (300, -100), 0, (0, 0, 6.5), False),
    (2, (300, 0), (300, 600), 0, (0, 0, -10), True),
    (1, (300, 150), (410, 150), 2 * math.asin(110 / 270), (0, 0, 0), True),
    (1, (300, 150), (160, 150), -2 * math.asin(140 / 270), (0, 0, 0), True),
    (3, (0, 150), (800, 150), 0, (800 / 300, 0, 0), True),
    (3, (500, 110), (20, 200), 0, (-1.6, -0.6, 0), True),
]
PROGRAM = None  # the viewer under test, set from the command line


def predicted_box(turn, offset):
    """Client extent (left, top, right, bottom) of the word's box turned by turn radians about the
    world y axis (its near side toward +x for turn > 0) and then moved by offset."""
    c, s = math.cos(turn), math.sin(turn)
    points = []
    for x, y, z in ((x - 6, y, z) for x in WORD[0] for y in WORD[1] for z in WORD[2]):
        world = [a + b - e for a, b, e in zip((x * c - z * s, y, x * s + z * c), offset, EYE)]
        right, up, depth = (sum(a * w for a, w in zip(v, world)) for v in (RIGHT, UP, FORWARD))
        focal = math.sqrt(3) / depth  # 1 / tan(30 degrees), over the depth
        points.append((300 + 150 * right * focal, 150 - 150 * up * focal))
    xs, ys = zip(*points)
    return max(min(xs), 0), max(min(ys), 0), min(max(xs), 599), min(max(ys), 299)


def differing_channels(shot, other):
    """How many channels of two same-sized pictures differ by more than 3."""
    return sum(abs(a - b) > 3 for a, b in zip(shot.pixels, other.pixels))


def census(shot):
    """Of the drawn pixels (a channel below 245; white is the background): how many, their extent
    (left, top, right, bottom), how many coloured (channels 30 apart) and bright (one over 64)."""
    pixels = (shot.pixels[i : i + 3] for i in range(0, len(shot.pixels), 3))
    drawn = [(i % shot.width, i // shot.width, p) for i, p in enumerate(pixels) if min(p) < 245]
    xs, ys, colours = zip(*drawn)
    coloured = sum(max(p) - min(p) >= 30 for p in colours)
    bright = sum(max(p) > 64 for p in colours)
    return Census(len(drawn), (min(xs), min(ys), max(xs), max(ys)), coloured, bright)


class ViewerCase(unittest.TestCase):
    """What the cases of either display share: starting the viewer, checking its pictures against
    the scene and how it ended."""

    def start_viewer(self, texture_dir, env=None, fd=None):
        """The viewer started in <top>/app, as from build/, leopard.jpg put in <top>/texture_dir."""
        top = self.enterContext(tempfile.TemporaryDirectory(prefix="tavenor-e2e-"))
        os.mkdir(os.path.join(top, "app"))
        if texture_dir:
            shutil.copy(TEXTURE, os.path.join(top, texture_dir))
        program = harness.Program(PROGRAM, os.path.join(top, "app"), env, fd)
        self.addCleanup(program.stop)
        return program

    def assert_word(self, shot, turn, offset, lit, what):
        """The R's stem reaches the box's left and top edges, the baseline its bottom; no stroke
        reaches its right corner, which only bounds (8 pixels slack). Lit, the word is mostly bright
        and textured; out of the spot's cone only the 0x20 ambient lights it: no pixel is bright."""
        seen, expected = census(shot), predicted_box(turn, offset)
        message = f"{what}: seen {seen}, expected {tuple(round(e) for e in expected)}"
        near = all(abs(seen.box[edge] - expected[edge]) <= 8 for edge in (0, 1, 3))
        light = min(seen.bright, seen.coloured) > 0.5 * seen.drawn if lit else seen.bright == 0
        self.assertTrue(near and seen.box[2] <= expected[2] + 8 and light, message)
        return seen

    def follow_drags(self, window):
        """The first picture and one after each drag of DRAGS, each checked against the scene."""
        shots = [harness.settled_screenshot(window, timeout=20.0)]
        self.assert_word(shots[0], 0, (0, 0, 0), True, "first picture")
        turn, offset = 0.0, (0, 0, 0)
        for button, start, end, turned, moved, lit in DRAGS:
            window.drag(button, start, end)
            shots.append(harness.settled_screenshot(window, differs_from=shots[-1]))
            turn, offset = turn + turned, [a + b for a, b in zip(offset, moved)]
            self.assert_word(shots[-1], turn, offset, lit, (button, start, end))
        return shots

    def assert_ended(self, program, timeout, exit, stderr):
        """program exits within timeout seconds with exit, all its stderr matching the pattern
        stderr, and nothing of its session left running."""
        exited, text = program.wait(timeout), program.stderr_text()
        rows = (r.split() for r in harness.run_tool("ps", "-eo", "sid=,stat=").splitlines())
        left = sum(sid == str(program.pid).encode() and st[:1] != b"Z" for sid, st in rows)
        self.assertEqual((exited, bool(re.fullmatch(stderr, text)), left), (exit, True, 0), text)

    def assert_windows_gone(self):
        """No window of the viewer or its box is left on X11 a second on, so that the next case
        cannot act on a stale one."""
        deadline = time.monotonic() + 1.0
        while harness.find_windows(VIEWER) + harness.find_windows(BOX):
            self.assertLess(time.monotonic(), deadline, "windows left")


class Viewer(ViewerCase):
    def test_the_word_lands_where_the_scene_puts_it_and_stretches_with_the_window(self):
        # The scene hand-written straight on GL (bench/program/yardstick.cpp): lighting, material
        # and texture stage must agree with the viewer's first picture but where edges or texels tie.
        other = harness.Program(YARDSTICK, os.path.dirname(TEXTURE), arguments=["show"])
        theirs = harness.settled_screenshot(other.wait_window("Tavenor yardstick"), timeout=20.0)
        other.stop()
        window = self.start_viewer(".").wait_window()
        shots = self.follow_drags(window)
        differing = differing_channels(shots[0], theirs)
        self.assertLess(differing, 300, "channels differing from the hand-written scene's")
        harness.run_tool("xdotool", "windowsize", window.wid, 900, 300)
        wide = census(harness.settled_screenshot(window, differs_from=shots[-1])).box
        last = census(shots[-1])
        stretched = (1.5 * last.box[0], last.box[1], 1.5 * last.box[2], last.box[3])
        self.assertTrue(all(abs(a - b) <= 3 for a, b in zip(wide, stretched)), (wide, stretched))

    def test_each_way_of_ending_exits_at_once_with_its_status_leaving_nothing(self):
        # Texture in "app" (the working directory) or nowhere (the box shows), action, exit status,
        # all of stderr, environment, fd closed. Each ends within 1 s of its action, 2 s without.
        cases = [
            *(Ending("app", end, 0, fd=fd) for end in ("close", SIGTERM) for fd in (None, 0, 1, 2)),
            *(Ending(None, end, 1, NAMES_TEXTURE) for end in ("close", SIGTERM, SIGINT)),
            *(Ending(None, number, -number) for number in (SIGHUP, SIGQUIT, SIGKILL)),
            Ending("app", None, 1, NO_DISPLAY, {"DISPLAY": None, "XDG_RUNTIME_DIR": "/none"}),
            # A Wayland name that cannot be reached: libwayland would add a line of its own.
            Ending("app", None, 1, NO_DISPLAY,
                   {"DISPLAY": None, "XDG_RUNTIME_DIR": None, "WAYLAND_DISPLAY": "wayland-0"}),
            Ending("app", None, 1, CANNOT_CREATE, {"SDL_VIDEODRIVER": "dummy"}),
            Ending("app", None, 1, CANNOT_CREATE, {"LIBGL_ALWAYS_INDIRECT": "1"}),
            Ending("app", None, 1, rf"tavenor: cannot start the graphics device: {REASON}",
                   {"MESA_GL_VERSION_OVERRIDE": "3.3", "MESA_GLSL_VERSION_OVERRIDE": "150"}),
            Ending("app", None, 1, "", {"MESA_GL_VERSION_OVERRIDE": "3.0"}, fd=2),
        ]
        for case in cases:
            with self.subTest(case=case):
                program = self.start_viewer(case.texture, case.env, case.fd)
                if case.end:
                    window = program.wait_window(VIEWER if case.texture else BOX)
                    if case.end == "close":  # the window manager's, of the viewer or of the box
                        harness.run_tool("wmctrl", "-i", "-c", hex(window.wid))
                    else:
                        program.send_signal(case.end)
                self.assert_ended(program, 1.0 if case.end else 2.0, case.exit, case.stderr)
                self.assert_windows_gone()


if __name__ == "__main__":
    PROGRAM, YARDSTICK = (os.path.abspath(sys.argv.pop(1)) for _ in range(2))
    for name in ("WAYLAND_DISPLAY", "WAYLAND_SOCKET"):
        os.environ.pop(name, None)
    unittest.main(verbosity=2)
