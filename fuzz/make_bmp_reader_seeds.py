#!/usr/bin/env python3
"""Writes the seed corpus of bmp_reader_fuzz: small BMP files of every header,
depth and layout the reader takes, some written by PIL and the rest built
from the file layout here, named by their SHA-1.

Usage: /usr/bin/python3 make_bmp_reader_seeds.py [FOLDER]  (needs PIL)"""
import hashlib
import io
import os
import struct
import sys

from PIL import Image

out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "corpus", "bmp_reader_fuzz")


def pil(size, convert=None):
    image = Image.new("RGB", size)
    image.putdata([((x * 37 + y * 11) & 255, (x * 5 + y * 53) & 255, (x * y * 3 + 7) & 255)
                   for y in range(size[1]) for x in range(size[0])])
    if convert == "P":
        image = image.quantize(colors=16)
    elif convert:
        image = image.convert(convert)
    data = io.BytesIO()
    image.save(data, "BMP")
    return data.getvalue()


def bmp(header_size, width, height, bits, compression=0, used=0, masks=(), table=b"", pixels=b""):
    if header_size == 12:
        header = struct.pack("<IHHHH", 12, width, height, 1, bits)
    else:
        header = struct.pack("<IiiHHIIiiII", header_size, width, height, 1, bits, compression, 0, 2835, 2835, used, 0)
        header += b"".join(struct.pack("<I", mask) for mask in masks)
        if header_size > 40:
            header = header.ljust(header_size, b"\0")
    offset = 14 + len(header) + len(table)
    return b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset) + header + table + pixels


def rows(width, height, bits):
    return bytes((i * 37 + 11) & 255 for i in range(((width * bits + 31) // 32) * 4 * abs(height)))


def table(count, entry_size):
    return b"".join(bytes([i * 16 & 255, 255 - i, i * 41 & 255] + [0] * (entry_size - 3)) for i in range(count))


seeds = [
    pil((5, 3)), pil((3, 2), "P"), pil((9, 2), "1"), pil((4, 4), "RGBA"),
    bmp(40, 5, 3, 4, table=table(16, 4), pixels=rows(5, 3, 4)),
    bmp(40, 5, 3, 4, used=6, table=table(6, 4), pixels=bytes(0x12 for _ in rows(5, 3, 4))),
    bmp(12, 3, 2, 8, table=table(256, 3), pixels=rows(3, 2, 8)),
    bmp(40, 3, -2, 24, pixels=rows(3, 2, 24)),
    bmp(40, 3, 2, 16, pixels=rows(3, 2, 16)),
    bmp(40, 3, 2, 16, 3, masks=(0xF800, 0x7E0, 0x1F), pixels=rows(3, 2, 16)),
    bmp(40, 2, -2, 32, 3, masks=(0xFF, 0xFF00, 0xFF0000), pixels=rows(2, 2, 32)),
    bmp(124, 2, 2, 32, 3, masks=(0xFF0000, 0xFF00, 0xFF, 0xFF000000), pixels=rows(2, 2, 32)),
    bmp(108, 3, 2, 16, 3, masks=(0x7C00, 0x3E0, 0x1F, 0), pixels=rows(3, 2, 16)),
]
os.makedirs(out, exist_ok=True)
for seed in seeds:
    with open(os.path.join(out, hashlib.sha1(seed).hexdigest()), "wb") as f:
        f.write(seed)
