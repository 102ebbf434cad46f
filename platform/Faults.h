// Test seams of the platform layer: make the Nth allocation or the Nth file
// operation of a kind fail with a chosen Win32 error, and script the few
// facts Linux cannot report the way the device does.
//
// One injector object per test, installed with ScopedFaultInjector. When none
// is installed each seam costs one load and one branch.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "platform/Types.h"

namespace platform {

enum class FaultOp : uint8_t {
    Alloc,     // every heap allocation made through the platform or the library
    Read,      // ReadFile
    Write,     // WriteFile
    Seek,      // SetFilePointer
    Truncate,  // SetEndOfFile
    Flush,     // FlushFileBuffers and folder flushes
    Rename,    // names changed in place: moves, exchanges
    Count
};

// Remembers what of each file a power loss would keep: the content as of
// its last flush and, for its existence, the state as of the last flush of
// its folder. DropUnsynced() then does to the files what a power loss does.
// Files are tracked from the first change made through the platform while
// the simulator is installed (with the content and existence they had then,
// taken as durable).
class DurableState {
public:
    // Before the file layer changes `path` (writes, cuts, creates, removes or
    // renames it).
    void BeforeChange(const std::string& path);
    // After the file's data reached the disk.
    void Synced(const std::string& path);
    // After the folder's entries reached the disk.
    void FolderSynced(const std::string& folder);
    // After the files at `first` and `second` exchanged names (both tracked
    // first with BeforeChange): each name now leads to the other's content,
    // which a power loss keeps only once the folder is flushed.
    void Exchanged(const std::string& first, const std::string& second);
    // Every tracked file goes back to its durable content, or away when its
    // existence was never made durable. With `keepOldFileWrites` the files
    // that existed before keep whatever was written to them, flushed or not,
    // as when the disk wrote those back but nothing else: a journal must not
    // count on its document's writes being lost. Handles must be closed first.
    void DropUnsynced(bool keepOldFileWrites = false);

private:
    struct Entry {
        bool existsDurably = false;
        bool existedBefore = false;
        std::optional<std::string> content;  // durable content of an existing file
        std::optional<std::string> latest;   // content as of the last flush, durable once the folder is
    };
    std::map<std::string, Entry> files_;
};

class FaultInjector {
public:
    // The nth (1-based) operation of `op` seen after installation fails with
    // `error`; with `persistent` every later one fails too.
    void FailNth(FaultOp op, uint32_t n, DWORD error, bool persistent = false);
    // Stops failing operations of `op` (the counters keep running).
    void Heal(FaultOp op);
    // The nth operation of `op` ends the process at once (SIGKILL) instead
    // of taking place, as a kill or a crash would.
    void KillAtNth(FaultOp op, uint32_t n);
    // From the nth operation of `op` on the power is off: that one and every
    // later write, cut, flush, create, delete and rename fail with
    // ERROR_WRITE_FAULT and change nothing (see DurableState).
    void CutPowerAtNth(FaultOp op, uint32_t n);
    bool PoweredOff() const { return poweredOff_; }

    // Operations of `op` seen since installation, failed ones included.
    uint32_t Seen(FaultOp op) const { return slot(op).seen; }
    // Whether any operation of `op` was made to fail.
    bool Fired(FaultOp op) const { return slot(op).fired; }
    // Bytes written to files since installation: what a save costs in I/O.
    uint64_t BytesWritten() const { return bytesWritten_; }
    void CountWritten(uint64_t bytes) { bytesWritten_ += bytes; }

    // Scripted stand-in: file times report a creation time of zero, as a
    // file system without birth times does.
    bool zeroCreationTime = false;

    // When set, the file layer reports its changes and flushes to it.
    DurableState* durability = nullptr;

    // Counts the operation; true (and the error to report) when it must fail.
    bool Hit(FaultOp op, DWORD* error);

private:
    struct Slot {
        uint32_t seen = 0;
        uint32_t failAt = 0;  // 0: never
        DWORD error = 0;
        bool persistent = false;
        bool fired = false;
        uint32_t killAt = 0;      // 0: never
        uint32_t powerOffAt = 0;  // 0: never
    };
    Slot& slot(FaultOp op) { return slots_[static_cast<size_t>(op)]; }
    const Slot& slot(FaultOp op) const { return slots_[static_cast<size_t>(op)]; }

    std::array<Slot, static_cast<size_t>(FaultOp::Count)> slots_{};
    bool poweredOff_ = false;
    uint64_t bytesWritten_ = 0;
};

namespace detail {
extern FaultInjector* activeInjector;
}

// Installs an injector for its lifetime; injectors do not nest.
class ScopedFaultInjector {
public:
    explicit ScopedFaultInjector(FaultInjector& injector);
    ~ScopedFaultInjector();
    ScopedFaultInjector(const ScopedFaultInjector&) = delete;
    ScopedFaultInjector& operator=(const ScopedFaultInjector&) = delete;
};

// True when the operation must fail; *error then holds the error to report.
inline bool InjectFault(FaultOp op, DWORD* error) {
    FaultInjector* injector = detail::activeInjector;
    return injector != nullptr && injector->Hit(op, error);
}

inline const FaultInjector* ActiveInjector() { return detail::activeInjector; }

// True (with *error set) when a change to the file system must fail because
// the simulated power is off.
inline bool PowerIsOff(DWORD* error) {
    const FaultInjector* injector = detail::activeInjector;
    if (injector == nullptr || !injector->PoweredOff()) return false;
    *error = ERROR_WRITE_FAULT;
    return true;
}

// The installed injector's durability tracker, or null.
inline DurableState* ActiveDurability() {
    return detail::activeInjector != nullptr ? detail::activeInjector->durability : nullptr;
}

}  // namespace platform
