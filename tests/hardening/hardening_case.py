"""Common ground of the hardening tests: the end-to-end harness of tests/e2e made importable from
here, plus the few checks these tests share (a picture's colour make-up, a sanitizer report in a
program's stderr). Run each test file as the e2e ones are:
python3 test_x.py --program <built viewer> --root <repository root>, under with-xvfb --wm.
"""

import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))

import harness  # noqa: E402  (the e2e harness, reused as it is)
import picture  # noqa: E402
import viewer_case  # noqa: E402

# Markers the sanitizers put in front of every report they print.
SANITIZER_MARKERS = (
    "AddressSanitizer", "LeakSanitizer", "UndefinedBehaviorSanitizer", "runtime error:"
)


def sanitizer_report(text):
    """The first line of text that belongs to a sanitizer report, or None."""
    for line in text.splitlines():
        if any(marker in line for marker in SANITIZER_MARKERS):
            return line
    return None


class Colours:
    """How many drawn pixels of a picture are white, drawn, and coloured with red, green or blue
    as their strongest channel (coloured: channel spread at least picture.COLOURED_SPREAD_MIN)."""

    def __init__(self, image):
        self.total = image.width * image.height
        self.white = 0
        self.dominant = {"red": 0, "green": 0, "blue": 0}
        names = ("red", "green", "blue")
        for _, row in image.rows():
            for x in range(0, len(row), 3):
                r, g, b = row[x], row[x + 1], row[x + 2]
                if picture.is_white(r, g, b):
                    self.white += 1
                    continue
                if max(r, g, b) - min(r, g, b) >= picture.COLOURED_SPREAD_MIN:
                    channels = (r, g, b)
                    self.dominant[names[channels.index(max(channels))]] += 1

    @property
    def drawn(self):
        return self.total - self.white

    @property
    def coloured(self):
        return sum(self.dominant.values())

    def __repr__(self):
        return f"Colours(total={self.total}, white={self.white}, dominant={self.dominant})"


main = viewer_case.main
