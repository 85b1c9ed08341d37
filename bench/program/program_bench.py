"""Whole-program benchmarks of the real viewer against its yardstick (tavenor_yardstick: the same
picture from a hand-written SDL2 + OpenGL program): the two pictures compared, start-up time, the
unpaced frame rate, CPU use idle and during a drag, and peak memory.

Each prints one line with its figures and, where there is one, its target and verdict. Rounds of
the programs compared are interleaved, each going first in turn. Given an older build (--older),
framerate and idle also print that build's figures from the same rounds beside this build's.
Runs inside a private X server with a window manager (bench/program/run-all starts one); programs
are started from a throw-away directory with leopard.jpg in its parent, as from a build directory.
Not run by the tests.
Usage: program_bench.py --build build --root . [--older old-build]
       picture|startup|framerate|idle|drag|memory
"""

import argparse
import math
import os
import re
import statistics
import struct
import sys
import time

from viewer import Layout, Viewer, harness

YARDSTICK_TITLE = "Tavenor yardstick"
PICTURE_TOLERANCE = 3  # of 255, in any channel
STARTUP_RUNS = 10
STARTUP_TARGET_RATIO = 1.10
FRAME_RATE_ROUNDS = 5
FRAME_RATE_TARGET_RATIO = 0.95
IDLE_ROUNDS = 3
IDLE_WINDOW_S = 5.0
IDLE_TARGET_PERCENT = 1.0
DRAG_MOVES = 250
DRAG_MOVES_PER_S = 50.0
DRAG_RADIUS = 80
MEMORY_FRAMES = 100  # the yardstick's frames, each in a new pose, before its peak is read
MEMORY_TARGET_EXTRA_MIB = 4.0


class Build:
    """The programs of one build directory that the benchmarks run."""

    def __init__(self, directory):
        directory = os.path.abspath(directory)
        self.viewer = os.path.join(directory, "tavenor")
        self.frame_rate = os.path.join(directory, "bench/program/tavenor_frame_rate")
        self.yardstick = os.path.join(directory, "bench/program/tavenor_yardstick")
        self.probe = os.path.join(directory, "bench/program/libtavenor_swap_probe.so")


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


def start(args, program, arguments=(), env=None):
    """Starts program in a fresh layout's app/ directory with the texture in the parent; returns
    it with the layout, which the caller removes."""
    layout = Layout()
    layout.put_texture(args.root)
    return Viewer(program, layout.app, env=env, arguments=arguments), layout


def run_to_end(args, program, arguments=(), timeout=120.0):
    """Runs program to its end as start() starts it; its stdout, or an error naming its stderr."""
    run, layout = start(args, program, arguments)
    try:
        if run.wait_exit(timeout) != 0:
            raise RuntimeError(f"{program} failed: {run.stderr_text()!r}")
        return run.stdout_text()
    finally:
        run.stop()
        layout.remove()


# ---- picture -----------------------------------------------------------------------------------


def first_picture(args, program, arguments, title):
    """The first settled picture of program's window titled title."""
    run, layout = start(args, program, arguments)
    try:
        return harness.settled_screenshot(run.wait_window(title), timeout=20.0)
    finally:
        run.stop()
        layout.remove()


def write_ppm(path, image, pixels=None):
    with open(path, "wb") as out:
        out.write(b"P6 %d %d 255\n" % (image.width, image.height) + (pixels or image.pixels))


def bench_picture(args):
    """The viewer's first picture against the yardstick's, screenshot in the same X server: how
    many pixels differ by more than PICTURE_TOLERANCE in any channel, and the largest
    difference. With --save, writes both pictures and the differing pixels (black) there."""
    viewer = first_picture(args, args.build.viewer, (), harness.VIEWER_TITLE)
    yardstick = first_picture(args, args.build.yardstick, ("show",), YARDSTICK_TITLE)
    if (viewer.width, viewer.height) != (yardstick.width, yardstick.height):
        sys.exit(f"picture sizes differ: {viewer[:2]} against {yardstick[:2]}")
    differences = [abs(a - b) for a, b in zip(viewer.pixels, yardstick.pixels)]
    pixel_differences = [max(differences[i : i + 3]) for i in range(0, len(differences), 3)]
    differing = sum(d > PICTURE_TOLERANCE for d in pixel_differences)
    print(
        f"picture (viewer's first against the yardstick's, {len(pixel_differences)} pixels): "
        f"{differing} differ by more than {PICTURE_TOLERANCE}/255 in a channel, "
        f"largest difference {max(pixel_differences)}/255"
    )
    if args.save:
        os.makedirs(args.save, exist_ok=True)
        write_ppm(os.path.join(args.save, "viewer.ppm"), viewer)
        write_ppm(os.path.join(args.save, "yardstick.ppm"), yardstick)
        marks = bytes(0 if d > PICTURE_TOLERANCE else 255 for d in pixel_differences for _ in "rgb")
        write_ppm(os.path.join(args.save, "differing.ppm"), viewer, marks)


# ---- start-up ----------------------------------------------------------------------------------


def read_probe(path):
    """The probe's report as {name: [int values]}."""
    values = {}
    with open(path) as report:
        for line in report:
            name, *numbers = line.split()
            values[name] = [int(n) for n in numbers]
    return values


def startup_once(args, command):
    """Milliseconds from just before exec of command (program, *arguments) to the end of its
    first present, via the probe."""
    layout = Layout()
    out = os.path.join(layout.top, "probe.txt")
    layout.put_texture(args.root)
    env = {
        "LD_PRELOAD": args.build.probe,
        "TAVENOR_PROBE_OUT": out,
        "TAVENOR_PROBE_EXIT": "1",
        "TAVENOR_PROBE_START_NS": str(time.monotonic_ns()),
    }
    run = Viewer(command[0], layout.app, env=env, arguments=command[1:])
    try:
        if run.wait_exit(20.0) is None or not os.path.exists(out):
            raise RuntimeError(f"no frame was presented; stderr: {run.stderr_text()!r}")
        return read_probe(out)["first_frame_ns"][0] / 1e6
    finally:
        run.stop()
        layout.remove()


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


# ---- frame rate --------------------------------------------------------------------------------


def frame_rate_once(args, command):
    """Frames per second printed by one round of command: the first figure before "frames/s"
    (builds before the yardstick printed a clear + present rate after it)."""
    text = run_to_end(args, command[0], command[1:])
    found = re.search(r"([0-9.]+) frames/s", text)
    if not found:
        raise RuntimeError(f"{command[0]} printed no frame rate: {text!r}")
    return float(found[1])


def bench_framerate(args):
    """Unpaced frame rate: the viewer's scene through the real device (tavenor_frame_rate)
    against the yardstick's rate mode, medians of FRAME_RATE_ROUNDS interleaved rounds; with
    --older, that build's tavenor_frame_rate takes its turn in the same rounds."""
    viewer = (args.build.frame_rate, args.root)
    yardstick = (args.build.yardstick, "rate")
    programs = [viewer, yardstick] + ([(args.older.frame_rate, args.root)] if args.older else [])
    rates = interleaved(FRAME_RATE_ROUNDS, programs, lambda c: frame_rate_once(args, c))
    medians = {program: statistics.median(rates[program]) for program in programs}
    ratio = medians[viewer] / medians[yardstick]
    print(
        f"frame rate (unpaced, medians of {FRAME_RATE_ROUNDS} interleaved rounds): "
        f"viewer {medians[viewer]:.0f} frames/s, yardstick {medians[yardstick]:.0f} frames/s, "
        f"ratio {100 * ratio:.0f} % (target >= {100 * FRAME_RATE_TARGET_RATIO:.0f} %) "
        f"{verdict(ratio >= FRAME_RATE_TARGET_RATIO)} "
        f"(viewer {spread(rates[viewer], 'frames/s')}; "
        f"yardstick {spread(rates[yardstick], 'frames/s')})"
    )
    if args.older:
        older = programs[2]
        print(
            f"frame rate of the builds (unpaced, same rounds): this build {medians[viewer]:.0f} "
            f"frames/s, older build {medians[older]:.0f} frames/s, "
            f"this/older {medians[viewer] / medians[older]:.2f} "
            f"(this {spread(rates[viewer], 'frames/s')}; older {spread(rates[older], 'frames/s')})"
        )


# ---- CPU ---------------------------------------------------------------------------------------


def read_counter(path):
    """The number of presents the probe has counted so far."""
    with open(path, "rb") as counter:
        return struct.unpack("<q", counter.read(8))[0]


def cpu_during(program, counter, action):
    """Runs action and returns its seconds, the program's CPU use meanwhile as % of one core, and
    its presents per second (counted by the probe)."""
    presents0 = read_counter(counter)
    cpu0, t0 = program.cpu_seconds(), time.monotonic()
    action()
    cpu1, t1 = program.cpu_seconds(), time.monotonic()
    seconds = t1 - t0
    return seconds, 100.0 * (cpu1 - cpu0) / seconds, (read_counter(counter) - presents0) / seconds


def start_counted(args, viewer):
    """The viewer started with the probe counting its presents; (program, layout, counter)."""
    layout = Layout()
    layout.put_texture(args.root)
    counter = os.path.join(layout.top, "presents")
    env = {"LD_PRELOAD": args.build.probe, "TAVENOR_PROBE_COUNTER": counter}
    return Viewer(viewer, layout.app, env=env), layout, counter


def idle_once(args, viewer):
    """(% of one core, presents/s) of viewer over IDLE_WINDOW_S with no input."""
    program, layout, counter = start_counted(args, viewer)
    try:
        program.wait_window()
        time.sleep(1.0)  # let start-up work and the first frames pass
        _, percent, presents = cpu_during(program, counter, lambda: time.sleep(IDLE_WINDOW_S))
        return percent, presents
    finally:
        program.stop()
        layout.remove()


def bench_idle(args):
    """Idle: CPU time of the paced viewer over IDLE_WINDOW_S with no input, as % of one core, and
    its presents in that time; medians of IDLE_ROUNDS runs, interleaved with the older build's
    when given."""
    viewers = [args.build.viewer] + ([args.older.viewer] if args.older else [])
    runs = interleaved(IDLE_ROUNDS, viewers, lambda v: idle_once(args, v))
    percent = {v: statistics.median(p for p, _ in runs[v]) for v in viewers}
    presents = {v: statistics.median(r for _, r in runs[v]) for v in viewers}
    viewer = args.build.viewer
    print(
        f"idle CPU (no input, {IDLE_WINDOW_S:.0f} s, median of {IDLE_ROUNDS} runs): "
        f"{percent[viewer]:.2f} % of one core, {presents[viewer]:.1f} presents/s "
        f"(target <= {IDLE_TARGET_PERCENT:.0f} %) {verdict(percent[viewer] <= IDLE_TARGET_PERCENT)}"
    )
    if args.older:
        older = args.older.viewer
        print(
            f"idle CPU of the builds (same runs): this build {percent[viewer]:.2f} %, "
            f"{presents[viewer]:.1f} presents/s; older build {percent[older]:.2f} %, "
            f"{presents[older]:.1f} presents/s"
        )


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


def yardstick_paced(args, frames, rate):
    """{name: figure} of the yardstick's paced mode: frames, seconds, cpu_seconds, vmhwm_kib."""
    words = run_to_end(args, args.build.yardstick, ("paced", str(frames), str(rate))).split()
    return {name: float(value) for name, value in zip(words[::2], words[1::2])}


def bench_drag(args):
    """Drag: CPU time of the viewer while xdotool drags with the left button, as % of one core,
    over DRAG_MOVES moves at about DRAG_MOVES_PER_S a second, and its presents in that time;
    beside it the yardstick's CPU for DRAG_MOVES frames at DRAG_MOVES_PER_S, each in a new pose."""
    program, layout, counter = start_counted(args, args.build.viewer)
    try:
        window = program.wait_window()
        harness.settled_screenshot(window, timeout=20.0)
        seconds, percent, presents = cpu_during(
            program, counter, lambda: harness.run_tool("xdotool", *drag_moves(window))
        )
    finally:
        program.stop()
        layout.remove()
    paced = yardstick_paced(args, DRAG_MOVES, DRAG_MOVES_PER_S)
    yardstick = 100.0 * paced["cpu_seconds"] / paced["seconds"]
    print(
        f"drag CPU (left drag, {DRAG_MOVES} moves in {seconds:.1f} s, "
        f"{DRAG_MOVES / seconds:.0f} moves/s): viewer {percent:.1f} % of one core, "
        f"{presents:.1f} presents/s; yardstick, {DRAG_MOVES} frames at {DRAG_MOVES_PER_S:.0f}/s: "
        f"{yardstick:.1f} % of one core; viewer/yardstick {percent / yardstick:.1f}"
    )


# ---- memory ------------------------------------------------------------------------------------


def viewer_peak_kib(args):
    """The viewer's peak resident memory (VmHWM) after start-up and a left, a right and a middle
    drag."""
    program, layout = start(args, args.build.viewer)
    try:
        window = program.wait_window()
        harness.settled_screenshot(window, timeout=20.0)
        window.drag(1, (300, 150), (420, 190), steps=30)
        window.drag(3, (300, 150), (360, 120), steps=30)
        window.drag(2, (300, 150), (300, 120), steps=30)
        harness.settled_screenshot(window)
        return program.memory_kb("VmHWM")
    finally:
        program.stop()
        layout.remove()


def bench_memory(args):
    """Peak resident memory (VmHWM) of the viewer after start-up and drags against the
    yardstick's after MEMORY_FRAMES frames in changing poses."""
    viewer = viewer_peak_kib(args) / 1024
    yardstick = yardstick_paced(args, MEMORY_FRAMES, DRAG_MOVES_PER_S)["vmhwm_kib"] / 1024
    extra = viewer - yardstick
    print(
        f"peak resident memory (VmHWM): viewer {viewer:.1f} MiB after start and drags, "
        f"yardstick {yardstick:.1f} MiB after {MEMORY_FRAMES} frames, "
        f"difference {extra:+.1f} MiB (target <= +{MEMORY_TARGET_EXTRA_MIB:.0f} MiB) "
        f"{verdict(extra <= MEMORY_TARGET_EXTRA_MIB)}"
    )


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", required=True, help="the build directory measured")
    parser.add_argument("--root", required=True, help="the repository root (holds leopard.jpg)")
    parser.add_argument("--older", help="an older build directory, compared by framerate and idle")
    parser.add_argument("--save", help="picture: a folder for both pictures and their difference")
    parser.add_argument(
        "what", choices=["picture", "startup", "framerate", "idle", "drag", "memory"]
    )
    args = parser.parse_args()
    args.root = os.path.abspath(args.root)
    args.build = Build(args.build)
    args.older = Build(args.older) if args.older else None
    benches = {
        "picture": bench_picture,
        "startup": bench_startup,
        "framerate": bench_framerate,
        "idle": bench_idle,
        "drag": bench_drag,
        "memory": bench_memory,
    }
    benches[args.what](args)


if __name__ == "__main__":
    main()
