"""End-to-end: how the real viewer starts and ends. A close through the window manager ends it at
once with status 0; without leopard.jpg it shows the message box, never the viewer window, and
ends with status 1 and one line on stderr once the box is dismissed.
"""

import time

import harness
import viewer_case

# Dismissing the message box or closing the window must end the program within this.
EXIT_WITHIN_S = 1.0


def ok_button_centre(shot):
    """The middle of the box's one button, centred below the text: the span of the centre
    column's lower half that differs from the background colour of the bottom row."""
    x = shot.width // 2
    background = shot.pixel(x, shot.height - 1)
    ys = [y for y in range(shot.height // 2, shot.height) if shot.pixel(x, y) != background]
    if not ys:
        raise AssertionError("no button found in the lower half of the message box")
    return x, (min(ys) + max(ys)) // 2


class Closing(viewer_case.ViewerCase):
    def test_window_manager_close_ends_program_within_a_second_with_status_0(self):
        program, window, _ = self.start_and_show()
        asked = time.monotonic()
        window.close_through_wm()
        status = program.wait_exit(EXIT_WITHIN_S - (time.monotonic() - asked))
        self.assertEqual(status, 0, f"still running or failed; stderr: {program.stderr()!r}")
        self.assertEqual(program.stderr(), "")
        self.assertEqual(harness.find_windows(harness.VIEWER_TITLE), [])

    def test_texture_in_working_directory_is_found_too(self):
        program = self.start_viewer(texture_in="app")
        window = program.wait_window()
        self.assertEqual(harness.find_windows(harness.MESSAGE_BOX_TITLE), [])
        window.close_through_wm()
        self.assertEqual(program.wait_exit(5.0), 0)


class MissingTexture(viewer_case.ViewerCase):
    def wait_box_alone(self, program):
        """Waits for the message box and checks that no viewer window is shown beside it."""
        box = program.wait_window(harness.MESSAGE_BOX_TITLE)
        self.assertEqual(harness.find_windows(harness.VIEWER_TITLE), [])
        self.assertTrue(program.running(), "the box must hold the program until dismissed")
        return box

    def assert_failed_exit(self, program, dismissed_at):
        status = program.wait_exit(EXIT_WITHIN_S - (time.monotonic() - dismissed_at))
        self.assertEqual(status, 1, f"stderr: {program.stderr()!r}")
        lines = program.stderr().splitlines()
        self.assertEqual(len(lines), 1, f"stderr: {lines!r}")
        self.assertIn(harness.TEXTURE_NAME, lines[0])
        self.assertEqual(harness.find_windows(harness.VIEWER_TITLE), [])

    def test_return_on_message_box_ends_program_with_status_1(self):
        program = self.start_viewer(texture_in=None)
        box = self.wait_box_alone(program)
        box.press_key("Return")
        self.assert_failed_exit(program, time.monotonic())

    def test_click_on_ok_ends_program_with_status_1(self):
        program = self.start_viewer(texture_in=None)
        box = self.wait_box_alone(program)
        box.click(*ok_button_centre(box.screenshot()))
        self.assert_failed_exit(program, time.monotonic())


if __name__ == "__main__":
    viewer_case.main()
