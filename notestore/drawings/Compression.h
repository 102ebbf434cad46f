// The byte-stream compressor of drawings (LZRW1 streams behind a 4-byte
// header).
//
// Stream: byte 0 is the method (1 = stored, anything else = compressed),
// bytes 1..3 are reserved (written 0, ignored). A stored stream carries the
// bytes as they are. A compressed stream is a sequence of groups: a 16-bit
// little-endian control word, then up to 16 items, bit 0 describing the
// first. A 0 bit is one literal byte; a 1 bit is a copy of two bytes A, B:
// length (A & 0x0F) + 1, offset ((A & 0xF0) << 4) + B, counted back from the
// end of the output produced so far (the copy may overlap its own output).
// The encoder writes copies of 3 to 16 bytes at offsets 1 to 4095 and falls
// back to the stored form whenever the compressed form would not be smaller.
//
// Every result lives in the object's work block and stays valid until the
// next Compress, Decompress or freeMem on the object, or its destruction.
// The block is a multiple of 65536 bytes, grows in such steps, and is kept
// across calls, so repeated calls of similar sizes allocate nothing. The
// input of a call must not lie in the work block: growing it may move it.
//
// The object also holds the encoder's hash table (32 KiB inside the object,
// not allocated). Its contents never influence a result: every stream is the
// one a fresh object gives for the same source. It is kept only so that a
// call need not clear it first.
#pragma once

#include <cstdint>

#include "notestore/foundation/Export.h"

class ZR_EXPORT CCompression {
public:
    static constexpr uint32_t kBlockStep = 65536;

    // Allocates the first 65536-byte work block; raises "Out of memory"
    // (message 11, after an assertion line) when the heap cannot provide it.
    CCompression();
    ~CCompression();
    CCompression(const CCompression&) = delete;
    CCompression& operator=(const CCompression&) = delete;

    // Releases the work block early; the next call allocates a new one.
    void freeMem();

    // Encodes `length` bytes (a null source only with length 0). `result`
    // points at the stream in the work block, `*resultLength` receives its
    // size: at most length + 4, and less than length whenever it is the
    // compressed form. Raises message 11 when the block cannot grow to
    // length + 34 bytes (the encoder's worst case before it falls back).
    void Compress(const uint8_t* source, uint32_t length, uint8_t*& result, uint32_t* resultLength);

    // Decodes a stream of `length` bytes into the work block. The stream is
    // not trusted: one shorter than its header, a copy whose offset is 0 or
    // reaches before the start of the output, or a stream that ends inside a
    // control word or an item raises the data corruption error (message 15);
    // `result` and the block's earlier contents are then undefined but the
    // object stays usable. The output is at most 8 bytes per stream byte, so
    // a hostile stream cannot make the block grow further than that. Raises
    // message 11 when the block cannot grow.
    void Decompress(const uint8_t* stream, uint32_t length, uint8_t*& result, uint32_t* resultLength);

    // The work block's size: 0 without a block, else a multiple of 65536.
    uint32_t capacity() const { return capacity_; }

    // For checking the encoder: the position in the source of the last
    // Compress that each of the 4096 hash entries holds, or -1 for an entry
    // holding none of that source; the table an encoder that enters every
    // item's position (and nothing else) leaves behind. Exact for sources
    // under 2 MiB (positions are kept modulo 2^24 and swept further on),
    // but for one thing: a sweep during the call (the clock runs on across
    // calls, so one can fall into any call once an object has compressed
    // 4 MiB) empties the entries then out of reach, which read -1 here.
    void LastTablePositions(int64_t (&positions)[4096]) const { encoder_.TablePositions(positions); }

private:
    // Grows the block (keeping its bytes) to the smallest multiple of 65536
    // that holds `bytes`, or allocates one when there is none.
    void Reserve(uint64_t bytes);
    uint32_t Expand(const uint8_t* in, const uint8_t* end);

    // The encoder and the hash table it keeps between calls. Positions are
    // counted on a clock that runs on across calls, so what earlier calls
    // entered is always out of reach (Compression.cpp explains the bounds).
    class Encoder {
    public:
        static constexpr uint32_t kEntries = 4096;

        // Encodes `end` bytes into `out`, which holds end + 34 bytes, and
        // returns the stream length.
        uint32_t Encode(const uint8_t* source, uint32_t end, uint8_t* out);
        void TablePositions(int64_t (&positions)[kEntries]) const;

    private:
        // Makes the entries usable at the first call and returns the clock
        // reading of this call's position 0.
        uint32_t Begin(uint32_t end);
        // Marks every entry further back than the largest offset from `now`
        // as empty, when the last sweep is far enough behind.
        void KeepWithinClockRange(uint32_t now);
        // Writes the groups of copies of a run without hashing its
        // positions (Compression.cpp gives the conditions).
        uint32_t PassRun(const uint8_t* source, uint32_t read, uint32_t end, uint32_t base, uint32_t offset,
                         uint8_t*& controlAt, const uint8_t* out);

        uint64_t entries_[kEntries];
        uint32_t clock_ = 0;
        uint32_t sweptAt_ = 0;
        uint32_t lastBase_ = 0;  // the clock at the last call's position 0
        uint32_t lastEnd_ = 0;   // and that call's length
        bool ready_ = false;
    };

    uint8_t* buffer_ = nullptr;
    uint32_t capacity_ = 0;
    Encoder encoder_;
};
