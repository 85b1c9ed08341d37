"""Whole-program benchmarks of the real viewer: start-up time, idle CPU use and peak memory.

Each prints one line with its figure and target. Runs inside a private X server with a window
manager (bench/program/run-all starts one); the program is started from a throw-away directory
with leopard.jpg in its parent, as from a build directory. Not run by the tests.
Usage: program_bench.py --program build/tavenor --root . [--probe lib.so] startup|idle|memory
"""

import argparse
import os
import statistics
import struct
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tests", "e2e"))
import harness  # noqa: E402

STARTUP_RUNS = 10
STARTUP_TARGET_MS = 120.0
IDLE_WINDOW_S = 5.0
IDLE_TARGET_PERCENT = 5.0
MEMORY_TARGET_MB = 90.0


def verdict(met):
    """PASS or MISS, for the end of a figure's line."""
    return "PASS" if met else "MISS"


def start_viewer(args, layout, env=None):
    """Starts the viewer in layout's app/ directory with the texture in the parent."""
    layout.put_texture(os.path.join(args.root, harness.TEXTURE_NAME))
    return harness.Program(args.program, layout.app, env=env)


def startup_once(args):
    """Milliseconds from just before exec to the end of the first present, via the probe."""
    layout = harness.Layout()
    out = os.path.join(layout.top, "probe.txt")
    layout.put_texture(os.path.join(args.root, harness.TEXTURE_NAME))
    env = {
        "LD_PRELOAD": args.probe,
        "TAVENOR_PROBE_OUT": out,
        "TAVENOR_PROBE_EXIT": "1",
        "TAVENOR_PROBE_START_NS": str(time.monotonic_ns()),
    }
    program = harness.Program(args.program, layout.app, env=env)
    try:
        if program.wait_exit(20.0) is None or not os.path.exists(out):
            raise harness.HarnessError(f"no frame was presented; stderr: {program.stderr()!r}")
        return read_probe(out)["first_frame_ns"][0] / 1e6
    finally:
        program.stop()
        layout.remove()


def bench_startup(args):
    """Start-up: exec to first presented frame, median of STARTUP_RUNS runs."""
    if not args.probe:
        sys.exit("startup needs --probe (build/bench/program/libtavenor_swap_probe.so)")
    times = [startup_once(args) for _ in range(STARTUP_RUNS)]
    median = statistics.median(times)
    print(
        f"start-up (exec to first presented frame): median {median:.1f} ms, "
        f"min {min(times):.1f} ms, max {max(times):.1f} ms over {len(times)} runs "
        f"(target <= {STARTUP_TARGET_MS:.0f} ms) {verdict(median <= STARTUP_TARGET_MS)}"
    )


def read_probe(path):
    """The probe's report as {name: [int values]}."""
    values = {}
    with open(path) as report:
        for line in report:
            name, *numbers = line.split()
            values[name] = [int(n) for n in numbers]
    return values


def read_counter(path):
    """The number of presents the probe has counted so far."""
    with open(path, "rb") as counter:
        return struct.unpack("<q", counter.read(8))[0]


def bench_idle(args):
    """Idle: CPU time of the program over IDLE_WINDOW_S with no input, as % of one core; with
    the probe, also the number of presents in that time."""
    layout = harness.Layout()
    counter = os.path.join(layout.top, "presents")
    env = {"LD_PRELOAD": args.probe, "TAVENOR_PROBE_COUNTER": counter} if args.probe else None
    program = start_viewer(args, layout, env)
    try:
        program.wait_window()
        time.sleep(1.0)  # let start-up work and the first frames pass
        presents0 = read_counter(counter) if args.probe else 0
        cpu0, t0 = program.cpu_seconds(), time.monotonic()
        time.sleep(IDLE_WINDOW_S)
        cpu1, t1 = program.cpu_seconds(), time.monotonic()
        percent = 100.0 * (cpu1 - cpu0) / (t1 - t0)
        rate = ""
        if args.probe:
            rate = f", {(read_counter(counter) - presents0) / (t1 - t0):.1f} presents/s"
        print(
            f"idle CPU (no input, {t1 - t0:.1f} s): {percent:.1f} % of one core{rate} "
            f"(target <= {IDLE_TARGET_PERCENT:.0f} %) {verdict(percent <= IDLE_TARGET_PERCENT)}"
        )
    finally:
        program.stop()
        layout.remove()


def bench_memory(args):
    """Peak resident memory (VmHWM) after start-up and a left, a right and a middle drag."""
    layout = harness.Layout()
    program = start_viewer(args, layout)
    try:
        window = program.wait_window()
        harness.first_picture(window)
        window.drag(1, (300, 150), (420, 190), steps=30)
        window.drag(3, (300, 150), (360, 120), steps=30)
        window.drag(2, (300, 150), (300, 120), steps=30)
        harness.settled_screenshot(window)
        kib = program.memory_kb("VmHWM")
        mb = kib * 1024 / 1e6
        print(
            f"peak resident memory (VmHWM after start and drags): {mb:.1f} MB "
            f"({kib / 1024:.1f} MiB) (target <= {MEMORY_TARGET_MB:.0f} MB) "
            f"{verdict(mb <= MEMORY_TARGET_MB)}"
        )
    finally:
        program.stop()
        layout.remove()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--program", required=True, help="the built viewer")
    parser.add_argument("--root", required=True, help="the repository root (holds leopard.jpg)")
    parser.add_argument("--probe", help="the frame probe library (needed by startup)")
    parser.add_argument("what", choices=["startup", "idle", "memory"])
    args = parser.parse_args()
    args.program = os.path.abspath(args.program)
    if args.probe:
        args.probe = os.path.abspath(args.probe)
    {"startup": bench_startup, "idle": bench_idle, "memory": bench_memory}[args.what](args)


if __name__ == "__main__":
    main()
