"""End-to-end: the real viewer under real X input. What it shows after each drag, worked out here
from the scene, not from the program; and how it ends: its status and stderr, leaving nothing."""

import collections
import math
import re
from signal import SIGHUP, SIGINT, SIGKILL, SIGQUIT, SIGTERM

import harness
from harness import MESSAGE_BOX_TITLE as BOX, TEXTURE_NAME, VIEWER_TITLE as VIEWER

# The word's model-space box, shifted by -6 along x, turned about the world origin, then moved.
# The camera looks from EYE at (0, 2, 0), y up, left-handed, 60 degrees high, aspect 2, 600 x 300:
# FORWARD is the direction (-3, -5, 5), RIGHT = (0, 1, 0) x FORWARD and UP = FORWARD x RIGHT.
WORD = ((0.25, 11.75), (0.25, 4.0), (0.0, 1.0))
EYE = (3.0, 7.0, -5.0)
FORWARD = [a / math.sqrt(59) for a in (-3, -5, 5)]
RIGHT = [a / math.sqrt(34) for a in (5, 0, 3)]
UP = [a / math.sqrt(59 * 34) for a in (-15, 34, 25)]
Census = collections.namedtuple("Census", "drawn box coloured bright")
# One way the viewer ends; see the ending table.
Ending = collections.namedtuple(
    "Ending", "texture_dir end status lines env closed", defaults=[{}, None]
)
# Lines on stderr: the failed start's, and one naming the missing texture (the box's text at a
# signal, the failed start's after dismissal).
CANNOT_CREATE = rf'tavenor: cannot create the window "{VIEWER}": \S.*'
CANNOT_DRAW = r"tavenor: cannot start the graphics device: \S.*"
NAMES_TEXTURE = rf".*{re.escape(TEXTURE_NAME)}.*"


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


def census(shot):
    """Of the drawn pixels (a channel below 245; white is the background): how many, their extent
    (left, top, right, bottom), how many coloured (channels 30 apart) and bright (one over 64)."""
    pixels = (shot.pixels[i : i + 3] for i in range(0, len(shot.pixels), 3))
    drawn = [(i % shot.width, i // shot.width, p) for i, p in enumerate(pixels) if min(p) < 245]
    xs, ys, colours = zip(*drawn)
    coloured = sum(max(p) - min(p) >= 30 for p in colours)
    bright = sum(max(p) > 64 for p in colours)
    return Census(len(drawn), (min(xs), min(ys), max(xs), max(ys)), coloured, bright)


def close(_program, window):
    harness.run_tool("wmctrl", "-i", "-c", hex(window.wid))


def dismiss(_program, box):
    harness.run_tool("xdotool", "windowactivate", "--sync", box.wid, "key", "Return")


def send(number):
    """The ending that sends the program the signal number."""

    def end(program, _window):
        program.send_signal(number)

    end.__name__ = number.name
    return end


def left_in_session(pid):
    """How many live (not zombie) processes remain in the session that pid led."""
    rows = (line.split() for line in harness.run_tool("ps", "-e", "-o", "sid=,stat=").splitlines())
    return sum(sid == str(pid).encode() and state[:1] != b"Z" for sid, state in rows)


class Viewer(harness.ViewerCase):
    def assert_word(self, shot, turn, offset, lit, what):
        """The R's stem reaches the box's left and top edges and the baseline its bottom; no stroke
        reaches its right corner, which only bounds (8 pixels slack). In the spot light's cone the
        word is mostly bright; outside, only the 0x20 ambient lights it: no channel above 32."""
        seen, expected = census(shot), predicted_box(turn, offset)
        message = f"{what}: seen {seen}, expected {tuple(round(e) for e in expected)}"
        for edge in (0, 1, 3):
            self.assertAlmostEqual(seen.box[edge], expected[edge], delta=8, msg=message)
        self.assertLessEqual(seen.box[2], expected[2] + 8, message)
        self.assertTrue(seen.bright > 0.5 * seen.drawn if lit else seen.bright == 0, message)
        return seen

    def test_the_word_lands_where_the_scene_puts_it_and_stretches_with_the_window(self):
        # Button, from, to, the turn (radians) and offset added, and whether the light reaches the
        # word. Middle: 5 units away per 300 pixels up; 10 away, all the word is over 27 degrees
        # off the light's axis ((5, 20, 5) to the origin), past the outer cone's 22.5. Left, from
        # the ball's centre: twice asin(dx / 270), 270 = 0.9 * 300 the half-axis. Right: 2 units
        # per 600 pixels right and per 300 up. Drags leaving the window count to their end.
        drags = [
            (2, (300, 250), (300, 40), 0, (0, 0, 3.5), True),
            (2, (300, 290), (300, -100), 0, (0, 0, 6.5), False),
            (2, (300, 0), (300, 600), 0, (0, 0, -10), True),
            (1, (300, 150), (410, 150), 2 * math.asin(110 / 270), (0, 0, 0), True),
            (1, (300, 150), (160, 150), -2 * math.asin(140 / 270), (0, 0, 0), True),
            (3, (0, 150), (800, 150), 0, (800 / 300, 0, 0), True),
            (3, (500, 110), (20, 200), 0, (-1.6, -0.6, 0), True),
        ]
        window = self.start_viewer().wait_window()
        shot = harness.settled_screenshot(window, timeout=20.0)
        self.assertEqual((shot.width, shot.height), (600, 300))
        first = self.assert_word(shot, 0, (0, 0, 0), True, "first picture")
        self.assertGreater(first.coloured, 0.5 * first.drawn, "the texture shows through")
        turn, offset = 0.0, (0, 0, 0)
        for button, start, end, turned, moved, lit in drags:
            window.drag(button, start, end)
            shot = harness.settled_screenshot(window, differs_from=shot)
            turn, offset = turn + turned, [a + b for a, b in zip(offset, moved)]
            last = self.assert_word(shot, turn, offset, lit, (button, start, end))
        harness.run_tool("xdotool", "windowsize", window.wid, 900, 300)
        wide = census(harness.settled_screenshot(window, differs_from=shot)).box
        stretched = (1.5 * last.box[0], last.box[1], 1.5 * last.box[2], last.box[3])
        for seen, expected in zip(wide, stretched):
            self.assertAlmostEqual(seen, expected, delta=3, msg=f"stretched: {wide}")

    def test_each_way_of_ending_exits_at_once_with_its_status_leaving_nothing(self):
        # Where the texture is (None: nowhere, so the box shows alone; in "app", the working
        # directory, it is found there), how it ends (None: by itself, no window shown), the exit
        # status (negative: the signal that ended it), what each stderr line matches, and the
        # environment added and the descriptor closed (stderr closed: no lines) at the start. The
        # ending takes at most 1 s after its action, or 2 s from the start where none is needed.
        cases = [
            Ending("app", close, 0, []),
            Ending("app", send(SIGTERM), 0, []),
            *(Ending("app", close, 0, [], closed=fd) for fd in (0, 1, 2)),
            Ending(None, dismiss, 1, [NAMES_TEXTURE]),
            *(Ending(None, send(number), 1, [NAMES_TEXTURE]) for number in (SIGTERM, SIGINT)),
            *(Ending(None, send(number), -number, []) for number in (SIGHUP, SIGQUIT, SIGKILL)),
            Ending("app", None, 1, [CANNOT_CREATE], {"SDL_VIDEODRIVER": "dummy"}),
            Ending("app", None, 1, [CANNOT_CREATE], {"LIBGL_ALWAYS_INDIRECT": "1"}),
            # GL 3.3 without GLSL 3.30: the shaders cannot be built.
            Ending("app", None, 1, [CANNOT_DRAW],
                   {"MESA_GL_VERSION_OVERRIDE": "3.3", "MESA_GLSL_VERSION_OVERRIDE": "150"}),
            Ending("app", None, 1, [], {"MESA_GL_VERSION_OVERRIDE": "3.0"}, closed=2),
        ]
        for case in cases:
            with self.subTest(**case._replace(end=getattr(case.end, "__name__", None))._asdict()):
                self.assert_ending(case)

    def assert_ending(self, case):
        """Starts and ends the viewer as case says; checks the status, the time, stderr, and that
        no process of its session and no window of it is left."""
        program = self.start_viewer(case.texture_dir, case.env, case.closed)
        if case.end:
            shown, hidden = (VIEWER, BOX) if case.texture_dir else (BOX, VIEWER)
            window = program.wait_window(shown)
            self.assertEqual(harness.find_windows(hidden), [])
            case.end(program, window)
        exited = program.wait(1.0 if case.end else 2.0)
        lines = program.stderr_text().splitlines()
        self.assertEqual(exited, case.status, lines)
        self.assertEqual(len(lines), len(case.lines), lines)
        for line, pattern in zip(lines, case.lines):
            self.assertRegex(line, f"^{pattern}$")
        self.assertEqual(left_in_session(program.pid), 0)
        harness.wait_until(
            lambda: not harness.find_windows(VIEWER) + harness.find_windows(BOX), 1.0, "windows gone"
        )


if __name__ == "__main__":
    harness.main()
