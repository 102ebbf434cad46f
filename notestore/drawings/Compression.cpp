#include "notestore/drawings/Compression.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "notestore/foundation/ByteOrder.h"
#include "notestore/foundation/Exception.h"
#include "notestore/foundation/Messages.h"
#include "notestore/foundation/zr_assert.h"
#include "platform/Memory.h"

// Match lengths come from the first differing byte of two words loaded with
// memcpy, which is the lowest set byte only on a little-endian host.
static_assert(std::endian::native == std::endian::little);

namespace {

constexpr uint8_t kStored = 1;
constexpr uint32_t kHeaderSize = 4;
constexpr uint32_t kGroupItems = 16;
constexpr uint32_t kMaxLength = 16;
constexpr uint32_t kMaxOffset = 4095;
// The encoder checks for overrun only between batches; one batch can add a
// control word and 16 copy items behind the last check.
constexpr uint32_t kEncodeSlack = 2 + 2 * kGroupItems;
// The largest block size that is a multiple of the step and fits 32 bits.
constexpr uint64_t kMaxCapacity = 0x100000000ull - CCompression::kBlockStep;

// Encoder batches: 16 items without end checks while this much input is
// left; matches are tried only while a full match length is left.
constexpr uint32_t kFullBatchInput = kGroupItems * kMaxLength;
constexpr uint32_t kMatchInput = kMaxLength;
// A match needs its first three bytes equal: the low three bytes of a word.
constexpr uint32_t kMinMatchBytes = 0xFFFFFF;
constexpr uint32_t kHashEntries = 4096;
// Hash entries hold a position plus this bias in their low half, so an
// empty entry (0) always lies more than kMaxOffset behind the read position,
// and the first three bytes at that position in their high half.
constexpr uint32_t kPositionBias = kMaxOffset + 1;

// Decoder: a control word with this bit added ends its group when it has
// been shifted down to 1.
constexpr uint32_t kGroupEnd = 1u << kGroupItems;
// Decoding a whole group without bounds checks needs its largest form (16
// copies) in the stream and its largest output in the block, each with room
// for one 16-byte access beyond.
constexpr uint32_t kWideCopy = 16;
constexpr ptrdiff_t kFastGroupInput = 2 * kGroupItems + kWideCopy;
constexpr uint32_t kFastGroupOutput = kGroupItems * kMaxLength + kWideCopy;

[[noreturn]] void RaiseCorruption() { ZR_THROW(CException, zr_gen::kMsgDataCorruption, zr_gen::kNoErrorNumber); }

uint32_t Load32(const uint8_t* p) {
    uint32_t word;
    std::memcpy(&word, p, sizeof word);
    return word;
}

uint64_t Load64(const uint8_t* p) {
    uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return word;
}

// The number of equal leading bytes of `p` and `q`, up to 16; both must
// have 16 readable bytes.
uint32_t MatchLength(const uint8_t* p, const uint8_t* q) {
    const uint32_t head = static_cast<uint32_t>(std::countr_zero(Load64(p) ^ Load64(q))) / 8;
    if (head < 8) return head;
    return 8 + static_cast<uint32_t>(std::countr_zero(Load64(p + 8) ^ Load64(q + 8))) / 8;
}

uint32_t StoreSource(const uint8_t* source, uint32_t end, uint8_t* out) {
    out[0] = kStored;
    if (end != 0) std::memcpy(out + kHeaderSize, source, end);
    return end + kHeaderSize;
}

// One pass over the source into `out`, which must hold end + 34 bytes. The
// state lives in locals, not in an object, so that the byte stores to the
// output (which may alias anything) do not force it back to memory.
uint32_t EncodeStream(const uint8_t* source, uint32_t end, uint8_t* out) {
    uint64_t table[kHashEntries] = {};
    uint32_t read = 0;
    uint32_t controlAt = kHeaderSize;
    uint32_t write = controlAt + 2;
    uint32_t control = 0;
    uint32_t items = 0;

    // The item at the read position, which must have 16 bytes behind it: a
    // copy (returns 1) when the hashed candidate is within reach and agrees
    // in its first three bytes, else a literal (returns 0).
    const auto item = [&]() -> uint32_t {
        const uint8_t* p = source + read;
        const uint32_t bytes = Load32(p);
        const uint32_t h = (((p[0] << 4) ^ p[1]) << 4) ^ p[2];
        // Bits 4..15 of h times 40543, the low half of the multiplier 0xFFFF9E5F.
        const uint32_t index = ((h * 40543u) >> 4) & (kHashEntries - 1);
        const uint64_t candidate = table[index];
        table[index] = (uint64_t{bytes & kMinMatchBytes} << 32) | (read + kPositionBias);
        const uint32_t offset = read + kPositionBias - static_cast<uint32_t>(candidate);
        // Reach and the candidate's bytes (kept in its entry, so no load
        // from the source waits on the table) decide together in one
        // branch: random data then predicts it well, and a mispredicted one
        // resolves early. The mask is arithmetic so that the compiler does
        // not turn it back into a second branch.
        const uint32_t outOfReach = static_cast<uint32_t>((int64_t{kMaxOffset - 1} - int64_t{offset - 1}) >> 63);
        if ((((static_cast<uint32_t>(candidate >> 32) ^ bytes) | outOfReach) & kMinMatchBytes) == 0) {
            const uint8_t* q = p - offset;
            const uint32_t length = MatchLength(p, q);
            out[write] = static_cast<uint8_t>(((offset >> 4) & 0xF0) | (length - 1));
            out[write + 1] = static_cast<uint8_t>(offset);
            write += 2;
            read += length;
            return 1;
        }
        out[write++] = static_cast<uint8_t>(bytes);
        ++read;
        return 0;
    };

    std::memset(out, 0, kHeaderSize);
    for (;;) {
        if (write > end) return StoreSource(source, end, out);
        const uint32_t left = end - read;
        if (left >= kFullBatchInput) {
            // Unrolled, each item's control bit is a constant shift.
#pragma GCC unroll 16
            for (uint32_t i = 0; i < kGroupItems; ++i) control |= item() << i;
            items = kGroupItems;
        } else if (left == 0) {
            break;
        } else if (left < kMatchInput) {
            out[write++] = source[read++];
            ++items;
        } else {
            control |= item() << items;
            ++items;
        }
        if (items == kGroupItems) {
            zr_gen::StoreLE16(out + controlAt, static_cast<uint16_t>(control));
            controlAt = write;
            write += 2;
            control = 0;
            items = 0;
        }
    }
    // Unused control bits stay 0; a control word without items is dropped.
    zr_gen::StoreLE16(out + controlAt, static_cast<uint16_t>(control));
    return write == controlAt + 2 ? controlAt : write;
}

// Appends a copy item one byte at a time, so that a copy overlapping its own
// output repeats what it has just produced.
void RepeatBytes(uint8_t* out, uint32_t offset, uint32_t length) {
    const uint8_t* from = out - offset;
    for (uint32_t i = 0; i < length; ++i) out[i] = from[i];
}

// Appends a copy item; `out` must have 16 writable bytes, of which those
// past the item's length are scratch that later items overwrite. Offsets of
// 8 or more move whole words; shorter ones go byte by byte (or as one fill
// for offset 1).
void CopyMatch(uint8_t* out, uint32_t offset, uint32_t length) {
    const uint8_t* from = out - offset;
    if (offset >= 16) {
        std::memcpy(out, from, 16);
    } else if (offset >= 8) {
        // The second half reads bytes the first half has just written.
        std::memcpy(out, from, 8);
        std::memcpy(out + 8, from + 8, 8);
    } else if (offset == 1) {
        std::memset(out, from[0], 16);
    } else {
        RepeatBytes(out, offset, length);
    }
}

// One whole group with no bounds checks but the offset's; the caller has
// made sure the stream holds kFastGroupInput more bytes and the block
// kFastGroupOutput more.
const uint8_t* ExpandGroupFast(const uint8_t* in, uint8_t* base, uint32_t& produced, uint32_t control) {
    uint8_t* out = base + produced;
    while (control != 1) {
        if (control & 1) {
            const uint32_t offset = ((in[0] & 0xF0u) << 4) | in[1];
            const uint32_t length = (in[0] & 0x0Fu) + 1;
            in += 2;
            if (offset - 1 >= static_cast<uint32_t>(out - base)) RaiseCorruption();
            CopyMatch(out, offset, length);
            out += length;
            control >>= 1;
        } else {
            // A run of literals up to the next copy or the group's end.
            const int run = std::countr_zero(control);
            std::memcpy(out, in, kWideCopy);
            in += run;
            out += run;
            control >>= run;
        }
    }
    produced = static_cast<uint32_t>(out - base);
    return in;
}

}  // namespace

CCompression::CCompression() { Reserve(0); }

CCompression::~CCompression() { platform::FreeBytes(buffer_); }

void CCompression::freeMem() {
    platform::FreeBytes(buffer_);
    buffer_ = nullptr;
    capacity_ = 0;
}

void CCompression::Reserve(uint64_t bytes) {
    if (buffer_ != nullptr && bytes <= capacity_) return;
    const uint64_t wanted = std::max<uint64_t>(kBlockStep, (bytes + kBlockStep - 1) / kBlockStep * kBlockStep);
    void* grown = wanted <= kMaxCapacity ? platform::ReallocateBytes(buffer_, wanted) : nullptr;
    ZR_ASSERT(grown != nullptr);
    if (grown == nullptr) ZR_THROW(CException, zr_gen::kMsgOutOfMemory, zr_gen::DefaultErrorNumber(zr_gen::kMsgOutOfMemory));
    buffer_ = static_cast<uint8_t*>(grown);
    capacity_ = static_cast<uint32_t>(wanted);
}

void CCompression::Compress(const uint8_t* source, uint32_t length, uint8_t*& result, uint32_t* resultLength) {
    ZR_ASSERT(source != nullptr || length == 0);
    ZR_ASSERT(resultLength != nullptr);
    if (source == nullptr) length = 0;
    Reserve(uint64_t{length} + kEncodeSlack);
    const uint32_t size = EncodeStream(source, length, buffer_);
    result = buffer_;
    if (resultLength != nullptr) *resultLength = size;
}

void CCompression::Decompress(const uint8_t* stream, uint32_t length, uint8_t*& result, uint32_t* resultLength) {
    ZR_ASSERT(stream != nullptr || length == 0);
    ZR_ASSERT(resultLength != nullptr);
    if (stream == nullptr || length < kHeaderSize) RaiseCorruption();
    const uint32_t payload = length - kHeaderSize;
    uint32_t size = payload;
    if (stream[0] == kStored) {
        Reserve(payload);
        if (payload != 0) std::memcpy(buffer_, stream + kHeaderSize, payload);
    } else {
        Reserve(0);
        size = Expand(stream + kHeaderSize, stream + length);
    }
    result = buffer_;
    if (resultLength != nullptr) *resultLength = size;
}

uint32_t CCompression::Expand(const uint8_t* in, const uint8_t* end) {
    uint32_t produced = 0;
    while (in != end) {
        if (end - in < 2) RaiseCorruption();  // a stream ending inside a control word
        uint32_t control = zr_gen::LoadLE16(in) | kGroupEnd;
        in += 2;
        if (end - in >= kFastGroupInput && capacity_ - produced >= kFastGroupOutput) {
            in = ExpandGroupFast(in, buffer_, produced, control);
            continue;
        }
        // Near the end of the stream or of the block: every item checked,
        // the block grown exactly as far as the output needs.
        for (; control != 1 && in != end; control >>= 1) {
            if ((control & 1) == 0) {
                if (produced == capacity_) Reserve(uint64_t{produced} + 1);
                buffer_[produced++] = *in++;
                continue;
            }
            if (end - in < 2) RaiseCorruption();  // a stream ending inside a copy item
            const uint32_t offset = ((in[0] & 0xF0u) << 4) | in[1];
            const uint32_t length = (in[0] & 0x0Fu) + 1;
            in += 2;
            if (offset - 1 >= produced) RaiseCorruption();
            if (capacity_ - produced < length) Reserve(uint64_t{produced} + length);
            if (capacity_ - produced >= kWideCopy) {
                CopyMatch(buffer_ + produced, offset, length);
            } else {
                RepeatBytes(buffer_ + produced, offset, length);
            }
            produced += length;
        }
    }
    return produced;
}
