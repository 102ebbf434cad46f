// What crosses between the tool and the library: the library raises
// CException pointers, which become C++ exceptions carrying its own text;
// it keeps texts in UTF-16 and notes with the device's "\r\n" line breaks,
// where the tool has UTF-8 and "\n".
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "notestore/engine/TaggedDataManager.h"
#include "notestore/foundation/Exception.h"
#include "platform/Strings.h"
#include "tools/zro/Failure.h"

namespace zro {

inline std::u16string Wide(const std::string& text) { return platform::Utf8ToUtf16(text); }
inline std::string Narrow(std::u16string_view text) { return platform::Utf16ToUtf8(text); }

// A library exception, with the library's text.
struct LibraryError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Runs `body`; a library exception becomes a LibraryError.
template <class Body>
auto Library(Body&& body) {
    try {
        return body();
    } catch (zr_gen::CException* e) {
        const std::string message = Narrow(zr_gen::DescriptionOf(e));
        zr_gen::DeleteException(e);
        throw LibraryError(message);
    }
}

// Runs `body`; a library exception becomes a Failure "<path>: <text>" with
// `exitCode`, so main reports it like any other failure.
template <class Body>
auto CallLibrary(const std::string& path, int exitCode, Body&& body) {
    try {
        return Library(body);
    } catch (const LibraryError& e) {
        throw Failure(path + ": " + e.what(), exitCode);
    }
}

// A stored text (an item's text or note) into `text`; false, `text` empty,
// when the row has none (a deleted text), as asking first and then reading
// would say in two lookups. A damaged one raises as the record's readers do.
inline bool ReadStoredText(zr_gen::CTaggedDataManager& tags, uint8_t id, zr_gen::_String& text) {
    const int32_t result = tags.getString(id, text);
    if (result == zr_gen::CTaggedDataManager::kDataClassNotFoundError) return false;
    ZR_CHECK_TAG(result);
    return true;
}

// A note as the document stores it: each "\n" (not already after a "\r")
// becomes "\r\n", as the device's text boxes break lines.
// Into `out`, whose storage is reused.
inline void StoredNote(const std::string& note, std::u16string& out) {
    if (note.find('\n') == std::string::npos) return platform::Utf8ToUtf16(note, out);
    std::string stored;
    for (char c : note) {
        if (c == '\n' && (stored.empty() || stored.back() != '\r')) stored += '\r';
        stored += c;
    }
    platform::Utf8ToUtf16(stored, out);
}
inline std::u16string StoredNote(const std::string& note) {
    std::u16string out;
    StoredNote(note, out);
    return out;
}

// A stored note as the tool's values have it: lines broken by "\n" alone.
inline std::string PlainNote(std::u16string_view stored) {
    std::string note = Narrow(stored);
    std::erase(note, '\r');
    return note;
}

}  // namespace zro
