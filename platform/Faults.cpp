#include "platform/Faults.h"

namespace platform {

namespace detail {
FaultInjector* activeInjector = nullptr;
}

void FaultInjector::FailNth(FaultOp op, uint32_t n, DWORD error, bool persistent) {
    Slot& s = slot(op);
    s.failAt = s.seen + n;
    s.error = error;
    s.persistent = persistent;
}

void FaultInjector::Heal(FaultOp op) { slot(op).failAt = 0; }

bool FaultInjector::Hit(FaultOp op, DWORD* error) {
    Slot& s = slot(op);
    ++s.seen;
    if (s.failAt == 0 || s.seen < s.failAt || (s.seen > s.failAt && !s.persistent)) return false;
    s.fired = true;
    *error = s.error;
    return true;
}

ScopedFaultInjector::ScopedFaultInjector(FaultInjector& injector) { detail::activeInjector = &injector; }

ScopedFaultInjector::~ScopedFaultInjector() { detail::activeInjector = nullptr; }

}  // namespace platform
