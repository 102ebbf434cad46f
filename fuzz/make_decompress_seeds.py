#!/usr/bin/env python3
"""Writes the seed corpus of decompress_fuzz: streams made by the library's
compressor (the compress tool of the tests) from small sources, stored
streams, and damaged variants of both.

Usage: make_decompress_seeds.py COMPRESS_TOOL [FOLDER]"""
import os
import random
import subprocess
import sys

tool = sys.argv[1]
folder = sys.argv[2] if len(sys.argv) > 2 else os.path.join(os.path.dirname(__file__), "corpus", "decompress_fuzz")


def compress(source):
    return subprocess.run([tool], input=source, capture_output=True, check=True).stdout


rng = random.Random(20240601)
sources = {
    "run-40": b"a" * 40,
    "run-300": b"a" * 300,
    "text": b"the quick brown fox jumps over the lazy dog; the lazy dog sleeps. " * 12,
    "pixels": (b"\xff" * 90 + b"\x10\x20\x30" * 7) * 12,
    "periodic-5": b"abcde" * 80,
    "noise": bytes(rng.randrange(256) for _ in range(200)),
    "short": b"abc",
}
seeds = {}
for name, source in sources.items():
    stream = compress(source)
    seeds[name] = stream
    if stream[0] == 0 and len(stream) > 8:
        seeds[name + "-cut-1"] = stream[:-1]
        seeds[name + "-cut-half"] = stream[:len(stream) // 2]
        flipped = bytearray(stream)
        flipped[4] ^= 0xFF  # the first control word: literals become copies and back
        seeds[name + "-control-flipped"] = bytes(flipped)
seeds.update({
    "empty": b"",
    "header-cut": b"\x01\x00\x00",
    "stored-empty": b"\x01\x00\x00\x00",
    "compressed-empty": b"\x00\x00\x00\x00",
    "offset-0": b"\x00\x00\x00\x00\x01\x00\x0f\x00",
    "offset-beyond-output": b"\x00\x00\x00\x00\x02\x00\x61\x02\x02",
    "largest-offset": b"\x00\x00\x00\x00\x02\x00\x61\xff\xff",
    "item-cut": b"\x00\x00\x00\x00\x01\x00\x0f",
    "control-word-cut": b"\x00\x00\x00\x00\x00\x00" + b"x" * 16 + b"\x00",
    "trailing-control-word": b"\x00\x00\x00\x00\x00\x00" + b"x" * 16 + b"\xff\xff",
    "all-copies": b"\x00\x00\x00\x00\xfe\xff\x61" + b"\x0f\x01" * 15 + (b"\xff\xff" + b"\x0f\x01" * 16) * 8,
    "method-7": b"\x07\x55\xaa\x00\x02\x00\x61\x0f\x01",
})
os.makedirs(folder, exist_ok=True)
for name, data in seeds.items():
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)
print(f"{len(seeds)} seeds in {folder}")
