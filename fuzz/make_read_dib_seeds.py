#!/usr/bin/env python3
"""Writes the seed corpus of read_dib_fuzz: small BMP files of every form the
DIB toolkit reads (info and core headers; 1, 4, 8, 16, 24 and 32 bits;
bottom-up and top-down; short colour tables; run-length encodings), a few
made by the imaging library, and some damaged ones near the edges of the
checks. Each file is named by its SHA-1.

Usage: /usr/bin/python3 make_read_dib_seeds.py [FOLDER]  (needs PIL)"""
import hashlib
import io
import os
import struct
import sys

from PIL import Image

FOLDER = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "corpus", "read_dib_fuzz")


def stride(width, bits):
    return (width * bits + 31) // 32 * 4


def info(width, height, bits, compression=0, image_size=0, used=0):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, compression, image_size, 0, 0, used, 0)


def core(width, height, bits):
    return struct.pack("<IHHHH", 12, width, height, 1, bits)


def table(count, entry=4):
    return b"".join(bytes([(i * 29) & 0xFF, (i * 113) & 0xFF, 255 - i, 0][:entry]) for i in range(count))


def rows(width, height, bits):
    size = stride(width, bits)
    return bytes((y * 31 + i * 7) & 0xFF for y in range(height) for i in range(size))


def file_of(dib):
    return struct.pack("<2sIHHI", b"BM", 14 + len(dib), 0, 0, 54) + dib


def pil_file(mode, size):
    image = Image.new("RGB", size)
    image.putdata([((x * 23) & 0xFF, (y * 41) & 0xFF, ((x + y) * 17) & 0xFF) for y in range(size[1]) for x in range(size[0])])
    if mode == "P":
        image = image.quantize(colors=12)
    elif mode != "RGB":
        image = image.convert(mode)
    out = io.BytesIO()
    image.save(out, "BMP")
    return out.getvalue()


def seeds():
    for bits, colors in ((1, 2), (4, 16), (8, 256), (16, 0), (24, 0), (32, 0)):
        for width, height in ((1, 1), (5, 3), (9, -2)):
            yield file_of(info(width, height, bits) + table(colors) + rows(width, abs(height), bits))
    yield file_of(info(7, 4, 8, used=20) + table(20) + rows(7, 4, 8))
    yield file_of(info(3, 3, 24, used=4) + table(4) + rows(3, 3, 24))
    for bits, colors in ((1, 2), (4, 16), (8, 256), (24, 0)):
        yield file_of(core(6, 3, bits) + table(colors, 3) + rows(6, 3, bits))
    rle8 = bytes([3, 5, 0, 3, 1, 2, 3, 0, 0, 0, 1])
    yield file_of(info(6, 2, 8, 1, len(rle8), 4) + table(4) + rle8)
    rle4 = bytes([4, 0x12, 0, 0, 2, 0x34, 0, 1])
    yield file_of(info(6, 2, 4, 2, len(rle4)) + table(16) + rle4)
    for mode, size in (("1", (11, 3)), ("L", (5, 2)), ("P", (7, 5)), ("RGB", (5, 4)), ("RGBA", (3, 3))):
        yield pil_file(mode, size)
    # Damaged near the edges: one byte short, a lying header, counts and sizes
    # beyond the file.
    good = info(5, 3, 8, used=4) + table(4) + rows(5, 3, 8)
    yield file_of(good)[:-1]
    yield file_of(struct.pack("<I", 41) + good[4:])
    yield file_of(good[:8] + struct.pack("<i", -0x7FFFFFFF) + good[12:])
    yield file_of(good[:4] + struct.pack("<i", 0x7FFFFFFF) + good[8:])
    yield file_of(good[:32] + struct.pack("<I", 0x10004) + good[36:])
    yield file_of(good[:32] + struct.pack("<I", 257) + good[36:])
    yield file_of(info(5, 3, 16, 3) + struct.pack("<III", 0xF800, 0x7E0, 0x1F) + rows(5, 3, 16))
    yield b"BM" + bytes(12)
    yield b"MB" + file_of(good)[2:]


def main():
    os.makedirs(FOLDER, exist_ok=True)
    for seed in seeds():
        with open(os.path.join(FOLDER, hashlib.sha1(seed).hexdigest()), "wb") as out:
            out.write(seed)


if __name__ == "__main__":
    main()
