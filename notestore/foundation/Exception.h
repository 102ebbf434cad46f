// The library's exception family.
//
// Every raise site allocates the object with new and throws the pointer; the
// catcher reads it and disposes of it with Delete(). When memory for the
// object ran out the site throws a null pointer of the same type, so catchers
// go through DescriptionOf / DeleteException, which accept null.
#pragma once

#include <cstdint>
#include <memory>
#include <new>

#include "notestore/foundation/Export.h"
#include "notestore/foundation/zr_assert.h"
#include "platform/Memory.h"

namespace zr_gen {

class ZR_EXPORT CException {
public:
    CException();  // no description, no number
    CException(const char16_t* description, uint32_t errorNumber);
    CException(uint32_t messageId, uint32_t errorNumber);  // text from the message table
    CException(const CException& other);
    CException& operator=(const CException& other);
    virtual ~CException();

    // The description, or "Unknown exception" when there is none.
    const char16_t* GetDescription() const;
    uint32_t GetErrNumber() const { return errorNumber_; }
    // Destroys the object through its virtual destructor; on a null object
    // (what a raise site without memory throws) it does nothing.
    void Delete();

protected:
    void SetDescription(const char16_t* description);
    bool HasDescription() const { return description_ != nullptr; }

private:
    std::unique_ptr<char16_t[]> description_;
    uint32_t errorNumber_;
};

// Failures met while reading stored structures.
class ZR_EXPORT CDBException : public CException {
public:
    CDBException() = default;
    CDBException(const char16_t* description, uint32_t errorNumber) : CException(description, errorNumber) {}
    CDBException(uint32_t messageId, uint32_t errorNumber) : CException(messageId, errorNumber) {}
    CDBException(const CDBException& other) = default;
    CDBException& operator=(const CDBException& other) = default;
    ~CDBException() override;
};

class ZR_EXPORT CFileException : public CException {
public:
    enum Cause : int32_t {
        none = 0,
        generic = 1,
        fileNotFound = 2,
        badPath = 3,
        tooManyOpenFiles = 4,
        accessDenied = 5,
        invalidFile = 6,
        removeCurrentDir = 7,
        directoryFull = 8,
        badSeek = 9,
        hardIO = 10,
        sharingViolation = 11,
        lockViolation = 12,
        diskFull = 13,
        endOfFile = 14,
    };

    // Never thrown by the library: cause "none", OS error 0.
    CFileException();
    explicit CFileException(const char16_t* description);
    // The description is the cause's name, or for "generic" the system text
    // of the OS error.
    CFileException(int32_t cause, int32_t osError, const char16_t* fileName);
    CFileException(const CFileException& other);
    CFileException& operator=(const CFileException& other);
    ~CFileException() override;

    int32_t GetCause() const { return cause_; }
    int32_t GetOsError() const { return osError_; }
    // The path the failed operation worked on, or null.
    const char16_t* GetFileName() const { return fileName_.get(); }

    // The cause for an OS error code; a listed code is written to the log by
    // its name, an unlisted one gives "generic" silently.
    static int32_t OsErrorToException(int32_t osError);
    // The cause's name: "none" ... "endOfFile", "unknown" for anything else.
    static const char16_t* CauseName(int32_t cause);

private:
    int32_t cause_ = none;
    int32_t osError_ = 0;
    std::unique_ptr<char16_t[]> fileName_;
};

// Throws a new CFileException built from the three values.
[[noreturn]] ZR_EXPORT void _ThrowFileException(int32_t cause, int32_t osError, const char16_t* fileName);

// A copy of a text on the heap, or null for null.
std::unique_ptr<char16_t[]> DuplicateText(const char16_t* text);

// The text a catch site logs for a caught pointer; a null one stands for the
// object that could not be allocated.
ZR_EXPORT const char16_t* DescriptionOf(const CException* exception);
// Delete() that accepts null.
ZR_EXPORT void DeleteException(CException* exception);
// Writes "Exception %s in file %s line %d" and frees the object.
ZR_EXPORT void LogAndDeleteException(CException* exception, const char* file, int32_t line);

// A new object, or null when memory runs out. Raise sites throw the null
// pointer then; other callers report "Out of memory".
template <class T, class... Args>
T* NewObject(Args&&... args) {
    if (platform::AllocationMustFail()) return nullptr;
    return new (std::nothrow) T(std::forward<Args>(args)...);
}

// Writes the raise site's trace line and throws a new E.
template <class E, class... Args>
[[noreturn]] void ThrowTraced(const char* file, int32_t line, Args&&... args) {
    ZR_Trace(u"Throw an exception FILE - %s, LINE - %d", file, line);
    throw NewObject<E>(std::forward<Args>(args)...);
}

}  // namespace zr_gen

// Raise sites: ZR_THROW(CException, kMsgOutOfMemory, 10).
#define ZR_THROW(ExceptionClass, ...) ::zr_gen::ThrowTraced<::zr_gen::ExceptionClass>(ZR_FILE, __LINE__, __VA_ARGS__)
// The trace line alone, for sites that throw through another function.
#define ZR_TRACE_THROW() ZR_Trace(u"Throw an exception FILE - %s, LINE - %d", ZR_FILE, __LINE__)
