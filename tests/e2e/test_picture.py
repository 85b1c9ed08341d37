"""End-to-end: what the real viewer shows. Started as from a build directory (leopard.jpg only in
the parent), it opens "Brisvane Code" with a 600 x 300 client area showing the textured, lit word
on opaque white where the camera puts it; a wider window shows the same picture stretched.
"""

import harness
import picture
import scene
import viewer_case

# Share of the first picture that is white background: the word covers about a sixth of it.
WHITE_SHARE = (0.70, 0.92)
# Shares of the drawn pixels. The front faces look away from the spot light (it stands behind
# their plane, at z = 5), so they show the texture at the ambient level only: at most about 0.6
# of the brightest texel, below picture.LIT_MIN. The grey walls facing the light are lit and
# carry the white highlight: bright and pale.
SHADED_SHARE_MIN = 0.2
PALE_SHARE_MIN = 0.2
# Mean difference per channel (0-255) allowed between the stretched picture brought back to
# 600 columns and the picture before the resize: resampling twice blurs the texture's detail.
STRETCH_DIFFERENCE_MAX = 5.0


class FirstPicture(viewer_case.ViewerCase):
    def test_shows_the_lit_word_on_white_in_600_by_300_where_the_camera_puts_it(self):
        _, window, shot = self.start_and_show()
        self.keep(shot, "first")
        self.assertEqual(window.size(), (600, 300))
        census = picture.Census(shot)
        self.assertGreaterEqual(census.share(census.white), WHITE_SHARE[0], census)
        self.assertLessEqual(census.share(census.white), WHITE_SHARE[1], census)
        self.assertGreaterEqual(census.shaded / census.drawn, SHADED_SHARE_MIN, census)
        self.assertGreaterEqual(census.pale / census.drawn, PALE_SHARE_MIN, census)
        # The corners are background: the clear colour is opaque white.
        for corner in ((0, 0), (599, 0), (0, 299), (599, 299)):
            self.assertTrue(picture.is_white(*shot.pixel(*corner)), corner)
        self.assert_extent(census.box(), scene.predicted_box())


class Resize(viewer_case.ViewerCase):
    def test_900_wide_window_shows_the_same_picture_stretched(self):
        _, window, before = self.start_and_show()
        window.resize(900, 300)
        # Wait for frames presented at the new size: drawn pixels right of column 600.
        wide = harness.settled_screenshot(
            window, accept=lambda shot: shot.width == 900 and picture.Census(shot).right >= 600
        )
        self.keep(wide, "wide")
        narrowed = picture.resample_width(wide, scene.WIDTH)
        difference = picture.mean_difference(narrowed, before)
        self.assertLessEqual(difference, STRETCH_DIFFERENCE_MAX)
        # The word's extent grows by 900 / 600 along x only.
        b, w = picture.Census(before), picture.Census(wide)
        self.assertAlmostEqual(w.left, 1.5 * b.left, delta=3)
        self.assertEqual((w.top, w.bottom), (b.top, b.bottom))


if __name__ == "__main__":
    viewer_case.main()
