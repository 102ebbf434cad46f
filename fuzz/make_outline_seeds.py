#!/usr/bin/env python3
"""Writes the seed corpus of outline_fuzz: small outline documents and damaged
variants of them, built from the stored layout independently of the
library's writer: db info (version 0), the conduit, shared and private
header slots, the deleted-id list, one row per item.

Usage: make_outline_seeds.py [FOLDER]"""
import os
import struct
import sys

folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "corpus", "outline_fuzz")
STRING = 0x10000


def tag(tag_id, data, flags=1):
    return struct.pack("<HBIII", 0x6174, 0, flags, tag_id, len(data)) + data


def text(value):
    return value.encode("cp1252") + b"\x00"


def slot(size, data=b""):
    return struct.pack("<I", len(data)) + data + bytes(size - 4 - len(data))


def row(block):
    return b"PK\x01\x02" + struct.pack("<I", len(block)) + block + b"PK\x03\x04"


def document(shared, private, items, deleted=(), version=0):
    slots = [(1, slot(255)), (2, slot(512, shared)), (3, slot(512, private))]
    out = struct.pack("<IHI", 0x12345678, version, len(items)) + struct.pack("<H", len(slots))
    out += b"".join(struct.pack("<HI", hid, len(body)) for hid, body in slots)
    out += b"".join(body for _, body in slots)
    out += struct.pack("<I", len(deleted)) + b"".join(struct.pack("<I", i) for i in deleted)
    return out + b"".join(row(r) for r in items)


def item(item_id, indent, value, note=None, drawing=None):
    block = tag(1, b"\x00") + tag(2, b"\x00") + tag(5, struct.pack("<I", item_id)) + tag(6, bytes([indent]))
    block += tag(9, b"\x01") + tag(10, b"\x00")
    if drawing is not None:
        block += tag(12, drawing)
    block += tag(STRING | 7, text(value))
    if note is not None:
        block += tag(STRING | 8, text(note))
    return block


def drawing(width, height):
    """An 8-bit internal drawing block of one colour, its rows stored."""
    stride = (width + 3) // 4 * 4
    rows = bytes(stride * height)
    table = b"".join(struct.pack("<BBBB", i, i, i, 0) for i in range(256))
    stream = b"\x01\x00\x00\x00" + rows
    return b"\x02" + struct.pack("<III", width, height, len(rows)) + b"\x08" + table + struct.pack("<I", len(stream)) + stream


shared = (tag(3, b"\x01") + tag(4, b"\x00") + tag(5, b"\x00") + tag(8, bytes(10)) + tag(9, b"\x2e\x00")
          + tag(STRING | 1, text("Unfiled")) + tag(STRING | 2, text("")))
private = (tag(1, b"\x01") + tag(2, bytes(4)) + tag(3, bytes(4)) + tag(4, bytes(40))
           + tag(5, struct.pack("<iiiii", -12, 0, 0, 0, 700) + bytes(8)) + tag(6, bytes(4)) + tag(7, b"\x0a")
           + tag(STRING | 1, text("Tahoma")) + tag(STRING | 2, text("Plans")))
old_shared = tag(3, b"\x00") + tag(4, b"\x00") + tag(STRING | 1, text("Work"))
items = [item(1, 0, "Garden"), item(2, 1, "Seeds", note="tomatoes"), item(3, 1, "Plan", drawing=drawing(5, 3))]

seeds = {
    "empty": document(shared, private, []),
    "three-items": document(shared, private, items, deleted=(7, 7, 9)),
    "older-headers": document(old_shared, tag(STRING | 2, text("Old")), items[:1]),
    "deleted-text": document(shared, private, [tag(1, b"\x00") + tag(2, b"\x00") + tag(6, b"\x02")]),
}
whole = seeds["three-items"]
seeds["deleted-count-too-large"] = whole.replace(struct.pack("<I", 3) + struct.pack("<III", 7, 7, 9),
                                                 struct.pack("<I", 900) + struct.pack("<III", 7, 7, 9))
seeds["cut-in-drawing"] = whole[:len(whole) - 60]
seeds["version-1"] = whole[:4] + b"\x01" + whole[5:]

os.makedirs(folder, exist_ok=True)
for name, data in seeds.items():
    with open(os.path.join(folder, name), "wb") as out:
        out.write(data)
