#include "notestore/foundation/Time.h"

#include "notestore/foundation/zr_assert.h"
#include "platform/Time.h"

namespace zr_gen {

namespace {

constexpr uint32_t kAllBits = 0xFFFFFFFFu;
constexpr int64_t kSecondsPerDay = 86400;
constexpr uint64_t kTicksPerDay = uint64_t{kSecondsPerDay} * 10000000;

// Local time plus this many seconds is UTC: the zone's standard bias only.
int64_t ZoneOffset() {
    TIME_ZONE_INFORMATION zone;
    if (GetTimeZoneInformation(&zone) == TIME_ZONE_ID_INVALID) return 0;
    const bool hasStandardRule = zone.StandardDate.wMonth != 0;
    return (int64_t{zone.Bias} + (hasStandardRule ? zone.StandardBias : 0)) * 60;
}

int64_t FloorDiv(int64_t value, int64_t divisor) { return value / divisor - (value % divisor < 0 ? 1 : 0); }

// The platform owns the calendar; day numbers are taken from its file times.
// Days from 1970-01-01 to the first of `month` (1-12) of `year`, false for a
// year outside the platform's system times (1601-30827).
bool DaysToMonth(int64_t year, int64_t month, int64_t* days) {
    if (year < 0 || year > UINT16_MAX) return false;
    SYSTEMTIME first{};
    first.wYear = static_cast<WORD>(year);
    first.wMonth = static_cast<WORD>(month);
    first.wDay = 1;
    FILETIME fileTime;
    if (!SystemTimeToFileTime(&first, &fileTime)) return false;
    const uint64_t ticks = (uint64_t{fileTime.dwHighDateTime} << 32) | fileTime.dwLowDateTime;
    constexpr auto kEpochDay = static_cast<int64_t>(platform::kFileTimeUnixEpoch / kTicksPerDay);
    *days = static_cast<int64_t>(ticks / kTicksPerDay) - kEpochDay;
    return true;
}

// A local date and time as given by a caller (month 1-12), wide enough that
// no argument overflows on the way.
struct LocalFields {
    int64_t year;
    int64_t month;
    int64_t day;
    int64_t hour;
    int64_t minute;
    int64_t second;
};

LocalFields FieldsOf(const SYSTEMTIME& time) {
    return {time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond};
}

// Local time to seconds since 1970 UTC, `offset` being added to make it UTC.
// The sum is made in 64 bits and then deliberately wrapped to the stored 32
// bits (a conversion, not signed overflow): times after 2106 and local times
// whose UTC moment falls before 1970 wrap as the device's value does.
uint32_t SecondsFromLocal(const LocalFields& local, int64_t offset) {
    int64_t days = 0;
    if (local.month < 1 || local.month > 12 || local.year < 1970 || !DaysToMonth(local.year, local.month, &days)) {
        return kAllBits;
    }
    const int64_t seconds =
        (((days + local.day - 1) * 24 + local.hour) * 60 + local.minute) * 60 + local.second + offset;
    return static_cast<uint32_t>(seconds);
}

uint32_t FromLocal(const LocalFields& local) {
    ZR_ASSERT(local.day >= 1 && local.day <= 31);
    ZR_ASSERT(local.month >= 1 && local.month <= 12);
    ZR_ASSERT(local.year >= 1900);
    const uint32_t seconds = SecondsFromLocal(local, ZoneOffset());
    ZR_ASSERT(seconds != kAllBits);
    return seconds;
}

uint32_t FromSystemTime(const SYSTEMTIME& local) { return local.wYear < 1900 ? 0 : FromLocal(FieldsOf(local)); }

uint32_t FromFileTime(const FILETIME& utc) {
    FILETIME local;
    SYSTEMTIME localTime;
    if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &localTime)) return 0;
    return FromSystemTime(localTime);
}

// The value read as signed seconds, shifted by `offset`, as a calendar date.
bool BreakDown(uint32_t value, int64_t offset, tm* out) {
    const int64_t seconds = static_cast<int32_t>(value);
    int64_t secondOfDay = seconds % kSecondsPerDay + offset;
    const int64_t days = seconds / kSecondsPerDay + FloorDiv(secondOfDay, kSecondsPerDay);
    secondOfDay -= FloorDiv(secondOfDay, kSecondsPerDay) * kSecondsPerDay;

    const FILETIME midnight = platform::FileTimeFromUnix(days * kSecondsPerDay, 0);
    SYSTEMTIME date;
    int64_t daysToYear = 0;
    if (!FileTimeToSystemTime(&midnight, &date) || !DaysToMonth(date.wYear, 1, &daysToYear)) return false;
    *out = {};
    out->tm_sec = static_cast<int>(secondOfDay % 60);
    out->tm_min = static_cast<int>(secondOfDay / 60 % 60);
    out->tm_hour = static_cast<int>(secondOfDay / 3600);
    out->tm_mday = date.wDay;
    out->tm_mon = date.wMonth - 1;
    out->tm_year = date.wYear - 1900;
    out->tm_wday = date.wDayOfWeek;
    out->tm_yday = static_cast<int>(days - daysToYear);
    out->tm_isdst = 0;
    return true;
}

tm* BreakDownInto(uint32_t value, int64_t offset, tm* result) {
    static tm shared;
    if (!BreakDown(value, offset, &shared)) return nullptr;
    if (result == nullptr) return &shared;
    *result = shared;
    return result;
}

}  // namespace

CTime::CTime(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute, int32_t second,
             int32_t /*daylight*/)
    : time(FromLocal({year, month, day, hour, minute, second})) {}

CTime::CTime(const SYSTEMTIME& localTime, int32_t /*daylight*/) : time(FromSystemTime(localTime)) {}

CTime::CTime(const FILETIME& fileTime, int32_t /*daylight*/) : time(FromFileTime(fileTime)) {}

CTime CTime::GetCurrentTime() {
    SYSTEMTIME now;
    GetSystemTime(&now);
    return CTime(SecondsFromLocal(FieldsOf(now), 0));
}

tm* CTime::GetGmtTm(tm* result) const { return BreakDownInto(time, 0, result); }

tm* CTime::GetLocalTm(tm* result) const { return BreakDownInto(time, -ZoneOffset(), result); }

int32_t CTime::GetAsSystemTime(SYSTEMTIME& localTime) const {
    tm local;
    if (GetLocalTm(&local) == nullptr) return 0;
    localTime.wYear = static_cast<WORD>(local.tm_year + 1900);
    localTime.wMonth = static_cast<WORD>(local.tm_mon + 1);
    localTime.wDayOfWeek = static_cast<WORD>(local.tm_wday);
    localTime.wDay = static_cast<WORD>(local.tm_mday);
    localTime.wHour = static_cast<WORD>(local.tm_hour);
    localTime.wMinute = static_cast<WORD>(local.tm_min);
    localTime.wSecond = static_cast<WORD>(local.tm_sec);
    localTime.wMilliseconds = 0;
    return 1;
}

int32_t CTime::LocalPart(int tm::*field, int32_t base) const {
    tm local;
    return GetLocalTm(&local) != nullptr ? local.*field + base : 0;
}

int32_t CTime::GetYear() const { return LocalPart(&tm::tm_year, 1900); }
int32_t CTime::GetMonth() const { return LocalPart(&tm::tm_mon, 1); }
int32_t CTime::GetDay() const { return LocalPart(&tm::tm_mday, 0); }
int32_t CTime::GetHour() const { return LocalPart(&tm::tm_hour, 0); }
int32_t CTime::GetMinute() const { return LocalPart(&tm::tm_min, 0); }
int32_t CTime::GetSecond() const { return LocalPart(&tm::tm_sec, 0); }

}  // namespace zr_gen
