#include "notestore/drawings/Compression.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <iterator>

#include "notestore/foundation/ByteOrder.h"
#include "notestore/foundation/Exception.h"
#include "notestore/foundation/Messages.h"
#include "notestore/foundation/zr_assert.h"
#include "platform/Memory.h"

// Match lengths come from the first differing byte of two words loaded with
// memcpy, which is the lowest set byte only on a little-endian host; hash
// entries keep source bytes in that order too.
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
constexpr uint32_t kHashEntries = 4096;

// A hash entry holds a position on the encoder's clock, modulo 2^24, in its
// low bits and the five source bytes from that position above them. With
// the bytes at hand the encoder tells a literal from a copy, and settles
// copies of 3 and 4 bytes, without waiting for a load from the candidate.
constexpr uint32_t kClockBits = 24;
constexpr uint32_t kClockMask = (1u << kClockBits) - 1;
// In the difference of two entries: source bytes 0 to 2, 3 and 4.
constexpr uint64_t kFirstThreeBytes = uint64_t{0xFFFFFF} << kClockBits;
constexpr uint64_t kFourthByte = uint64_t{0xFF} << (kClockBits + 24);
constexpr uint64_t kFifthByte = uint64_t{0xFF} << (kClockBits + 32);
// The clock advances by a call's length plus this between two calls, so
// that whatever an earlier call entered lies beyond the largest offset.
constexpr uint32_t kCallGap = kMaxOffset + 1;
// Offsets modulo 2^24 are exact while no entry consulted is 2^23 positions
// old. A sweep at least every 2^22 positions keeps it so (the interval is
// checked at each call's start and before each full batch, so a batch, the
// literals at a source's end and a call gap are all it can overshoot by):
// it moves every entry out of reach to 2^23 positions ahead of itself,
// where it stays out of reach until the next sweep.
constexpr uint32_t kSweepInterval = 1u << 22;
constexpr uint32_t kEmptyAhead = 1u << 23;

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

uint64_t Load64(const uint8_t* p) {
    uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return word;
}

// The number of equal leading bytes of `p` and `q`, up to 16; both must
// have 16 readable bytes. A full match (runs, repeated rows) is a branch
// rather than a count, so that the next item need not wait for the loads.
uint32_t MatchLength(const uint8_t* p, const uint8_t* q) {
    const uint64_t head = Load64(p) ^ Load64(q);
    if (head != 0) return static_cast<uint32_t>(std::countr_zero(head)) / 8;
    const uint64_t tail = Load64(p + 8) ^ Load64(q + 8);
    if (tail == 0) return kMaxLength;
    return 8 + static_cast<uint32_t>(std::countr_zero(tail)) / 8;
}

// The length of a copy whose first three bytes agree; `diff` holds the
// differences of the candidate's entry and the read position's. It
// settles the commonest lengths by branches rather than by a load from the
// candidate: a predicted branch lets the next item start at once, where a
// computed length would make it wait for the load.
uint32_t CopyLength(uint64_t diff, const uint8_t* p, const uint8_t* q) {
    if ((diff & kFourthByte) != 0) return 3;
    if ((diff & kFifthByte) != 0) return 4;
    return MatchLength(p, q);
}

// The table index of the three bytes at `p`: bits 4 to 15 of h times
// 0xFFFF9E5F for h = (((b0 << 4) ^ b1) << 4) ^ b2. h has 16 bits and those
// bits of the product depend only on its low 16, so it is worked out in 16
// bits (which lets HashIndices run in 16-bit vector lanes).
inline uint16_t HashIndex(const uint8_t* p) {
    const auto h = static_cast<uint16_t>((p[0] << 8) ^ (p[1] << 4) ^ p[2]);
    return static_cast<uint16_t>(static_cast<uint16_t>(h * 0x9E5Fu) >> 4);
}

// The table index of each of `count` positions from `from`, which must have
// count + 2 readable bytes.
void HashIndices(const uint8_t* from, size_t count, uint16_t* into) {
    for (size_t i = 0; i < count; ++i) into[i] = HashIndex(from + i);
}

// The hash indices of the positions ahead of the read position, computed a
// block at a time (in vector registers) so that finding an item's entry
// waits on one load rather than on the hash arithmetic.
class HashRing {
public:
    // Positions from `end` - 15 on are never hashed.
    HashRing(const uint8_t* source, uint32_t end) : source_(source), limit_(end >= kMatchInput ? end - kMatchInput + 1 : 0) {}

    // Makes the indices of the positions below `upTo` available; `upTo` is
    // at most a full batch beyond the read position. Only what is asked
    // for is hashed (rounded up to a whole chunk, so that the vector loop
    // has no remainder to finish): batches passed as runs or repeats need
    // no indices, and the ring must not hash far ahead of them.
    void Cover(uint32_t upTo) {
        upTo = std::min((upTo + kChunk - 1) & ~(kChunk - 1), limit_);
        while (filled_ < upTo) {
            // A stretch ends at the end of the ring at most.
            const uint32_t stretchEnd = std::min((filled_ | (kSlots - 1)) + 1, upTo);
            HashIndices(source_ + filled_, stretchEnd - filled_, slots_ + (filled_ & (kSlots - 1)));
            filled_ = stretchEnd;
        }
    }

    // Leaves the positions below `to` unhashed: the read position has
    // passed them without needing their indices.
    void Skip(uint32_t to) { filled_ = std::max(filled_, std::min(to, limit_)); }

    uint32_t At(uint32_t position) const { return slots_[position & (kSlots - 1)]; }

private:
    // The ring holds the positions from the read position to the filled
    // end, which is at most a batch and a chunk ahead of it.
    static constexpr uint32_t kChunk = 32;
    static constexpr uint32_t kSlots = 512;
    static_assert(kSlots >= kFullBatchInput + kChunk);

    const uint8_t* source_;
    uint32_t limit_;
    uint32_t filled_ = 0;
    uint16_t slots_[kSlots];
};

// A copy item's two bytes, as a little-endian word.
uint16_t CopyCode(uint32_t offset, uint32_t length) {
    return static_cast<uint16_t>((offset & 0xFF) << 8 | ((offset >> 4) & 0xF0) | (length - 1));
}

// The copy item of 16 bytes at offset 16, as a little-endian word.
constexpr uint16_t kRepeatCode = (kMaxLength & 0xFF) << 8 | (kMaxLength - 1);

// Whether the 16 bytes at `p` and at `q` are equal.
bool Equal16(const uint8_t* p, const uint8_t* q) { return ((Load64(p) ^ Load64(q)) | (Load64(p + 8) ^ Load64(q + 8))) == 0; }

// Whether the item `back` items from the end of the last whole group (which
// ends at `groupEnd`, its control word `lastControl`) is a copy of 16 bytes.
bool IsFullCopy(uint32_t lastControl, const uint8_t* groupEnd, uint32_t back) {
    return ((lastControl >> (kGroupItems - back)) & 1) != 0 && (groupEnd[-2 * static_cast<ptrdiff_t>(back)] & 0x0F) == kMaxLength - 1;
}

// Whether the item at `p`, which follows a copy of 16 bytes that started
// 16 bytes back, repeats that copy: the 16 bytes at `p` equal the 16 before
// them. Its table entry is then the one that copy has just written (same
// three bytes), 16 bytes back and agreeing in all 16, so the item is a copy
// of 16 at offset 16 (kRepeatCode) and leaves its own position in that
// entry, whatever lay in the table before.
bool RepeatsItem(const uint8_t* p) { return Equal16(p, p - kMaxLength); }

// Whether the full batch at `read` is a run the encoder may pass without
// hashing: then every item of the batch is a copy of 16 bytes at one offset
// o, which this returns (else 0). That holds when
// - the last items, reaching back o bytes, are copies of 16 bytes each, so
//   that items started at every 16th position back to read - o (o is a
//   multiple of 16 and at most 256, so the previous group, which ends at
//   `groupEnd` and whose control word is `lastControl`, holds them);
// - the source repeats at offset o throughout the batch;
// - the o / 16 positions of one period, one per phase of the repetition,
//   take distinct table entries.
// By induction each item's entry was then last written by the item o bytes
// back (the same bytes, so the same entry, and no item in between shares
// it), within reach, and the two agree in all 16 bytes.
uint32_t RunOffset(const uint8_t* source, uint32_t read, uint32_t lastControl, const uint8_t* groupEnd) {
    if ((lastControl & (1u << (kGroupItems - 1))) == 0) return 0;
    const uint32_t lastCode = zr_gen::LoadLE16(groupEnd - 2);
    const uint32_t offset = ((lastCode & 0xF0) << 4) | (lastCode >> 8);
    const uint32_t period = offset / kMaxLength;
    if (offset % kMaxLength != 0 || period == 0 || period > kGroupItems) return 0;
    for (uint32_t back = 1; back <= period; ++back) {
        if (!IsFullCopy(lastControl, groupEnd, back)) return 0;
    }
    if (std::memcmp(source + read, source + read - offset, kFullBatchInput) != 0) return 0;
    uint16_t phases[kGroupItems];
    for (uint32_t k = 0; k < period; ++k) {
        phases[k] = HashIndex(source + read + k * kMaxLength);
        if (std::find(phases, phases + k, phases[k]) != phases + k) return 0;
    }
    return offset;
}

uint32_t StoreSource(const uint8_t* source, uint32_t end, uint8_t* out) {
    out[0] = kStored;
    if (end != 0) std::memcpy(out + kHeaderSize, source, end);
    return end + kHeaderSize;
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

// Whether the group at `in` is the encoder's group for a run (PassRun): 16
// copies of 16 bytes at one offset, a multiple of 16 that reaches no
// further back than the `produced` bytes; `offset` receives it. The caller
// has made sure the stream holds the group.
bool IsRunGroup(const uint8_t* in, uint32_t control, uint32_t produced, uint32_t& offset) {
    if (control != (0xFFFFu | kGroupEnd) || (in[0] & 0x0F) != kMaxLength - 1) return false;
    offset = ((in[0] & 0xF0u) << 4) | in[1];
    if (offset == 0 || offset % kMaxLength != 0 || offset > produced) return false;
    return std::memcmp(in, in + 2, 2 * kGroupItems - 2) == 0;  // every item the same
}

// Decodes a run group 16 bytes a step, without the item loop; `out` must
// have 256 writable bytes. At offset 16 (a run of one byte, or of a period
// dividing 16) the 16 bytes repeated are loaded once, so that no step waits
// for the previous one's store.
void ExpandRunGroup(uint8_t* out, uint32_t offset) {
    if (offset == kMaxLength) {
        uint8_t period[kMaxLength];
        std::memcpy(period, out - kMaxLength, kMaxLength);
        for (uint32_t i = 0; i < kGroupItems; ++i) std::memcpy(out + i * kMaxLength, period, kMaxLength);
        return;
    }
    for (uint32_t i = 0; i < kGroupItems; ++i) std::memcpy(out + i * kMaxLength, out + i * kMaxLength - offset, kMaxLength);
}

// Decodes a copy of 16 bytes at offset 16 at `out` and the items after it
// with the same code (a repeat streak, as the encoder writes for runs and
// sketches), moving `in` and `control` past them; returns the new output
// end. The 16 bytes are loaded once, so that no copy waits for the store
// before it. The caller has checked the offset and made room for the group.
uint8_t* ExpandRepeats(const uint8_t*& in, uint8_t* out, uint32_t& control) {
    uint8_t period[kMaxLength];
    std::memcpy(period, out - kMaxLength, kMaxLength);
    std::memcpy(out, period, kMaxLength);
    out += kMaxLength;
    for (; control > 1 && (control & 1) != 0 && zr_gen::LoadLE16(in) == kRepeatCode; control >>= 1) {
        std::memcpy(out, period, kMaxLength);
        out += kMaxLength;
        in += 2;
    }
    return out;
}

// One whole group with no bounds checks but the offset's; the caller has
// made sure the stream holds kFastGroupInput more bytes and the block
// kFastGroupOutput more. With kRepeats, copies of 16 at offset 16 go through
// ExpandRepeats; without, the loop stays as short as text wants it.
template <bool kRepeats>
const uint8_t* ExpandGroupFast(const uint8_t* in, uint8_t* base, uint32_t& produced, uint32_t control) {
    uint8_t* out = base + produced;
    while (control != 1) {
        if (control & 1) {
            const uint32_t offset = ((in[0] & 0xF0u) << 4) | in[1];
            const uint32_t length = (in[0] & 0x0Fu) + 1;
            in += 2;
            if (offset - 1 >= static_cast<uint32_t>(out - base)) RaiseCorruption();
            if (kRepeats && offset == kMaxLength && length == kMaxLength) {
                control >>= 1;
                out = ExpandRepeats(in, out, control);
                continue;
            }
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

uint32_t CCompression::Encoder::Begin(uint32_t end) {
    if (!ready_) {
        std::fill(std::begin(entries_), std::end(entries_), uint64_t{(clock_ + kEmptyAhead) & kClockMask});
        sweptAt_ = clock_;
        ready_ = true;
    }
    const uint32_t base = clock_;
    lastBase_ = base;
    lastEnd_ = end;
    KeepWithinClockRange(base);
    clock_ += end + kCallGap;
    return base;
}

void CCompression::Encoder::KeepWithinClockRange(uint32_t now) {
    if (now - sweptAt_ < kSweepInterval) return;
    const uint64_t ahead = (now + kEmptyAhead) & kClockMask;
    for (uint64_t& entry : entries_) {
        if (((now - static_cast<uint32_t>(entry)) & kClockMask) > kMaxOffset) entry = ahead;
    }
    sweptAt_ = now;
}

// Writes the groups of a run that RunOffset found at `read`, one per batch
// while the source keeps repeating at `offset` (so each next batch is a run
// again: the phases' entries stay distinct, as the batch length is a
// multiple of 16), until too little source is left for a full batch or the
// overrun test between batches would fall back. `controlAt` moves to the
// next group's control word; returns the new read position. The table gets
// what the items of the last batch enter, which overwrites whatever the
// earlier ones entered (sweeps between batches touch only entries out of
// reach, and these entries are written after them).
uint32_t CCompression::Encoder::PassRun(const uint8_t* source, uint32_t read, uint32_t end, uint32_t base, uint32_t offset,
                                        uint8_t*& controlAt, const uint8_t* out) {
    uint8_t group[2 + 2 * kGroupItems];
    zr_gen::StoreLE16(group, 0xFFFF);
    for (uint32_t i = 0; i < kGroupItems; ++i) zr_gen::StoreLE16(group + 2 + 2 * i, CopyCode(offset, kMaxLength));
    uint32_t batch = read;
    for (;;) {
        std::memcpy(controlAt, group, sizeof group);
        controlAt += sizeof group;
        read += kFullBatchInput;
        if (controlAt + 2 - out > end || end - read < kFullBatchInput) break;
        KeepWithinClockRange(base + read);
        if (std::memcmp(source + read, source + read - offset, kFullBatchInput) != 0) break;
        batch = read;
    }
    // Per phase, the batch's last item of that phase.
    const uint32_t period = offset / kMaxLength;
    for (uint32_t k = 0; k < period; ++k) {
        const uint32_t position = batch + (k + (kGroupItems - 1 - k) / period * period) * kMaxLength;
        entries_[HashIndex(source + position)] = Load64(source + position) << kClockBits | ((base + position) & kClockMask);
    }
    return read;
}

// One pass over the source. The positions and the control word live in
// locals, not in the object, so that the byte stores to the output (which
// may alias anything) do not force them back to memory.
uint32_t CCompression::Encoder::Encode(const uint8_t* source, uint32_t end, uint8_t* out) {
    static_assert(kEntries == kHashEntries);
    const uint32_t base = Begin(end);
    HashRing hashes(source, end);
    uint64_t* const entries = entries_;
    uint32_t read = 0;
    uint8_t* controlAt = out + kHeaderSize;
    uint8_t* put = controlAt + 2;
    uint32_t control = 0;
    uint32_t items = 0;
    uint32_t lastControl = 0;  // of the last whole group

    // The item at the read position, which must have 16 bytes behind it,
    // with `index` its table index: a copy (returns 1) when the candidate is
    // within reach and agrees in its first three bytes, else a literal.
    const auto item = [&](uint32_t index) -> uint32_t {
        const uint8_t* p = source + read;
        const uint64_t bytes = Load64(p);
        const uint32_t now = base + read;
        uint64_t& entry = entries[index];
        const uint64_t candidate = entry;
        const uint64_t shifted = bytes << kClockBits;
        entry = shifted | (now & kClockMask);
        // The differences of the five bytes, where the entry keeps them;
        // comparing in place saves a shift on the way to the branches.
        const uint64_t diff = candidate ^ shifted;
        // Reach and the first three bytes decide together, in one compare
        // and one branch: offset - 1 (on the clock) in the low bits, the
        // three bytes' differences above them.
        const uint64_t test = (diff & kFirstThreeBytes) | ((now - 1 - static_cast<uint32_t>(candidate)) & kClockMask);
        if (test < kMaxOffset) {
            const uint32_t offset = static_cast<uint32_t>(test) + 1;
            const uint32_t length = CopyLength(diff, p, p - offset);
            zr_gen::StoreLE16(put, CopyCode(offset, length));
            put += 2;
            read += length;
            return 1;
        }
        *put++ = static_cast<uint8_t>(bytes);
        ++read;
        return 0;
    };

    // A full batch after a copy of 16 bytes: in runs, repeated rows and
    // sketches most of its items repeat the item before them (RepeatsItem),
    // which needs neither a hash nor a table lookup; only the others hash
    // their position, and none is hashed ahead. Returns the control word.
    const auto repeatingBatch = [&]() -> uint32_t {
        uint32_t batch = 0;
        uint32_t index = 0;  // of the item before: a repeat takes its entry
        bool afterFullCopy = true;
        for (uint32_t i = 0; i < kGroupItems;) {
            const uint8_t* p = source + read;
            if (afterFullCopy && RepeatsItem(p)) {
                // This item and those after it that repeat in turn; only
                // the last one's position stays in the entry.
                uint32_t count = 1;
                while (i + count < kGroupItems && RepeatsItem(p + count * kMaxLength)) ++count;
                if (i == 0) index = HashIndex(p);
                for (uint32_t k = 0; k < count; ++k) zr_gen::StoreLE16(put + 2 * k, kRepeatCode);
                put += 2 * count;
                read += count * kMaxLength;
                const uint32_t last = read - kMaxLength;
                entries[index] = Load64(source + last) << kClockBits | ((base + last) & kClockMask);
                batch |= ((1u << count) - 1) << i;
                i += count;
                afterFullCopy = false;  // the bytes stopped repeating
                continue;
            }
            const uint32_t from = read;
            index = HashIndex(p);
            batch |= item(index) << i;
            afterFullCopy = read - from == kMaxLength;
            ++i;
        }
        return batch;
    };

    std::memset(out, 0, kHeaderSize);
    for (;;) {
        if (put - out > end) return StoreSource(source, end, out);
        const uint32_t left = end - read;
        if (left >= kFullBatchInput) {
            KeepWithinClockRange(base + read);
            if (const uint32_t offset = RunOffset(source, read, lastControl, controlAt); offset != 0) {
                read = PassRun(source, read, end, base, offset, controlAt, out);
                hashes.Skip(read);
                put = controlAt + 2;
                lastControl = 0xFFFF;
                continue;
            }
            uint32_t batch = 0;
            if (IsFullCopy(lastControl, controlAt, 1)) {
                batch = repeatingBatch();
                hashes.Skip(read);
            } else {
                hashes.Cover(read + kFullBatchInput);
                // Unrolled, each item's control bit is a constant shift. A
                // full batch always fills a group of its own, and its
                // control word is built in a local of the batch that stays
                // in a register.
#pragma GCC unroll 16
                for (uint32_t i = 0; i < kGroupItems; ++i) batch |= item(hashes.At(read)) << i;
            }
            control = batch;
            items = kGroupItems;
        } else if (left == 0) {
            break;
        } else if (left < kMatchInput) {
            *put++ = source[read++];
            ++items;
        } else {
            hashes.Cover(read + 1);
            control |= item(hashes.At(read)) << items;
            ++items;
        }
        if (items == kGroupItems) {
            zr_gen::StoreLE16(controlAt, static_cast<uint16_t>(control));
            lastControl = control;
            controlAt = put;
            put += 2;
            control = 0;
            items = 0;
        }
    }
    // Unused control bits stay 0; a control word without items is dropped.
    zr_gen::StoreLE16(controlAt, static_cast<uint16_t>(control));
    return static_cast<uint32_t>((put == controlAt + 2 ? controlAt : put) - out);
}

void CCompression::Encoder::TablePositions(int64_t (&positions)[kEntries]) const {
    for (uint32_t i = 0; i < kEntries; ++i) {
        const uint32_t position = (static_cast<uint32_t>(entries_[i]) - lastBase_) & kClockMask;
        positions[i] = ready_ && position < lastEnd_ ? int64_t{position} : -1;
    }
}

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
    const uint32_t size = encoder_.Encode(source, length, buffer_);
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
            if (uint32_t offset = 0; IsRunGroup(in, control, produced, offset)) {
                ExpandRunGroup(buffer_ + produced, offset);
                in += 2 * kGroupItems;
                produced += kGroupItems * kMaxLength;
            } else if ((control & 1) != 0 && zr_gen::LoadLE16(in) == kRepeatCode) {
                // Groups of runs and sketches start with a repeat; those of
                // text hardly ever hold one.
                in = ExpandGroupFast<true>(in, buffer_, produced, control);
            } else {
                in = ExpandGroupFast<false>(in, buffer_, produced, control);
            }
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
