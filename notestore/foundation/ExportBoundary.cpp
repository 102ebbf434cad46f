#include "notestore/foundation/ExportBoundary.h"

#include <algorithm>
#include <cstring>

#include "notestore.h"
#include "notestore/foundation/zr_assert.h"

namespace zr_gen {

namespace {

thread_local LastException lastException;
thread_local int32_t guardDepth = 0;

ExceptionKind KindOf(const CException* exception) {
    if (dynamic_cast<const CFileException*>(exception) != nullptr) return ExceptionKind::FileException;
    if (dynamic_cast<const CDBException*>(exception) != nullptr) return ExceptionKind::DBException;
    return ExceptionKind::Exception;
}

}  // namespace

void RaiseNullArgument(const char* file, int32_t line) {
    (void)zr_AssertFailedLine(file, line);
    ThrowTraced<CException>(file, line, kNullArgumentText, kNoErrorNumber);
}

int32_t CopyBoundedText(std::u16string_view text, size_t limit, char16_t* bufferOrNull) noexcept {
    size_t length = std::min(text.size(), limit);
    const bool cutsPair = length < text.size() && length > 0 && text[length - 1] >= 0xD800 && text[length - 1] <= 0xDBFF;
    if (cutsPair) --length;
    if (bufferOrNull != nullptr) {
        std::copy_n(text.begin(), length, bufferOrNull);
        bufferOrNull[length] = u'\0';
    }
    return static_cast<int32_t>(length);
}

const LastException& GetLastException() { return lastException; }

GuardScope::GuardScope() noexcept : outermost_(++guardDepth == 1) {}

GuardScope::~GuardScope() { --guardDepth; }

void ClearLastException() noexcept { lastException = LastException{}; }

void RecordCaughtException(CException* exception, const char* file, int32_t line, bool record) noexcept {
    const char16_t* description = DescriptionOf(exception);
    // Formatting and storing the text need memory, which may be what ran out.
    try {
        ZR_Trace(u"Exception %s in file %s line %d", description, file, line);
    } catch (...) {
    }
    if (record) {
        lastException.kind = KindOf(exception);
        lastException.number = exception != nullptr ? exception->GetErrNumber() : DefaultErrorNumber(kMsgOutOfMemory);
        try {
            lastException.text = description;
        } catch (...) {
            lastException.text.clear();
        }
    }
    DeleteException(exception);
}

void RecordUnknownException(const char* file, int32_t line, bool record) noexcept {
    if (record) lastException = LastException{ExceptionKind::Unknown, kNoErrorNumber, {}};
    try {
        ZR_Trace(u"Unknown exception in file %s line %d", file, line);
    } catch (...) {
    }
}

}  // namespace zr_gen

extern "C" {

int32_t OL_GetLastExceptionKind(void) { return static_cast<int32_t>(zr_gen::GetLastException().kind); }

uint32_t OL_GetLastExceptionNumber(void) { return zr_gen::GetLastException().number; }

int32_t OL_GetLastExceptionText(OL_WCHAR* bufferOrNull) {
    const std::u16string& text = zr_gen::GetLastException().text;
    if (bufferOrNull != nullptr) std::memcpy(bufferOrNull, text.c_str(), (text.size() + 1) * sizeof(char16_t));
    return static_cast<int32_t>(text.size());
}

}  // extern "C"
