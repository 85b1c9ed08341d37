"""Runs the real viewer in a private X server with a window manager for the end-to-end tests and
the whole-program benchmarks. Needs xdotool, wmctrl, xwininfo and ImageMagick's import."""

import argparse
import collections
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

VIEWER_TITLE = "Brisvane Code"
MESSAGE_BOX_TITLE = "Tavenor.exe"
TEXTURE_NAME = "leopard.jpg"
HarnessError = AssertionError
Image = collections.namedtuple("Image", "width height pixels")  # RGB bytes, top row first
Census = collections.namedtuple("Census", "drawn box coloured bright")


def run_tool(*args):
    return subprocess.run([str(a) for a in args], capture_output=True, check=True).stdout.decode()


def wait_until(condition, timeout, what):
    deadline = time.monotonic() + timeout
    while not (value := condition()):
        if time.monotonic() > deadline:
            raise HarnessError(f"no {what} within {timeout} s")
        time.sleep(0.02)
    return value


def find_windows(title):
    """Ids of the top-level windows titled exactly title (wmctrl finds the message box too)."""
    rows = (line.split(None, 3) for line in run_tool("wmctrl", "-l").splitlines())
    return [int(row[0], 16) for row in rows if row[3:] == [title]]


def census(shot):
    """Of the drawn pixels (a channel below 245; white is the background): how many, their extent
    (left, top, right, bottom), how many coloured (channels 30 apart) and bright (one over 64)."""
    drawn, box = [], [shot.width, shot.height, -1, -1]
    for y in range(shot.height):
        row = shot.pixels[3 * shot.width * y : 3 * shot.width * (y + 1)]
        xs = [x for x in range(shot.width) if min(row[3 * x : 3 * x + 3]) < 245]
        drawn += [row[3 * x : 3 * x + 3] for x in xs]
        if xs:
            box = [min(box[0], xs[0]), min(box[1], y), max(box[2], xs[-1]), y]
    coloured = sum(max(p) - min(p) >= 30 for p in drawn)
    return Census(len(drawn), tuple(box), coloured, sum(max(p) > 64 for p in drawn))


class Window:
    """A top-level window; points are relative to its client area."""

    def __init__(self, wid):
        self.wid = wid

    def geometry(self):
        """(left, top, width, height) of the client area on the screen."""
        text = run_tool("xwininfo", "-id", self.wid)
        keys = ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height")
        return tuple(int(re.search(rf"{key}: +(-?\d+)", text)[1]) for key in keys)

    def screenshot(self):
        args = ["import", "-window", str(self.wid), "-depth", "8", "ppm:-"]
        ppm = subprocess.run(args, capture_output=True, check=True).stdout
        header = re.match(rb"P6\s+(\d+)\s+(\d+)\s+255\s", ppm)
        return Image(int(header[1]), int(header[2]), ppm[header.end() :])

    def drag(self, button, start, end, steps=8):
        """Presses button (1 left, 2 middle, 3 right) at start, moves in steps to end and releases
        there; the points may lie outside the window."""
        left, top = self.geometry()[:2]
        args = ["mousemove", left + start[0], top + start[1], "mousedown", button]
        for i in range(1, steps + 1):
            x, y = (round(a + (b - a) * i / steps) for a, b in zip(start, end))
            args += ["sleep", 0.01, "mousemove", left + x, top + y]
        run_tool("xdotool", *args, "sleep", 0.01, "mouseup", button)


class Program:
    """One run of the viewer in cwd with its stderr kept."""

    def __init__(self, program, cwd, env=None):
        self._err = tempfile.TemporaryFile()
        self.process = subprocess.Popen([os.path.abspath(program)], cwd=cwd,
                                        env={**os.environ, **(env or {})}, stderr=self._err,
                                        start_new_session=True)
        self.pid = self.process.pid

    def wait_window(self, title=VIEWER_TITLE, timeout=20.0):
        """The first window titled title; fails at once when the program ends first."""

        def found():
            if self.process.poll() is not None:
                raise HarnessError(f"ended with {self.process.returncode}: {self.stderr()!r}")
            return find_windows(title)[:1]

        return Window(wait_until(found, timeout, f"window '{title}'")[0])

    def wait_exit(self, timeout):
        """The exit status, or None while it still runs after timeout seconds."""
        try:
            return self.process.wait(timeout=max(timeout, 0.0))
        except subprocess.TimeoutExpired:
            return None

    def stderr(self):
        self._err.seek(0)
        return self._err.read().decode(errors="replace")

    def cpu_seconds(self):
        """User plus system CPU time so far."""
        with open(f"/proc/{self.pid}/stat") as stat:
            fields = stat.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

    def memory_kb(self, field="VmHWM"):
        """A figure of /proc/<pid>/status in KiB (VmHWM: peak resident, VmRSS: resident)."""
        with open(f"/proc/{self.pid}/status") as status:
            return int(next(line for line in status if line.startswith(field + ":")).split()[1])

    def stop(self):
        self.process.kill()
        self.process.wait()
        self._err.close()


class Layout:
    """A fresh tree: <top>/app is the working directory, <top> its parent (as from build/)."""

    def __init__(self):
        self.top = tempfile.mkdtemp(prefix="tavenor-e2e-")
        self.app = os.path.join(self.top, "app")
        os.mkdir(self.app)

    def put_texture(self, source, where="parent"):
        shutil.copy(source, os.path.join(self.top if where == "parent" else self.app, TEXTURE_NAME))

    def remove(self):
        shutil.rmtree(self.top, ignore_errors=True)


def settled_screenshot(window, differs_from=None, timeout=10.0):
    """The first picture unchanged over 0.1 s (several frames), not all one colour (a new window
    is black until its first frame) and other than differs_from."""
    last = [window.screenshot()]

    def steady():
        time.sleep(0.1)
        shot, before = window.screenshot(), last[0]
        last[0] = shot
        plain = shot.pixels == shot.pixels[:3] * (shot.width * shot.height)
        return shot == before and not plain and shot != differs_from and shot

    return wait_until(steady, timeout, "settled picture")


first_picture = settled_screenshot


class ViewerCase(unittest.TestCase):
    """A test whose programs run from their own directory trees and are stopped after it."""

    program = root = None  # set by main()

    def start_viewer(self, texture_in="parent"):
        """The viewer started with leopard.jpg in texture_in ("parent", "app" or None)."""
        layout = Layout()
        self.addCleanup(layout.remove)
        if texture_in:
            layout.put_texture(os.path.join(self.root, TEXTURE_NAME), texture_in)
        program = Program(self.program, layout.app)
        self.addCleanup(program.stop)
        return program

    def start_and_show(self, texture_in="parent"):
        """(program, window, first picture) of a started viewer."""
        program = self.start_viewer(texture_in)
        window = program.wait_window()
        return program, window, settled_screenshot(window, timeout=20.0)


def main():
    """Runs the calling file's tests: test_x.py --program <viewer> --root <repository>."""
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--root", required=True)
    args, rest = parser.parse_known_args()
    ViewerCase.program, ViewerCase.root = os.path.abspath(args.program), os.path.abspath(args.root)
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)
