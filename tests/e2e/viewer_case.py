"""Common ground of the end-to-end test files: the command line they take and a test case that
starts the real viewer from a fresh directory layout and always ends it again.

Each test file is run as: python3 test_x.py --program <built viewer> --root <repository root>
[unittest arguments]; CMake registers it under tests/support/with-xvfb --wm.
"""

import argparse
import os
import signal
import sys
import unittest

import harness

# How far (pixels) an observed edge of the word may lie from the projection of its bounding box.
EDGE_TOLERANCE = 8

# Filled from the command line by main().
PROGRAM = None
ROOT = None


class ViewerCase(unittest.TestCase):
    """A test with its own directory tree; programs it starts are stopped in tearDown."""

    def setUp(self):
        self.layout = harness.Layout()
        self.programs = []

    def tearDown(self):
        for program in self.programs:
            program.stop()
        self.layout.remove()

    def start_viewer(self, texture_in="parent"):
        """Starts the viewer in app/ with leopard.jpg copied to texture_in ("parent", "app" or
        None for nowhere); returns the running Program."""
        if texture_in is not None:
            self.layout.put_texture(os.path.join(ROOT, harness.TEXTURE_NAME), where=texture_in)
        program = harness.Program(PROGRAM, self.layout.app)
        self.programs.append(program)
        return program

    def start_and_show(self):
        """Starts the viewer as from a build directory and returns (program, window, first
        steady picture)."""
        program = self.start_viewer()
        window = program.wait_window()
        return program, window, harness.first_picture(window)

    def assert_extent(self, seen, expected):
        """Checks the extent of the drawn pixels against the projection of the word's bounding
        box (both (left, top, right, bottom)): the R's stem reaches the box's left and top, the
        baseline its bottom, but no stroke its top right corner, so the right edge only bounds."""
        message = f"seen {seen}, expected {tuple(round(e) for e in expected)}"
        for edge in (0, 1, 3):
            self.assertAlmostEqual(seen[edge], expected[edge], delta=EDGE_TOLERANCE, msg=message)
        self.assertLessEqual(seen[2], expected[2] + EDGE_TOLERANCE, message)

    def keep(self, image, name):
        """Saves image as name.ppm under $TAVENOR_E2E_SHOTS when that is set (for a look at what
        a test saw); does nothing otherwise."""
        folder = os.environ.get("TAVENOR_E2E_SHOTS")
        if folder:
            os.makedirs(folder, exist_ok=True)
            with open(os.path.join(folder, f"{self.id().split('.')[-1]}-{name}.ppm"), "wb") as out:
                out.write(image.to_ppm())


def main():
    """Reads --program and --root, then runs the calling file's tests."""
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--root", required=True)
    args, rest = parser.parse_known_args()
    global PROGRAM, ROOT
    PROGRAM = os.path.abspath(args.program)
    ROOT = os.path.abspath(args.root)
    if not os.environ.get("DISPLAY"):
        sys.exit("no DISPLAY: run under tests/support/with-xvfb --wm")
    signal.signal(signal.SIGTERM, _end_on_terminate)
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2, catchbreak=True)


def _end_on_terminate(_signal, frame):
    """A terminated run still ends its programs and removes its directories: unittest's break
    handler stops the run after this test, and SystemExit ends the test, its tearDown running."""
    handler = signal.getsignal(signal.SIGINT)
    if callable(handler):
        handler(signal.SIGINT, frame)
    sys.exit(128 + signal.SIGTERM)
