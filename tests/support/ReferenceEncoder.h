// The drawing compressor's encoder written plainly, as the oracle of the
// library's streams (and of the hash table its encoder leaves behind).
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "Bytes.h"

namespace testsupport {

inline Bytes Stored(const Bytes& source) { return ByteWriter().U32(1).Raw(source).bytes; }

// The encoder exactly as the stream format describes it, written for
// clarity rather than speed: the oracle for the library's streams. Every
// item hashes its three bytes, takes the entry and always replaces it; a
// candidate is used when it lies 1 to 4095 bytes back and agrees in three
// bytes; 16 items per batch while 256 bytes remain, then one, with the last
// 15 bytes literals; the overrun test between batches falls back to the
// stored form. `tableLeft`, when given, receives the table as it is left:
// each entry's position, or -1 for an entry never written.
inline Bytes ReferenceStream(const Bytes& source, std::vector<int64_t>* tableLeft = nullptr) {
    const size_t end = source.size();
    std::vector<int64_t> table(4096, -1);
    // The table left behind, on every way out.
    struct Leave {
        std::vector<int64_t>& table;
        std::vector<int64_t>* into;
        ~Leave() {
            if (into != nullptr) *into = table;
        }
    } leave{table, tableLeft};
    Bytes out(6, 0);
    size_t controlAt = 4;
    size_t pos = 0;
    uint32_t control = 0;
    uint32_t count = 0;
    const auto literal = [&] {
        out.push_back(source[pos++]);
        control >>= 1;
    };
    const auto item = [&] {
        const uint32_t h = (((source[pos] << 4) ^ source[pos + 1]) << 4) ^ source[pos + 2];
        const uint32_t index = ((h * 0xFFFF9E5Fu) >> 4) & 0xFFF;
        const int64_t candidate = table[index];
        table[index] = static_cast<int64_t>(pos);
        const int64_t offset = static_cast<int64_t>(pos) - candidate;
        if (candidate < 0 || offset == 0 || offset > 4095 ||
            !std::equal(source.begin() + candidate, source.begin() + candidate + 3, source.begin() + static_cast<std::ptrdiff_t>(pos))) {
            literal();
            return;
        }
        size_t length = 3;
        while (length < 16 && source[static_cast<size_t>(candidate) + length] == source[pos + length]) ++length;
        out.push_back(static_cast<uint8_t>(((offset >> 4) & 0xF0) | static_cast<int64_t>(length - 1)));
        out.push_back(static_cast<uint8_t>(offset));
        pos += length;
        control = (control >> 1) | 0x8000;
    };
    const auto storeControl = [&] {
        out[controlAt] = static_cast<uint8_t>(control);
        out[controlAt + 1] = static_cast<uint8_t>(control >> 8);
    };
    for (;;) {
        if (out.size() > end) return Stored(source);
        if (pos + 256 <= end) {
            for (int i = 0; i < 16; ++i) item();
            count = 16;
        } else if (pos == end) {
            break;
        } else {
            pos + 16 > end ? literal() : item();
            ++count;
        }
        if (count == 16) {
            storeControl();
            controlAt = out.size();
            out.insert(out.end(), {0, 0});
            control = 0;
            count = 0;
        }
    }
    control >>= 16 - count;
    storeControl();
    if (out.size() == controlAt + 2) out.resize(controlAt);
    return out;
}

// A source made mostly of runs from a recipe of any bytes: runs of one
// byte, repetitions of a pattern of 2 to 64 bytes (or of the bytes 256 to
// 320 back), short noise and copies of earlier stretches, each up to a few
// KiB, the whole under 1 MiB. Every recipe gives a source, so that a fuzzer
// can drive it.
inline Bytes RunHeavySource(const uint8_t* recipe, size_t size) {
    constexpr size_t kLimit = 1 << 20;
    Bytes out;
    size_t at = 0;
    const auto next = [&]() -> uint32_t { return at < size ? recipe[at++] : 0; };
    while (at < size && out.size() < kLimit) {
        const uint32_t op = next();
        const uint32_t arg = op >> 2;
        const size_t length = 16 * (1 + next()) + arg % 16;
        switch (op & 3) {
            case 0:
                out.insert(out.end(), length, static_cast<uint8_t>(next()));
                break;
            case 1: {
                // A period of 2 to 64 new bytes, or one that repeats what
                // lies 256 to 320 bytes back.
                Bytes pattern;
                if (arg < 63) {
                    for (uint32_t i = 0; i < arg + 2; ++i) pattern.push_back(static_cast<uint8_t>(next()));
                } else if (out.size() >= 320) {
                    pattern.assign(out.end() - 256 - static_cast<std::ptrdiff_t>(next() % 64), out.end());
                } else {
                    pattern = {1, 2, 3};
                }
                for (size_t i = 0; i < length; ++i) out.push_back(pattern[i % pattern.size()]);
                break;
            }
            case 2:
                for (uint32_t i = 0; i <= arg % 40; ++i) out.push_back(static_cast<uint8_t>(next()));
                break;
            default:
                if (out.empty()) break;
                const size_t back = 1 + (next() << 8 | next()) % out.size();
                for (size_t i = 0; i < length; ++i) out.push_back(out[out.size() - back]);
        }
    }
    if (out.size() > kLimit) out.resize(kLimit);
    return out;
}

}  // namespace testsupport
