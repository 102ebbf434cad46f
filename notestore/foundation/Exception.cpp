#include "notestore/foundation/Exception.h"

#include <cstring>

#include "notestore/foundation/Messages.h"
#include "notestore/foundation/String.h"

namespace zr_gen {

std::unique_ptr<char16_t[]> DuplicateText(const char16_t* text) {
    if (text == nullptr) return nullptr;
    const size_t length = std::char_traits<char16_t>::length(text);
    auto copy = std::make_unique<char16_t[]>(length + 1);
    std::memcpy(copy.get(), text, (length + 1) * sizeof(char16_t));
    return copy;
}

CException::CException() : errorNumber_(kNoErrorNumber) {}

CException::CException(const char16_t* description, uint32_t errorNumber) : errorNumber_(errorNumber) {
    ZR_ASSERT(description != nullptr);
    SetDescription(description);
}

CException::CException(uint32_t messageId, uint32_t errorNumber) : errorNumber_(errorNumber) {
    _String text;
    const bool loaded = text.LoadStringW(messageId);
    ZR_ASSERT(loaded);
    SetDescription(text.c_str());
}

CException::CException(const CException& other)
    : description_(DuplicateText(other.description_.get())), errorNumber_(other.errorNumber_) {}

CException& CException::operator=(const CException& other) {
    if (this != &other) {
        description_ = DuplicateText(other.description_.get());
        errorNumber_ = other.errorNumber_;
    }
    return *this;
}

CException::~CException() = default;

const char16_t* CException::GetDescription() const {
    return description_ != nullptr ? description_.get() : u"Unknown exception";
}

void CException::Delete() {
    // A raise site that ran out of memory throws a null pointer, and its
    // catcher calls Delete() on it all the same. The compiler may assume
    // `this` is never null, so the check goes through a copy it cannot see
    // into.
    const CException* self = this;
    asm("" : "+r"(self));
    if (self != nullptr) delete self;
}

void CException::SetDescription(const char16_t* description) { description_ = DuplicateText(description); }

CDBException::~CDBException() = default;

namespace {

constexpr const char16_t* kCauseNames[] = {
    u"none",          u"generic",          u"fileNotFound", u"badPath",     u"tooManyOpenFiles",
    u"accessDenied",  u"invalidFile",      u"removeCurrentDir", u"directoryFull", u"badSeek",
    u"hardIO",        u"sharingViolation", u"lockViolation", u"diskFull",   u"endOfFile",
};

constexpr uint32_t kSystemTextChars = 512;

struct OsErrorEntry {
    int32_t code;
    const char16_t* name;
    int32_t cause;
};

using C = CFileException;
constexpr OsErrorEntry kOsErrors[] = {
    {0, u"NO_ERROR", C::none},
    {2, u"ERROR_FILE_NOT_FOUND", C::fileNotFound},
    {6, u"ERROR_INVALID_HANDLE", C::fileNotFound},
    {18, u"ERROR_NO_MORE_FILES", C::fileNotFound},
    {107, u"ERROR_DISK_CHANGE", C::fileNotFound},
    {3, u"ERROR_PATH_NOT_FOUND", C::badPath},
    {15, u"ERROR_INVALID_DRIVE", C::badPath},
    {17, u"ERROR_NOT_SAME_DEVICE", C::badPath},
    {34, u"ERROR_WRONG_DISK", C::badPath},
    {52, u"ERROR_DUP_NAME", C::badPath},
    {53, u"ERROR_BAD_NETPATH", C::badPath},
    {55, u"ERROR_DEV_NOT_EXIST", C::badPath},
    {67, u"ERROR_BAD_NET_NAME", C::badPath},
    {70, u"ERROR_SHARING_PAUSED", C::badPath},
    {85, u"ERROR_ALREADY_ASSIGNED", C::badPath},
    {111, u"ERROR_BUFFER_OVERFLOW", C::badPath},
    {123, u"ERROR_INVALID_NAME", C::badPath},
    {124, u"ERROR_INVALID_LEVEL", C::badPath},
    {125, u"ERROR_NO_VOLUME_LABEL", C::badPath},
    {144, u"ERROR_DIR_NOT_ROOT", C::badPath},
    {154, u"ERROR_LABEL_TOO_LONG", C::badPath},
    {161, u"ERROR_BAD_PATHNAME", C::badPath},
    {206, u"ERROR_FILENAME_EXCED_RANGE", C::badPath},
    {208, u"ERROR_META_EXPANSION_TOO_LONG", C::badPath},
    {267, u"ERROR_DIRECTORY", C::badPath},
    {4, u"ERROR_TOO_MANY_OPEN_FILES", C::tooManyOpenFiles},
    {36, u"ERROR_SHARING_BUFFER_EXCEEDED", C::tooManyOpenFiles},
    {68, u"ERROR_TOO_MANY_NAMES", C::tooManyOpenFiles},
    {113, u"ERROR_NO_MORE_SEARCH_HANDLES", C::tooManyOpenFiles},
    {5, u"ERROR_ACCESS_DENIED", C::accessDenied},
    {12, u"ERROR_INVALID_ACCESS", C::accessDenied},
    {19, u"ERROR_WRITE_PROTECT", C::accessDenied},
    {29, u"ERROR_WRITE_FAULT", C::accessDenied},
    {54, u"ERROR_NETWORK_BUSY", C::accessDenied},
    {58, u"ERROR_BAD_NET_RESP", C::accessDenied},
    {64, u"ERROR_NETNAME_DELETED", C::accessDenied},
    {65, u"ERROR_NETWORK_ACCESS_DENIED", C::accessDenied},
    {71, u"ERROR_REQ_NOT_ACCEP", C::accessDenied},
    {80, u"ERROR_FILE_EXISTS", C::accessDenied},
    {82, u"ERROR_CANNOT_MAKE", C::accessDenied},
    {86, u"ERROR_INVALID_PASSWORD", C::accessDenied},
    {170, u"ERROR_BUSY", C::accessDenied},
    {183, u"ERROR_ALREADY_EXISTS", C::accessDenied},
    {999, u"ERROR_SWAPERROR", C::accessDenied},
    {11, u"ERROR_BAD_FORMAT", C::invalidFile},
    {26, u"ERROR_NOT_DOS_DISK", C::invalidFile},
    {60, u"ERROR_BAD_REM_ADAP", C::invalidFile},
    {66, u"ERROR_BAD_DEV_TYPE", C::invalidFile},
    {114, u"ERROR_INVALID_TARGET_HANDLE", C::invalidFile},
    {182, u"ERROR_INVALID_ORDINAL", C::invalidFile},
    {191, u"ERROR_INVALID_EXE_SIGNATURE", C::invalidFile},
    {193, u"ERROR_BAD_EXE_FORMAT", C::invalidFile},
    {16, u"ERROR_CURRENT_DIRECTORY", C::removeCurrentDir},
    {145, u"ERROR_DIR_NOT_EMPTY", C::removeCurrentDir},
    {62, u"ERROR_NO_SPOOL_SPACE", C::directoryFull},
    {24, u"ERROR_BAD_LENGTH", C::badSeek},
    {25, u"ERROR_SEEK", C::badSeek},
    {27, u"ERROR_SECTOR_NOT_FOUND", C::badSeek},
    {30, u"ERROR_READ_FAULT", C::badSeek},
    {131, u"ERROR_NEGATIVE_SEEK", C::badSeek},
    {132, u"ERROR_SEEK_ON_DEVICE", C::badSeek},
    {20, u"ERROR_BAD_UNIT", C::hardIO},
    {21, u"ERROR_NOT_READY", C::hardIO},
    {22, u"ERROR_BAD_COMMAND", C::hardIO},
    {23, u"ERROR_CRC", C::hardIO},
    {57, u"ERROR_ADAP_HDW_ERR", C::hardIO},
    {59, u"ERROR_UNEXP_NET_ERR", C::hardIO},
    {88, u"ERROR_NET_WRITE_FAULT", C::hardIO},
    {117, u"ERROR_INVALID_CATEGORY", C::hardIO},
    {995, u"ERROR_OPERATION_ABORTED", C::hardIO},
    {996, u"ERROR_IO_INCOMPLETE", C::hardIO},
    {997, u"ERROR_IO_PENDING", C::hardIO},
    {32, u"ERROR_SHARING_VIOLATION", C::sharingViolation},
    {33, u"ERROR_LOCK_VIOLATION", C::lockViolation},
    {108, u"ERROR_DRIVE_LOCKED", C::lockViolation},
    {167, u"ERROR_LOCK_FAILED", C::lockViolation},
    {39, u"ERROR_HANDLE_DISK_FULL", C::diskFull},
    {112, u"ERROR_DISK_FULL", C::diskFull},
    {38, u"ERROR_HANDLE_EOF", C::endOfFile},
};

}  // namespace

CFileException::CFileException() = default;

CFileException::CFileException(const char16_t* description) : CException(description, kNoErrorNumber) {}

CFileException::CFileException(int32_t cause, int32_t osError, const char16_t* fileName)
    : cause_(cause), osError_(osError), fileName_(DuplicateText(fileName)) {
    if (cause != generic) {
        SetDescription(CauseName(cause));
        return;
    }
    auto text = std::make_unique<char16_t[]>(kSystemTextChars);
    if (FormatLastError(static_cast<uint32_t>(osError), text.get(), kSystemTextChars) != nullptr) {
        SetDescription(text.get());
    }
}

CFileException::CFileException(const CFileException& other)
    : CException(other), cause_(other.cause_), osError_(other.osError_), fileName_(DuplicateText(other.fileName_.get())) {}

CFileException& CFileException::operator=(const CFileException& other) {
    if (this != &other) {
        CException::operator=(other);
        cause_ = other.cause_;
        osError_ = other.osError_;
        fileName_ = DuplicateText(other.fileName_.get());
    }
    return *this;
}

CFileException::~CFileException() = default;

const char16_t* CFileException::CauseName(int32_t cause) {
    if (cause < 0 || cause > endOfFile) return u"unknown";
    return kCauseNames[cause];
}

int32_t CFileException::OsErrorToException(int32_t osError) {
    for (const OsErrorEntry& entry : kOsErrors) {
        if (entry.code == osError) {
            ZR_Trace(entry.name);
            return entry.cause;
        }
    }
    return generic;
}

void _ThrowFileException(int32_t cause, int32_t osError, const char16_t* fileName) {
    throw NewObject<CFileException>(cause, osError, fileName);
}

const char16_t* DescriptionOf(const CException* exception) {
    // Only a failed allocation of the object itself throws a null pointer.
    return exception != nullptr ? exception->GetDescription() : u"Out of memory";
}

void DeleteException(CException* exception) {
    if (exception != nullptr) exception->Delete();
}

void LogAndDeleteException(CException* exception, const char* file, int32_t line) {
    ZR_Trace(u"Exception %s in file %s line %d", DescriptionOf(exception), file, line);
    DeleteException(exception);
}

}  // namespace zr_gen
