// The tagged data block: self-describing items sorted by id.
//
// Every header block and every row keeps its fields as a run of items, each a
// 15-byte tag header followed by the item's data:
//   offset 0  tag code, 16-bit, always 0x6174 ("ta")
//          2  version, 8-bit
//          3  flag word, 32-bit: bit 0 = changed, the rest 0
//          7  tag id, 32-bit, strictly ascending through the block, > 0
//          11 data size, 32-bit
// All little-endian (byte-reversed when swap is set; the version byte and the
// flag word never are). No count, no gaps, no trailer. String tags live under
// id byte id + 0x10000, stored as Windows-1252 text plus one NUL byte, data
// size = UTF-16 characters + 1. A text that Windows-1252 cannot hold also
// keeps its exact form under id byte id + 0x20000: its UTF-16 units,
// little-endian, no terminator. A reader that knows only the code-page form
// passes over that tag and sees "?" for what the code page lacks.
//
// Blocks come from files: every operation checks item sizes against the
// block, and an item that would reach past the block's end is corruption,
// never an out-of-bounds access.
#pragma once

#include <cstdint>

#include "notestore/engine/BufferManager.h"
#include "notestore/foundation/Export.h"
#include "notestore/foundation/String.h"

namespace zr_gen {

// One tag header as it is in memory (the stored form is 15 packed bytes).
struct ZR_EXPORT TagType {
    uint16_t code = 0;
    uint8_t version = 0;
    uint32_t flags = 0;
    uint32_t id = 0;
    uint32_t size = 0;
};

class ZR_EXPORT CTaggedDataManager : public CBufferManager {
public:
    static constexpr uint16_t kTaggedDataCode = 0x6174;
    static constexpr uint32_t kStringTagIDCode = 0x10000;
    static constexpr uint32_t kExactTextIDCode = 0x20000;
    static constexpr uint32_t kTagHeaderSize = 15;
    static constexpr uint32_t kChangedFlag = 0x1;

    // Result codes; any other non-zero code (the buffer could not grow: -1)
    // is an unknown data error.
    static constexpr int32_t kNoError = 0;
    static constexpr int32_t kDataCorruptionError = -4556;
    static constexpr int32_t kDataClassNotFoundError = -4555;
    static constexpr int32_t kDataBufferOverflowError = -4554;

    CTaggedDataManager(char** buffer, uint32_t size, bool swap, uint32_t capacity, uint32_t growthStep);

    int32_t hasTag(uint32_t id, bool* found);
    int32_t hasStringTag(uint8_t byteId, bool* found);
    // The tag's data size; 0 when absent.
    int32_t getTagDataSize(uint32_t id, uint32_t* size);

    // Stores the bytes under the id. An existing tag counts as unchanged only
    // when its changed bit is clear and version, size and bytes are equal;
    // then nothing is written. A changed value gets the changed bit. -1 (the
    // block as it was) when the buffer cannot grow. `data` must not point
    // into this block.
    int32_t setData(uint32_t id, const void* data, uint32_t size, bool* changed, uint8_t version);
    // On entry *size is the room at destination; on success the stored size.
    // kDataBufferOverflowError (nothing copied) when the data is larger.
    int32_t getData(uint32_t id, void* destination, uint32_t* size, uint8_t* version);
    // The tag's data inside the block (valid until the next change), or null
    // when absent, damaged or shorter than minSize. The writable form counts
    // as an edit of the block (see CBufferManager::edits); readers use
    // findDataPtr.
    char* getDataPtr(uint32_t id, uint32_t minSize);
    const char* findDataPtr(uint32_t id, uint32_t minSize);
    // Removing an absent tag succeeds.
    int32_t deleteData(uint32_t id);
    // Removes the string and its exact form.
    int32_t deleteStringData(uint8_t byteId);

    int32_t setTagChanged(uint32_t id, bool value);
    int32_t getTagChanged(uint32_t id, bool* value);
    int32_t setStringTagChanged(uint8_t byteId, bool value);
    int32_t getStringTagChanged(uint8_t byteId, bool* value);
    int32_t getTagVersion(uint32_t id, uint8_t* version);
    int32_t getStringTagVersion(uint8_t byteId, uint8_t* version);

    // Text that Windows-1252 holds is stored as its code-page bytes alone,
    // exactly as it always was; any other text also gets its exact form (and
    // a text that no longer needs one loses it). `changed` is true when
    // either changed; the string tag's changed bit then covers both, and the
    // exact form's own bit means nothing.
    int32_t setString(uint8_t byteId, const char16_t* text, bool* changed);
    // The exact form when the block holds one that matches the code-page
    // text, else the code-page text: a writer that knows only the code page
    // and changed the text left behind an exact form of the earlier text,
    // which no longer converts to what is stored. Empty for a tag of data
    // size 0; kDataCorruptionError when the last byte is not NUL.
    int32_t getString(uint8_t byteId, _String& text);

    // Asserts the block's consistency (codes, ascending ids); changes nothing.
    // A block found consistent is walked again only once something other
    // than this manager's own stores changed it.
    void Validate();
    bool getSwap() const { return swap_; }

    // Raises the message of a non-zero code (15 to 18) with
    // "Error in file %s line %d" appended, as a CException with number -1,
    // after the trace line for `file` and `line`. `text` is not used. Code 0
    // is a caller's mistake: asserted, and nothing is raised.
    static void ProcessError(const char* file, uint32_t line, int32_t code, const char16_t* text);

    // Typed values of 1, 2 and 4 bytes, version 0, no changed output. A
    // missing tag on get leaves the variable and returns
    // kDataClassNotFoundError; a longer stored value is
    // kDataBufferOverflowError, a shorter one replaces only the low-order
    // bytes (the first bytes of the variable on the little-endian device).
    int32_t setData(uint32_t id, uint8_t value);
    int32_t setData(uint32_t id, uint16_t value);
    int32_t setData(uint32_t id, uint32_t value);
    int32_t getData(uint32_t id, uint8_t& value);
    int32_t getData(uint32_t id, uint16_t& value);
    int32_t getData(uint32_t id, uint32_t& value);

protected:
    // Walks to the id: *position is its offset when found, else where it
    // must be inserted.
    int32_t findTag(uint32_t id, bool* found, uint32_t* position, TagType* tag);
    void readTag(uint32_t position, TagType* tag);
    void swapTag(TagType* tag);
    int32_t insertEmptyTag(uint32_t id, uint32_t position);
    // findTag for a tag that must exist: kDataClassNotFoundError when absent.
    int32_t findExisting(uint32_t id, uint32_t* position, TagType* tag);
    bool isValidTag(const TagType& tag);

private:
    // The 15 stored bytes of a header, reversed when the block is swapped.
    void encodeTag(const TagType& tag, uint8_t* bytes);
    // setData's store of a changed value: the item with header `tag` at
    // `position`, in place of the `oldItem` bytes there (0: a new item).
    // -1, the block as it was, when it cannot grow.
    static constexpr uint32_t kSmallItemData = 113;  // header and data in 128 bytes
    int32_t storeSmallItem(const TagType& tag, const void* data, uint32_t position, uint32_t oldItem);
    int32_t storeLargeItem(const TagType& tag, const void* data, uint32_t position, bool found, uint32_t oldSize);
    // The typed values, `width` (1, 2 or 4) bytes wide.
    int32_t setValue(uint32_t id, uint32_t value, uint32_t width);
    int32_t getValue(uint32_t id, uint32_t& value, uint32_t width);
    // The exact form of a string tag: stored when `units` is given and
    // differs from what is there, removed when it is null; *changed tells
    // whether the block changed.
    int32_t storeExactText(uint8_t byteId, const char* units, uint32_t size, bool* changed);
    // Replaces `text` (the code-page text, stored as `stored`) with the exact
    // form when there is one that matches it.
    void readExactText(uint8_t byteId, const char* stored, uint32_t storedSize, _String& text);

    // Whether the block is known consistent: a walk found it so, or it was
    // before a store of this manager (a store keeps the ids ascending).
    bool KnownConsistent() const { return hasMark(kConsistentMark); }
    void KeepConsistent(bool wasConsistent) {
        if (wasConsistent) setMark(kConsistentMark);
    }

    bool swap_;
    // Where the last lookup found its tag, while kLookupMark holds: every
    // header before it has a smaller id, so a lookup of that id or a larger
    // one (fields are mostly read in id order) walks on from there.
    uint32_t lastFound_ = 0;
};

// Passes a non-zero tag result to ProcessError with the caller's place.
#define ZR_CHECK_TAG(expression)                                                                      \
    do {                                                                                              \
        const int32_t zrTagResult = (expression);                                                     \
        if (zrTagResult != 0) ::zr_gen::CTaggedDataManager::ProcessError(ZR_FILE, __LINE__, zrTagResult, nullptr); \
    } while (0)

}  // namespace zr_gen
