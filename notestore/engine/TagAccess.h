// Typed field access for the classes that keep their fields as tags of a
// block (records and headers). Every operation hands a failing tag result
// to CTaggedDataManager::ProcessError, which raises it naming the calling
// accessor's file and line.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "notestore/engine/TaggedDataManager.h"
#include "notestore/foundation/String.h"
#include "notestore/foundation/zr_assert.h"

namespace zr_gen::tagaccess {

// `file` and `line` default to the caller's place (what
// std::source_location offers, which not every compiler of this project
// supports yet).
inline const char* BareName(const char* file) {
    const char* slash = std::strrchr(file, '/');
    return slash != nullptr ? slash + 1 : file;
}

inline void Check(int32_t code, const char* file, uint32_t line) {
    if (code != CTaggedDataManager::kNoError) CTaggedDataManager::ProcessError(BareName(file), line, code, nullptr);
}

// The library's assertion, reported at the caller's place.
inline void Expect(bool condition, const char* file, uint32_t line) {
    if (!condition) (void)zr_AssertFailedLine(BareName(file), static_cast<int32_t>(line));
}

// Values of 1, 2 or 4 bytes (uint8_t, uint16_t, uint32_t).
template <class T>
T Get(CTaggedDataManager& tags, uint32_t id, const char* file = __builtin_FILE(), uint32_t line = __builtin_LINE()) {
    T value = 0;
    Check(tags.getData(id, value), file, line);
    return value;
}

template <class T>
void Set(CTaggedDataManager& tags, uint32_t id, T value, const char* file = __builtin_FILE(),
         uint32_t line = __builtin_LINE()) {
    Check(tags.setData(id, value), file, line);
}

// One byte: any non-zero byte reads as true; true is stored as 1.
inline bool GetFlag(CTaggedDataManager& tags, uint32_t id, const char* file = __builtin_FILE(),
                    uint32_t line = __builtin_LINE()) {
    return Get<uint8_t>(tags, id, file, line) != 0;
}

inline void SetFlag(CTaggedDataManager& tags, uint32_t id, bool value, const char* file = __builtin_FILE(),
                    uint32_t line = __builtin_LINE()) {
    Set<uint8_t>(tags, id, value ? 1 : 0, file, line);
}

inline void GetText(CTaggedDataManager& tags, uint8_t id, _String& text, const char* file = __builtin_FILE(),
                    uint32_t line = __builtin_LINE()) {
    Check(tags.getString(id, text), file, line);
}

// Returns whether the tag counts as changed now (see setData). A null text
// is asserted and stored as the empty text; a text longer than `maxUnits`
// is stored cut to it (CutText).
inline bool SetText(CTaggedDataManager& tags, uint8_t id, const char16_t* text,
                    size_t maxUnits = std::u16string_view::npos, const char* file = __builtin_FILE(),
                    uint32_t line = __builtin_LINE()) {
    Expect(text != nullptr, file, line);
    const std::u16string_view whole(text != nullptr ? text : u"");
    const std::u16string_view kept = CutText(whole, maxUnits);
    // Only a text that was cut needs a terminated copy of its own.
    const std::u16string cut = kept.size() < whole.size() ? std::u16string(kept) : std::u16string();
    bool changed = false;
    Check(tags.setString(id, kept.size() < whole.size() ? cut.c_str() : whole.data(), &changed), file, line);
    return changed;
}

// Data of a fixed size: `into` receives exactly `size` bytes, zero where a
// shorter stored tag ends (asserted, as a stored size must be `size`); a
// longer one is the overflow error.
inline void GetBytes(CTaggedDataManager& tags, uint32_t id, void* into, uint32_t size,
                     const char* file = __builtin_FILE(), uint32_t line = __builtin_LINE()) {
    std::memset(into, 0, size);
    uint32_t stored = size;
    Check(tags.getData(id, into, &stored, nullptr), file, line);
    Expect(stored == size, file, line);
}

inline void SetBytes(CTaggedDataManager& tags, uint32_t id, const void* from, uint32_t size,
                     const char* file = __builtin_FILE(), uint32_t line = __builtin_LINE()) {
    Check(tags.setData(id, from, size, nullptr, 0), file, line);
}

inline bool Has(CTaggedDataManager& tags, uint32_t id, const char* file = __builtin_FILE(),
                uint32_t line = __builtin_LINE()) {
    bool found = false;
    Check(tags.hasTag(id, &found), file, line);
    return found;
}

inline bool HasText(CTaggedDataManager& tags, uint8_t id, const char* file = __builtin_FILE(),
                    uint32_t line = __builtin_LINE()) {
    bool found = false;
    Check(tags.hasStringTag(id, &found), file, line);
    return found;
}

// The changed bit of a tag's header; an absent tag is the not-found error.
inline bool Changed(CTaggedDataManager& tags, uint32_t id, const char* file = __builtin_FILE(),
                    uint32_t line = __builtin_LINE()) {
    bool changed = false;
    Check(tags.getTagChanged(id, &changed), file, line);
    return changed;
}

inline void SetChanged(CTaggedDataManager& tags, uint32_t id, bool value, const char* file = __builtin_FILE(),
                       uint32_t line = __builtin_LINE()) {
    Check(tags.setTagChanged(id, value), file, line);
}

inline bool TextChanged(CTaggedDataManager& tags, uint8_t id, const char* file = __builtin_FILE(),
                        uint32_t line = __builtin_LINE()) {
    bool changed = false;
    Check(tags.getStringTagChanged(id, &changed), file, line);
    return changed;
}

inline void SetTextChanged(CTaggedDataManager& tags, uint8_t id, bool value, const char* file = __builtin_FILE(),
                           uint32_t line = __builtin_LINE()) {
    Check(tags.setStringTagChanged(id, value), file, line);
}

}  // namespace zr_gen::tagaccess
