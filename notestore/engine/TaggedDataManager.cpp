#include "notestore/engine/TaggedDataManager.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>

#include "notestore/foundation/ByteOrder.h"
#include "notestore/foundation/Exception.h"
#include "notestore/foundation/Format.h"
#include "notestore/foundation/Messages.h"
#include "notestore/foundation/zr_assert.h"
#include "platform/Memory.h"
#include "platform/Strings.h"

namespace zr_gen {

namespace {

constexpr uint32_t kHeader = CTaggedDataManager::kTagHeaderSize;

uint32_t StringTagId(uint8_t byteId) { return CTaggedDataManager::kStringTagIDCode + byteId; }

MessageId MessageFor(int32_t code) {
    switch (code) {
        case CTaggedDataManager::kDataCorruptionError:
            return kMsgDataCorruption;
        case CTaggedDataManager::kDataClassNotFoundError:
            return kMsgDataClassNotFound;
        case CTaggedDataManager::kDataBufferOverflowError:
            return kMsgDataBufferOverflow;
        default:
            return kMsgUnknownData;
    }
}

uint32_t ExactTextId(uint8_t byteId) { return CTaggedDataManager::kExactTextIDCode + byteId; }

// Bytes from the allocation seam, released with the object.
class HeapBytes {
public:
    explicit HeapBytes(size_t size) : bytes_(static_cast<char*>(platform::AllocateBytes(size))) {}
    ~HeapBytes() { platform::FreeBytes(bytes_); }
    HeapBytes(const HeapBytes&) = delete;
    HeapBytes& operator=(const HeapBytes&) = delete;
    char* get() const { return bytes_; }

private:
    char* bytes_;
};

// Bytes for one text's stored form: inside the object for the short texts
// most stores hold, from the allocation seam for longer ones.
class TextRoom {
public:
    explicit TextRoom(size_t size) {
        if (size > sizeof local_) heap_.emplace(size);
    }
    char* get() { return heap_ ? heap_->get() : local_; }
    const char* get() const { return heap_ ? heap_->get() : local_; }

private:
    char local_[256];
    std::optional<HeapBytes> heap_;
};

// A text's stored forms: Windows-1252 bytes in a zero-filled block of
// UTF-16 units + 1 bytes, so whatever the conversion leaves over (a surrogate
// pair becomes one "?") stays NUL; and, when those bytes do not give the
// text back, its exact UTF-16 units, little-endian.
class StoredText {
public:
    explicit StoredText(std::u16string_view text) : text_(text), bytes_(text.size() + 1) {
        char* bytes = bytes_.get();
        if (bytes == nullptr) return;
        const size_t units = text.size();
        // ASCII is its own code-page form: narrowed in one pass that also
        // gathers every unit's bits, then kept if none is above 0x7F.
        char16_t seen = 0;
        for (size_t i = 0; i < units; ++i) {
            bytes[i] = static_cast<char>(text[i]);
            seen |= text[i];
        }
        if (seen < 0x80) {
            bytes[units] = 0;
            fits_ = true;
            return;
        }
        std::memset(bytes, 0, units + 1);
        // One byte per unit at most, so the units' room always holds the
        // text and the last byte stays the terminator.
        const int count = static_cast<int>(units);
        fits_ = WideCharToMultiByte(CP_ACP, 0, text.data(), count, bytes, count, nullptr, nullptr) > 0;
        if (HeldByCodePage()) return;
        exact_.emplace(2 * units + 1);
        auto* exact = reinterpret_cast<uint8_t*>(exact_->get());
        if (exact == nullptr) return;
        for (size_t i = 0; i < units; ++i) StoreLE16(exact + 2 * i, text[i]);
    }

    bool allocated() const { return bytes_.get() != nullptr && (!exact_ || exact_->get() != nullptr); }
    bool fits() const { return fits_; }
    const char* bytes() const { return bytes_.get(); }
    uint32_t size() const { return static_cast<uint32_t>(text_.size() + 1); }
    // The exact units, or null when the code-page bytes give the text back.
    const char* exact() const { return exact_ ? exact_->get() : nullptr; }
    uint32_t exactSize() const { return static_cast<uint32_t>(2 * text_.size()); }
    bool sameBytes(const char* stored, uint32_t storedSize) const {
        return storedSize == size() && std::memcmp(stored, bytes(), storedSize) == 0;
    }

private:
    bool HeldByCodePage() const {
        for (size_t i = 0; i < text_.size(); ++i) {
            if (platform::UnicodeFromCp1252(static_cast<unsigned char>(bytes_.get()[i])) != text_[i]) return false;
        }
        return true;
    }

    std::u16string_view text_;
    TextRoom bytes_;
    std::optional<HeapBytes> exact_;
    bool fits_ = false;
};

// What a walk over the headers needs of one, read where it lies.
struct HeaderStep {
    uint16_t code;
    uint32_t id;
    uint32_t size;
};

// The header at `offset` of a block of `end` bytes, which must hold the 15
// header bytes; *sound is false for a wrong tag code or data reaching past
// the block's end (the block comes from a file: a walk past such a header
// would read beyond the buffer).
// The 15 stored bytes of a header, before any byte reversal.
TagType StoredHeader(const uint8_t* bytes) {
    return TagType{LoadLE16(bytes), bytes[2], LoadLE32(bytes + 3), LoadLE32(bytes + 7), LoadLE32(bytes + 11)};
}

HeaderStep Peek(const uint8_t* block, uint32_t offset, uint32_t end, bool swap, bool* sound) {
    const uint8_t* header = block + offset;
    HeaderStep step{LoadLE16(header), LoadLE32(header + 7), LoadLE32(header + 11)};
    if (swap) {
        step.code = __builtin_bswap16(step.code);
        step.id = __builtin_bswap32(step.id);
        step.size = __builtin_bswap32(step.size);
    }
    *sound = step.code == CTaggedDataManager::kTaggedDataCode && uint64_t{offset} + kHeader + step.size <= end;
    return step;
}

}  // namespace

CTaggedDataManager::CTaggedDataManager(char** buffer, uint32_t size, bool swap, uint32_t capacity, uint32_t growthStep)
    : CBufferManager(buffer, size, capacity, growthStep), swap_(swap) {}

void CTaggedDataManager::readTag(uint32_t position, TagType* tag) {
    uint8_t bytes[kHeader] = {};
    read(position, bytes, kHeader);
    *tag = StoredHeader(bytes);
    if (swap_) swapTag(tag);
}

void CTaggedDataManager::swapTag(TagType* tag) {
    tag->code = __builtin_bswap16(tag->code);
    tag->id = __builtin_bswap32(tag->id);
    tag->size = __builtin_bswap32(tag->size);
}

void CTaggedDataManager::encodeTag(const TagType& tag, uint8_t* bytes) {
    const bool swap = swap_;
    StoreLE16(bytes, swap ? __builtin_bswap16(tag.code) : tag.code);
    bytes[2] = tag.version;
    StoreLE32(bytes + 3, tag.flags);
    StoreLE32(bytes + 7, swap ? __builtin_bswap32(tag.id) : tag.id);
    StoreLE32(bytes + 11, swap ? __builtin_bswap32(tag.size) : tag.size);
}

bool CTaggedDataManager::isValidTag(const TagType& tag) { return tag.code == kTaggedDataCode; }

// Every field access of a record runs this walk, so it reads the headers
// where they lie and only the fields the walk needs; the whole header is
// decoded once, for the tag handed back (the last one looked at).
int32_t CTaggedDataManager::findTag(uint32_t id, bool* found, uint32_t* position, TagType* tag) {
    if (found != nullptr) *found = false;
    const auto* block = reinterpret_cast<const uint8_t*>(data());
    const uint32_t end = size();
    uint32_t offset = 0;
    // The walk from the start would pass the headers before the last tag
    // found (all of smaller id, and sound: the block has not changed since)
    // and go on from there just the same.
    // (The walk below checks that header again, as every other.)
    if (hasMark(kLookupMark) && uint64_t{lastFound_} + kHeader <= end) {
        const uint32_t stored = LoadLE32(block + lastFound_ + 7);
        const uint32_t foundId = swap_ ? __builtin_bswap32(stored) : stored;
        if (foundId <= id) offset = lastFound_;
    }
    uint32_t last = end;  // the last header looked at, if any
    bool hit = false;
    while (uint64_t{offset} + kHeader <= end) {
        bool sound = false;
        const HeaderStep current = Peek(block, offset, end, swap_, &sound);
        if (!sound) return kDataCorruptionError;
        last = offset;
        if (current.id >= id) {
            hit = current.id == id;
            break;
        }
        offset += kHeader + current.size;
    }
    if (hit) {
        lastFound_ = offset;
        setMark(kLookupMark);
    }
    if (found != nullptr) *found = hit;
    if (position != nullptr) *position = offset;
    if (tag != nullptr) {
        *tag = TagType{};
        // The walk checked that the header lies whole in the block.
        if (last != end) {
            *tag = StoredHeader(block + last);
            if (swap_) swapTag(tag);
        }
    }
    return kNoError;
}

int32_t CTaggedDataManager::findExisting(uint32_t id, uint32_t* position, TagType* tag) {
    bool found = false;
    const int32_t result = findTag(id, &found, position, tag);
    if (result != kNoError) return result;
    return found ? kNoError : kDataClassNotFoundError;
}

int32_t CTaggedDataManager::insertEmptyTag(uint32_t id, uint32_t position) {
    TagType tag;
    tag.code = kTaggedDataCode;
    tag.flags = kChangedFlag;
    tag.id = id;
    uint8_t bytes[kHeader];
    encodeTag(tag, bytes);
    const bool consistent = KnownConsistent();
    const int32_t result = insert(position, bytes, kHeader);
    KeepConsistent(consistent);
    Validate();
    return result;
}

// Runs after every store, so it walks in place as findTag does.
void CTaggedDataManager::Validate() {
    if (KnownConsistent()) return;
    const auto* block = reinterpret_cast<const uint8_t*>(data());
    const uint32_t end = size();
    uint32_t offset = 0;
    uint32_t previous = 0;  // ids start above 0
    bool ascending = true;
    while (uint64_t{offset} + kHeader <= end) {
        bool sound = false;
        const HeaderStep tag = Peek(block, offset, end, swap_, &sound);
        ZR_ASSERT(sound);
        if (!sound) return;  // nothing after a damaged item can be located
        ZR_ASSERT(tag.id > previous);
        ascending = ascending && tag.id > previous;
        previous = tag.id;
        offset += kHeader + tag.size;
    }
    if (ascending) setMark(kConsistentMark);
}

int32_t CTaggedDataManager::hasTag(uint32_t id, bool* found) {
    ZR_ASSERT(found != nullptr);
    return findTag(id, found, nullptr, nullptr);
}

int32_t CTaggedDataManager::hasStringTag(uint8_t byteId, bool* found) { return hasTag(StringTagId(byteId), found); }

int32_t CTaggedDataManager::getTagDataSize(uint32_t id, uint32_t* size) {
    ZR_ASSERT(size != nullptr);
    bool found = false;
    TagType tag;
    const int32_t result = findTag(id, &found, nullptr, &tag);
    if (size != nullptr) *size = result == kNoError && found ? tag.size : 0;
    return result;
}

int32_t CTaggedDataManager::setData(uint32_t id, const void* data, uint32_t size, bool* changed, uint8_t version) {
    ZR_ASSERT(data != nullptr || size == 0);
    if (data == nullptr && size != 0) return -1;
    bool found = false;
    uint32_t position = 0;
    TagType tag;
    int32_t result = findTag(id, &found, &position, &tag);
    if (result != kNoError) return result;

    const bool consistent = KnownConsistent();
    bool isChanged = true;
    bool rewrite = true;
    const uint32_t oldSize = found ? tag.size : 0;
    if (found) {
        const bool sameValue = tag.version == version && tag.size == size &&
                               (size == 0 || std::memcmp(this->data() + position + kHeader, data, size) == 0);
        isChanged = !sameValue || (tag.flags & kChangedFlag) != 0;
        // A store of the value a tag marked changed already holds would
        // write the very bytes it has (a new record's defaults, mostly).
        rewrite = !sameValue || tag.flags != kChangedFlag;
    }
    if (isChanged && rewrite) {
        TagType stored;
        stored.code = kTaggedDataCode;
        stored.version = version;
        stored.flags = kChangedFlag;
        stored.id = id;
        stored.size = size;
        result = size <= kSmallItemData ? storeSmallItem(stored, data, position, found ? kHeader + oldSize : 0)
                                        : storeLargeItem(stored, data, position, found, oldSize);
        if (result != kNoError) return result;
    }
    if (changed != nullptr) *changed = isChanged;
    KeepConsistent(consistent);
    Validate();
    // The walk passed every header before the stored one: a later lookup of
    // this id or a larger one may start here, as after a lookup.
    lastFound_ = position;
    setMark(kLookupMark);
    return kNoError;
}

// Header and data made in one piece and put in place in one edit: most
// items are a few bytes, and each edit of the block costs more than they.
int32_t CTaggedDataManager::storeSmallItem(const TagType& tag, const void* data, uint32_t position, uint32_t oldItem) {
    uint8_t item[kHeader + kSmallItemData];
    encodeTag(tag, item);
    if (tag.size != 0) std::memcpy(item + kHeader, data, tag.size);
    return replace(position, oldItem, item, kHeader + tag.size) == kNoError ? kNoError : -1;
}

int32_t CTaggedDataManager::storeLargeItem(const TagType& tag, const void* data, uint32_t position, bool found,
                                           uint32_t oldSize) {
    if (!found) {
        const int32_t result = insertEmptyTag(tag.id, position);
        if (result != kNoError) return result;
    }
    if (replace(position + kHeader, oldSize, data, tag.size) != kNoError) {
        // The data did not fit: take back the empty header just inserted,
        // so that a failed store leaves the block as it was.
        if (!found) (void)erase(position, kHeader);
        return -1;
    }
    uint8_t bytes[kHeader];
    encodeTag(tag, bytes);
    (void)write(position, bytes, kHeader);
    return kNoError;
}

int32_t CTaggedDataManager::getData(uint32_t id, void* destination, uint32_t* size, uint8_t* version) {
    ZR_ASSERT(size != nullptr);
    uint32_t position = 0;
    TagType tag;
    const int32_t result = findExisting(id, &position, &tag);
    if (result != kNoError) return result;
    if (size == nullptr || tag.size > *size) return kDataBufferOverflowError;
    *size = tag.size;
    if (tag.size > 0) read(position + kHeader, destination, tag.size);
    if (version != nullptr) *version = tag.version;
    return kNoError;
}

char* CTaggedDataManager::getDataPtr(uint32_t id, uint32_t minSize) {
    const char* bytes = findDataPtr(id, minSize);
    if (bytes != nullptr) noteEdit();
    return const_cast<char*>(bytes);
}

const char* CTaggedDataManager::findDataPtr(uint32_t id, uint32_t minSize) {
    bool found = false;
    uint32_t position = 0;
    TagType tag;
    if (findTag(id, &found, &position, &tag) != kNoError || !found || tag.size < minSize) return nullptr;
    // Not get(): a tag of size 0 at the block's end has its data just past
    // the last byte.
    return data() + position + kHeader;
}

int32_t CTaggedDataManager::deleteData(uint32_t id) {
    bool found = false;
    uint32_t position = 0;
    TagType tag;
    const int32_t result = findTag(id, &found, &position, &tag);
    if (result != kNoError) return result;
    const bool consistent = KnownConsistent();
    if (found) (void)erase(position, kHeader + tag.size);
    KeepConsistent(consistent);
    Validate();
    return kNoError;
}

int32_t CTaggedDataManager::deleteStringData(uint8_t byteId) {
    const int32_t result = deleteData(StringTagId(byteId));
    return result != kNoError ? result : deleteData(ExactTextId(byteId));
}

int32_t CTaggedDataManager::setTagChanged(uint32_t id, bool value) {
    uint32_t position = 0;
    TagType tag;
    const int32_t result = findExisting(id, &position, &tag);
    if (result != kNoError) return result;
    tag.flags = value ? (tag.flags | kChangedFlag) : (tag.flags & ~kChangedFlag);
    uint8_t bytes[kHeader];
    encodeTag(tag, bytes);
    (void)write(position, bytes, kHeader);
    return kNoError;
}

int32_t CTaggedDataManager::getTagChanged(uint32_t id, bool* value) {
    ZR_ASSERT(value != nullptr);
    TagType tag;
    const int32_t result = findExisting(id, nullptr, &tag);
    if (result == kNoError && value != nullptr) *value = (tag.flags & kChangedFlag) != 0;
    return result;
}

int32_t CTaggedDataManager::setStringTagChanged(uint8_t byteId, bool value) {
    return setTagChanged(StringTagId(byteId), value);
}

int32_t CTaggedDataManager::getStringTagChanged(uint8_t byteId, bool* value) {
    return getTagChanged(StringTagId(byteId), value);
}

int32_t CTaggedDataManager::getTagVersion(uint32_t id, uint8_t* version) {
    ZR_ASSERT(version != nullptr);
    TagType tag;
    const int32_t result = findExisting(id, nullptr, &tag);
    if (result == kNoError && version != nullptr) *version = tag.version;
    return result;
}

int32_t CTaggedDataManager::getStringTagVersion(uint8_t byteId, uint8_t* version) {
    return getTagVersion(StringTagId(byteId), version);
}

int32_t CTaggedDataManager::setString(uint8_t byteId, const char16_t* text, bool* changed) {
    ZR_ASSERT(text != nullptr);
    const StoredText stored(text != nullptr ? text : u"");
    if (!stored.allocated()) return -1;
    if (!stored.fits()) return kDataBufferOverflowError;
    bool textChanged = false;
    int32_t result = setData(StringTagId(byteId), stored.bytes(), stored.size(), &textChanged, 0);
    if (result != kNoError) return result;
    bool exactChanged = false;
    result = storeExactText(byteId, stored.exact(), stored.exactSize(), &exactChanged);
    if (result != kNoError) return result;
    // "Работа" and "Ελλάδα" have the same code-page bytes: the string tag
    // must still show the change.
    if (exactChanged && !textChanged) result = setTagChanged(StringTagId(byteId), true);
    if (changed != nullptr) *changed = textChanged || exactChanged;
    return result;
}

int32_t CTaggedDataManager::storeExactText(uint8_t byteId, const char* units, uint32_t size, bool* changed) {
    *changed = false;
    bool found = false;
    uint32_t position = 0;
    TagType tag;
    const int32_t result = findTag(ExactTextId(byteId), &found, &position, &tag);
    if (result != kNoError) return result;
    if (units == nullptr) {
        if (!found) return kNoError;
        *changed = true;
        return deleteData(ExactTextId(byteId));
    }
    // Compared here rather than by setData: the exact form's changed bit is
    // never cleared, and setData would count every store as a change.
    if (found && tag.size == size && std::memcmp(data() + position + kHeader, units, size) == 0) return kNoError;
    *changed = true;
    return setData(ExactTextId(byteId), units, size, nullptr, 0);
}

int32_t CTaggedDataManager::getString(uint8_t byteId, _String& text) {
    text.clear();
    uint32_t position = 0;
    TagType tag;
    const int32_t result = findExisting(StringTagId(byteId), &position, &tag);
    if (result != kNoError) return result;
    if (tag.size == 0) return kNoError;
    const char* bytes = data() + position + kHeader;
    if (bytes[tag.size - 1] != 0) return kDataCorruptionError;
    text.AssignAscii(bytes, tag.size);
    readExactText(byteId, bytes, tag.size, text);
    return kNoError;
}

void CTaggedDataManager::readExactText(uint8_t byteId, const char* stored, uint32_t storedSize, _String& text) {
    bool found = false;
    uint32_t position = 0;
    TagType tag;
    // A damaged or odd-sized exact form is passed over: the code-page text
    // read correctly and stays.
    if (findTag(ExactTextId(byteId), &found, &position, &tag) != kNoError || !found || tag.size % 2 != 0) return;
    // The code-page text's size bounds the exact form's (units + 1 bytes),
    // so a hostile size allocates nothing.
    if (tag.size / 2 + 1 != storedSize) return;
    std::u16string exact(tag.size / 2, u'\0');
    const auto* units = reinterpret_cast<const uint8_t*>(data() + position + kHeader);
    for (size_t i = 0; i < exact.size(); ++i) exact[i] = LoadLE16(units + 2 * i);
    if (exact.find(u'\0') != std::u16string::npos) return;
    const StoredText check(exact);
    if (check.allocated() && check.exact() != nullptr && check.sameBytes(stored, storedSize)) text = exact;
}

void CTaggedDataManager::ProcessError(const char* file, uint32_t line, int32_t code, const char16_t*) {
    ZR_ASSERT(code != kNoError);
    if (code == kNoError) return;
    _String message;
    const bool loaded = message.LoadStringW(MessageFor(code));
    ZR_ASSERT(loaded);
    // Appended rather than formatted into the message: FormatString would cut
    // a long source path at its 1023 characters.
    message.append(FormatText(u"Error in file %s line %d", {FormatArg(file), FormatArg(line)}));
    ZR_Trace(u"Throw an exception FILE - %s, LINE - %d", file, line);
    throw NewObject<CException>(message.c_str(), kNoErrorNumber);
}

int32_t CTaggedDataManager::setValue(uint32_t id, uint32_t value, uint32_t width) {
    uint8_t bytes[4];
    StoreLE32(bytes, value);
    if (swap_) std::reverse(bytes, bytes + width);
    return setData(id, bytes, width, nullptr, 0);
}

int32_t CTaggedDataManager::getValue(uint32_t id, uint32_t& value, uint32_t width) {
    // A stored value shorter than the variable overwrites its first bytes
    // only, as copying into the variable on the little-endian device did.
    // (getData's work, without its layers: every field read passes here.)
    uint32_t position = 0;
    TagType tag;
    const int32_t result = findExisting(id, &position, &tag);
    if (result != kNoError) return result;
    if (tag.size > width) return kDataBufferOverflowError;
    uint8_t bytes[4];
    StoreLE32(bytes, value);
    if (tag.size != 0) std::memcpy(bytes, data() + position + kHeader, tag.size);
    if (swap_) std::reverse(bytes, bytes + width);
    value = LoadLE32(bytes);
    return kNoError;
}

int32_t CTaggedDataManager::setData(uint32_t id, uint8_t value) { return setValue(id, value, 1); }
int32_t CTaggedDataManager::setData(uint32_t id, uint16_t value) { return setValue(id, value, 2); }
int32_t CTaggedDataManager::setData(uint32_t id, uint32_t value) { return setValue(id, value, 4); }

int32_t CTaggedDataManager::getData(uint32_t id, uint8_t& value) {
    uint32_t wide = value;
    const int32_t result = getValue(id, wide, 1);
    value = static_cast<uint8_t>(wide);
    return result;
}

int32_t CTaggedDataManager::getData(uint32_t id, uint16_t& value) {
    uint32_t wide = value;
    const int32_t result = getValue(id, wide, 2);
    value = static_cast<uint16_t>(wide);
    return result;
}

int32_t CTaggedDataManager::getData(uint32_t id, uint32_t& value) { return getValue(id, value, 4); }

}  // namespace zr_gen
