// Test seams of the platform layer: make the Nth allocation or the Nth file
// operation of a kind fail with a chosen Win32 error, and script the few
// facts Linux cannot report the way the device does.
//
// One injector object per test, installed with ScopedFaultInjector. When none
// is installed each seam costs one load and one branch.
#pragma once

#include <array>
#include <cstdint>

#include "platform/Types.h"

namespace platform {

enum class FaultOp : uint8_t {
    Alloc,     // every heap allocation made through the platform or the library
    Read,      // ReadFile
    Write,     // WriteFile
    Seek,      // SetFilePointer
    Truncate,  // SetEndOfFile
    Flush,     // FlushFileBuffers
    Count
};

class FaultInjector {
public:
    // The nth (1-based) operation of `op` seen after installation fails with
    // `error`; with `persistent` every later one fails too.
    void FailNth(FaultOp op, uint32_t n, DWORD error, bool persistent = false);
    // Stops failing operations of `op` (the counters keep running).
    void Heal(FaultOp op);

    // Operations of `op` seen since installation, failed ones included.
    uint32_t Seen(FaultOp op) const { return slot(op).seen; }
    // Whether any operation of `op` was made to fail.
    bool Fired(FaultOp op) const { return slot(op).fired; }

    // Scripted stand-in: file times report a creation time of zero, as a
    // file system without birth times does.
    bool zeroCreationTime = false;

    // Counts the operation; true (and the error to report) when it must fail.
    bool Hit(FaultOp op, DWORD* error);

private:
    struct Slot {
        uint32_t seen = 0;
        uint32_t failAt = 0;  // 0: never
        DWORD error = 0;
        bool persistent = false;
        bool fired = false;
    };
    Slot& slot(FaultOp op) { return slots_[static_cast<size_t>(op)]; }
    const Slot& slot(FaultOp op) const { return slots_[static_cast<size_t>(op)]; }

    std::array<Slot, static_cast<size_t>(FaultOp::Count)> slots_{};
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

}  // namespace platform
