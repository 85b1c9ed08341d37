"""Hardening: 50 start/close cycles of the real viewer. Each start shows the window; each close
through the window manager ends the program within a second with status 0, nothing on stderr and
no window left behind.
"""

import os
import time

import hardening_case
from hardening_case import harness, viewer_case

CYCLES = 50
EXIT_WITHIN_S = 1.0


class StartCloseCycles(viewer_case.ViewerCase):
    def test_50_cycles_each_exit_0_within_a_second_of_the_close(self):
        self.layout.put_texture(os.path.join(viewer_case.ROOT, harness.TEXTURE_NAME))
        slowest = 0.0
        began = time.monotonic()
        for cycle in range(CYCLES):
            program = harness.Program(viewer_case.PROGRAM, self.layout.app)
            self.programs.append(program)
            window = program.wait_window()
            asked = time.monotonic()
            window.close_through_wm()
            status = program.wait_exit(EXIT_WITHIN_S)
            took = time.monotonic() - asked
            slowest = max(slowest, took)
            self.assertEqual(status, 0, f"cycle {cycle}: status {status} after {took:.2f} s; "
                             f"stderr: {program.stderr()!r}")
            self.assertLessEqual(took, EXIT_WITHIN_S, f"cycle {cycle}")
            self.assertEqual(program.stderr(), "", f"cycle {cycle}")
            self.assertEqual(harness.find_windows(harness.VIEWER_TITLE), [], f"cycle {cycle}")
            program.stop()
            self.programs.remove(program)
        print(f"\n{CYCLES} cycles in {time.monotonic() - began:.1f} s; slowest close-to-exit "
              f"{slowest:.3f} s", flush=True)


if __name__ == "__main__":
    hardening_case.main()
