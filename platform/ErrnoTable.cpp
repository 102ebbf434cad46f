// The one place where POSIX errno values become Win32 error codes.
#include <cerrno>

#include "platform/Errors.h"

namespace platform {

namespace {

struct ErrnoEntry {
    int err;
    DWORD error;
};

constexpr ErrnoEntry kErrnoTable[] = {
    {0, ERROR_SUCCESS},
    {ENOENT, ERROR_FILE_NOT_FOUND},
    {ENOTDIR, ERROR_PATH_NOT_FOUND},
    {ELOOP, ERROR_PATH_NOT_FOUND},
    {EACCES, ERROR_ACCESS_DENIED},
    {EPERM, ERROR_ACCESS_DENIED},
    {EISDIR, ERROR_ACCESS_DENIED},
    {EROFS, ERROR_WRITE_PROTECT},
    {ETXTBSY, ERROR_SHARING_VIOLATION},
    {EWOULDBLOCK, ERROR_SHARING_VIOLATION},
    {EEXIST, ERROR_FILE_EXISTS},
    {ENOTEMPTY, ERROR_DIR_NOT_EMPTY},
    {EBUSY, ERROR_BUSY},
    {ENOSPC, ERROR_DISK_FULL},
    {EDQUOT, ERROR_DISK_FULL},
    {EFBIG, ERROR_DISK_FULL},
    {EMFILE, ERROR_TOO_MANY_OPEN_FILES},
    {ENFILE, ERROR_TOO_MANY_OPEN_FILES},
    {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
    {EBADF, ERROR_INVALID_HANDLE},
    {EINVAL, ERROR_INVALID_PARAMETER},
    {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE},
    {EXDEV, ERROR_NOT_SAME_DEVICE},
    {ESPIPE, ERROR_SEEK},
    {EPIPE, ERROR_BROKEN_PIPE},
    {EIO, ERROR_IO_DEVICE},
    {ENOTSUP, ERROR_NOT_SUPPORTED},
};

}  // namespace

DWORD Win32ErrorFromErrno(int err, ErrnoContext context) {
    if (err == ENOENT && context == ErrnoContext::MissingParent) return ERROR_PATH_NOT_FOUND;
    for (const ErrnoEntry& entry : kErrnoTable) {
        if (entry.err == err) return entry.error;
    }
    // Anything unforeseen is reported as a device failure, never as success.
    return ERROR_IO_DEVICE;
}

}  // namespace platform
