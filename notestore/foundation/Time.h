// A moment as the library stores it: seconds since 1970-01-01 00:00:00 UTC in
// an unsigned 32-bit value.
//
// Local time is UTC shifted by one fixed offset, the zone's standard bias
// read from the platform at each conversion (0 when the platform cannot tell
// it): daylight time is never applied, and the daylight arguments of the
// constructors are ignored. Comparisons see the value as unsigned; the
// calendar breakdown sees it as signed, so values from 2^31 on are dates
// before 1970.
#pragma once

#include <compare>
#include <cstdint>
#include <ctime>

#include "notestore/foundation/Export.h"
#include "platform/Types.h"

namespace zr_gen {

class ZR_EXPORT CTime {
public:
    // Leaves the value undefined.
    CTime() {}  // NOLINT: deliberately not zeroed
    CTime(uint32_t value) : time(value) {}  // NOLINT: implicit by design
    CTime(const CTime&) = default;
    CTime& operator=(const CTime&) = default;
    CTime& operator=(uint32_t value) {
        time = value;
        return *this;
    }

    // From local time: month 1-12, day 1-31, year from 1970 on; hour, minute
    // and second are counted as given. A day past the month's end runs into
    // the next month. A month out of range or a year before 1970 (or after
    // 30827) gives all bits set; out-of-range arguments and that result are
    // asserted. Results after 2106-02-07 wrap modulo 2^32, and so does a
    // local time whose UTC moment falls before 1970.
    CTime(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute, int32_t second,
          int32_t daylight);
    // From a local system time: 0 for a year before 1900, else as above with
    // its date and time (milliseconds and day of week ignored).
    CTime(const SYSTEMTIME& localTime, int32_t daylight);
    // From a UTC file time, through the platform's local file time (daylight
    // time included) and system time, then as above; 0 when either platform
    // conversion fails.
    CTime(const FILETIME& fileTime, int32_t daylight);

    // The platform's current UTC time, without any zone offset.
    static CTime GetCurrentTime();

    uint32_t GetTime() const { return time; }

    // Breakdown in UTC, respectively local time, into one process-wide tm that
    // every breakdown overwrites (not thread-safe). With a null `result` the
    // shared tm is returned, else it is copied into `result`, which is
    // returned. Null when the breakdown fails.
    tm* GetGmtTm(tm* result) const;
    tm* GetLocalTm(tm* result) const;

    // Local breakdown as a system time with milliseconds 0: 1, or 0 on failure.
    int32_t GetAsSystemTime(SYSTEMTIME& localTime) const;

    // Parts of the local breakdown (month 1-12); 0 when the breakdown fails.
    int32_t GetYear() const;
    int32_t GetMonth() const;
    int32_t GetDay() const;
    int32_t GetHour() const;
    int32_t GetMinute() const;
    int32_t GetSecond() const;

    bool operator==(const CTime&) const = default;
    auto operator<=>(const CTime&) const = default;

private:
    int32_t LocalPart(int tm::*field, int32_t base) const;

    uint32_t time;
};

static_assert(sizeof(CTime) == 4, "a CTime is stored as its 32-bit value");

}  // namespace zr_gen
