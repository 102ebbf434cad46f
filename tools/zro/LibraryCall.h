// Library calls from the editing, category, search and check commands: the
// library raises CException pointers; these become zro::Failure with the
// file's name and the library's own text, so main reports them like any
// other failure.
#pragma once

#include <string>

#include "notestore/foundation/Exception.h"
#include "platform/Strings.h"
#include "tools/zro/Commands.h"

namespace zro {

// Runs `body`; a library exception becomes a Failure "<path>: <text>" with
// `exitCode`.
template <class Body>
auto CallLibrary(const std::string& path, int exitCode, Body&& body) {
    try {
        return body();
    } catch (zr_gen::CException* e) {
        const std::string message = platform::Utf16ToUtf8(zr_gen::DescriptionOf(e));
        zr_gen::DeleteException(e);
        throw Failure(path + ": " + message, exitCode);
    }
}

inline std::u16string Wide(const std::string& text) { return platform::Utf8ToUtf16(text); }
inline std::string Narrow(std::u16string_view text) { return platform::Utf16ToUtf8(text); }

}  // namespace zro
