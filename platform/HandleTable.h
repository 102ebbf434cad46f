// The process-wide tables behind the layer's handles (internal to the layer).
//
// A handle value is (slot + 1) * 4 + the table's tag: never null, never
// INVALID_HANDLE_VALUE, small enough for the 32 bits callers keep it in, and
// never valid in a table other than its own. Objects are shared, so a handle
// closed by one thread while another still works on it stays usable until
// that call ends; the object's destructor releases the system resource.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

#include "platform/Errors.h"
#include "platform/Memory.h"
#include "platform/Types.h"

namespace platform::detail {

template <class Object>
class HandleTable {
public:
    // `tag` (0..3) keeps the values of different tables apart.
    explicit constexpr HandleTable(uintptr_t tag) : tag_(tag) {}

    // A new handle for an Object built from `args`; null with
    // ERROR_NOT_ENOUGH_MEMORY when it cannot be stored, and then no Object
    // was built (the caller still owns whatever `args` refer to).
    template <class... Args>
    HANDLE Add(Args&&... args) {
        std::lock_guard<std::mutex> guard(lock_);
        try {
            if (AllocationMustFail()) throw std::bad_alloc();
            size_t slot = 0;
            while (slot < slots_.size() && slots_[slot] != nullptr) ++slot;
            if (slot == slots_.size()) slots_.emplace_back();
            slots_[slot] = std::make_shared<Object>(std::forward<Args>(args)...);
            return reinterpret_cast<HANDLE>((slot + 1) * 4 + tag_);
        } catch (const std::bad_alloc&) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
    }

    // The object behind `handle`, null when the handle is not open here.
    std::shared_ptr<Object> Find(HANDLE handle) const {
        std::lock_guard<std::mutex> guard(lock_);
        const size_t slot = SlotOf(handle);
        return slot < slots_.size() ? slots_[slot] : nullptr;
    }

    // Takes `handle` out of the table; null when it was not open here.
    std::shared_ptr<Object> Remove(HANDLE handle) {
        std::lock_guard<std::mutex> guard(lock_);
        const size_t slot = SlotOf(handle);
        return slot < slots_.size() ? std::exchange(slots_[slot], nullptr) : nullptr;
    }

private:
    // The slot `handle` names, or an index past the end when it names none.
    size_t SlotOf(HANDLE handle) const {
        const auto value = reinterpret_cast<uintptr_t>(handle);
        if (value % 4 != tag_ || value < 4) return SIZE_MAX;
        return value / 4 - 1;
    }

    mutable std::mutex lock_;
    std::vector<std::shared_ptr<Object>> slots_;
    uintptr_t tag_;
};

}  // namespace platform::detail
