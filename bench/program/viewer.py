"""What the whole-program benchmarks (program_bench.py here, bench/stress/stress.py) add to the
end-to-end harness in tests/e2e: the viewer (or the yardstick) started as from a build directory
with arguments and extra environment variables, its stdout kept, its exit awaited without failing,
its CPU time and memory read from /proc."""

import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../tests/e2e"))
import harness  # noqa: E402


class Layout:
    """A fresh tree: <top>/app is the working directory, <top> its parent (as from build/)."""

    def __init__(self):
        self.top = tempfile.mkdtemp(prefix="tavenor-bench-")
        self.app = os.path.join(self.top, "app")
        os.mkdir(self.app)

    def put_texture(self, root):
        """Copies leopard.jpg from the repository root into <top>."""
        shutil.copy(os.path.join(root, harness.TEXTURE_NAME), self.top)

    def remove(self):
        shutil.rmtree(self.top, ignore_errors=True)


class Viewer(harness.Program):
    """One run of the viewer (or another program given with its arguments) in cwd, with env added
    to the environment it inherits."""

    def __init__(self, program, cwd, env=None, arguments=()):
        self.log = tempfile.TemporaryFile()
        self.out = tempfile.TemporaryFile()
        subprocess.Popen.__init__(self, [program, *arguments], cwd=cwd,
                                  env={**os.environ, **(env or {})}, stdout=self.out,
                                  stderr=self.log, start_new_session=True)

    def stdout_text(self):
        self.out.seek(0)
        return self.out.read().decode(errors="replace")

    def stop(self):
        super().stop()
        self.out.close()

    def wait_exit(self, timeout):
        """The exit status, or None while it still runs after timeout seconds."""
        try:
            return self.wait(timeout=max(timeout, 0.0))
        except subprocess.TimeoutExpired:
            return None

    def cpu_seconds(self):
        """User plus system CPU time so far."""
        with open(f"/proc/{self.pid}/stat") as stat:
            fields = stat.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

    def memory_kb(self, field="VmHWM"):
        """A figure of /proc/<pid>/status in KiB (VmHWM: peak resident, VmRSS: resident)."""
        with open(f"/proc/{self.pid}/status") as status:
            return int(next(line for line in status if line.startswith(field + ":")).split()[1])


def client_origin(window):
    """(left, top) of window's client area on the screen."""
    text = harness.run_tool("xwininfo", "-id", window.wid).decode()
    return tuple(int(text.split(f"Absolute upper-left {axis}:")[1].split()[0]) for axis in "XY")
