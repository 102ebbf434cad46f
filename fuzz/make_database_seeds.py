#!/usr/bin/env python3
"""Writes the seed corpus of database_fuzz: small valid database files and
damaged variants of them, built from the stored layout independently of the
library's own writer."""
import os
import struct
import sys

def tag(tag_id, data, version=0, flags=1):
    return struct.pack("<HBIII", 0x6174, version, flags, tag_id, len(data)) + data

def row(block):
    return b"PK\x01\x02" + struct.pack("<I", len(block)) + block + b"PK\x03\x04"

def slot(size, data=b""):
    return struct.pack("<I", len(data)) + data + bytes(size - 4 - len(data))

def database(slots, rows, version=0, check=0x12345678):
    out = struct.pack("<IHI", check, version, len(rows)) + struct.pack("<H", len(slots))
    out += b"".join(struct.pack("<HI", hid, len(body)) for hid, body in slots)
    out += b"".join(body for _, body in slots)
    return out + b"".join(row(r) for r in rows)

fresh = tag(1, b"\x00") + tag(2, b"\x00")
text = tag(1, b"\x80") + tag(2, b"\x01") + tag(3, b"\x2a\x00\x00\x00") + tag(0x10007, b"hello\x00")
conduit = slot(255, tag(5, b"\x01\x02\x03\x04") + tag(0x10001, b"name\x00"))
seeds = {
    "empty-database": database([(1, slot(255))], []),
    "three-rows": database([(1, conduit)], [fresh, text, b""]),
    "three-headers": database([(3, slot(40)), (1, slot(255)), (2, slot(30, tag(9, b"\x07")))], [fresh]),
    "foreign-header": database([(1, slot(255)), (7, slot(50, b"\xee" * 20))], [text]),
    "bad-check-code": database([(1, slot(255))], [fresh], check=0x12345679),
    "bad-end-identifier": database([(1, slot(255))], [fresh])[:-1] + b"\x05",
    "truncated-row": database([(1, slot(255))], [text, text])[:-9],
    "huge-row-length": database([(1, slot(255))], [])[:6] + struct.pack("<I", 1) + database([(1, slot(255))], [])[10:]
        + b"PK\x01\x02" + struct.pack("<I", 0xFFFFFFF0) + b"x" * 16,
    "huge-header-count": struct.pack("<IHIH", 0x12345678, 0, 0, 0xFFFF) + b"\x01\x00\xff\x00\x00\x00",
    "damaged-tag-code": database([(1, slot(255))], [b"\x74\x62" + fresh[2:]]),
    "tag-size-past-block": database([(1, slot(255))], [tag(1, b"\x00")[:11] + struct.pack("<I", 99) + b"\x00"]),
    "string-without-nul": database([(1, slot(255))], [fresh + tag(0x10001, b"abc")]),
    "header-data-too-long": database([(1, struct.pack("<I", 300) + bytes(251))], []),
}
folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "corpus", "database_fuzz")
os.makedirs(folder, exist_ok=True)
for name, data in seeds.items():
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)
print(f"{len(seeds)} seeds in {folder}")
