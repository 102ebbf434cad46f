#!/usr/bin/env python3
"""An LZRW1 stream writer of its own, written from the stream format alone,
and the comparison of the library's encoder with it.

Usage: lzrw1_reference.py COMPRESS_TOOL

COMPRESS_TOOL reads a source on standard input and writes the library's
stream to standard output. The inputs are made here from fixed seeds and are
used by no other test, so the library cannot have been tuned to them.
"""
import random
import subprocess
import sys

HASH_ENTRIES = 4096
MAX_OFFSET = 4095
MAX_LENGTH = 16


def stored(source):
    return bytes([1, 0, 0, 0]) + bytes(source)


def hash_index(b0, b1, b2):
    h = (((b0 << 4) ^ b1) << 4) ^ b2
    return ((h * -24993) & 0xFFFFFFFF) >> 4 & (HASH_ENTRIES - 1)


def compress(source):
    end = len(source)
    table = [None] * HASH_ENTRIES
    out = bytearray(6)  # header (method 0) and the first control word
    control_at = 4
    control = 0
    count = 0
    pos = 0

    def literal():
        nonlocal pos, control
        out.append(source[pos])
        pos += 1
        control >>= 1

    def item():
        nonlocal pos, control
        index = hash_index(source[pos], source[pos + 1], source[pos + 2])
        candidate = table[index]
        table[index] = pos
        if candidate is None or not 0 < pos - candidate <= MAX_OFFSET \
                or source[candidate:candidate + 3] != source[pos:pos + 3]:
            literal()
            return
        length = 3
        while length < MAX_LENGTH and source[candidate + length] == source[pos + length]:
            length += 1
        offset = pos - candidate
        out.append(((offset >> 4) & 0xF0) | (length - 1))
        out.append(offset & 0xFF)
        pos += length
        control = (control >> 1) | 0x8000

    while True:
        if len(out) > end:
            return stored(source)
        if pos <= end - 256:
            for _ in range(16):
                item()
                count += 1
        elif pos == end:
            break
        else:
            if pos > end - 16:
                literal()
            else:
                item()
            count += 1
        if count == 16:
            out[control_at:control_at + 2] = control.to_bytes(2, "little")
            control_at = len(out)
            out += b"\0\0"
            control = 0
            count = 0
    control >>= 16 - count
    out[control_at:control_at + 2] = control.to_bytes(2, "little")
    if len(out) == control_at + 2:
        del out[control_at:]
    return bytes(out)


WORDS = ("the of and to in is was that for on with as by at from this be are "
         "note outline item drawing page list task done open close write read "
         "small large quick brown river mountain window garden letter morning").split()


def text(rng, size):
    words = []
    length = 0
    while length < size:
        word = rng.choice(WORDS)
        if rng.random() < 0.1:
            word = word.capitalize() + rng.choice([".", ",", ";"])
        words.append(word)
        length += len(word) + 1
    return " ".join(words).encode()[:size]


def pixels(rng, size):
    out = bytearray(b"\xff" * size)
    for _ in range(size // 200 + 1):
        colour = bytes(rng.randrange(256) for _ in range(3))
        start = rng.randrange(max(1, size))
        stroke = (colour * rng.randrange(1, 40))[:size - start]
        out[start:start + len(stroke)] = stroke
    return bytes(out)


def few_symbols(rng, size):
    alphabet = bytes(rng.randrange(256) for _ in range(rng.randrange(1, 5)))
    return bytes(rng.choice(alphabet) for _ in range(size))


def runs(rng, size):
    out = bytearray()
    while len(out) < size:
        out += bytes([rng.randrange(256)]) * rng.randrange(1, 300)
    return bytes(out[:size])


def periodic(rng, size):
    # Every period from 1 to 40, so matches at every short offset overlap.
    unit = bytes(rng.randrange(256) for _ in range(rng.randrange(1, 41)))
    out = bytearray((unit * (size // len(unit) + 1))[:size])
    for _ in range(size // 500):
        out[rng.randrange(size)] = rng.randrange(256)
    return bytes(out)


def noise(rng, size):
    return bytes(rng.randrange(256) for _ in range(size))


def mixed(rng, size):
    out = bytearray()
    makers = (text, pixels, few_symbols, runs, periodic, noise)
    while len(out) < size:
        out += rng.choice(makers)(rng, rng.randrange(1, 5000))
    return bytes(out[:size])


def inputs():
    makers = (text, pixels, few_symbols, runs, periodic, noise, mixed)
    rng = random.Random(0x5EED1)
    sizes = [0, 1, 5, 6, 7, 15, 16, 17, 18, 31, 255, 256, 257, 271, 272, 273, 4096, 4111]
    sizes += [rng.randrange(20, 3000) for _ in range(20)]
    sizes += [rng.randrange(3000, 70000) for _ in range(6)]
    sizes += [65535, 65536, 65537, 140000, 150001]
    for index, size in enumerate(sizes):
        maker = makers[index % len(makers)]
        yield f"{maker.__name__}-{size}", maker(random.Random(index * 7919 + size), size)


def self_check():
    """The writer reproduces the worked examples of the format."""
    example = bytes.fromhex("00000000" "0600" "61" "0f01" "0f10" "61616161616161")
    assert compress(b"a" * 40) == example, compress(b"a" * 40).hex()
    assert compress(b"abc") == bytes.fromhex("01000000616263")
    assert compress(b"") == bytes.fromhex("01000000")
    long_run = compress(b"a" * 300)
    assert len(long_run) == 56 and long_run.startswith(bytes.fromhex("00000000feff610f010f10")), long_run.hex()


def main():
    self_check()
    tool = sys.argv[1]
    failures = 0
    count = 0
    for name, source in inputs():
        expected = compress(source)
        actual = subprocess.run([tool], input=source, capture_output=True, check=True).stdout
        count += 1
        if actual != expected:
            failures += 1
            first = next((i for i, (a, b) in enumerate(zip(actual, expected)) if a != b), min(len(actual), len(expected)))
            print(f"{name}: library {len(actual)} bytes, reference {len(expected)} bytes, first difference at {first}")
    print(f"{count} inputs, {failures} differ")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
