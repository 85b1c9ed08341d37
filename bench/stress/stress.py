"""Stress runs of the real viewer, each printing its figures and a PASS or MISS verdict:
  cycles  50 start/close cycles: each close ends the program within 1 s, status 0, stderr empty
  storm   5,000 moves in one left drag: the picture settles within 2 s and equals a fresh viewer's
          after a short drag between the same two points (a drag's turn depends on those alone)
  soak    continuous drawing under a drag a second: after the warm-up, peak resident memory rises
          by at most 1 MiB (scripts/soak runs it for 10 minutes)
Runs inside a private X server with a window manager; not run by the tests. Usage:
  scripts/with-xvfb --wm -- python3 bench/stress/stress.py --program build/tavenor --root .
      cycles|storm|soak [--seconds S --warmup S]
"""

import argparse
import os
import random
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../program"))
from viewer import Layout, Viewer, client_origin, harness  # noqa: E402

CYCLES = 50
EXIT_WITHIN_S = 1.0
STORM_MOVES = 5000
STORM_PRESS = (300, 150)  # the ball's centre
SETTLE_WITHIN_S = 2.0
GROWTH_LIMIT_KB = 1024
# Soak drags, each undone by the next so that the word stays in view: (button, from, to).
SOAK_DRAGS = [
    (1, (300, 150), (380, 170)),
    (1, (380, 170), (300, 150)),
    (3, (250, 120), (290, 100)),
    (3, (290, 100), (250, 120)),
    (2, (300, 150), (300, 120)),
    (2, (300, 120), (300, 150)),
]


def verdict(met):
    return "PASS" if met else "MISS"


class Run:
    """The viewer started as from a build directory (leopard.jpg in the parent), ended on exit."""

    def __init__(self, args):
        self.layout = Layout()
        self.layout.put_texture(args.root)
        self.program = Viewer(args.program, self.layout.app)

    def __enter__(self):
        return self.program

    def __exit__(self, *_):
        self.program.stop()
        self.layout.remove()


def close(program, window):
    """Closes the window through the window manager: (exit status or None, seconds taken)."""
    asked = time.monotonic()
    harness.run_tool("wmctrl", "-i", "-c", hex(window.wid))
    status = program.wait_exit(EXIT_WITHIN_S)
    return status, time.monotonic() - asked


def cycles(args):
    began, slowest, failures = time.monotonic(), 0.0, []
    for cycle in range(CYCLES):
        with Run(args) as program:
            status, took = close(program, program.wait_window())
            slowest = max(slowest, took)
            if status != 0 or program.stderr_text() or harness.find_windows(harness.VIEWER_TITLE):
                failures.append(f"cycle {cycle}: status {status}, stderr {program.stderr_text()!r}")
    for failure in failures:
        print(failure)
    print(f"start/close: {CYCLES} cycles in {time.monotonic() - began:.1f} s, slowest close to "
          f"exit {slowest * 1000:.0f} ms, {len(failures)} failed (target: none failed, each "
          f"<= {EXIT_WITHIN_S * 1000:.0f} ms) {verdict(not failures)}")
    return not failures


def random_walk(count, seed=STORM_MOVES):
    """count client points, each a short random step from the last, kept inside 600 x 300."""
    rng, (x, y), points = random.Random(seed), STORM_PRESS, []
    for _ in range(count):
        x = min(max(x + rng.randint(-25, 25), 0), 599)
        y = min(max(y + rng.randint(-25, 25), 0), 299)
        points.append((x, y))
    return points


def storm(args):
    points = random_walk(STORM_MOVES)
    with Run(args) as program:
        window = program.wait_window()
        first = harness.settled_screenshot(window, timeout=20.0)
        left, top = client_origin(window)
        moves = [a for x, y in points for a in ("mousemove", left + x, top + y)]
        began = time.monotonic()
        harness.run_tool("xdotool", "mousemove", left + STORM_PRESS[0], top + STORM_PRESS[1],
                         "mousedown", 1, *moves, "mouseup", 1)
        sent = time.monotonic()
        stormed = harness.settled_screenshot(window, differs_from=first, timeout=10.0)
        settled = time.monotonic() - sent
        status, took = close(program, window)
    with Run(args) as program:
        window = program.wait_window()
        fresh_first = harness.settled_screenshot(window, timeout=20.0)
        window.drag(1, STORM_PRESS, points[-1], steps=4)
        fresh = harness.settled_screenshot(window, differs_from=fresh_first)
    same = stormed.pixels == fresh.pixels
    met = settled <= SETTLE_WITHIN_S and same and status == 0 and took <= EXIT_WITHIN_S
    print(f"input storm: {STORM_MOVES} moves sent in {sent - began:.2f} s, picture settled "
          f"{settled:.2f} s later, {'same as' if same else 'DIFFERENT from'} a fresh drag's, "
          f"close to exit {took * 1000:.0f} ms with status {status} (target: settled <= "
          f"{SETTLE_WITHIN_S:.0f} s, same picture, status 0 within {EXIT_WITHIN_S:.0f} s) "
          f"{verdict(met)}")
    return met


def soak(args):
    samples, drags = [], 0
    with Run(args) as program:
        window = program.wait_window()
        began = next_drag = next_report = time.monotonic()
        while (now := time.monotonic()) - began < args.seconds:
            if program.wait_exit(0) is not None:
                print(f"the viewer ended during the soak: {program.stderr_text()!r}")
                return False
            samples.append((now - began, program.memory_kb("VmRSS"), program.memory_kb("VmHWM")))
            if now >= next_report:
                print(f"{samples[-1][0]:6.0f} s  resident {samples[-1][1]} KiB  peak "
                      f"{samples[-1][2]} KiB", flush=True)
                next_report += 60
            if now >= next_drag:
                window.drag(*SOAK_DRAGS[drags % len(SOAK_DRAGS)], steps=6)
                drags += 1
                next_drag += 1.0
            time.sleep(0.5)
        status, _ = close(program, window)
    warm = max(hwm for t, _, hwm in samples if t <= args.warmup)
    growth = samples[-1][2] - warm
    rises = [t for (t, _, hwm), (_, _, before) in zip(samples[1:], samples) if hwm > before]
    resident = [rss for t, rss, _ in samples if t > args.warmup] or [samples[-1][1]]
    met = growth <= GROWTH_LIMIT_KB and status == 0
    print(f"soak: {samples[-1][0]:.0f} s, {drags} drags; peak resident {warm} KiB after the "
          f"{args.warmup:.0f} s warm-up, {samples[-1][2]} KiB at the end: growth {growth} KiB, "
          f"last rise at {rises[-1] if rises else 0:.0f} s; resident after the warm-up "
          f"{min(resident)}..{max(resident)} KiB; exit status {status} (target: growth <= "
          f"{GROWTH_LIMIT_KB} KiB, status 0) {verdict(met)}")
    return met


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--program", required=True)
    parser.add_argument("--root", required=True)
    parser.add_argument("--seconds", type=float, default=600)
    parser.add_argument("--warmup", type=float, default=300)
    parser.add_argument("run", choices=("cycles", "storm", "soak"))
    args = parser.parse_args()
    args.program = os.path.abspath(args.program)
    return 0 if globals()[args.run](args) else 1


if __name__ == "__main__":
    sys.exit(main())
