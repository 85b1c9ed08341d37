"""Whole-program benchmarks of the real viewer against its yardstick (tavenor_yardstick: the same
picture from a hand-written SDL2 + OpenGL program that never waits on a clock): start-up, the
unpaced frame rate, idle CPU, input-to-picture latency with CPU during a left drag, peak memory,
and the long memory soak.

Each prints its figures and, where there is one, its target and a PASS or MISS verdict. Given an
older build (--older), framerate, idle and latency measure it in the same run and print it beside.
Runs inside a private X server with a window manager (bench/program/run-all, scripts/soak start
one); programs run in the repository root, where they find leopard.jpg. Not run by the tests.
Usage: program_bench.py --build build --root . [--older old-build]
       startup|framerate|idle|latency|memory|soak [--seconds S --warmup S]
"""

import argparse
import os
import statistics
import struct
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../tests/e2e"))
import harness  # noqa: E402

YARDSTICK_TITLE = "Tavenor yardstick"
STARTUP_RUNS = 10
STARTUP_TARGET_RATIO = 1.10
FRAME_RATE_ROUNDS = 5
FRAME_RATE_TARGET_RATIO = 0.95
IDLE_ROUNDS = 3
IDLE_WINDOW_S = 5.0
IDLE_TARGET_PERCENT = 1.0
LATENCY_ROUNDS = 3
STREAM_S = 5.0  # tavenor_latency's stream
PACED_RATE = 60  # presents/s the device paces to where the display reports no rate, as Xvfb
SINGLE_MEDIAN_MARGIN_MS = 1.0  # over the yardstick's
SINGLE_P90_MARGIN_MS = 2.0
STREAM_AGE_TARGET_MS = 5.5
DRAG_CPU_MARGIN = 1.0  # points of one core over the older build's
MEMORY_TARGET_EXTRA_MIB = 4.0
SOAK_GROWTH_LIMIT_KIB = 1024
# Soak drags, each undone by the next so that the word stays in view: (button, from, to).
SOAK_DRAGS = [(1, (300, 150), (380, 170)), (1, (380, 170), (300, 150)),
              (3, (250, 120), (290, 100)), (3, (290, 100), (250, 120)),
              (2, (300, 150), (300, 120)), (2, (300, 120), (300, 150))]


class Build:
    """The programs of one build directory that the benchmarks run."""

    def __init__(self, directory):
        directory = os.path.abspath(directory)
        self.viewer = os.path.join(directory, "tavenor")
        self.frame_rate = os.path.join(directory, "bench/program/tavenor_frame_rate")
        self.yardstick = os.path.join(directory, "bench/program/tavenor_yardstick")
        self.probe = os.path.join(directory, "bench/program/libtavenor_swap_probe.so")
        self.latency = os.path.join(directory, "bench/program/tavenor_latency")


class Program(harness.Program):
    """A run of command (program, *arguments) in the repository root, its CPU and memory read from
    /proc."""

    def __init__(self, args, command, env=None):
        super().__init__(command[0], args.root, env=env, arguments=command[1:])

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

    def memory_kib(self, field="VmHWM"):
        """A figure of /proc/<pid>/status in KiB (VmHWM: peak resident, VmRSS: resident)."""
        with open(f"/proc/{self.pid}/status") as status:
            return int(next(line for line in status if line.startswith(field + ":")).split()[1])


def verdict(met):
    """PASS or MISS, for the end of a figure's line."""
    return "PASS" if met else "MISS"


def spread(values, unit):
    """'min a, max b unit' of a list of figures."""
    return f"min {min(values):.0f}, max {max(values):.0f} {unit}"


def interleaved(rounds, programs, measure):
    """{program: [figures]}: rounds of measure(program) for every program, each going first in
    turn."""
    figures = {program: [] for program in programs}
    for run in range(rounds):
        for i in range(len(programs)):
            program = programs[(run + i) % len(programs)]
            figures[program].append(measure(program))
    return figures


def builds(args):
    """This build and, when given, the older one, with their names."""
    return [("this build", args.build)] + ([("older build", args.older)] if args.older else [])


# ---- presents and CPU ---------------------------------------------------------------------------


class Counted:
    """command run with the probe counting its presents in a temporary file; a context."""

    def __init__(self, args, command):
        self.folder = tempfile.TemporaryDirectory(prefix="tavenor-bench-")
        self.counter = os.path.join(self.folder.name, "presents")
        env = {"LD_PRELOAD": args.build.probe, "TAVENOR_PROBE_COUNTER": self.counter}
        self.program = Program(args, command, env)

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.program.stop()
        self.folder.cleanup()

    def counts(self):
        """(presents so far, CLOCK_MONOTONIC ns at the end of the first); zeros before it."""
        try:
            with open(self.counter, "rb") as counter:
                return struct.unpack("<qq", counter.read(16))
        except (FileNotFoundError, struct.error):
            return 0, 0

    def sample(self):
        """(time, CPU seconds, presents so far)."""
        return time.monotonic(), self.program.cpu_seconds(), self.counts()[0]

    @staticmethod
    def rates(before, after):
        """(% of one core, presents/s) between two samples."""
        seconds = after[0] - before[0]
        return 100 * (after[1] - before[1]) / seconds, (after[2] - before[2]) / seconds


# ---- start-up -----------------------------------------------------------------------------------


def startup_once(args, command):
    """Milliseconds from just before exec of command to the end of its first present."""
    began, deadline = time.monotonic_ns(), time.monotonic() + 20.0
    with Counted(args, command) as run:
        while not (first := run.counts()[1]):
            if run.program.wait_exit(0.005) is not None or time.monotonic() > deadline:
                raise RuntimeError(f"no frame was presented; stderr: {run.program.stderr_text()!r}")
        return (first - began) / 1e6


def bench_startup(args):
    """Start-up: exec to first presented frame of the viewer and of the yardstick's first-frame
    mode, medians of STARTUP_RUNS interleaved runs each."""
    viewer, yardstick = (args.build.viewer,), (args.build.yardstick, "first-frame")
    times = interleaved(STARTUP_RUNS, [viewer, yardstick], lambda c: startup_once(args, c))
    ratio = statistics.median(times[viewer]) / statistics.median(times[yardstick])
    print(
        f"start-up (exec to first presented frame, medians of {STARTUP_RUNS} interleaved runs): "
        f"viewer {statistics.median(times[viewer]):.0f} ms, "
        f"yardstick {statistics.median(times[yardstick]):.0f} ms, ratio {ratio:.2f} "
        f"(target <= {STARTUP_TARGET_RATIO:.2f}) {verdict(ratio <= STARTUP_TARGET_RATIO)} "
        f"(viewer {spread(times[viewer], 'ms')}; yardstick {spread(times[yardstick], 'ms')})"
    )


# ---- frame rate ---------------------------------------------------------------------------------


def frame_rate_once(args, command):
    """Frames per second printed by one round of command: the figure before "frames/s"."""
    done = subprocess.run(command, cwd=args.root, capture_output=True, text=True, timeout=120)
    words = done.stdout.split()
    if done.returncode != 0 or "frames/s" not in words:
        raise RuntimeError(f"{command[0]} printed no frame rate: {done.stderr!r}")
    return float(words[words.index("frames/s") - 1])


def bench_framerate(args):
    """Unpaced frame rate: the viewer's scene through the real device (tavenor_frame_rate)
    against the yardstick's rate mode, medians of FRAME_RATE_ROUNDS interleaved rounds; with
    --older, that build's tavenor_frame_rate takes its turn in the same rounds."""
    viewers = [(build.frame_rate, args.root) for _, build in builds(args)]
    yardstick = (args.build.yardstick, "rate")
    programs = viewers + [yardstick]
    rates = interleaved(FRAME_RATE_ROUNDS, programs, lambda c: frame_rate_once(args, c))
    median = {program: statistics.median(figures) for program, figures in rates.items()}
    viewer, ratio = viewers[0], median[viewers[0]] / median[yardstick]
    older = viewers[-1]
    beside = (
        f"; older build {median[older]:.0f} frames/s ({spread(rates[older], 'frames/s')}), "
        f"this/older {median[viewer] / median[older]:.2f}"
    )
    print(
        f"frame rate (unpaced, medians of {FRAME_RATE_ROUNDS} interleaved rounds): "
        f"viewer {median[viewer]:.0f} frames/s, yardstick {median[yardstick]:.0f} frames/s, "
        f"ratio {100 * ratio:.0f} % (target >= {100 * FRAME_RATE_TARGET_RATIO:.0f} %) "
        f"{verdict(ratio >= FRAME_RATE_TARGET_RATIO)} "
        f"(viewer {spread(rates[viewer], 'frames/s')}; "
        f"yardstick {spread(rates[yardstick], 'frames/s')}){beside if args.older else ''}"
    )


# ---- idle ---------------------------------------------------------------------------------------


def idle_once(args, viewer):
    """(% of one core, presents/s) of viewer over IDLE_WINDOW_S with no input."""
    with Counted(args, (viewer,)) as run:
        run.program.wait_window()
        time.sleep(1.0)  # let start-up work and the first frames pass
        before = run.sample()
        time.sleep(IDLE_WINDOW_S)
        return Counted.rates(before, run.sample())


def bench_idle(args):
    """Idle: CPU time of the viewer over IDLE_WINDOW_S with no input, as % of one core, and its
    presents in that time; medians of IDLE_ROUNDS runs, interleaved with the older build's when
    given."""
    viewers = [build.viewer for _, build in builds(args)]
    runs = interleaved(IDLE_ROUNDS, viewers, lambda v: idle_once(args, v))
    percent = [statistics.median(p for p, _ in runs[v]) for v in viewers]
    presents = [max(r for _, r in runs[v]) for v in viewers]
    beside = f"; older build {percent[-1]:.2f} %, up to {presents[-1]:.1f} presents/s"
    print(
        f"idle CPU (no input, {IDLE_WINDOW_S:.0f} s, median of {IDLE_ROUNDS} runs): "
        f"{percent[0]:.2f} % of one core, up to {presents[0]:.1f} presents/s "
        f"(target <= {IDLE_TARGET_PERCENT:.0f} %, 0 presents/s) "
        f"{verdict(percent[0] <= IDLE_TARGET_PERCENT and presents[0] == 0)}"
        f"{beside if args.older else ''}"
    )


# ---- latency ------------------------------------------------------------------------------------


def latency_once(args, command, title):
    """tavenor_latency's figures for command's window ({name: [values]}: "single" and "ages" in
    ms, "unknown"), with "cpu" (% of one core) and "presents" (per second) over its stream."""
    with Counted(args, command) as run:
        window = run.program.wait_window(title)
        harness.settled_screenshot(window, timeout=20.0)
        figures = {}
        tool = [args.build.latency, str(window.wid)]
        with subprocess.Popen(tool, stdout=subprocess.PIPE, text=True) as latency:
            for line in latency.stdout:
                name, *values = line.split()
                if name == "stream-begin":
                    begin = run.sample()
                elif name == "stream-end":
                    cpu, presents = Counted.rates(begin, run.sample())
                    figures.update(cpu=[cpu], presents=[presents])
                else:
                    figures[name] = [float(value) for value in values]
        if latency.returncode != 0:
            raise RuntimeError(f"tavenor_latency failed against {command[0]}")
        return figures


def pooled(rounds):
    """The rounds' figures, each name's values from every round in one list."""
    return {name: sum((figures[name] for figures in rounds), []) for name in rounds[0]}


def p90(values):
    return statistics.quantiles(values, n=10)[-1]


def latency_figures(name, figures):
    """One line of a program's figures."""
    single, ages = figures["single"], figures["ages"]
    print(
        f"latency, {name}: single moves median {statistics.median(single):.1f}, "
        f"p90 {p90(single):.1f}, max {max(single):.1f} ms; 125 Hz stream: up to "
        f"{max(figures['presents']):.1f} presents/s, newest input shown "
        f"median {statistics.median(ages):.1f}, p90 {p90(ages):.1f} ms old "
        f"({sum(figures['unknown']):.0f} pictures of no position), "
        f"{statistics.median(figures['cpu']):.1f} % of one core"
    )


def bench_latency(args):
    """Input-to-picture latency (tavenor_latency) of the viewer, the older build's when given, and
    the yardstick's follow mode, the floor, in LATENCY_ROUNDS interleaved rounds: single moves,
    then a 125 Hz stream of moves during which CPU and presents are counted. The stream is the
    drag whose CPU is compared."""
    programs = [(name, (build.viewer,), harness.VIEWER_TITLE) for name, build in builds(args)]
    programs.append(("yardstick", (args.build.yardstick, "follow"), YARDSTICK_TITLE))
    rounds = interleaved(LATENCY_ROUNDS, programs, lambda p: latency_once(args, *p[1:]))
    figures = {program[0]: pooled(rounds[program]) for program in programs}
    for name in figures:
        latency_figures(name, figures[name])
    viewer, floor = figures["this build"], figures["yardstick"]
    median, spike = statistics.median(viewer["single"]), p90(viewer["single"])
    median_target = statistics.median(floor["single"]) + SINGLE_MEDIAN_MARGIN_MS
    p90_target = p90(floor["single"]) + SINGLE_P90_MARGIN_MS
    print(
        f"latency, single moves: viewer median {median:.1f} ms (target <= {median_target:.1f}, the "
        f"yardstick's + {SINGLE_MEDIAN_MARGIN_MS:.0f}), p90 {spike:.1f} ms (target <= "
        f"{p90_target:.1f}, the yardstick's + {SINGLE_P90_MARGIN_MS:.0f}) "
        f"{verdict(median <= median_target and spike <= p90_target)}"
    )
    # One present more than the pacing allows is the stream's ends cutting a period.
    presents = max(viewer["presents"])
    print(
        f"latency, 125 Hz stream: viewer up to {presents:.1f} presents/s (target <= {PACED_RATE}, "
        f"the device's pacing) {verdict(presents <= PACED_RATE + 1 / STREAM_S)}"
    )
    age = statistics.median(viewer["ages"])
    print(
        f"latency, 125 Hz stream: newest input shown median {age:.1f} ms old "
        f"(target <= {STREAM_AGE_TARGET_MS}) {verdict(age <= STREAM_AGE_TARGET_MS)}"
    )
    cpu = statistics.median(viewer["cpu"])
    line = f"drag CPU (the streams' left drags, median): viewer {cpu:.1f} % of one core"
    if args.older:
        older = statistics.median(figures["older build"]["cpu"])
        line += (
            f", older build {older:.1f} % (target <= older + {DRAG_CPU_MARGIN:.0f}) "
            f"{verdict(cpu <= older + DRAG_CPU_MARGIN)}"
        )
    print(f"{line}; yardstick {statistics.median(floor['cpu']):.1f} %")


# ---- memory -------------------------------------------------------------------------------------


def peak_kib(args, command, title):
    """Peak resident memory (VmHWM) of command after start-up and a left, a right and a middle
    drag."""
    run = Program(args, command)
    try:
        window = run.wait_window(title)
        harness.settled_screenshot(window, timeout=20.0)
        window.drag(1, (300, 150), (420, 190), steps=30)
        window.drag(3, (300, 150), (360, 120), steps=30)
        window.drag(2, (300, 150), (300, 120), steps=30)
        harness.settled_screenshot(window)
        return run.memory_kib("VmHWM")
    finally:
        run.stop()


def bench_memory(args):
    """Peak resident memory (VmHWM) of the viewer against the yardstick's follow mode, after the
    same drags."""
    viewer = peak_kib(args, (args.build.viewer,), harness.VIEWER_TITLE) / 1024
    follow = (args.build.yardstick, "follow")
    yardstick = peak_kib(args, follow, YARDSTICK_TITLE) / 1024
    extra = viewer - yardstick
    print(
        f"peak resident memory (VmHWM, after start and drags): viewer {viewer:.1f} MiB, "
        f"yardstick {yardstick:.1f} MiB, difference {extra:+.1f} MiB "
        f"(target <= +{MEMORY_TARGET_EXTRA_MIB:.0f} MiB) "
        f"{verdict(extra <= MEMORY_TARGET_EXTRA_MIB)}"
    )


# ---- soak ---------------------------------------------------------------------------------------


def soak_samples(args, run, window):
    """(seconds, VmRSS, VmHWM) for args.seconds, read before each soak drag, a drag a second; the
    memory printed each minute."""
    samples, began = [], time.monotonic()
    while (now := time.monotonic()) - began < args.seconds:
        if run.poll() is not None:
            raise RuntimeError(f"the viewer ended during the soak: {run.stderr_text()!r}")
        samples.append((now - began, run.memory_kib("VmRSS"), run.memory_kib("VmHWM")))
        if len(samples) % 60 == 1:
            print(f"{now - began:6.0f} s  resident {samples[-1][1]} KiB  peak {samples[-1][2]} KiB",
                  flush=True)
        window.drag(*SOAK_DRAGS[len(samples) % len(SOAK_DRAGS)], steps=6)
        time.sleep(max(0.0, began + len(samples) - time.monotonic()))
    return samples


def bench_soak(args):
    """Soak: continuous drawing under a drag a second; after the warm-up, peak resident memory may
    rise by at most SOAK_GROWTH_LIMIT_KIB, and the viewer must close with status 0."""
    run = Program(args, (args.build.viewer,))
    try:
        window = run.wait_window()
        samples = soak_samples(args, run, window)
        harness.run_tool("wmctrl", "-i", "-c", hex(window.wid))
        status = run.wait_exit(5.0)
    finally:
        run.stop()
    warm = max(hwm for t, _, hwm in samples if t <= args.warmup)
    growth = samples[-1][2] - warm
    rises = [t for (t, _, hwm), (_, _, before) in zip(samples[1:], samples) if hwm > before]
    met = growth <= SOAK_GROWTH_LIMIT_KIB and status == 0
    print(f"soak: {samples[-1][0]:.0f} s; peak resident {warm} KiB after the {args.warmup:.0f} s "
          f"warm-up, {samples[-1][2]} KiB at the end: growth {growth} KiB, last rise at "
          f"{rises[-1] if rises else 0:.0f} s; exit status {status} (target: growth <= "
          f"{SOAK_GROWTH_LIMIT_KIB} KiB, status 0) {verdict(met)}")
    return met


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", required=True, help="the build directory measured")
    parser.add_argument("--root", required=True, help="the repository root (holds leopard.jpg)")
    parser.add_argument("--older", help="an older build directory, measured beside this one")
    parser.add_argument("--seconds", type=float, default=600, help="soak: how long")
    parser.add_argument("--warmup", type=float, default=300, help="soak: the warm-up")
    benches = {
        "startup": bench_startup,
        "framerate": bench_framerate,
        "idle": bench_idle,
        "latency": bench_latency,
        "memory": bench_memory,
        "soak": bench_soak,
    }
    parser.add_argument("what", choices=benches)
    args = parser.parse_args()
    args.root = os.path.abspath(args.root)
    args.build = Build(args.build)
    args.older = Build(args.older) if args.older else None
    return 1 if benches[args.what](args) is False else 0


if __name__ == "__main__":
    sys.exit(main())
