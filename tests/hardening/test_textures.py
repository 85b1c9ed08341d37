"""Hardening: the real viewer started beside each file of the texture corpus (texture_corpus.py).
A file the loader decodes is drawn: the viewer window shows the word in the file's colour, nothing
is written to stderr, and a close ends the program with status 0. Anything else is refused: the
message box "Tavenor.exe" appears alone, and after OK the program exits with status 1 and one line
on stderr naming leopard.jpg. Either outcome shows within 2 s; no crash, no sanitizer report.
"""

import time

import hardening_case
from hardening_case import harness, viewer_case
import texture_corpus

# The outcome (window or box) must show, and the program end after OK or close, within this.
WITHIN_S = 2.0
# The word and its shading cover about a tenth of the picture; white fills most of the rest.
DRAWN_SHARE_MIN = 0.04
WHITE_SHARE_MIN = 0.5
# Of the coloured pixels of a one-colour texture, at least this share has that colour strongest.
COLOUR_SHARE_MIN = 0.9


class TextureCorpus(viewer_case.ViewerCase):
    def tearDown(self):
        super().tearDown()
        # A box left open by a failed test belongs to a process of its own (SDL forks one to
        # show it): cut its X connection so the next test starts on an empty screen.
        for box in harness.find_windows(harness.MESSAGE_BOX_TITLE):
            harness.run_tool("xdotool", "windowkill", str(box), check=False)

    def start_with(self, case):
        case.place(self.layout)
        program = harness.Program(viewer_case.PROGRAM, self.layout.app)
        self.programs.append(program)
        return program

    def wait_outcome(self, program, case):
        """The window of the expected kind, shown within WITHIN_S of the start; fails at once
        when the other kind shows instead or the program ends."""
        drawn = case.expect == texture_corpus.DRAWN
        title = harness.VIEWER_TITLE if drawn else harness.MESSAGE_BOX_TITLE
        other = harness.MESSAGE_BOX_TITLE if drawn else harness.VIEWER_TITLE

        def shown():
            if harness.find_windows(other):
                self.fail(f"'{other}' showed instead of '{title}'")
            if not program.running():
                self.fail(f"the program ended with status {program.process.returncode} before "
                          f"'{title}' showed; stderr: {program.stderr()!r}")
            ids = harness.find_windows(title)
            return harness.Window(ids[0]) if ids else None

        window = harness.wait_until(shown, WITHIN_S * 4, f"a window titled '{title}'")
        shown_after = (time.monotonic_ns() - program.started_ns) / 1e9
        self.assertLessEqual(shown_after, WITHIN_S, f"'{title}' showed after {shown_after:.2f} s")
        return window

    def assert_clean_exit(self, program, status, asked_at):
        exited = program.wait_exit(WITHIN_S - (time.monotonic() - asked_at))
        report = hardening_case.sanitizer_report(program.stderr())
        self.assertIsNone(report, f"sanitizer report: {program.stderr()}")
        self.assertEqual(exited, status, f"stderr: {program.stderr()!r}")

    def check_drawn(self, case):
        program = self.start_with(case)
        window = self.wait_outcome(program, case)
        self.assertEqual(harness.find_windows(harness.MESSAGE_BOX_TITLE), [])
        shot = harness.first_picture(window)
        self.keep(shot, case.name)
        colours = hardening_case.Colours(shot)
        self.assertGreaterEqual(colours.drawn / colours.total, DRAWN_SHARE_MIN, repr(colours))
        self.assertGreaterEqual(colours.white / colours.total, WHITE_SHARE_MIN, repr(colours))
        if case.colour:
            share = colours.dominant[case.colour] / max(colours.coloured, 1)
            self.assertGreater(colours.coloured, DRAWN_SHARE_MIN * colours.total / 4, repr(colours))
            self.assertGreaterEqual(share, COLOUR_SHARE_MIN, repr(colours))
        window.close_through_wm()
        self.assert_clean_exit(program, 0, time.monotonic())
        self.assertEqual(program.stderr(), "")

    def check_refused(self, case):
        program = self.start_with(case)
        box = self.wait_outcome(program, case)
        self.assertEqual(harness.find_windows(harness.VIEWER_TITLE), [])
        box.press_key("Return")
        self.assert_clean_exit(program, 1, time.monotonic())
        lines = program.stderr().splitlines()
        self.assertEqual(len(lines), 1, f"stderr: {lines!r}")
        self.assertIn(harness.TEXTURE_NAME, lines[0])
        self.assertEqual(harness.find_windows(harness.VIEWER_TITLE), [])


def add_case_tests():
    """One test per corpus entry, named after it."""
    for case in texture_corpus.CASES:
        drawn = case.expect == texture_corpus.DRAWN
        check = TextureCorpus.check_drawn if drawn else TextureCorpus.check_refused

        def test(self, case=case, check=check):
            check(self, case)

        test.__doc__ = f"leopard.jpg: {case.name.replace('_', ' ')} -> {case.expect}"
        setattr(TextureCorpus, f"test_{case.name}_is_{case.expect}", test)


add_case_tests()

if __name__ == "__main__":
    hardening_case.main()
