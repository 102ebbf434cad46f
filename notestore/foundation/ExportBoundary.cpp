#include "notestore/foundation/ExportBoundary.h"

#include <cstring>

#include "notestore.h"
#include "notestore/foundation/zr_assert.h"

namespace zr_gen {

namespace {

thread_local LastException lastException;

ExceptionKind KindOf(const CException* exception) {
    if (dynamic_cast<const CFileException*>(exception) != nullptr) return ExceptionKind::FileException;
    if (dynamic_cast<const CDBException*>(exception) != nullptr) return ExceptionKind::DBException;
    return ExceptionKind::Exception;
}

}  // namespace

const LastException& GetLastException() { return lastException; }

void ClearLastException() noexcept { lastException = LastException{}; }

void RecordCaughtException(CException* exception, const char* file, int32_t line) noexcept {
    const char16_t* description = DescriptionOf(exception);
    lastException.kind = KindOf(exception);
    lastException.number = exception != nullptr ? exception->GetErrNumber() : DefaultErrorNumber(kMsgOutOfMemory);
    // Formatting and storing the text need memory, which may be what ran out.
    try {
        ZR_Trace(u"Exception %s in file %s line %d", description, file, line);
    } catch (...) {
    }
    try {
        lastException.text = description;
    } catch (...) {
        lastException.text.clear();
    }
    DeleteException(exception);
}

void RecordUnknownException(const char* file, int32_t line) noexcept {
    lastException = LastException{ExceptionKind::Unknown, kNoErrorNumber, {}};
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
