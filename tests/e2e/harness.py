"""Runs the real viewer under real X input: needs xdotool, wmctrl and ImageMagick's import."""

import collections
import os
import re
import resource
import signal
import subprocess
import tempfile
import time

VIEWER_TITLE = "Brisvane Code"
MESSAGE_BOX_TITLE = "Tavenor.exe"
TEXTURE_NAME = "leopard.jpg"
Image = collections.namedtuple("Image", "width height pixels")  # RGB bytes, top row first


def run_tool(*args):
    return subprocess.run([str(a) for a in args], capture_output=True, check=True).stdout


def find_windows(title):
    """Ids of the top-level windows titled exactly title (wmctrl finds the message box too)."""
    rows = (line.split(None, 3) for line in run_tool("wmctrl", "-l").decode().splitlines())
    return [int(row[0], 16) for row in rows if row[3:] == [title]]


class Window(collections.namedtuple("Window", "wid")):
    def screenshot(self):
        ppm = run_tool("import", "-window", self.wid, "-depth", "8", "ppm:-")
        header = re.match(rb"P6\s+(\d+)\s+(\d+)\s+255\s", ppm)
        return Image(int(header[1]), int(header[2]), ppm[header.end() :])

    def drag(self, button, start, end, steps=8):
        """Button 1 (left), 2 (middle) or 3 (right) between client points; end may lie outside."""
        args = ["mousemove", "--window", self.wid, *start, "mousedown", button]
        for i in range(1, steps + 1):
            point = (round(a + (b - a) * i / steps) for a, b in zip(start, end))
            args += ["sleep", 0.01, "mousemove", "--window", self.wid, *point]
        run_tool("xdotool", *args, "sleep", 0.01, "mouseup", button)


class Program(subprocess.Popen):
    """The viewer in cwd, leading its own session, stderr kept, env set (None: unset), fd closed."""

    def __init__(self, program, cwd, env=None, fd=None, arguments=()):
        self.log = tempfile.TemporaryFile()
        env = {k: v for k, v in {**os.environ, **(env or {})}.items() if v is not None}

        def prepare():  # as from an interactive shell: no signal ignored, no core file written
            for number in (signal.SIGHUP, signal.SIGINT, signal.SIGQUIT, signal.SIGTERM):
                signal.signal(number, signal.SIG_DFL)
            resource.setrlimit(resource.RLIMIT_CORE, (0, 0))
            if fd is not None:
                os.close(fd)

        super().__init__([program, *arguments], cwd=cwd, env=env, stderr=self.log,
                         start_new_session=True, preexec_fn=prepare)

    def wait_window(self, title=VIEWER_TITLE, timeout=20.0):
        deadline = time.monotonic() + timeout
        while not (found := find_windows(title)):
            if self.poll() is not None or time.monotonic() > deadline:
                raise AssertionError(f"no '{title}': {self.returncode}, {self.stderr_text()!r}")
            time.sleep(0.02)
        return Window(found[0])

    def stderr_text(self):
        return os.pread(self.log.fileno(), 1 << 20, 0).decode(errors="replace")

    def stop(self):
        self.kill()
        self.wait()
        self.log.close()


def settled_screenshot(window, differs_from=None, timeout=10.0):
    """The first picture steady for 0.1 s, not one grey (windows start black), not differs_from."""
    deadline, shot = time.monotonic() + timeout, None
    while time.monotonic() < deadline:
        before, shot = shot, window.screenshot()
        if shot == before and min(shot.pixels) < max(shot.pixels) and shot != differs_from:
            return shot
        time.sleep(0.1)
    raise AssertionError(f"no settled picture within {timeout} s")
