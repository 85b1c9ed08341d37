"""End-to-end: how the real viewer ends. Closed or terminated while it runs, it exits with status 0
at once and silently. Without leopard.jpg it shows the message box alone; dismissed or terminated,
the box goes and the program exits with status 1 and one line on stderr. No process is left."""

import os
import signal
import time

import harness


def close(_program, window):
    harness.run_tool("wmctrl", "-i", "-c", hex(window.wid))


def dismiss(_program, box):
    harness.run_tool("xdotool", "windowactivate", "--sync", box.wid, "key", "Return")


def terminate(program, _window):
    os.kill(program.pid, signal.SIGTERM)


def left_in_session(pid):
    """How many live (not zombie) processes remain in the session that pid led."""
    rows = [line.split() for line in harness.run_tool("ps", "-e", "-o", "sid=,stat=").splitlines()]
    return sum(sid == str(pid) and state[0] != "Z" for sid, state in rows)


class Ending(harness.ViewerCase):
    def test_each_way_of_ending_exits_at_once_with_its_status_leaving_nothing(self):
        # Where the texture is (None: nowhere, so the box shows), how it ends, the exit status.
        # With the texture in the working directory itself, it is found there.
        cases = [("app", close, 0), ("app", terminate, 0), (None, dismiss, 1), (None, terminate, 1)]
        for texture_in, end, status in cases:
            with self.subTest(texture_in=texture_in, end=end.__name__):
                program = self.start_viewer(texture_in)
                shown, hidden = harness.VIEWER_TITLE, harness.MESSAGE_BOX_TITLE
                if status:
                    shown, hidden = hidden, shown
                window = program.wait_window(shown)
                self.assertEqual(harness.find_windows(hidden), [])
                asked = time.monotonic()
                end(program, window)
                self.assertEqual(program.wait_exit(1.0 - (time.monotonic() - asked)), status,
                                 f"stderr: {program.stderr()!r}")
                lines = program.stderr().splitlines()
                self.assertEqual(len(lines), status, lines)
                self.assertTrue(all(harness.TEXTURE_NAME in line for line in lines), lines)
                self.assertEqual(left_in_session(program.pid), 0)
                harness.wait_until(lambda: not harness.find_windows(shown), 1.0, "window gone")


if __name__ == "__main__":
    harness.main()
