"""Runs the real viewer under real input. On X11 through xdotool, wmctrl and ImageMagick's import;
on Wayland in a private headless compositor (sway, or weston's headless backend, which offers no
seat) through a virtual pointer of our own, swaymsg and grim."""

import atexit
import collections
import glob
import json
import os
import re
import resource
import shutil
import signal
import socket
import stat
import struct
import subprocess
import tempfile
import time

VIEWER_TITLE = "Brisvane Code"
MESSAGE_BOX_TITLE = "Tavenor.exe"
TEXTURE_NAME = "leopard.jpg"
Image = collections.namedtuple("Image", "width height pixels")  # RGB bytes, top row first


def run_tool(*args, env=None):
    """A tool's standard output; env is added to ours."""
    env = {**os.environ, **env} if env else None
    return subprocess.run([str(a) for a in args], capture_output=True, check=True, env=env).stdout


def find_windows(title):
    """Ids of the top-level windows titled exactly title (wmctrl finds the message box too)."""
    rows = (line.split(None, 3) for line in run_tool("wmctrl", "-l").decode().splitlines())
    return [int(row[0], 16) for row in rows if row[3:] == [title]]


def read_ppm(ppm):
    header = re.match(rb"P6\s+(\d+)\s+(\d+)\s+255\s", ppm)
    return Image(int(header[1]), int(header[2]), ppm[header.end() :])


class Window(collections.namedtuple("Window", "wid")):
    def screenshot(self):
        return read_ppm(run_tool("import", "-window", self.wid, "-depth", "8", "ppm:-"))

    def drag(self, button, start, end, steps=8):
        """Button 1 (left), 2 (middle) or 3 (right) between client points; end may lie outside."""
        args = ["mousemove", "--window", self.wid, *start, "mousedown", button]
        for i in range(1, steps + 1):
            point = (round(a + (b - a) * i / steps) for a, b in zip(start, end))
            args += ["sleep", 0.01, "mousemove", "--window", self.wid, *point]
        run_tool("xdotool", *args, "sleep", 0.01, "mouseup", button)


class X11:
    """The X server DISPLAY names, as a place Program.wait_window looks for windows."""

    @staticmethod
    def find(title):
        return [Window(wid) for wid in find_windows(title)]


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

    def wait_window(self, title=VIEWER_TITLE, timeout=20.0, display=X11):
        """The first window titled title on display (X11, or a Compositor)."""
        deadline = time.monotonic() + timeout
        while not (found := display.find(title)):
            if self.poll() is not None or time.monotonic() > deadline:
                raise AssertionError(f"no '{title}': {self.returncode}, {self.stderr_text()!r}")
            time.sleep(0.02)
        return found[0]

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


class VirtualPointer:
    """A pointer device on a wlroots compositor's seat through the wlr virtual-pointer protocol,
    spoken over the compositor's socket at path, in layout pixels on an area of size extent. A
    message is the object's id, then its size in bytes (these two words included) over the opcode,
    then the arguments: 32-bit words in our byte order; a string is its length with the NUL, its
    bytes and the NUL, padded to whole words. Our new objects' ids count up from wl_display's 1:
    the compositor takes no gaps."""

    BUTTONS = {1: 0x110, 2: 0x112, 3: 0x111}  # X's numbers to Linux's BTN_LEFT, _MIDDLE, _RIGHT
    DISPLAY = 1

    def __init__(self, path, extent):
        self.extent, self.globals, self.last_id = extent, {}, self.DISPLAY
        self.socket = socket.socket(socket.AF_UNIX)
        self.socket.settimeout(10.0)
        self.events = self.socket.makefile("rb")
        self.socket.connect(path)
        self.registry = self.create(self.DISPLAY, 1)  # wl_display.get_registry
        self.sync()
        self.seat, self.manager = map(self.bind, ("wl_seat", "zwlr_virtual_pointer_manager_v1"))
        self.pointer = self.create(self.manager, 0, self.seat)  # create_virtual_pointer

    def create(self, id, opcode, *args):
        """Sends a request whose last argument is a new object's id; returns that id."""
        self.last_id += 1
        self.send(id, opcode, *args, self.last_id)
        return self.last_id

    def bind(self, interface):
        """wl_registry.bind at version 1; its new id is untyped: interface, version, id."""
        if interface not in self.globals:
            raise ConnectionError(f"the compositor offers no {interface}")
        return self.create(self.registry, 0, self.globals[interface], interface, 1)

    def send(self, id, opcode, *args):
        body = b""
        for arg in args:
            if isinstance(arg, str):
                arg = arg.encode() + b"\0"
                body += struct.pack("=I", len(arg)) + arg + b"\0" * (-len(arg) % 4)
            else:
                body += struct.pack("=I", arg)
        self.socket.sendall(struct.pack("=II", id, (8 + len(body)) << 16 | opcode) + body)

    def move(self, x, y):
        """To layout point (x, y); the protocol carries no negative positions."""
        self.send(self.pointer, 1, self.now(), max(x, 0), max(y, 0), *self.extent)  # absolute
        self.send(self.pointer, 4)  # frame

    def button(self, number, pressed):
        """Presses or releases button number as X numbers them."""
        self.send(self.pointer, 2, self.now(), self.BUTTONS[number], int(pressed))
        self.send(self.pointer, 4)  # frame

    @staticmethod
    def now():
        """Event time: milliseconds of the monotonic clock, as input devices give it."""
        return time.monotonic_ns() // 1_000_000 & 0xFFFFFFFF

    def sync(self):
        """Returns once the compositor has handled every request so far (wl_display.sync's
        wl_callback.done), having noted the globals the registry announced meanwhile."""
        callback = self.create(self.DISPLAY, 0)
        while True:
            header = self.events.read(8)
            if len(header) < 8:
                raise ConnectionError("the compositor hung up")
            id, word = struct.unpack("=II", header)
            body = self.events.read((word >> 16) - 8)
            if id == callback:  # done, its only event
                return
            if (id, word & 0xFFFF) == (self.DISPLAY, 0):  # wl_display.error
                culprit, code, length = struct.unpack_from("=III", body)
                reason = body[12 : 11 + length].decode(errors="replace")
                raise ConnectionError(f"Wayland error {code} on object {culprit}: {reason}")
            if (id, word & 0xFFFF) == (self.registry, 0):  # wl_registry.global: name, interface
                name, length = struct.unpack_from("=II", body)
                self.globals.setdefault(body[8 : 7 + length].decode(), name)

    def close(self):
        """Removes the device (destroy) and its manager, then hangs up once the compositor has
        seen that."""
        try:
            self.send(self.pointer, 8)
            self.send(self.manager, 1)
            self.sync()
        finally:
            self.events.close()
            self.socket.close()


class WaylandWindow(collections.namedtuple("WaylandWindow", "compositor x y width height pid")):
    """A window on a Compositor's sway at layout position (x, y), of the process pid."""

    def screenshot(self):
        where = f"{self.x},{self.y} {self.width}x{self.height}"
        return read_ppm(run_tool("grim", "-g", where, "-t", "ppm", "-", env=self.compositor.env))

    def drag(self, button, start, end, steps=8):
        """As Window.drag, through the compositor's virtual pointer, which then goes back to its
        corner; returns once the compositor has seen it all."""
        pointer = self.compositor.pointer
        pointer.move(self.x + start[0], self.y + start[1])
        pointer.button(button, True)
        for i in range(1, steps + 1):
            time.sleep(0.01)
            x, y = (round(a + (b - a) * i / steps) for a, b in zip(start, end))
            pointer.move(self.x + x, self.y + y)
        time.sleep(0.01)
        pointer.button(button, False)
        pointer.move(*Compositor.PARKED)
        pointer.sync()

    def close(self):
        """The compositor's close (xdg_toplevel.close), as its kill binding sends it."""
        self.compositor.swaymsg(f"[pid={self.pid}] kill")


class Compositor:
    """A headless Wayland compositor of our own, "sway" or "weston" (its headless backend, which
    offers no seat), in a private runtime directory; neither runs as root, so when we are root it
    runs as nobody (we reach its socket all the same). env holds what a client needs to reach it.
    A context manager: stopped, its pointer first, and its directory gone, however it ends."""

    SIZE = (1400, 1000)  # room around a centred 600 x 300 window for drags that leave it
    # Where the pointer waits: sway draws it into the output's pixels (the headless backend has no
    # cursor plane), so anywhere over a window it would show in the window's pictures.
    PARKED = (0, 0)
    SWAY_CONFIG = f"""output * resolution {SIZE[0]}x{SIZE[1]}
default_border none
default_floating_border none
for_window [title=".*"] floating enable
xwayland disable
"""

    live = set()  # closed at exit too, should an interruption skip a test's cleanup

    def __init__(self, kind="sway", pointer=False):
        """pointer: whether to add a VirtualPointer (sway only), for WaylandWindow.drag."""
        self.runtime = tempfile.mkdtemp(prefix=f"tavenor-{kind}-")
        self.log = tempfile.TemporaryFile()
        self.process = self.pointer = None
        Compositor.live.add(self)
        try:
            self._start(kind, pointer)
        except BaseException:
            self.close()
            raise

    def __enter__(self):
        return self

    def __exit__(self, *error):
        self.close()

    def _start(self, kind, pointer):
        command = ["setpriv", "--pdeathsig", "TERM"]  # gone with us even if we are killed
        if os.geteuid() == 0:
            os.chown(self.runtime, 65534, 65534)
            command += ["--reuid=65534", "--regid=65534", "--clear-groups"]
        env = {"PATH": os.environ["PATH"], "HOME": self.runtime, "XDG_RUNTIME_DIR": self.runtime}
        if kind == "sway":
            config = os.path.join(self.runtime, "config")
            with open(config, "w") as file:
                file.write(self.SWAY_CONFIG)
            os.chmod(config, 0o644)
            command += ["sway", "-c", config]
            env.update(WLR_BACKENDS="headless", WLR_RENDERER="pixman", WLR_LIBINPUT_NO_DEVICES="1")
        else:  # the kiosk shell offers xdg_wm_base and starts no helper clients
            command += ["weston", "--backend=headless-backend.so", "--shell=kiosk-shell.so",
                        "--socket=wayland-1", "--no-config"]
        self.process = subprocess.Popen(command, env=env, stdin=subprocess.DEVNULL,
                                        stdout=self.log, stderr=self.log)
        display = self._wait_for(self._socket)
        self.env = {"WAYLAND_DISPLAY": display, "XDG_RUNTIME_DIR": self.runtime}
        if kind == "sway":
            self.env["SWAYSOCK"] = self._wait_for(
                lambda: next(iter(glob.glob(os.path.join(self.runtime, "sway-ipc.*.sock"))), None))
            self._wait_for(self._answers)
        if pointer:
            self.pointer = VirtualPointer(os.path.join(self.runtime, display), self.SIZE)
            self.pointer.move(*self.PARKED)
            self.pointer.sync()

    def _socket(self):
        """The compositor's socket's name once it listens, else None."""
        for path in glob.glob(os.path.join(self.runtime, "wayland-*[0-9]")):
            if stat.S_ISSOCK(os.stat(path).st_mode):
                return os.path.basename(path)
        return None

    def _answers(self):
        try:
            self.swaymsg("-t", "get_version")
            return True
        except subprocess.CalledProcessError:
            return False

    def _wait_for(self, ready, timeout=10.0):
        deadline = time.monotonic() + timeout
        while not (value := ready()):
            if self.process.poll() is not None or time.monotonic() > deadline:
                log = os.pread(self.log.fileno(), 1 << 16, 0).decode(errors="replace")
                raise AssertionError(f"the compositor did not start: {log[-2000:]}")
            time.sleep(0.02)
        return value

    def swaymsg(self, *args):
        return run_tool("swaymsg", "-s", self.env["SWAYSOCK"], *args)

    def find(self, title):
        """The windows titled exactly title, as WaylandWindows."""
        found, nodes = [], [json.loads(self.swaymsg("-t", "get_tree"))]
        while nodes:
            node = nodes.pop()
            nodes += node.get("nodes", []) + node.get("floating_nodes", [])
            if node.get("name") == title and node.get("pid"):
                rect = node["rect"]
                found.append(WaylandWindow(self, rect["x"], rect["y"], rect["width"],
                                           rect["height"], node["pid"]))
        return found

    def close(self):
        pointer, process, self.pointer, self.process = self.pointer, self.process, None, None
        try:
            if pointer:
                pointer.close()
        finally:
            if process:
                process.terminate()
                try:
                    process.wait(5.0)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()
            self.log.close()
            shutil.rmtree(self.runtime, ignore_errors=True)
            Compositor.live.discard(self)


atexit.register(lambda: [compositor.close() for compositor in list(Compositor.live)])
