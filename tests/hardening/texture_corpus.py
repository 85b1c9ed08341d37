"""The bad and unusual texture files the viewer may meet under the name leopard.jpg, made here and
now (ImageMagick's convert and Python; nothing is kept as a binary file).

Each case names what lies where (in app/, the working directory, or its parent), whether a user
expects the word drawn with it, and, for drawn files of one strong colour, that colour. Our rule:
every file the image loader decodes is drawn, whatever its name says (a PNG or BMP under .jpg,
a truncated JPEG that the JPEG library finishes, an image larger than the device holds, which is
scaled down); files that are no image, only claim one, are in a format the loader does not read
(GIF), or are not files are refused.
"""

import os
import random
import struct
import subprocess
import zlib

DRAWN = "drawn"
REFUSED = "refused"


def convert(*args):
    """The bytes ImageMagick's convert writes to stdout for args (the last one names the format,
    e.g. "png:-")."""
    done = subprocess.run(["convert", *args], capture_output=True, timeout=60, check=False)
    if done.returncode != 0 or not done.stdout:
        raise RuntimeError(f"convert {' '.join(args)} failed: {done.stderr.decode().strip()}")
    return done.stdout


def write(path, data):
    with open(path, "wb") as out:
        out.write(data)


def png_chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))


def png(width, height, colour_type, depth, pixel):
    """A PNG of one colour: every pixel is the bytes pixel (colour_type and depth as in the PNG
    header: 2 RGB, 6 RGBA; 8 or 16 bits a sample)."""
    header = struct.pack(">IIBBBBB", width, height, depth, colour_type, 0, 0, 0)
    rows = (b"\x00" + pixel * width) * height  # filter type 0 on every row
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header)
            + png_chunk(b"IDAT", zlib.compress(rows)) + png_chunk(b"IEND", b""))


def huge_png_header():
    """A PNG that claims 60000 x 60000 RGB pixels and holds none: a header, one empty data chunk
    and the end chunk. Decoding it would need 10 GB."""
    header = struct.pack(">IIBBBBB", 60000, 60000, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header) + png_chunk(b"IDAT", b"")
            + png_chunk(b"IEND", b""))


def truncated_jpeg():
    """A 256 x 256 red JPEG cut after half its bytes: the header is whole, the scan stops midway."""
    whole = convert("-size", "256x256", "plasma:red-red", "-quality", "92", "jpg:-")
    cut = whole[: len(whole) // 2]
    assert b"\xff\xda" in cut, "the cut must fall after the start of the scan"
    return cut


def random_bytes():
    return random.Random(4242).randbytes(20000)


def solid(size, colour, fmt, *extra):
    """An image of one colour; extra options go before the output format."""
    return lambda: convert("-size", size, f"xc:{colour}", *extra, f"{fmt}:-")


class Case:
    """One corpus entry: what to put where, and what the viewer must make of it."""

    def __init__(self, name, expect, here=None, parent=None, colour=None):
        self.name = name
        self.expect = expect
        self.here = here  # leopard.jpg in app/: a function making bytes, or a placer(path)
        self.parent = parent  # leopard.jpg in app/'s parent, likewise
        self.colour = colour  # the dominant colour of a drawn word ("red", "green", "blue")

    def place(self, layout):
        """Puts this case's files into a harness.Layout."""
        for maker, folder in ((self.here, layout.app), (self.parent, layout.top)):
            if maker is None:
                continue
            target = os.path.join(folder, "leopard.jpg")
            if isinstance(maker, Placer):
                maker(target)
            else:
                write(target, maker())


class Placer:
    """Makes something other than a file of bytes at the path it is given."""

    def __init__(self, action):
        self.action = action

    def __call__(self, path):
        self.action(path)


def as_directory(path):
    os.mkdir(path)


def as_dangling_link(path):
    os.symlink(os.path.join(os.path.dirname(path), "gone.jpg"), path)


CASES = [
    Case("zero_bytes", REFUSED, here=lambda: b""),
    Case("jpeg_cut_in_half", DRAWN, here=truncated_jpeg, colour="red"),
    Case("random_bytes", REFUSED, here=random_bytes),
    Case("png_named_jpg", DRAWN, here=solid("64x48", "blue", "png"), colour="blue"),
    Case("bmp_named_jpg", DRAWN, here=solid("40x30", "lime", "bmp3"), colour="green"),
    # GIF is not a texture format the loader reads (its decoder is unsafe on malformed files).
    Case("gif_named_jpg", REFUSED, here=solid("50x50", "red", "gif")),
    Case("directory_named_leopard_jpg", REFUSED, here=Placer(as_directory)),
    Case("one_by_one", DRAWN, here=solid("1x1", "blue", "jpg"), colour="blue"),
    Case("not_power_of_two_300x200", DRAWN, here=solid("300x200", "lime", "jpg"), colour="green"),
    Case("greyscale_jpeg", DRAWN,
         here=lambda: convert("-size", "64x64", "gradient:white-gray30", "-colorspace", "Gray",
                              "-type", "Grayscale", "jpg:-")),
    Case("cmyk_jpeg", DRAWN, here=solid("64x64", "red", "jpg", "-colorspace", "CMYK"),
         colour="red"),
    Case("progressive_jpeg", DRAWN, here=solid("64x64", "red", "jpg", "-interlace", "Plane"),
         colour="red"),
    Case("png_16_bit_with_alpha", DRAWN,
         here=lambda: png(32, 32, 6, 16, struct.pack(">HHHH", 0, 0, 65535, 32768)), colour="blue"),
    Case("header_claims_60000x60000", REFUSED, here=huge_png_header),
    Case("larger_than_device_maximum_20000x4", DRAWN,
         here=lambda: png(20000, 4, 2, 8, b"\x00\xff\x00"), colour="green"),
    Case("symlink_to_missing_file", REFUSED, here=Placer(as_dangling_link)),
    Case("missing_here_corrupt_in_parent", REFUSED, parent=random_bytes),
    Case("corrupt_here_good_in_parent", DRAWN, here=lambda: b"\xff\xd8\xff garbage",
         parent=solid("64x64", "blue", "jpg"), colour="blue"),
]
