"""Drives the real viewer inside an X server, for the end-to-end tests and the program benchmarks.

Offers a throw-away directory layout, a started program whose windows are found by name, client-area
screenshots as RGB images, real pointer and key input through XTEST (xdotool), a window-manager
close, and readings of the process from /proc. Needs DISPLAY to name a private server with a window
manager (tests/support/with-xvfb --wm) and xdotool, xwininfo, wmctrl and ImageMagick's import.
"""

import atexit
import os
import shutil
import signal
import subprocess
import tempfile
import time

from picture import Image

VIEWER_TITLE = "Brisvane Code"
MESSAGE_BOX_TITLE = "Tavenor.exe"
TEXTURE_NAME = "leopard.jpg"

# Waits for things that will come (a window, an exit) poll at this period.
POLL_S = 0.02
# A picture counts as steady when it is unchanged over this long (several 60 Hz frames).
STEADY_S = 0.1


class HarnessError(AssertionError):
    """Something the harness waited for did not happen; the message says what and why."""


def run_tool(*args, check=True, timeout=10.0):
    """Runs an X tool and returns its stdout as text; raises HarnessError when it fails."""
    try:
        done = subprocess.run(args, capture_output=True, timeout=timeout, check=False)
    except subprocess.TimeoutExpired as error:
        raise HarnessError(f"{args[0]} did not finish in {timeout} s") from error
    if check and done.returncode != 0:
        raise HarnessError(f"{' '.join(map(str, args))} failed: {done.stderr.decode().strip()}")
    return done.stdout.decode()


def wait_until(condition, timeout, what):
    """Polls condition() until it returns something truthy and returns that; raises on timeout."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise HarnessError(f"timed out after {timeout} s waiting for {what}")
        time.sleep(POLL_S)


class Layout:
    """A fresh directory tree for one run: <top>/app is the working directory, and the texture
    can be put into app/ (beside the program's working directory) or <top> (its parent)."""

    def __init__(self):
        self.top = tempfile.mkdtemp(prefix="tavenor-e2e-")
        self.app = os.path.join(self.top, "app")
        os.mkdir(self.app)
        # Also gone when a run ends without reaching its own clean-up.
        atexit.register(self.remove)

    def put_texture(self, source, where="parent"):
        """Copies the file source as leopard.jpg into app/ (where="app") or its parent."""
        folder = self.top if where == "parent" else self.app
        target = os.path.join(folder, TEXTURE_NAME)
        shutil.copyfile(source, target)
        return target

    def put_texture_bytes(self, data, where="parent"):
        """Writes data as leopard.jpg into app/ or its parent; for made-up or broken files."""
        folder = self.top if where == "parent" else self.app
        target = os.path.join(folder, TEXTURE_NAME)
        with open(target, "wb") as out:
            out.write(data)
        return target

    def remove(self):
        """Deletes the whole tree."""
        shutil.rmtree(self.top, ignore_errors=True)


class Window:
    """An X client window found by name; coordinates are relative to its client area."""

    def __init__(self, wid):
        self.wid = wid

    def info(self):
        """Returns xwininfo's fields as a dict of strings ("Width", "Map State", ...)."""
        fields = {}
        for line in run_tool("xwininfo", "-id", str(self.wid)).splitlines():
            key, sep, value = line.strip().partition(":")
            if sep:
                fields[key.strip()] = value.strip()
        return fields

    def size(self):
        """The client area's (width, height) in pixels."""
        fields = self.info()
        return int(fields["Width"]), int(fields["Height"])

    def is_viewable(self):
        """True while the window is mapped and all its ancestors are."""
        try:
            return self.info().get("Map State") == "IsViewable"
        except HarnessError:
            return False

    def screenshot(self):
        """The client area's pixels as they are on the screen now."""
        data = subprocess.run(
            ["import", "-window", str(self.wid), "ppm:-"],
            capture_output=True, timeout=10, check=True,
        ).stdout
        return Image.from_ppm(data)

    def save_png(self, path):
        """Writes the client area's pixels to path as PNG."""
        run_tool("import", "-window", str(self.wid), path)

    def resize(self, width, height):
        """Asks for a new client size and waits until the server reports it."""
        run_tool("xdotool", "windowsize", str(self.wid), str(width), str(height))
        wait_until(lambda: self.size() == (width, height), 5.0, f"a {width} x {height} window")

    def drag(self, button, start, end, steps=8, step_pause_s=0.01):
        """Presses button (1 left, 2 middle, 3 right) at client point start, moves in steps
        to end and releases there: real XTEST input, as from a mouse."""
        move = ["mousemove", "--window", str(self.wid)]
        args = ["xdotool", *move, *map(str, start), "mousedown", str(button)]
        for i in range(1, steps + 1):
            x = round(start[0] + (end[0] - start[0]) * i / steps)
            y = round(start[1] + (end[1] - start[1]) * i / steps)
            args += ["sleep", str(step_pause_s), *move, str(x), str(y)]
        args += ["sleep", str(step_pause_s), "mouseup", str(button)]
        run_tool(*args)

    def press_key(self, key):
        """Gives the window the focus through the window manager and types key on it."""
        run_tool("xdotool", "windowactivate", "--sync", str(self.wid), check=False)
        run_tool("xdotool", "key", "--clearmodifiers", key)

    def click(self, x, y, button=1):
        """Clicks button at client point (x, y)."""
        run_tool("xdotool", "mousemove", "--window", str(self.wid), str(x), str(y),
                 "click", str(button))

    def close_through_wm(self):
        """Asks the window manager to close the window (as its title-bar close button does)."""
        run_tool("wmctrl", "-i", "-c", hex(self.wid))


def find_windows(name):
    """Ids of the viewable top-level windows whose title is exactly name. Asks the window
    manager's client list: xdotool search misses SDL's message box, whose WM_NAME has the type
    "UTF-8" that Xlib cannot convert."""
    ids = []
    for line in run_tool("wmctrl", "-l", check=False).splitlines():
        fields = line.split(None, 3)
        title = fields[3] if len(fields) == 4 else ""
        if title == name and Window(int(fields[0], 16)).is_viewable():
            ids.append(int(fields[0], 16))
    return ids


class Program:
    """One run of the viewer: started in a working directory, stdout and stderr kept in files,
    killed at the end if it is still running."""

    def __init__(self, program, cwd, env=None):
        self.cwd = cwd
        self._out = tempfile.TemporaryFile()
        self._err = tempfile.TemporaryFile()
        full_env = dict(os.environ)
        full_env.update(env or {})
        # CLOCK_MONOTONIC just before the start, for timing what the program does.
        self.started_ns = time.monotonic_ns()
        self.process = subprocess.Popen(
            [os.path.abspath(program)], cwd=cwd, env=full_env,
            stdin=subprocess.DEVNULL, stdout=self._out, stderr=self._err,
        )
        self.pid = self.process.pid

    def running(self):
        """True until the process has ended."""
        return self.process.poll() is None

    def wait_window(self, name=VIEWER_TITLE, timeout=20.0):
        """Waits until a viewable window titled name exists and returns it; fails at once when
        the program ends first."""

        def found():
            ids = find_windows(name)
            if ids:
                return Window(ids[0])
            if not self.running():
                raise HarnessError(
                    f"the program ended with status {self.process.returncode} before a window "
                    f"'{name}' appeared; stderr: {self.stderr()!r}"
                )
            return None

        return wait_until(found, timeout, f"a window titled '{name}'")

    def wait_exit(self, timeout):
        """The exit status, or None when the program is still running after timeout seconds."""
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            return None

    def stderr(self):
        """Everything the program has written to stderr so far."""
        self._err.seek(0)
        return self._err.read().decode(errors="replace")

    def stdout(self):
        """Everything the program has written to stdout so far."""
        self._out.seek(0)
        return self._out.read().decode(errors="replace")

    def cpu_seconds(self):
        """User plus system CPU time of all the program's threads so far, in seconds."""
        with open(f"/proc/{self.pid}/stat") as stat:
            # The command name in parentheses may hold spaces; fields count from after it.
            fields = stat.read().rsplit(")", 1)[1].split()
        ticks = int(fields[11]) + int(fields[12])
        return ticks / os.sysconf("SC_CLK_TCK")

    def memory_kb(self, field="VmHWM"):
        """A memory figure of /proc/<pid>/status in KiB (VmHWM: peak resident, VmRSS: resident)."""
        with open(f"/proc/{self.pid}/status") as status:
            for line in status:
                if line.startswith(field + ":"):
                    return int(line.split()[1])
        raise HarnessError(f"{field} missing from /proc/{self.pid}/status")

    def stop(self):
        """Ends the program if it still runs (TERM, then KILL) and frees the output files."""
        if self.running():
            self.process.send_signal(signal.SIGTERM)
            if self.wait_exit(1.0) is None:
                self.process.kill()
                self.process.wait()
        self._out.close()
        self._err.close()


def settled_screenshot(window, differs_from=None, timeout=10.0, accept=None):
    """Waits until two screenshots STEADY_S apart are equal (the program has shown the same
    picture for several frames' time) and, when differs_from is given, until that
    picture is no longer differs_from, and when accept is given, until accept(picture) is true;
    returns it."""
    previous = window.screenshot()

    def steady():
        nonlocal previous
        time.sleep(STEADY_S)
        shot = window.screenshot()
        same = shot.pixels == previous.pixels
        previous = shot
        if not same or (differs_from is not None and shot.pixels == differs_from.pixels):
            return None
        return shot if accept is None or accept(shot) else None

    return wait_until(steady, timeout, "a steady picture")


def first_picture(window, timeout=20.0):
    """The first steady picture that is not of one colour: a freshly mapped window shows its
    empty background (black) until the program's first frame reaches it."""
    return settled_screenshot(window, timeout=timeout, accept=lambda shot: not shot.is_uniform())
