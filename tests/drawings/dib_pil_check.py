#!/usr/bin/python3
"""BMP files of the DIB toolkit held against Debian's Python imaging library.

Usage: dib_pil_check.py DIB_TOOL

One way, DIB_TOOL writes pictures with SaveDIB (1, 4, 8 and 24 bits, odd
widths so that every row is padded, bottom-up and top-down) and prints the
picture it meant to write; the imaging library must read the same pixels.
The other way, the imaging library (and, for 4 bits, which it cannot write,
a writer made here with struct) makes files that DIB_TOOL reads with
ReadDIBFile and prints; the pixels must be the library's.
"""
import os
import struct
import subprocess
import sys
import tempfile

from PIL import Image


def parse(text):
    lines = text.split("\n")
    width, height = (int(v) for v in lines[0].split())
    rows = [[int(v, 16) for v in line.split()] for line in lines[1:1 + height]]
    assert all(len(row) == width for row in rows), "ragged picture"
    return width, height, rows


def pil_picture(image):
    rgb = image.convert("RGB")
    width, height = rgb.size
    rows = [[(r << 16) | (g << 8) | b for r, g, b in (rgb.getpixel((x, y)) for x in range(width))]
            for y in range(height)]
    return width, height, rows


def run(tool, *args):
    done = subprocess.run([tool, *args], capture_output=True, text=True, check=False)
    if done.returncode != 0:
        raise AssertionError(f"dib_tool {' '.join(args)} failed: {done.stderr.strip()}")
    return done.stdout


def pattern(width, height, color):
    return [[color(x, y) for x in range(width)] for y in range(height)]


def four_bit_file(width, height, table, index):
    """A 4-bit bottom-up BMP made byte by byte."""
    stride = ((width * 4 + 31) // 32) * 4
    rows = b""
    for y in reversed(range(height)):
        row = bytearray(stride)
        for x in range(width):
            row[x // 2] |= index(x, y) << (0 if x % 2 else 4)
        rows += bytes(row)
    palette = b"".join(struct.pack("<BBBB", c & 0xFF, (c >> 8) & 0xFF, c >> 16, 0) for c in table)
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 4, 0, len(rows), 0, 0, len(table), 0)
    offset = 14 + len(header) + len(palette)
    return struct.pack("<2sIHHI", b"BM", offset + len(rows), 0, 0, offset) + header + palette + rows


def written_by_library(tool, folder):
    cases = [(5, 3, 1), (13, 2, 1), (33, 3, 1), (1, 1, 1), (5, 3, 4), (7, 4, 4), (3, 5, 8), (7, 4, 8),
             (5, 3, 24), (1, 2, 24), (6, 3, 24), (5, 3, 24, "topdown"), (7, 2, 8, "topdown")]
    for case in cases:
        name = "lib_" + "_".join(str(v) for v in case) + ".bmp"
        path = os.path.join(folder, name)
        expected = parse(run(tool, "write", path, *(str(v) for v in case)))
        with Image.open(path) as image:
            image.load()
            got = pil_picture(image)
        yield name, got == expected


def written_by_pil(tool, folder):
    images = []
    mono = Image.new("1", (13, 3))
    mono.putdata([(x * y + x) % 3 == 0 for y in range(3) for x in range(13)])
    images.append(("pil_1bit.bmp", mono))
    grey = Image.new("L", (7, 3))
    grey.putdata([(x * 37 + y * 91) & 0xFF for y in range(3) for x in range(7)])
    images.append(("pil_8bit_grey.bmp", grey))
    paletted = Image.new("P", (5, 4))
    paletted.putpalette([v for i in range(20) for v in (i * 12, 255 - i * 5, (i * 71) & 0xFF)])
    paletted.putdata([(x + 3 * y) % 20 for y in range(4) for x in range(5)])
    images.append(("pil_8bit_20colours.bmp", paletted))
    for width in (5, 6):
        rgb = Image.new("RGB", (width, 3))
        rgb.putdata([((x * 50) & 0xFF, (y * 80 + x) & 0xFF, (x * y * 30 + 7) & 0xFF)
                     for y in range(3) for x in range(width)])
        images.append((f"pil_24bit_{width}.bmp", rgb))
    rgba = Image.new("RGBA", (3, 2))
    rgba.putdata([(x * 60, y * 90, 200 - x, 255) for y in range(2) for x in range(3)])
    images.append(("pil_32bit.bmp", rgba))
    for name, image in images:
        path = os.path.join(folder, name)
        image.save(path, "BMP")
        yield name, parse(run(tool, "dump", path)) == pil_picture(image)

    table = [(i * 16) << 16 | (255 - i * 16) << 8 | (i * 5) for i in range(16)]
    def index(x, y):
        return (x * 5 + y * 3) % 16
    path = os.path.join(folder, "struct_4bit.bmp")
    with open(path, "wb") as out:
        out.write(four_bit_file(9, 3, table, index))
    expected = (9, 3, pattern(9, 3, lambda x, y: table[index(x, y)]))
    with Image.open(path) as image:
        image.load()
        yield "struct_4bit.bmp (imaging library)", pil_picture(image) == expected
    yield "struct_4bit.bmp", parse(run(tool, "dump", path)) == expected


def main():
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    tool = sys.argv[1]
    passed = failed = 0
    with tempfile.TemporaryDirectory() as folder:
        for check in (written_by_library, written_by_pil):
            for name, ok in check(tool, folder):
                if ok:
                    passed += 1
                else:
                    failed += 1
                    print(f"FAILED: {name}")
    print(f"{passed} passed, {failed} failed")
    return 0 if failed == 0 and passed > 0 else 1


if __name__ == "__main__":
    sys.exit(main())
