"""End-to-end: what the real viewer shows, before and after real mouse drags. Where the word must
be and whether the spot light reaches it are worked out here from the scene, not the program."""

import math

import harness
from harness import census

# The word's model-space box, shifted by -6 along x, turned about the world origin, then moved.
# The camera looks from EYE at TARGET, y up, left-handed, 60 degrees high, aspect 2, 600 x 300.
WORD = ((0.25, 11.75), (0.25, 4.0), (0.0, 1.0))
EYE, TARGET = (3.0, 7.0, -5.0), (0.0, 2.0, 0.0)
FORWARD = [(t - e) / math.dist(TARGET, EYE) for t, e in zip(TARGET, EYE)]
FLAT = math.hypot(FORWARD[0], FORWARD[2])
RIGHT = [FORWARD[2] / FLAT, 0, -FORWARD[0] / FLAT]
UP = [FORWARD[1] * RIGHT[2] - FORWARD[2] * RIGHT[1], FORWARD[2] * RIGHT[0] - FORWARD[0] * RIGHT[2],
      FORWARD[0] * RIGHT[1] - FORWARD[1] * RIGHT[0]]


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


class Picture(harness.ViewerCase):
    def assert_word(self, shot, turn, offset, lit, what):
        """The R's stem reaches the box's left and top edges and the baseline its bottom, but no
        stroke its projected right corner, which only bounds (8 pixels slack). In the spot light's
        cone the word is mostly bright; outside only the 0x20 ambient lights it: no channel
        above 32. lit None: partly in the cone."""
        seen, expected = census(shot), predicted_box(turn, offset)
        message = f"{what}: seen {seen}, expected {tuple(round(e) for e in expected)}"
        for edge in (0, 1, 3):
            self.assertAlmostEqual(seen.box[edge], expected[edge], delta=8, msg=message)
        self.assertLessEqual(seen.box[2], expected[2] + 8, message)
        if lit is not None:
            self.assertEqual(seen.bright > 0.5 * seen.drawn, lit, message)
            self.assertEqual(seen.bright == 0, not lit, message)
        return seen

    def test_first_picture_shows_the_lit_textured_word_and_stretches_with_the_window(self):
        _, window, shot = self.start_and_show()
        self.assertEqual(window.geometry()[2:], (600, 300))
        first = self.assert_word(shot, 0, (0, 0, 0), True, "first picture")
        # The texture shows through on most of the word (white or grey without it).
        self.assertGreater(first.coloured, 0.5 * first.drawn)
        harness.run_tool("xdotool", "windowsize", window.wid, 900, 300)
        wide = census(harness.settled_screenshot(window, differs_from=shot)).box
        stretched = (1.5 * first.box[0], first.box[1], 1.5 * first.box[2], first.box[3])
        for seen, expected in zip(wide, stretched):
            self.assertAlmostEqual(seen, expected, delta=3, msg=f"{wide} {stretched}")

    def test_drags_turn_and_move_the_word_where_the_scene_puts_it(self):
        # Button, from, to, the turn (radians) and offset added, and whether the light reaches
        # the word. Middle drags: 5 units away per 300 pixels up; 10 units away every point of
        # the word is over 27 degrees off the light's axis (from (5, 20, 5) to the origin), past
        # the outer cone's 22.5. Left drags from the ball's centre (300, 150): twice the arc,
        # asin(dx / 270) for the half-axis 0.9 * 300. Right drags: 2 units per 600 pixels right
        # and 2 per 300 up. Drags leaving the window count to their end (capture).
        drags = [
            (2, (300, 290), (300, -100), 0, (0, 0, 6.5), None),
            (2, (300, 250), (300, 40), 0, (0, 0, 3.5), False),
            (2, (300, 0), (300, 390), 0, (0, 0, -6.5), True),
            (2, (300, 60), (300, 270), 0, (0, 0, -3.5), True),
            (1, (300, 150), (410, 150), 2 * math.asin(110 / 270), (0, 0, 0), True),
            (1, (300, 150), (160, 150), -2 * math.asin(140 / 270), (0, 0, 0), True),
            (3, (200, 200), (440, 110), 0, (0.8, 0.6, 0), True),
            (3, (400, 100), (250, 220), 0, (-0.5, -0.8, 0), True),
            (3, (0, 150), (800, 150), 0, (800 / 300, 0, 0), True),
        ]
        _, window, shot = self.start_and_show()
        turn, offset = 0.0, (0, 0, 0)
        for button, start, end, turned, moved, lit in drags:
            window.drag(button, start, end)
            shot = harness.settled_screenshot(window, differs_from=shot)
            turn, offset = turn + turned, [a + b for a, b in zip(offset, moved)]
            self.assert_word(shot, turn, offset, lit, (button, start, end))


if __name__ == "__main__":
    harness.main()
