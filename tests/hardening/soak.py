"""Soak run of the real viewer: it draws continuously while left, right and middle drags come at a
steady pace (each undone by the next, so the word stays in view), and its resident memory is read
from /proc every half second. After the warm-up, memory must stop growing: the peak resident size
may rise by at most 1 MB over the peak reached during the warm-up.

Used by test_soak.py (30 s in the suite) and scripts/soak (10 minutes). Alone, under with-xvfb --wm:
python3 soak.py --program build/tavenor --root . [--seconds 600] [--warmup 300]
"""

import argparse
import os
import shutil
import sys
import time

import hardening_case
from hardening_case import harness

GROWTH_LIMIT_KB = 1024
SAMPLE_S = 0.5
DRAG_EVERY_S = 1.0

# Each drag is undone by the next: (button, from, to).
DRAGS = [
    (1, (300, 150), (380, 170)),
    (1, (380, 170), (300, 150)),
    (3, (250, 120), (290, 100)),
    (3, (290, 100), (250, 120)),
    (2, (300, 150), (300, 120)),
    (2, (300, 120), (300, 150)),
]


class SoakResult:
    """What a soak measured: samples of (seconds, VmRSS KiB, VmHWM KiB), the warm-up end."""

    def __init__(self, samples, warmup_s, drags):
        self.samples = samples
        self.warmup_s = warmup_s
        self.drags = drags

    def peak_at_warmup_kb(self):
        return max(hwm for t, _, hwm in self.samples if t <= self.warmup_s)

    def peak_kb(self):
        return self.samples[-1][2]

    def growth_kb(self):
        """How far the peak resident size rose after the warm-up."""
        return self.peak_kb() - self.peak_at_warmup_kb()

    def last_rise_s(self):
        """When the peak resident size last rose (seconds into the run)."""
        rises = [t for (t, _, hwm), (_, _, before) in zip(self.samples[1:], self.samples)
                 if hwm > before]
        return rises[-1] if rises else 0.0

    def summary(self):
        rss = [r for t, r, _ in self.samples if t > self.warmup_s]
        return (f"{len(self.samples)} samples over {self.samples[-1][0]:.0f} s, "
                f"{self.drags} drags; "
                f"peak resident {self.peak_at_warmup_kb()} KiB after the {self.warmup_s:.0f} s "
                f"warm-up, {self.peak_kb()} KiB at the end: growth {self.growth_kb()} KiB, last "
                f"rise at {self.last_rise_s():.0f} s; resident after warm-up {min(rss)}..{max(rss)} "
                f"KiB")


def soak(program_path, texture, seconds, warmup_s, log=None):
    """Runs the viewer for seconds with drags every DRAG_EVERY_S; returns a SoakResult. The program
    is closed at the end and must exit with status 0."""
    layout = harness.Layout()
    shutil.copyfile(texture, os.path.join(layout.top, harness.TEXTURE_NAME))
    program = harness.Program(program_path, layout.app)
    try:
        window = program.wait_window()
        began = time.monotonic()
        samples, drags, next_drag, next_report = [], 0, began, began
        while (now := time.monotonic()) - began < seconds:
            if not program.running():
                raise harness.HarnessError(
                    f"the viewer ended during the soak: {program.stderr()!r}")
            samples.append((now - began, program.memory_kb("VmRSS"), program.memory_kb("VmHWM")))
            if log and now >= next_report:
                print(f"{samples[-1][0]:6.0f} s  resident {samples[-1][1]} KiB  peak "
                      f"{samples[-1][2]} KiB", file=log, flush=True)
                next_report += 60
            if now >= next_drag:
                button, start, end = DRAGS[drags % len(DRAGS)]
                window.drag(button, start, end, steps=6, step_pause_s=0.01)
                drags += 1
                next_drag += DRAG_EVERY_S
            time.sleep(SAMPLE_S)
        window.close_through_wm()
        status = program.wait_exit(5.0)
        if status != 0:
            raise harness.HarnessError(f"exit status {status}; stderr: {program.stderr()!r}")
        return SoakResult(samples, warmup_s, drags)
    finally:
        program.stop()
        layout.remove()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--program", required=True)
    parser.add_argument("--root", required=True)
    parser.add_argument("--seconds", type=float, default=600)
    parser.add_argument("--warmup", type=float, default=300)
    args = parser.parse_args()
    texture = os.path.join(args.root, harness.TEXTURE_NAME)
    result = soak(os.path.abspath(args.program), texture, args.seconds, args.warmup, log=sys.stdout)
    print(result.summary())
    if result.growth_kb() > GROWTH_LIMIT_KB:
        print(f"FAIL: resident memory grew by {result.growth_kb()} KiB after the warm-up "
              f"(limit {GROWTH_LIMIT_KB} KiB)")
        return 1
    print("PASS")
    return 0


if __name__ == "__main__":
    sys.exit(main())
