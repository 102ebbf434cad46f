// The boundary between the library and the callers of its flat C exports.
//
// Inside the library failures travel as thrown CException-family pointers.
// None of them may leave an extern "C" function: a C caller, or a managed
// runtime calling through its native-call layer, cannot catch them and the
// process ends. Every flat export therefore runs its body through Guarded:
//
//   extern "C" ZR_EXPORT int32_t OL_isFull(OL_CategoryDB* db) {
//       return ZR_GUARDED([&] { return Database(db)->isFull(); });
//   }
//
// Guarded
// - clears the calling thread's last-exception record on entry, so after
//   every guarded call the record describes that call alone;
// - runs the body and returns its result when it completes;
// - when a CException-family pointer arrives (null included: the object
//   could not be allocated), writes the trace line
//   "Exception %s in file %s line %d" with the export's source file and
//   line, records the kind, error number and description, frees the object
//   and returns the result type's value-initialised value (0, null, false,
//   a zeroed structure; nothing for void). Output buffers the body had not
//   written yet stay untouched;
// - when anything else arrives, writes "Unknown exception in file %s line %d"
//   and records kind Unknown, number 0xFFFFFFFF and no text.
// The guard itself never throws: a record or log line that cannot be made
// for lack of memory is dropped, the call still returns.
//
// Arguments. A caller (a managed one in particular) can pass null for any
// handle or buffer, for instance the null OL_GetRecord gives past the end.
// Bodies therefore turn every handle and every pointer they need into a
// reference through Required, which reports a null one as an assertion and
// raises the library's null-argument exception; the guard records it like
// any other failure (kind Exception, number 0xFFFFFFFF). Only parameters
// that notestore.h names "...OrNull" may be null.
//
// The record is per thread, so callers on different threads see their own.
// OL_GetLastExceptionKind/Number/Text (declared in notestore.h) read it
// without clearing it.
#pragma once

#include <cstdint>
#include <cstddef>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "notestore/foundation/Exception.h"
#include "notestore/foundation/Export.h"
#include "notestore/foundation/Messages.h"

namespace zr_gen {

// The values OL_GetLastExceptionKind reports.
enum class ExceptionKind : int32_t {
    None = 0,
    Exception = 1,      // CException (and a null pointer: no memory for the object)
    DBException = 2,    // CDBException
    FileException = 3,  // CFileException
    Unknown = 4,        // anything that is not a CException-family pointer
};

// What the last guarded call on this thread caught.
struct LastException {
    ExceptionKind kind = ExceptionKind::None;
    uint32_t number = kNoErrorNumber;  // 0xFFFFFFFF for None and Unknown
    std::u16string text;               // empty for None and Unknown
};

// The calling thread's record.
const LastException& GetLastException();

// The pieces of Guarded, out of line so that every export shares one copy.
void ClearLastException() noexcept;
// Logs, records (when `record`) and frees a caught library exception (null
// allowed). A null pointer records kind Exception, text "Out of memory" and
// the number of the out-of-memory message.
void RecordCaughtException(CException* exception, const char* file, int32_t line, bool record) noexcept;
// Logs and records (when `record`) something that is not a library exception.
void RecordUnknownException(const char* file, int32_t line, bool record) noexcept;

// The description of the exception Required raises.
inline constexpr char16_t kNullArgumentText[] = u"A required handle or buffer is null";

// Asserts and raises the null-argument exception; out of line to keep the
// exports small.
[[noreturn]] void RaiseNullArgument(const char* file, int32_t line);

// The object a handle or pointer argument refers to; null raises.
template <class T>
T& Required(T* pointer, const char* file, int32_t line) {
    if (pointer == nullptr) RaiseNullArgument(file, line);
    return *pointer;
}
// The same for untyped pointers (memory block handles, DIBs), which stay pointers.
inline void* Required(void* pointer, const char* file, int32_t line) {
    if (pointer == nullptr) RaiseNullArgument(file, line);
    return pointer;
}

// Copies `text`, cut to at most `limit` characters, and a terminator into
// the buffer unless it is null; gives the number of characters copied (or,
// without a buffer, that would be). A cut never separates the two halves of
// a surrogate pair: the high half goes too.
int32_t CopyBoundedText(std::u16string_view text, size_t limit, char16_t* bufferOrNull) noexcept;

// Marks a guarded call on this thread for its lifetime. Exports the library
// calls itself (the memory block functions, inside a drawing conversion)
// run nested in the caller's export: only the outermost call clears and
// sets the record, so it describes what the caller called.
class GuardScope {
public:
    GuardScope() noexcept;
    ~GuardScope();
    GuardScope(const GuardScope&) = delete;
    GuardScope& operator=(const GuardScope&) = delete;
    bool outermost() const { return outermost_; }

private:
    bool outermost_;
};

template <class Body>
auto Guarded(const char* file, int32_t line, Body&& body) noexcept -> std::invoke_result_t<Body&> {
    using Result = std::invoke_result_t<Body&>;
    const GuardScope scope;
    if (scope.outermost()) ClearLastException();
    try {
        return body();
    } catch (CException* exception) {
        RecordCaughtException(exception, file, line, scope.outermost());
    } catch (...) {
        RecordUnknownException(file, line, scope.outermost());
    }
    if constexpr (!std::is_void_v<Result>) return Result{};
}

}  // namespace zr_gen

// An export's body behind the guard, logged with the export's own file and line.
#define ZR_GUARDED(...) ::zr_gen::Guarded(ZR_FILE, __LINE__, __VA_ARGS__)
// A handle or pointer argument that must not be null, named in the
// assertion line by the export's own file and line.
#define ZR_REQUIRED(pointer) ::zr_gen::Required((pointer), ZR_FILE, __LINE__)
