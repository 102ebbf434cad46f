// Files over POSIX descriptors, with the device's share modes emulated by
// open-file-description locks.
#include "platform/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <iterator>
#include <memory>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/Errors.h"
#include "platform/Faults.h"
#include "platform/FileInfo.h"
#include "platform/HandleTable.h"
#include "platform/Windows.h"
#include "platform/Strings.h"
#include "platform/Time.h"

namespace {

using platform::FaultOp;
using platform::detail::FileInfo;
using platform::detail::SetLastErrorForPath;

// Repeats a system call that a signal cut short.
template <class Call>
auto RetryEintr(Call call) {
    decltype(call()) result;
    do {
        result = call();
    } while (result == -1 && errno == EINTR);
    return result;
}

BOOL FailWithErrno() {
    platform::SetLastErrorFromErrno(errno);
    return FALSE;
}

// Writes of at least this size start their write-back at once (WriteFile).
constexpr DWORD kWriteBehindBytes = 512 * 1024;

// True, with the last error set, when the test seam fails this operation.
bool Injected(FaultOp op) {
    DWORD error = 0;
    if (!platform::InjectFault(op, &error)) return false;
    SetLastError(error);
    return true;
}

// True, with the last error set, when a simulated power loss refuses a change
// to the file system; otherwise tells the durability tracker (if any) that
// `native` is about to change.
bool RefusedChange(const std::string& native) {
    DWORD error = 0;
    if (platform::PowerIsOff(&error)) {
        SetLastError(error);
        return true;
    }
    if (platform::DurableState* durability = platform::ActiveDurability()) durability->BeforeChange(native);
    return false;
}

// Owns a descriptor.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ != -1) close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

struct OpenFile {
    // The first handle on an open file description.
    OpenFile(int fd, DWORD rights, std::string name)
        : descriptor(fd), access(rights), native(std::move(name)), description(std::make_shared<char>()) {}
    // A further handle on `first`'s open file description.
    OpenFile(int fd, const OpenFile& first)
        : descriptor(fd), access(first.access), native(first.native), description(first.description) {}
    Descriptor descriptor;
    DWORD access;        // the GENERIC_READ and GENERIC_WRITE bits asked for
    std::string native;  // the name it goes by: for the durability tracker and for replacing
    // Shared by the handles on one open file description (duplicates), which
    // the share locks cannot tell apart.
    std::shared_ptr<const char> description;
};

constinit platform::detail::HandleTable<OpenFile> files(0);

// The open file behind `handle` when it was opened with `rights`; null with
// the last error set otherwise.
std::shared_ptr<OpenFile> Lookup(HANDLE handle, DWORD rights = 0) {
    std::shared_ptr<OpenFile> file = files.Find(handle);
    if (file == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
    } else if ((file->access & rights) != rights) {
        SetLastError(ERROR_ACCESS_DENIED);
        file.reset();
    }
    return file;
}

// --- Share modes -----------------------------------------------------------
//
// Each opener holds shared locks on bytes far beyond any real file's end:
// always kOpen, plus one byte for each access it has and each access its
// share mode denies. A new opener first takes its own bytes, then looks for
// holders of the opposite ones; as both sides of a race take before they
// look, two conflicting openers can never both get in (under contention both
// may be refused). The locks belong to the open file description, so they
// hold between handles of one process as between processes, and go away
// when the descriptor is closed.

constexpr off_t kLockBase = 0x7FFFFFFF00000000;

enum ShareByte : off_t { kOpen, kReads, kWrites, kDeniesRead, kDeniesWrite };

struct ShareRule {
    ShareByte claim;     // what the opener holds
    ShareByte conflict;  // whose holders it cannot live with
};

// In the order of the claims ShareClaims() returns.
constexpr ShareRule kShareRules[] = {
    {kReads, kDeniesRead},
    {kWrites, kDeniesWrite},
    {kDeniesRead, kReads},
    {kDeniesWrite, kWrites},
};

std::array<bool, std::size(kShareRules)> ShareClaims(DWORD access, DWORD share) {
    return {(access & GENERIC_READ) != 0, (access & GENERIC_WRITE) != 0, (share & FILE_SHARE_READ) == 0,
            (share & FILE_SHARE_WRITE) == 0};
}

struct flock LockOn(ShareByte byte, short type) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = kLockBase + byte;
    lock.l_len = 1;
    return lock;
}

// 0 when the lock is held; EWOULDBLOCK or the errno otherwise.
int HoldByte(int fd, ShareByte byte) {
    struct flock lock = LockOn(byte, F_RDLCK);
    return fcntl(fd, F_OFD_SETLK, &lock) == -1 ? errno : 0;
}

// 0 when no other open file description holds `byte`, EWOULDBLOCK when one
// does, the errno when that cannot be told.
int TestByte(int fd, ShareByte byte) {
    struct flock lock = LockOn(byte, F_WRLCK);
    if (fcntl(fd, F_OFD_GETLK, &lock) == -1) return errno;
    return lock.l_type == F_UNLCK ? 0 : EWOULDBLOCK;
}

// Makes the open description behind `fd` (which must be readable) one of the
// file's openers: 0, EWOULDBLOCK when the share modes conflict, or the errno.
// Where the file system has no such locks the file is shared freely.
int JoinOpeners(int fd, DWORD access, DWORD share) {
    const auto claims = ShareClaims(access, share);
    int err = HoldByte(fd, kOpen);
    for (size_t i = 0; err == 0 && i < claims.size(); ++i) {
        if (claims[i]) err = HoldByte(fd, kShareRules[i].claim);
    }
    for (size_t i = 0; err == 0 && i < claims.size(); ++i) {
        if (claims[i]) err = TestByte(fd, kShareRules[i].conflict);
    }
    return err == EINVAL || err == ENOLCK ? 0 : err;
}

// Whether a handle of any process has `native` open; false when that cannot
// be told (the operation that follows then reports what is wrong).
bool InUse(const std::string& native) {
    const Descriptor probe(
        RetryEintr([&] { return open(native.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC); }));
    return probe.get() != -1 && TestByte(probe.get(), kOpen) == EWOULDBLOCK;
}

// Whether a new file put in place of `file` would be the same to everyone who
// uses it: no other open description or duplicate handle, no other name, the same owner, no
// extended attributes to carry over, and its name still leads to it. False
// too when that cannot be told (a file system without the share locks).
bool ReplaceableByNewFile(const OpenFile& file) {
    const int fd = file.descriptor.get();
    struct stat opened {};
    struct stat named {};
    if (fstat(fd, &opened) == -1 || lstat(file.native.c_str(), &named) == -1) return false;
    if (!S_ISREG(named.st_mode) || named.st_dev != opened.st_dev || named.st_ino != opened.st_ino) return false;
    if (opened.st_nlink != 1 || opened.st_uid != geteuid() || file.description.use_count() > 1) return false;
    const ssize_t attributes = flistxattr(fd, nullptr, 0);
    if (attributes > 0 || (attributes == -1 && errno != ENOTSUP)) return false;
    return TestByte(fd, kOpen) == 0;
}

// --- Opening ---------------------------------------------------------------

struct Disposition {
    DWORD value;
    bool creates;    // makes the file when it is missing
    bool opens;      // takes the file when it exists
    bool truncates;  // empties an existing file
};

constexpr Disposition kDispositions[] = {
    {CREATE_NEW, true, false, false},       {CREATE_ALWAYS, true, true, true},
    {OPEN_EXISTING, false, true, false},    {OPEN_ALWAYS, true, true, false},
    {TRUNCATE_EXISTING, false, true, true},
};

struct OpenRequest {
    DWORD access;
    DWORD share;
    DWORD disposition;
    DWORD attributes;
    bool inherit;
};

struct Opened {
    int fd = -1;  // -1 with the last error set on failure
    bool created = false;
};

// Opens or creates `native` as `rule` says, never truncating; fd -1 with
// errno set on failure.
Opened OpenForDisposition(const std::string& native, int flags, const Disposition& rule, mode_t mode) {
    // Creating exclusively first tells whether this call made the file. A
    // file removed between the two attempts gets one more round; a dangling
    // symbolic link would otherwise go round for ever.
    Opened result;
    for (int round = 0; round < 2; ++round) {
        if (rule.creates) {
            result.fd = RetryEintr([&] { return open(native.c_str(), flags | O_CREAT | O_EXCL, mode); });
            result.created = result.fd != -1;
            if (result.fd != -1 || errno != EEXIST || !rule.opens) return result;
        }
        result.fd = RetryEintr([&] { return open(native.c_str(), flags); });
        if (result.fd != -1 || errno != ENOENT || !rule.creates) return result;
    }
    return result;
}

// Undoes an open that cannot be handed out; `failure` is the errno to report.
void Abandon(const Opened& opened, const std::string& native, int failure) {
    close(opened.fd);
    if (opened.created) unlink(native.c_str());
    platform::SetLastErrorFromErrno(failure);
}

// Opens `native` under the sharing rules: nothing is created or truncated
// when the open is refused.
Opened OpenShared(const std::string& native, const OpenRequest& request) {
    const auto rule = std::find_if(std::begin(kDispositions), std::end(kDispositions),
                                   [&](const Disposition& d) { return d.value == request.disposition; });
    if (rule == std::end(kDispositions) ||
        (request.disposition == TRUNCATE_EXISTING && (request.access & GENERIC_WRITE) == 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return {};
    }
    // The descriptor is always readable, which the share locks need, and
    // writable when the file is written or emptied. O_NONBLOCK only keeps the
    // open of a FIFO from hanging; such files are refused below.
    const int flags = ((request.access & GENERIC_WRITE) != 0 || rule->truncates ? O_RDWR : O_RDONLY) | O_NONBLOCK |
                      O_NOCTTY | (request.inherit ? 0 : O_CLOEXEC);
    const mode_t mode = (request.attributes & FILE_ATTRIBUTE_READONLY) != 0 ? 0444 : 0666;
    Opened opened = OpenForDisposition(native, flags, *rule, mode);
    if (opened.fd == -1) {
        SetLastErrorForPath(errno, native);
        return opened;
    }
    struct stat st {};
    int err = fstat(opened.fd, &st) == -1 ? errno : S_ISREG(st.st_mode) ? 0 : EISDIR;
    if (err == 0) err = JoinOpeners(opened.fd, request.access, request.share);
    // Emptying the file writes to it, whatever access was asked for: an
    // opener that denies writing refuses it.
    if (err == 0 && rule->truncates && !opened.created) err = TestByte(opened.fd, kDeniesWrite);
    if (err == 0 && rule->truncates && !opened.created) {
        err = RetryEintr([&] { return ftruncate(opened.fd, 0); }) == -1 ? errno : 0;
    }
    if (err != 0) {
        Abandon(opened, native, err);
        opened.fd = -1;
    }
    return opened;
}

// --- Data ------------------------------------------------------------------

// Repeats `transfer` (read or write) until `count` bytes moved or one call
// moved none; false with errno set when a call failed. *done counts the
// bytes moved either way.
template <class Byte, class Transfer>
bool TransferAll(int fd, Byte* buffer, size_t count, size_t* done, Transfer transfer) {
    *done = 0;
    while (*done < count) {
        const ssize_t moved = RetryEintr([&] { return transfer(fd, buffer + *done, count - *done); });
        if (moved == -1) return false;
        if (moved == 0) break;
        *done += static_cast<size_t>(moved);
    }
    return true;
}

bool ReadAll(int fd, char* buffer, size_t count, size_t* done) { return TransferAll(fd, buffer, count, done, ::read); }

bool WriteAll(int fd, const char* buffer, size_t count, size_t* done) {
    if (!TransferAll(fd, buffer, count, done, ::write)) return false;
    if (*done == count) return true;
    errno = ENOSPC;  // a write that takes nothing has nowhere to put the bytes
    return false;
}

// Copies the rest of `from` to `to`; false with errno set.
bool CopyContent(int from, int to) {
    char chunk[16384];
    for (;;) {
        size_t got = 0;
        size_t put = 0;
        if (!ReadAll(from, chunk, sizeof chunk, &got)) return false;
        if (got == 0) return true;
        if (!WriteAll(to, chunk, got, &put)) return false;
    }
}

// Copies `source` over `target` (a new file when `failIfExists`), with the
// permission bits and the last write time; a partial copy is removed.
BOOL CopyNative(const std::string& source, const std::string& target, bool failIfExists) {
    const Descriptor from(OpenShared(source, {GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0, false}).fd);
    if (from.get() == -1) return FALSE;
    struct stat st {};
    if (fstat(from.get(), &st) == -1) return FailWithErrno();
    const Descriptor to(
        OpenShared(target, {GENERIC_WRITE, 0, failIfExists ? CREATE_NEW : CREATE_ALWAYS, 0, false}).fd);
    if (to.get() == -1) return FALSE;
    if (!CopyContent(from.get(), to.get())) {
        const int err = errno;
        unlink(target.c_str());
        platform::SetLastErrorFromErrno(err);
        return FALSE;
    }
    // The metadata is best effort: file systems without POSIX permissions
    // refuse it, and the device keeps neither.
    const struct timespec times[2] = {{0, UTIME_OMIT}, st.st_mtim};
    (void)fchmod(to.get(), st.st_mode & 07777);
    (void)futimens(to.get(), times);
    return TRUE;
}

// rename() that refuses an existing target; -1 with errno set.
int RenameNoReplace(const std::string& from, const std::string& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return -1;
    // The file system cannot refuse by itself: look first (not atomic).
    struct stat st {};
    if (lstat(to.c_str(), &st) == 0) {
        errno = EEXIST;
        return -1;
    }
    return rename(from.c_str(), to.c_str());
}

BOOL MoveAcrossDevices(const std::string& source, const std::string& target) {
    struct stat st {};
    if (lstat(source.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        SetLastError(ERROR_NOT_SAME_DEVICE);  // only files are copied across
        return FALSE;
    }
    if (!CopyNative(source, target, true)) {
        if (GetLastError() == ERROR_FILE_EXISTS) SetLastError(ERROR_ALREADY_EXISTS);
        return FALSE;
    }
    if (unlink(source.c_str()) == -1) {
        const int err = errno;
        unlink(target.c_str());
        SetLastErrorForPath(err, source);
        return FALSE;
    }
    return TRUE;
}

// --- File information ------------------------------------------------------

FILETIME FileTimeOf(const struct statx_timestamp& t) { return platform::FileTimeFromUnix(t.tv_sec, t.tv_nsec); }

bool HiddenName(std::string_view name) { return name.starts_with('.') && name != "." && name != ".."; }

DWORD AttributesOf(int folder, const char* name, bool isFolder) {
    DWORD attributes = isFolder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    if (!isFolder && faccessat(folder, name, W_OK, 0) != 0) attributes |= FILE_ATTRIBUTE_READONLY;
    if (HiddenName(platform::detail::SplitPath(name).name)) attributes |= FILE_ATTRIBUTE_HIDDEN;
    return attributes;
}

bool FolderExists(const std::string& native) {
    struct stat st {};
    return stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

namespace platform {

BOOL FlushFolderOf(LPCWSTR path) {
    if (path == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (Injected(FaultOp::Flush)) return FALSE;
    const std::string native = NativePath(path);
    const std::string_view parent = detail::SplitPath(native).folder;
    const std::string folder = parent.empty() ? "." : std::string(parent);
    const Descriptor handle(RetryEintr([&] { return open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); }));
    if (handle.get() == -1) {
        SetLastErrorFromErrno(errno, ErrnoContext::MissingParent);  // the file's folder is missing
        return FALSE;
    }
    // Some file systems cannot flush a folder; their entries need no flush.
    if (RetryEintr([&] { return fsync(handle.get()); }) == -1 && errno != EINVAL) return FailWithErrno();
    if (DurableState* durability = ActiveDurability()) durability->FolderSynced(folder);
    return TRUE;
}

HANDLE CreateReplacementFor(HANDLE original, LPCWSTR sibling, DWORD access, DWORD share) {
    const auto open = Lookup(original);
    if (open == nullptr) return INVALID_HANDLE_VALUE;
    if (sibling == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    if (!ReplaceableByNewFile(*open)) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return INVALID_HANDLE_VALUE;
    }
    if (Injected(FaultOp::Write)) return INVALID_HANDLE_VALUE;
    const std::string native = NativePath(sibling);
    if (RefusedChange(native)) return INVALID_HANDLE_VALUE;
    const Opened opened = OpenShared(native, {access, share, CREATE_NEW, 0, false});
    if (opened.fd == -1) return INVALID_HANDLE_VALUE;
    struct stat model {};
    struct stat made {};
    int err = fstat(open->descriptor.get(), &model) == -1 || fstat(opened.fd, &made) == -1 ? errno : 0;
    // A group the process cannot give would leave the file to other people.
    if (err == 0 && made.st_gid != model.st_gid && fchown(opened.fd, static_cast<uid_t>(-1), model.st_gid) == -1) {
        err = ENOTSUP;
    }
    if (err == 0 && fchmod(opened.fd, model.st_mode & 07777) == -1) err = errno;
    if (err != 0) {
        Abandon(opened, native, err);
        return INVALID_HANDLE_VALUE;
    }
    const HANDLE handle = files.Add(opened.fd, access & (GENERIC_READ | GENERIC_WRITE), native);
    if (handle == nullptr) Abandon(opened, native, ENOMEM);
    return handle != nullptr ? handle : INVALID_HANDLE_VALUE;
}

BOOL ExchangeFileNames(HANDLE first, HANDLE second) {
    const auto a = Lookup(first);
    const auto b = Lookup(second);
    if (a == nullptr || b == nullptr || Injected(FaultOp::Rename)) return FALSE;
    if (RefusedChange(a->native) || RefusedChange(b->native)) return FALSE;
    if (renameat2(AT_FDCWD, a->native.c_str(), AT_FDCWD, b->native.c_str(), RENAME_EXCHANGE) == -1) {
        if (errno != EINVAL && errno != ENOSYS) return FailWithErrno();
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    if (DurableState* durability = ActiveDurability()) durability->Exchanged(a->native, b->native);
    std::swap(a->native, b->native);
    return TRUE;
}

BOOL RemoveOpenFile(HANDLE file) {
    std::shared_ptr<OpenFile> open = files.Remove(file);
    if (open == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    BOOL removed = FALSE;
    if (!RefusedChange(open->native)) {
        struct stat opened {};
        struct stat named {};
        const bool same = fstat(open->descriptor.get(), &opened) == 0 && lstat(open->native.c_str(), &named) == 0 &&
                          opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
        removed = !same || unlink(open->native.c_str()) == 0 ? TRUE : FALSE;
        if (!removed) SetLastErrorForPath(errno, open->native);
    }
    try {
        std::thread([last = std::move(open)] {}).detach();
    } catch (const std::system_error&) {
        // No thread to be had: closed here, when `open` goes.
    }
    return removed;
}

BOOL RenameOpenFileOver(HANDLE file, LPCWSTR target) {
    const auto open = Lookup(file);
    if (open == nullptr) return FALSE;
    if (target == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (Injected(FaultOp::Rename)) return FALSE;
    const std::string native = NativePath(target);
    if (RefusedChange(open->native) || RefusedChange(native)) return FALSE;
    if (rename(open->native.c_str(), native.c_str()) == -1) {
        SetLastErrorForPath(errno, native);
        return FALSE;
    }
    open->native = native;
    return TRUE;
}

HANDLE DuplicateFileHandle(HANDLE file) {
    const auto open = Lookup(file);
    if (open == nullptr) return INVALID_HANDLE_VALUE;
    const int fd = RetryEintr([&] { return fcntl(open->descriptor.get(), F_DUPFD_CLOEXEC, 0); });
    if (fd == -1) {
        FailWithErrno();
        return INVALID_HANDLE_VALUE;
    }
    const HANDLE handle = files.Add(fd, *open);
    if (handle == nullptr) {
        close(fd);
        return INVALID_HANDLE_VALUE;
    }
    return handle;
}

std::string NativePath(LPCWSTR path) {
    std::string native = path != nullptr ? Utf16ToUtf8(path) : std::string();
    std::replace(native.begin(), native.end(), '\\', '/');
    return native;
}

namespace detail {

PathParts SplitPath(std::string_view native) {
    while (native.size() > 1 && native.back() == '/') native.remove_suffix(1);
    const size_t slash = native.find_last_of('/');
    if (slash == std::string_view::npos) return {{}, native};
    return {native.substr(0, slash == 0 ? 1 : slash), native.substr(slash + 1)};
}

bool QueryFileInfo(int folder, const char* name, FileInfo* info) {
    struct statx st {};
    const int flags = AT_STATX_SYNC_AS_STAT | (*name == '\0' ? AT_EMPTY_PATH : 0);
    if (statx(folder, name, flags, STATX_BASIC_STATS | STATX_BTIME, &st) == -1) return false;
    const FaultInjector* injector = ActiveInjector();
    const bool birthKnown = (st.stx_mask & STATX_BTIME) != 0 && (injector == nullptr || !injector->zeroCreationTime);
    info->creation = birthKnown ? FileTimeOf(st.stx_btime) : FILETIME{};
    info->lastAccess = FileTimeOf(st.stx_atime);
    info->lastWrite = FileTimeOf(st.stx_mtime);
    info->size = st.stx_size;
    info->attributes = *name == '\0' ? 0 : AttributesOf(folder, name, S_ISDIR(st.stx_mode));
    return true;
}

void SetLastErrorForPath(int err, const std::string& native) {
    const std::string_view folder = SplitPath(native).folder;
    const bool parentMissing = err == ENOENT && !FolderExists(folder.empty() ? "." : std::string(folder));
    SetLastErrorFromErrno(err, parentMissing ? ErrnoContext::MissingParent : ErrnoContext::Generic);
}

}  // namespace detail

}  // namespace platform

HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD shareMode, SECURITY_ATTRIBUTES* security,
                   DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE) {
    if (path == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    const std::string native = platform::NativePath(path);
    const bool changes = creationDisposition != OPEN_EXISTING;
    if (changes && RefusedChange(native)) return INVALID_HANDLE_VALUE;
    const bool inherit = security != nullptr && security->bInheritHandle;
    const Opened opened = OpenShared(native, {access, shareMode, creationDisposition, flagsAndAttributes, inherit});
    if (opened.fd == -1) return INVALID_HANDLE_VALUE;
    const HANDLE handle = files.Add(opened.fd, access & (GENERIC_READ | GENERIC_WRITE), native);
    if (handle == nullptr) {
        Abandon(opened, native, ENOMEM);
        return INVALID_HANDLE_VALUE;
    }
    const bool reportsExisting =
        !opened.created && (creationDisposition == CREATE_ALWAYS || creationDisposition == OPEN_ALWAYS);
    SetLastError(reportsExisting ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, DWORD* bytesRead, void*) {
    if (bytesRead != nullptr) *bytesRead = 0;
    if (Injected(FaultOp::Read)) return FALSE;
    const auto open = Lookup(file, GENERIC_READ);
    if (open == nullptr) return FALSE;
    size_t done = 0;
    const bool ok = ReadAll(open->descriptor.get(), static_cast<char*>(buffer), toRead, &done);
    if (bytesRead != nullptr) *bytesRead = static_cast<DWORD>(done);
    return ok ? TRUE : FailWithErrno();
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, DWORD* written, void*) {
    if (written != nullptr) *written = 0;
    if (Injected(FaultOp::Write)) return FALSE;
    const auto open = Lookup(file, GENERIC_WRITE);
    if (open == nullptr || RefusedChange(open->native)) return FALSE;
    const int fd = open->descriptor.get();
    const off_t start = toWrite >= kWriteBehindBytes ? lseek(fd, 0, SEEK_CUR) : -1;
    size_t done = 0;
    const bool ok = WriteAll(fd, static_cast<const char*>(buffer), toWrite, &done);
    if (written != nullptr) *written = static_cast<DWORD>(done);
    if (platform::detail::activeInjector != nullptr) platform::detail::activeInjector->CountWritten(done);
    if (!ok) return FailWithErrno();
    // A large write is sent on to the disk at once: a save writes its rows a
    // megabyte at a time and then flushes, and the flush then waits for the
    // last piece only instead of the whole file. Only a hint: durability
    // still comes from the flush alone.
    if (start >= 0) (void)sync_file_range(fd, start, static_cast<off_t>(done), SYNC_FILE_RANGE_WRITE);
    return TRUE;
}

DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method) {
    if (Injected(FaultOp::Seek)) return INVALID_SET_FILE_POINTER;
    const auto open = Lookup(file);
    if (open == nullptr) return INVALID_SET_FILE_POINTER;
    const int fd = open->descriptor.get();
    const int64_t move = distanceHigh == nullptr
                             ? int64_t{distance}
                             : static_cast<int64_t>(uint64_t{static_cast<uint32_t>(*distanceHigh)} << 32 |
                                                    static_cast<uint32_t>(distance));
    // The target is worked out before moving, so a refused move leaves the
    // position alone.
    int64_t origin = 0;
    struct stat st {};
    switch (method) {
    case FILE_BEGIN: break;
    case FILE_CURRENT: origin = lseek(fd, 0, SEEK_CUR); break;
    case FILE_END: origin = fstat(fd, &st) == 0 ? st.st_size : -1; break;
    default: SetLastError(ERROR_INVALID_PARAMETER); return INVALID_SET_FILE_POINTER;
    }
    if (origin == -1) {
        FailWithErrno();
        return INVALID_SET_FILE_POINTER;
    }
    int64_t target = 0;
    DWORD error = ERROR_SUCCESS;
    if (__builtin_add_overflow(origin, move, &target)) {
        error = ERROR_INVALID_PARAMETER;
    } else if (target < 0) {
        error = ERROR_NEGATIVE_SEEK;
    } else if (distanceHigh == nullptr && target > int64_t{UINT32_MAX}) {
        error = ERROR_INVALID_PARAMETER;  // the caller could not be told the position
    } else if (lseek(fd, target, SEEK_SET) == -1) {
        error = platform::Win32ErrorFromErrno(errno);
    }
    SetLastError(error);
    if (error != ERROR_SUCCESS) return INVALID_SET_FILE_POINTER;
    if (distanceHigh != nullptr) *distanceHigh = static_cast<LONG>(static_cast<uint64_t>(target) >> 32);
    return static_cast<DWORD>(target);
}

BOOL SetEndOfFile(HANDLE file) {
    if (Injected(FaultOp::Truncate)) return FALSE;
    const auto open = Lookup(file, GENERIC_WRITE);
    if (open == nullptr || RefusedChange(open->native)) return FALSE;
    const int fd = open->descriptor.get();
    const off_t position = lseek(fd, 0, SEEK_CUR);
    if (position == -1 || RetryEintr([&] { return ftruncate(fd, position); }) == -1) return FailWithErrno();
    return TRUE;
}

BOOL FlushFileBuffers(HANDLE file) {
    if (Injected(FaultOp::Flush)) return FALSE;
    const auto open = Lookup(file);
    if (open == nullptr) return FALSE;
    // The data and what reading it back needs (the length): a save waits on
    // nothing more, and where the length did not change (a rewrite in place,
    // a journal header cleared) the file system's own log is not flushed.
    if (RetryEintr([&] { return fdatasync(open->descriptor.get()); }) == -1) return FailWithErrno();
    if (platform::DurableState* durability = platform::ActiveDurability()) durability->Synced(open->native);
    return TRUE;
}

BOOL CloseHandle(HANDLE object) {
    if (files.Remove(object) == nullptr && !platform::detail::CloseProcess(object)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

BOOL GetFileTime(HANDLE file, FILETIME* creation, FILETIME* lastAccess, FILETIME* lastWrite) {
    const auto open = Lookup(file);
    if (open == nullptr) return FALSE;
    FileInfo info;
    if (!platform::detail::QueryFileInfo(open->descriptor.get(), "", &info)) return FailWithErrno();
    if (creation != nullptr) *creation = info.creation;
    if (lastAccess != nullptr) *lastAccess = info.lastAccess;
    if (lastWrite != nullptr) *lastWrite = info.lastWrite;
    return TRUE;
}

DWORD GetFileSize(HANDLE file, DWORD* sizeHigh) {
    const auto open = Lookup(file);
    if (open == nullptr) return INVALID_FILE_SIZE;
    FileInfo info;
    if (!platform::detail::QueryFileInfo(open->descriptor.get(), "", &info)) {
        FailWithErrno();
        return INVALID_FILE_SIZE;
    }
    if (sizeHigh != nullptr) *sizeHigh = static_cast<DWORD>(info.size >> 32);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(info.size);
}

DWORD GetFileAttributesW(LPCWSTR path) {
    if (path == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_FILE_ATTRIBUTES;
    }
    const std::string native = platform::NativePath(path);
    FileInfo info;
    if (native.empty() || !platform::detail::QueryFileInfo(AT_FDCWD, native.c_str(), &info)) {
        SetLastErrorForPath(native.empty() ? ENOENT : errno, native);
        return INVALID_FILE_ATTRIBUTES;
    }
    return info.attributes;
}

BOOL MoveFileW(LPCWSTR from, LPCWSTR to) {
    if (from == nullptr || to == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::string source = platform::NativePath(from);
    const std::string target = platform::NativePath(to);
    if (InUse(source)) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return FALSE;
    }
    if (Injected(FaultOp::Rename) || RefusedChange(source) || RefusedChange(target)) return FALSE;
    if (RenameNoReplace(source, target) == 0) return TRUE;
    const int err = errno;
    if (err == EXDEV) return MoveAcrossDevices(source, target);
    if (err == EEXIST) {
        SetLastError(ERROR_ALREADY_EXISTS);
        return FALSE;
    }
    // A missing source is told apart from a missing target folder.
    struct stat st {};
    SetLastErrorForPath(err, lstat(source.c_str(), &st) == 0 ? target : source);
    return FALSE;
}

BOOL DeleteFileW(LPCWSTR path) {
    if (path == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::string native = platform::NativePath(path);
    if (InUse(native)) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return FALSE;
    }
    if (RefusedChange(native)) return FALSE;
    if (unlink(native.c_str()) == -1) {
        SetLastErrorForPath(errno, native);
        return FALSE;
    }
    return TRUE;
}

BOOL CopyFileW(LPCWSTR from, LPCWSTR to, BOOL failIfExists) {
    if (from == nullptr || to == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return CopyNative(platform::NativePath(from), platform::NativePath(to), failIfExists != FALSE);
}
