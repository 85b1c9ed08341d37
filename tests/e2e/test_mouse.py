"""End-to-end: the real viewer under real mouse drags (XTEST input through xdotool). Where the word
should land is worked out in scene.py from the camera and the drag arithmetic; the checks compare
that with the extent of the drawn (non-white) pixels of screenshots.
"""

import harness
import picture
import scene
import viewer_case


class LeftDrag(viewer_case.ViewerCase):
    """A left drag from the ball's centre turns the word about the world origin by twice the arc
    swept over the ball; the side facing the viewer follows the pointer."""

    def turn_by_drag(self, dx):
        _, window, rest = self.start_and_show()
        window.drag(1, scene.BALL_CENTRE, (scene.BALL_CENTRE[0] + dx, scene.BALL_CENTRE[1]))
        turned = harness.settled_screenshot(window, differs_from=rest)
        self.keep(turned, "turned")
        return picture.Census(turned).box()

    def check_turn(self, dx):
        seen = self.turn_by_drag(dx)
        turn = scene.turn_of_left_drag(dx)
        self.assert_extent(seen, scene.predicted_box(turn))
        # Turned the other way, the word would stand far from where it is.
        mirrored = scene.predicted_box(-turn)
        self.assertGreater(max(abs(seen[e] - mirrored[e]) for e in (0, 1, 3)), 40)

    def test_drag_to_the_right_turns_the_near_side_right(self):
        # 70 pixels right: a 30 degree turn that brings the word's left end toward the viewer
        # and sets it square to the camera.
        self.check_turn(70)

    def test_drag_to_the_left_turns_the_near_side_left(self):
        # 70 pixels left: the word turns edge-on, its right end swinging toward the viewer.
        self.check_turn(-70)


class RightDrag(viewer_case.ViewerCase):
    def test_moves_the_word_right_and_up_with_the_pointer(self):
        _, window, rest = self.start_and_show()
        # 240 pixels right and 90 up: the word moves by (0.8, 0.6, 0) along the world's axes.
        start, end = (200, 200), (440, 110)
        window.drag(3, start, end)
        moved = harness.settled_screenshot(window, differs_from=rest)
        self.keep(moved, "moved")
        before, after = picture.Census(rest), picture.Census(moved)
        self.assertGreater(after.centroid[0], before.centroid[0], "the word moves right")
        self.assertLess(after.centroid[1], before.centroid[1], "the word moves up")
        offset = scene.offset_of_right_drag(end[0] - start[0], end[1] - start[1])
        self.assert_extent(after.box(), scene.predicted_box(offset=offset))


class MiddleDrag(viewer_case.ViewerCase):
    def test_upward_drag_moves_the_word_away(self):
        _, window, rest = self.start_and_show()
        # 150 pixels up: the word moves 2.5 units away along the world's z axis.
        start, end = (300, 250), (300, 100)
        window.drag(2, start, end)
        moved = harness.settled_screenshot(window, differs_from=rest)
        self.keep(moved, "away")
        before, after = picture.Census(rest), picture.Census(moved)
        offset = scene.offset_of_middle_drag(end[1] - start[1])
        self.assert_extent(after.box(), scene.predicted_box(offset=offset))
        # Moved away, the word covers less of the picture.
        self.assertLess(after.drawn, 0.8 * before.drawn)


if __name__ == "__main__":
    viewer_case.main()
