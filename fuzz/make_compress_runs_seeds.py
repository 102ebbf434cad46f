#!/usr/bin/env python3
"""Writes the seed corpus of compress_runs_fuzz: recipes (see RunHeavySource)
for runs of one byte, patterns of a few periods, noise between them and
copies, plus random recipes.

Usage: make_compress_runs_seeds.py [FOLDER]"""
import os
import random
import sys

folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "corpus", "compress_runs_fuzz")
os.makedirs(folder, exist_ok=True)


def run(length16, value, extra=0):
    return bytes([extra << 2 | 0, length16, value])


def pattern(period, length16, extra=0):
    return bytes([(period - 2) << 2 | 1, length16 + extra]) + bytes(range(7, 7 + period))


def noise(count):
    return bytes([(count - 1) << 2 | 2]) + bytes((i * 37) & 0xFF for i in range(count))


rng = random.Random(20261209)
seeds = {
    "white": run(255, 0xFF) * 4,
    "white-stroke": (run(40, 0xFF) + noise(9)) * 6,
    "rgb-runs": pattern(3, 200) + noise(3) + pattern(3, 120),
    "periods": b"".join(pattern(p, 30) + noise(5) for p in (2, 4, 5, 8, 12, 16, 17, 24, 32, 48, 64)),
    "back-256": run(30, 1) + noise(30) + bytes([63 << 2 | 1, 200, 10]),
    "uneven-ends": b"".join(run(17, v, v % 16) for v in range(20)),
}
for i in range(6):
    seeds[f"random-{i}"] = bytes(rng.randrange(256) for _ in range(rng.randrange(20, 300)))
for name, seed in seeds.items():
    with open(os.path.join(folder, name), "wb") as f:
        f.write(seed)
