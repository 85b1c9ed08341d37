"""Runs the real viewer under real X input: needs xdotool, wmctrl and ImageMagick's import."""

import collections
import os
import re
import resource
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

VIEWER_TITLE = "Brisvane Code"
MESSAGE_BOX_TITLE = "Tavenor.exe"
TEXTURE_NAME = "leopard.jpg"
Image = collections.namedtuple("Image", "width height pixels")  # RGB bytes, top row first


def run_tool(*args):
    return subprocess.run([str(a) for a in args], capture_output=True, check=True).stdout


def wait_until(condition, timeout, what):
    deadline = time.monotonic() + timeout
    while not (value := condition()):
        if time.monotonic() > deadline:
            raise AssertionError(f"no {what} within {timeout} s")
        time.sleep(0.02)
    return value


def find_windows(title):
    """Ids of the top-level windows titled exactly title (wmctrl finds the message box too)."""
    rows = (line.split(None, 3) for line in run_tool("wmctrl", "-l").decode().splitlines())
    return [int(row[0], 16) for row in rows if row[3:] == [title]]


class Window(collections.namedtuple("Window", "wid")):
    """A top-level window; points are relative to its client area."""

    def screenshot(self):
        ppm = run_tool("import", "-window", self.wid, "-depth", "8", "ppm:-")
        header = re.match(rb"P6\s+(\d+)\s+(\d+)\s+255\s", ppm)
        return Image(int(header[1]), int(header[2]), ppm[header.end() :])

    def drag(self, button, start, end, steps=8):
        """Presses button (1 left, 2 middle, 3 right) at start, moves in steps to end (which may lie
        outside the window) and releases there."""
        args = ["mousemove", "--window", self.wid, *start, "mousedown", button]
        for i in range(1, steps + 1):
            point = (round(a + (b - a) * i / steps) for a, b in zip(start, end))
            args += ["sleep", 0.01, "mousemove", "--window", self.wid, *point]
        run_tool("xdotool", *args, "sleep", 0.01, "mouseup", button)


class Program(subprocess.Popen):
    """One run of the viewer in cwd, leading a session of its own, its stderr kept, with env added
    to the environment and the descriptor closed (0, 1 or 2; None: none) closed."""

    def __init__(self, program, cwd, env=None, closed=None):
        self.log = tempfile.TemporaryFile()

        def prepare():
            # As from an interactive shell, whatever runs the tests: no signal the tests send is
            # ignored, and no core file slows an ending down.
            for number in (signal.SIGHUP, signal.SIGINT, signal.SIGQUIT, signal.SIGTERM):
                signal.signal(number, signal.SIG_DFL)
            resource.setrlimit(resource.RLIMIT_CORE, (0, 0))
            if closed is not None:
                os.close(closed)

        super().__init__([program], cwd=cwd, stderr=self.log, start_new_session=True,
                         env={**os.environ, **(env or {})}, preexec_fn=prepare)

    def wait_window(self, title=VIEWER_TITLE, timeout=20.0):
        """The first window titled title; fails at once when the program ends first."""

        def found():
            if self.poll() is not None:
                raise AssertionError(f"ended with {self.returncode}: {self.stderr_text()!r}")
            return find_windows(title)[:1]

        return Window(wait_until(found, timeout, f"window '{title}'")[0])

    def stderr_text(self):
        self.log.seek(0)
        return self.log.read().decode(errors="replace")

    def stop(self):
        self.kill()
        self.wait()
        self.log.close()


def settled_screenshot(window, differs_from=None, timeout=10.0):
    """The first picture steady for 0.1 s, not one grey (windows start black), not differs_from."""
    deadline, before = time.monotonic() + timeout, None
    while time.monotonic() < deadline:
        shot = window.screenshot()
        if shot == before and min(shot.pixels) < max(shot.pixels) and shot != differs_from:
            return shot
        before = shot
        time.sleep(0.1)
    raise AssertionError(f"no settled picture within {timeout} s")


class ViewerCase(unittest.TestCase):
    program = root = None  # set by main()

    def start_viewer(self, texture_dir=".", env=None, closed=None):
        """The viewer started in <top>/app, as from build/ in a checkout, with leopard.jpg put in
        <top>/texture_dir ("." for <top> itself, "app" for the working directory, None: none);
        env and closed as for Program."""
        top = tempfile.mkdtemp(prefix="tavenor-e2e-")
        self.addCleanup(shutil.rmtree, top)
        os.mkdir(os.path.join(top, "app"))
        if texture_dir:
            shutil.copy(os.path.join(self.root, TEXTURE_NAME), os.path.join(top, texture_dir))
        program = Program(self.program, os.path.join(top, "app"), env, closed)
        self.addCleanup(program.stop)
        return program


def main():
    """Runs the calling file's tests: test_x.py <viewer> <repository root> [unittest options]."""
    ViewerCase.program, ViewerCase.root = (os.path.abspath(arg) for arg in sys.argv[1:3])
    unittest.main(argv=[sys.argv[0], *sys.argv[3:]], verbosity=2)
