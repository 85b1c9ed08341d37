"""RGB screenshots and the colour statistics the end-to-end checks make on them.

Offers an 8-bit RGB image read from binary PPM, pixel classes (white background, shaded texture,
pale lit walls), the extent and centroid of the drawn (non-white) pixels, resampling along x and a
mean difference.
Pure Python on purpose (no third-party modules); fast enough for a few 900 x 300 pictures.
"""

# A pixel whose channels are all at least this counts as the white background.
WHITE_MIN = 245
# Channel spread (max - min) of at least this counts as coloured, i.e. texture showing through.
COLOURED_SPREAD_MIN = 30
# Brightest channel at least this: a surface lit by the spot light, not just by ambient light.
LIT_MIN = 170
# Lit pixels at most this saturated ((max - min) / max) count as pale: the grey walls' diffuse
# colour and the white highlight wash the texture's tawny out.
PALE_SATURATION_MAX = 0.45


class Image:
    """An RGB picture: width, height and the pixels as bytes, 3 per pixel, top row first."""

    def __init__(self, width, height, pixels):
        if len(pixels) != width * height * 3:
            raise ValueError("pixel data does not match the size")
        self.width = width
        self.height = height
        self.pixels = bytes(pixels)

    @staticmethod
    def from_ppm(data):
        """Decodes a binary PPM (P6, maxval 255 or 65535) as written by ImageMagick."""
        fields = []
        pos = 0
        while len(fields) < 4:
            while data[pos : pos + 1].isspace():
                pos += 1
            if data[pos : pos + 1] == b"#":
                pos = data.index(b"\n", pos) + 1
                continue
            end = pos
            while not data[end : end + 1].isspace():
                end += 1
            fields.append(data[pos:end])
            pos = end
        if fields[0] != b"P6":
            raise ValueError("not a binary PPM")
        width, height, maxval = (int(f) for f in fields[1:])
        body = data[pos + 1 :]
        if maxval > 255:
            body = body[0::2]  # 16-bit samples, big-endian: keep the high bytes
        return Image(width, height, body[: width * height * 3])

    def pixel(self, x, y):
        """The (r, g, b) at column x, row y."""
        i = (y * self.width + x) * 3
        return tuple(self.pixels[i : i + 3])

    def is_uniform(self):
        """True when every pixel has the same colour."""
        return self.pixels == self.pixels[:3] * (self.width * self.height)

    def rows(self):
        """Yields (y, row bytes) for every row."""
        stride = self.width * 3
        for y in range(self.height):
            yield y, self.pixels[y * stride : (y + 1) * stride]

    def to_ppm(self):
        """Encodes the picture as binary PPM (for saving a failing screenshot)."""
        return b"P6\n%d %d\n255\n" % (self.width, self.height) + self.pixels


def is_white(r, g, b):
    """The background: opaque white, give or take rounding."""
    return r >= WHITE_MIN and g >= WHITE_MIN and b >= WHITE_MIN


class Census:
    """Pixel counts by class and the extent and centroid of the drawn (non-white) pixels.
    Classes of drawn pixels: shaded (coloured, below LIT_MIN: texture at the ambient level) and
    pale (at least LIT_MIN, little saturated: lit by the spot light with its highlight)."""

    def __init__(self, image):
        self.total = image.width * image.height
        self.white = self.drawn = self.coloured = self.shaded = self.pale = 0
        sum_x = sum_y = 0
        self.left, self.top, self.right, self.bottom = image.width, image.height, -1, -1
        for y, row in image.rows():
            for x in range(image.width):
                r, g, b = row[3 * x], row[3 * x + 1], row[3 * x + 2]
                if is_white(r, g, b):
                    self.white += 1
                    continue
                self.drawn += 1
                sum_x += x
                sum_y += y
                self.left, self.right = min(self.left, x), max(self.right, x)
                self.top, self.bottom = min(self.top, y), max(self.bottom, y)
                self._classify(r, g, b)
        self.centroid = (sum_x / self.drawn, sum_y / self.drawn) if self.drawn else None

    def _classify(self, r, g, b):
        brightest = max(r, g, b)
        spread = brightest - min(r, g, b)
        coloured = spread >= COLOURED_SPREAD_MIN
        self.coloured += coloured
        if brightest < LIT_MIN:
            self.shaded += coloured
        elif spread <= PALE_SATURATION_MAX * brightest:
            self.pale += 1

    def box(self):
        """Extent (left, top, right, bottom) of the drawn pixels, edges included."""
        return (self.left, self.top, self.right, self.bottom)

    def share(self, count):
        """count as a fraction of all pixels."""
        return count / self.total

    def __repr__(self):
        return (
            f"Census(white={self.share(self.white):.3f}, drawn={self.share(self.drawn):.3f}, "
            f"coloured={self.share(self.coloured):.3f}, shaded={self.share(self.shaded):.3f}, "
            f"pale={self.share(self.pale):.3f}, box={self.box()}, centroid={self.centroid})"
        )


def resample_width(image, width):
    """The picture resampled along x to width columns, linearly between pixel centres (as a
    bilinear stretch does); rows are kept."""
    scale = image.width / width
    taps = []
    for x in range(width):
        source = min(max((x + 0.5) * scale - 0.5, 0.0), image.width - 1.0)
        left = int(source)
        right = min(left + 1, image.width - 1)
        taps.append((3 * left, 3 * right, source - left))
    out = bytearray(width * image.height * 3)
    pos = 0
    for _, row in image.rows():
        for left, right, weight in taps:
            for c in range(3):
                out[pos] = round(row[left + c] * (1 - weight) + row[right + c] * weight)
                pos += 1
    return Image(width, image.height, out)


def mean_difference(a, b):
    """Mean absolute difference per channel of two pictures of the same size, 0 to 255."""
    if (a.width, a.height) != (b.width, b.height):
        raise ValueError("pictures differ in size")
    return sum(abs(p - q) for p, q in zip(a.pixels, b.pixels)) / len(a.pixels)
