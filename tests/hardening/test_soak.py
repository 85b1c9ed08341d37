"""Hardening: the 30-second soak of the suite (soak.py; scripts/soak runs it for 10 minutes).
The viewer draws continuously under periodic drags; after a 10-second warm-up its peak resident
memory rises by at most 1 MB, and a close still ends it with status 0.
"""

import os

import hardening_case
from hardening_case import harness, viewer_case
import soak

SECONDS = 30
WARMUP_S = 10


class Soak(viewer_case.ViewerCase):
    def test_resident_memory_stops_growing_after_warm_up(self):
        texture = os.path.join(viewer_case.ROOT, harness.TEXTURE_NAME)
        result = soak.soak(viewer_case.PROGRAM, texture, SECONDS, WARMUP_S)
        print("\n" + result.summary(), flush=True)
        self.assertGreaterEqual(result.drags, SECONDS // 2)
        self.assertLessEqual(result.growth_kb(), soak.GROWTH_LIMIT_KB, result.summary())


if __name__ == "__main__":
    hardening_case.main()
