# SPDX-License-Identifier: MIT
"""Screenshots and pictures read by pixel, through ImageMagick; text read by
tesseract."""

import struct
import subprocess
import tempfile
import zlib

MAGENTA = (255, 0, 255)


class Image:
    """RGB pixels of a picture file, read through ImageMagick."""

    def __init__(self, width, height, data):
        self.width, self.height, self.data = width, height, data

    @classmethod
    def load(cls, path):
        return cls.read(["convert", path, "-depth", "8", "ppm:-"])

    @classmethod
    def read(cls, command, env=None):
        """The picture that an ImageMagick command writes as a binary PPM to
        its standard output."""
        ppm = subprocess.run(command, env=env, capture_output=True, check=True).stdout
        # P6, width, height, the largest value (255), one blank, then the pixels.
        magic, width, height, largest, data = ppm.split(maxsplit=4)
        if magic != b"P6" or largest != b"255":
            raise ValueError("not a binary PPM of 8-bit values")
        return cls(int(width), int(height), data)

    def save_png(self, path):
        """Writes the picture as a PNG, quickly rather than small: screenshots
        are taken in polling loops."""
        stride = 3 * self.width
        raw = b"".join(b"\0" + self.data[y * stride:(y + 1) * stride] for y in range(self.height))

        def chunk(kind, data):
            return (struct.pack(">I", len(data)) + kind + data
                    + struct.pack(">I", zlib.crc32(kind + data)))

        header = struct.pack(">IIBBBBB", self.width, self.height, 8, 2, 0, 0, 0)
        with open(path, "wb") as f:
            f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
                    + chunk(b"IDAT", zlib.compress(raw, 1)) + chunk(b"IEND", b""))

    def pixel(self, x, y):
        i = 3 * (y * self.width + x)
        return tuple(self.data[i:i + 3])

    def box_of(self, wanted, top=0):
        """(x, y, width, height) around every pixel below row top for which
        wanted(rgb) holds, or None."""
        xs, ys = [], []
        for y in range(top, self.height):
            row = self.data[3 * y * self.width:3 * (y + 1) * self.width]
            hits = [x for x in range(self.width) if wanted(row[3 * x:3 * x + 3])]
            if hits:
                xs += (hits[0], hits[-1])
                ys.append(y)
        if not ys:
            return None
        return (min(xs), ys[0], max(xs) - min(xs) + 1, ys[-1] - ys[0] + 1)

    def text(self, box, light_on_dark=False):
        """The text that OCR reads in box (x, y, width, height), one line."""
        x, y, width, height = box
        with tempfile.NamedTemporaryFile(suffix=".png") as crop:
            subprocess.run(["convert", "-size", f"{self.width}x{self.height}", "-depth", "8",
                            "rgb:-", "-crop", f"{width}x{height}+{x}+{y}", "+repage"]
                           + (["-negate"] if light_on_dark else []) + ["-scale", "300%",
                                                                       crop.name],
                           input=self.data, check=True)
            return subprocess.run(["tesseract", crop.name, "-", "--psm", "7"],
                                  capture_output=True, text=True).stdout.strip()

    def matches_at(self, picture, left, top, tolerance=40, allowed=0.03):
        """Whether picture's opaque (non-magenta) pixels lie at (left, top)."""
        budget = int(allowed * picture.width * picture.height)
        for y in range(picture.height):
            for x in range(picture.width):
                want = picture.pixel(x, y)
                if want == MAGENTA:
                    continue
                got = self.pixel(left + x, top + y)
                if any(abs(a - b) > tolerance for a, b in zip(want, got)):
                    budget -= 1
                    if budget < 0:
                        return False
        return True

    def find(self, picture, width, height):
        """Top-left corners where picture lies inside the given top-left region."""
        return [(x, y) for y in range(height) for x in range(width)
                if self.matches_at(picture, x, y)]


def colour_close(got, want, tolerance=8):
    return all(abs(a - b) <= tolerance for a, b in zip(got, want))
