"""Whole-program benchmarks of the real viewer: start-up time against a bare window, CPU use idle
and during a drag, and peak memory.

Each prints one line with its figures and target. Runs inside a private X server with a window
manager (bench/program/run-all starts one); the program is started from a throw-away directory
with leopard.jpg in its parent, as from a build directory. Not run by the tests.
Usage: program_bench.py --program build/tavenor --root . [--probe lib.so] [--bare prog]
       startup|idle|drag|memory
"""

import argparse
import math
import os
import statistics
import struct
import sys
import time

from viewer import Layout, Viewer, harness

STARTUP_RUNS = 10
STARTUP_TARGET_RATIO = 1.15
IDLE_WINDOW_S = 5.0
IDLE_TARGET_PERCENT = 5.0
DRAG_MOVES = 250
DRAG_MOVES_PER_S = 50.0
DRAG_RADIUS = 80
MEMORY_TARGET_MB = 90.0


def verdict(met):
    """PASS or MISS, for the end of a figure's line."""
    return "PASS" if met else "MISS"


def start_viewer(args, layout, env=None):
    """Starts the viewer in layout's app/ directory with the texture in the parent."""
    layout.put_texture(args.root)
    return Viewer(args.program, layout.app, env=env)


def startup_once(args, program):
    """Milliseconds from just before exec of program to the end of its first present, via the
    probe."""
    layout = Layout()
    out = os.path.join(layout.top, "probe.txt")
    layout.put_texture(args.root)
    env = {
        "LD_PRELOAD": args.probe,
        "TAVENOR_PROBE_OUT": out,
        "TAVENOR_PROBE_EXIT": "1",
        "TAVENOR_PROBE_START_NS": str(time.monotonic_ns()),
    }
    run = Viewer(program, layout.app, env=env)
    try:
        if run.wait_exit(20.0) is None or not os.path.exists(out):
            raise RuntimeError(f"no frame was presented; stderr: {run.stderr_text()!r}")
        return read_probe(out)["first_frame_ns"][0] / 1e6
    finally:
        run.stop()
        layout.remove()


def bench_startup(args):
    """Start-up: exec to first presented frame of the viewer and of the bare window, runs of the
    two interleaved (each goes first in turn), medians of STARTUP_RUNS runs each."""
    if not args.probe or not args.bare:
        sys.exit("startup needs --probe (the frame probe) and --bare (tavenor_bare_window)")
    times = {args.program: [], args.bare: []}
    for run in range(STARTUP_RUNS):
        order = [args.program, args.bare]
        for program in order if run % 2 == 0 else reversed(order):
            times[program].append(startup_once(args, program))
    viewer = statistics.median(times[args.program])
    bare = statistics.median(times[args.bare])
    ratio = viewer / bare
    spread = "; ".join(
        f"{name} min {min(runs):.0f}, max {max(runs):.0f}"
        for name, runs in (("viewer", times[args.program]), ("bare", times[args.bare]))
    )
    print(
        f"start-up (exec to first presented frame, {STARTUP_RUNS} runs each): "
        f"viewer median {viewer:.0f} ms, bare window median {bare:.0f} ms, ratio {ratio:.2f} "
        f"(target <= {STARTUP_TARGET_RATIO:.2f}) {verdict(ratio <= STARTUP_TARGET_RATIO)} "
        f"({spread} ms)"
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


def cpu_during(args, program, counter, action):
    """Runs action and returns its seconds, the program's CPU use meanwhile as % of one core, and
    (with the probe) its presents per second as text to append."""
    presents0 = read_counter(counter) if args.probe else 0
    cpu0, t0 = program.cpu_seconds(), time.monotonic()
    action()
    cpu1, t1 = program.cpu_seconds(), time.monotonic()
    rate = ""
    if args.probe:
        rate = f", {(read_counter(counter) - presents0) / (t1 - t0):.1f} presents/s"
    return t1 - t0, 100.0 * (cpu1 - cpu0) / (t1 - t0), rate


def bench_idle(args):
    """Idle: CPU time of the program over IDLE_WINDOW_S with no input, as % of one core; with
    the probe, also the number of presents in that time."""
    layout = Layout()
    counter = os.path.join(layout.top, "presents")
    env = {"LD_PRELOAD": args.probe, "TAVENOR_PROBE_COUNTER": counter} if args.probe else None
    program = start_viewer(args, layout, env)
    try:
        program.wait_window()
        time.sleep(1.0)  # let start-up work and the first frames pass
        seconds, percent, rate = cpu_during(
            args, program, counter, lambda: time.sleep(IDLE_WINDOW_S)
        )
        print(
            f"idle CPU (no input, {seconds:.1f} s): {percent:.1f} % of one core{rate} "
            f"(target <= {IDLE_TARGET_PERCENT:.0f} %) {verdict(percent <= IDLE_TARGET_PERCENT)}"
        )
    finally:
        program.stop()
        layout.remove()


def bench_memory(args):
    """Peak resident memory (VmHWM) after start-up and a left, a right and a middle drag."""
    layout = Layout()
    program = start_viewer(args, layout)
    try:
        window = program.wait_window()
        harness.settled_screenshot(window, timeout=20.0)
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


def drag_moves(window):
    """xdotool arguments for a left drag: press at the centre, then DRAG_MOVES moves round a
    circle about it, DRAG_MOVES_PER_S a second, and release."""
    centre = (300, 150)
    args = ["mousemove", "--window", window.wid, *centre, "mousedown", 1]
    for i in range(1, DRAG_MOVES + 1):
        angle = 2 * math.pi * i / 100
        x = round(centre[0] + DRAG_RADIUS * math.cos(angle))
        y = round(centre[1] + DRAG_RADIUS / 2 * math.sin(angle))
        args += ["sleep", 1 / DRAG_MOVES_PER_S, "mousemove", "--window", window.wid, x, y]
    return args + ["mouseup", 1]


def bench_drag(args):
    """Drag: CPU time of the program while xdotool drags with the left button, as % of one
    core, over DRAG_MOVES moves at about DRAG_MOVES_PER_S a second; with the probe, also the
    number of presents in that time."""
    layout = Layout()
    counter = os.path.join(layout.top, "presents")
    env = {"LD_PRELOAD": args.probe, "TAVENOR_PROBE_COUNTER": counter} if args.probe else None
    program = start_viewer(args, layout, env)
    try:
        window = program.wait_window()
        harness.settled_screenshot(window, timeout=20.0)
        seconds, percent, rate = cpu_during(
            args, program, counter, lambda: harness.run_tool("xdotool", *drag_moves(window))
        )
        print(
            f"drag CPU (left drag, {DRAG_MOVES} moves in {seconds:.1f} s, "
            f"{DRAG_MOVES / seconds:.0f} moves/s): {percent:.1f} % of one core{rate}"
        )
    finally:
        program.stop()
        layout.remove()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--program", required=True, help="the built viewer")
    parser.add_argument("--root", required=True, help="the repository root (holds leopard.jpg)")
    parser.add_argument("--probe", help="the frame probe library (needed by startup)")
    parser.add_argument("--bare", help="the bare window program (needed by startup)")
    parser.add_argument("what", choices=["startup", "idle", "drag", "memory"])
    args = parser.parse_args()
    args.program = os.path.abspath(args.program)
    for name in ("probe", "bare"):
        if getattr(args, name):
            setattr(args, name, os.path.abspath(getattr(args, name)))
    benches = {
        "startup": bench_startup,
        "idle": bench_idle,
        "drag": bench_drag,
        "memory": bench_memory,
    }
    benches[args.what](args)


if __name__ == "__main__":
    main()
