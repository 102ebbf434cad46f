#!/usr/bin/env python3
"""Writes the seed corpus of internal_format_fuzz: internal drawing blocks of
every depth, with their rows as stored streams and as compressed streams made
by a small run-length writer of the stream format, and damaged variants.

Block: marker 2, width, height, image size (32-bit little-endian each), bits
per pixel (1 byte), 2/16/256 colour entries of 4 bytes at 1/4/8 bits, the
stream's length (32-bit), the stream.

Usage: make_internal_format_seeds.py [FOLDER]"""
import os
import random
import struct
import sys

folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "corpus", "internal_format_fuzz")


def stored(data):
    return b"\x01\x00\x00\x00" + data


def compressed(data):
    """A compressed stream that codes each run of equal bytes as one literal
    followed by copies at offset 1 (up to 16 bytes each), 16 items a group."""
    items = []
    i = 0
    while i < len(data):
        items.append((False, data[i:i + 1]))
        run = 1
        while i + run < len(data) and data[i + run] == data[i]:
            run += 1
        left = run - 1
        while left > 0:
            length = min(left, 16)
            items.append((True, bytes([length - 1, 1])))
            left -= length
        i += run
    out = bytearray(b"\x00\x00\x00\x00")
    for start in range(0, len(items), 16):
        group = items[start:start + 16]
        control = sum(1 << bit for bit, (copy, _) in enumerate(group) if copy)
        out += struct.pack("<H", control)
        for _, item in group:
            out += item
    return bytes(out)


def rows_size(width, height, bits):
    return (bits * width + 31) // 32 * 4 * abs(height)


def table(bits, rng):
    count = {1: 2, 4: 16, 8: 256}.get(bits, 0)
    return bytes(rng.randrange(256) if i % 4 != 3 else 0 for i in range(4 * count))


def block(width, height, bits, colours, stream, image_size):
    header = struct.pack("<BiiIB", 2, width, height, image_size, bits)
    return header + colours + struct.pack("<I", len(stream)) + stream


def drawing_rows(width, height, bits, rng):
    """White rows with a few strokes, the way drawings look."""
    size = rows_size(width, height, bits)
    rows = bytearray(b"\xff" * size)
    for _ in range(3):
        at = rng.randrange(size)
        rows[at:at + 6] = bytes(rng.randrange(256) for _ in range(6))[:size - at]
    return bytes(rows)


rng = random.Random(20240617)
seeds = {}
for bits in (1, 4, 8, 16, 24, 32):
    for width, height in ((3, 2), (13, -5), (1, 1), (40, 7)):
        rows = drawing_rows(width, height, bits, rng)
        colours = table(bits, rng)
        name = f"{bits}bit-{width}x{height}"
        seeds[name + "-stored"] = block(width, height, bits, colours, stored(rows), len(rows))
        seeds[name + "-compressed"] = block(width, height, bits, colours, compressed(rows), len(rows))

rows = drawing_rows(3, 2, 24, rng)
good = block(3, 2, 24, b"", compressed(rows), len(rows))
seeds.update({
    "padded-image-size": block(3, 2, 24, b"", stored(rows + b"\0" * 4), len(rows) + 4),
    "decodes-short": block(3, 2, 24, b"", stored(rows[:10]), len(rows)),
    "decodes-long": block(3, 2, 24, b"", stored(rows + b"xyz"), len(rows)),
    "image-size-below-rows": block(3, 2, 24, b"", stored(rows), len(rows) - 1),
    "cut": good[:-1],
    "fixed-part-only": good[:18],
    "length-beyond": good[:14] + struct.pack("<I", 0xFFFFFFF0) + good[18:],
    "bit-count-0": good[:13] + b"\x00" + good[14:],
    "bit-count-2": good[:13] + b"\x02" + good[14:],
    "width-0": block(0, 2, 24, b"", stored(b""), 0),
    "huge-width": block(0x7FFFFFFF, 1, 24, b"", stored(rows), len(rows)),
    "copy-before-start": block(3, 2, 24, b"", b"\x00\x00\x00\x00\x02\x00\x61\x02\x02", 24),
    "item-cut": block(3, 2, 24, b"", b"\x00\x00\x00\x00\x01\x00\x0f", 24),
    "table-cut": block(5, 5, 8, table(8, rng), stored(b""), 40)[:200],
})
os.makedirs(folder, exist_ok=True)
for name, data in seeds.items():
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)
print(f"{len(seeds)} seeds in {folder}")
