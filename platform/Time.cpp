#include "platform/Time.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <iterator>
#include <mutex>
#include <string>
#include <utility>

#include "platform/Errors.h"

namespace {

constexpr int64_t kSecondsPerDay = 86400;
constexpr uint64_t kTicksPerSecond = 10000000;
constexpr uint64_t kTicksPerMillisecond = 10000;
constexpr int64_t kUnixEpochSecondsFrom1601 = static_cast<int64_t>(platform::kFileTimeUnixEpoch / kTicksPerSecond);
// The largest file time the device turns into a system time (30828-09-14).
constexpr uint64_t kMaxFileTime = 0x7FFFFFFFFFFFFFFFull;
// The years a system time may name when it becomes a file time.
constexpr int64_t kFirstSystemYear = 1601;
constexpr int64_t kLastSystemYear = 30827;

// The proleptic Gregorian calendar on day numbers counted from 1970-01-01,
// with the 400-year-era formulas: exact for any year, no tables, no loops.
struct CivilDate {
    int64_t year;
    unsigned month;  // 1-12
    unsigned day;    // 1-31
};

constexpr int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day) {
    year -= month <= 2 ? 1 : 0;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<int64_t>(dayOfEra) - 719468;
}

constexpr CivilDate CivilFromDays(int64_t days) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned shiftedMonth = (5 * dayOfYear + 2) / 153;  // 0 = March
    const unsigned day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
    const unsigned month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
    return {static_cast<int64_t>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

// 0 = Sunday; 1970-01-01 was a Thursday.
constexpr unsigned WeekdayFromDays(int64_t days) { return static_cast<unsigned>((days % 7 + 11) % 7); }

static_assert(DaysFromCivil(1970, 1, 1) == 0);
static_assert(-DaysFromCivil(1601, 1, 1) * kSecondsPerDay == kUnixEpochSecondsFrom1601);
static_assert(WeekdayFromDays(DaysFromCivil(1601, 1, 1)) == 1);

constexpr int64_t FloorDiv(int64_t value, int64_t divisor) {
    return value / divisor - (value % divisor < 0 ? 1 : 0);
}

SYSTEMTIME SystemTimeFromUnix(int64_t seconds, WORD milliseconds) {
    const int64_t days = FloorDiv(seconds, kSecondsPerDay);
    const int64_t secondOfDay = seconds - days * kSecondsPerDay;
    const CivilDate date = CivilFromDays(days);
    SYSTEMTIME time{};
    time.wYear = static_cast<WORD>(date.year);
    time.wMonth = static_cast<WORD>(date.month);
    time.wDayOfWeek = static_cast<WORD>(WeekdayFromDays(days));
    time.wDay = static_cast<WORD>(date.day);
    time.wHour = static_cast<WORD>(secondOfDay / 3600);
    time.wMinute = static_cast<WORD>(secondOfDay / 60 % 60);
    time.wSecond = static_cast<WORD>(secondOfDay % 60);
    time.wMilliseconds = milliseconds;
    return time;
}

uint64_t TicksOf(const FILETIME& time) {
    return (uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

FILETIME FileTimeOf(uint64_t ticks) {
    return {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

int64_t UnixSecondsOf(uint64_t ticks) {
    return static_cast<int64_t>(ticks / kTicksPerSecond) - kUnixEpochSecondsFrom1601;
}

BOOL FailInvalidParameter() {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

// --- The process's zone ---------------------------------------------------
//
// The C library loads the zone's rules only in tzset(), so every lookup
// calls it first; the description of
// the zone for a year is costly (dozens of localtime_r calls) and is kept
// until TZ or the year changes. One mutex covers the C library's zone state
// and the cache.

struct ZoneCache {
    std::mutex mutex;
    bool loaded = false;     // tzset() has run for `tzValue`
    bool tzDefined = false;  // TZ was set (an empty TZ differs from none)
    std::string tzValue;
    bool described = false;  // `info` describes `year` of the loaded zone
    int64_t year = 0;
    bool observesDaylight = false;
    bool reversed = false;  // the zone database marks the time behind as daylight time
    TIME_ZONE_INFORMATION info{};
};

ZoneCache& Zone() {
    static ZoneCache cache;
    return cache;
}

void SyncZoneLocked(ZoneCache& zone) {
    // Always: someone else may have loaded another zone since, and the C
    // library's own check makes an unchanged TZ cheap.
    tzset();
    const char* tz = std::getenv("TZ");
    const bool defined = tz != nullptr;
    if (zone.loaded && defined == zone.tzDefined && (!defined || zone.tzValue == tz)) return;
    zone.loaded = true;
    zone.tzDefined = defined;
    zone.tzValue = defined ? tz : "";
    zone.described = false;
}

bool LocalTimeAt(int64_t seconds, tm* local) {
    const auto t = static_cast<time_t>(seconds);
    if (localtime_r(&t, local) != nullptr) return true;
    platform::SetLastErrorFromErrno(errno);
    return false;
}

bool IsDaylight(const tm& local) { return local.tm_isdst > 0; }

// Zone abbreviations are ASCII letters, digits and signs.
void CopyZoneName(const char* name, WCHAR (&target)[32]) {
    size_t length = 0;
    for (; name != nullptr && name[length] != '\0' && length + 1 < std::size(target); ++length) {
        target[length] = static_cast<unsigned char>(name[length]);
    }
    target[length] = u'\0';
}

struct Sample {
    int64_t seconds;
    tm local;
};

// The change of daylight state in (before, after]: the first second in the
// state of `after`, with the local wall-clock time just before the change
// (the device gives change times in the time that is ending).
bool FindChange(Sample before, const Sample& after, SYSTEMTIME* change) {
    int64_t hi = after.seconds;
    while (hi - before.seconds > 1) {
        Sample mid{before.seconds + (hi - before.seconds) / 2, {}};
        if (!LocalTimeAt(mid.seconds, &mid.local)) return false;
        if (IsDaylight(mid.local) == IsDaylight(after.local)) {
            hi = mid.seconds;
        } else {
            before = mid;
        }
    }
    *change = SystemTimeFromUnix(hi + before.local.tm_gmtoff, 0);
    return true;
}

// Samples the zone on the first of every month of `year` and the first of the
// next year (00:00 UTC); each change of daylight state between two samples is
// then located to the second.
bool DescribeYear(int64_t year, TIME_ZONE_INFORMATION* info, bool* observesDaylight, bool* reversed) {
    constexpr int kSamples = 13;
    Sample samples[kSamples];
    const Sample* standard = nullptr;
    const Sample* daylight = nullptr;
    for (int i = 0; i < kSamples; ++i) {
        samples[i].seconds = DaysFromCivil(year + i / 12, static_cast<unsigned>(i % 12 + 1), 1) * kSecondsPerDay;
        if (!LocalTimeAt(samples[i].seconds, &samples[i].local)) return false;
        const Sample*& kind = IsDaylight(samples[i].local) ? daylight : standard;
        if (kind == nullptr) kind = &samples[i];
    }

    *info = {};
    *observesDaylight = standard != nullptr && daylight != nullptr;
    // Some zones (Europe/Dublin) call their summer time standard and mark
    // winter as daylight time with a negative saving. The device calls the
    // time that is ahead daylight time, so there the roles swap.
    *reversed = *observesDaylight && daylight->local.tm_gmtoff < standard->local.tm_gmtoff;
    if (*reversed) std::swap(standard, daylight);
    // A zone in daylight time all year has nothing else to call standard.
    const Sample& base = standard != nullptr ? *standard : samples[0];
    info->Bias = static_cast<LONG>(-base.local.tm_gmtoff / 60);
    CopyZoneName(base.local.tm_zone, info->StandardName);
    if (!*observesDaylight) return true;

    info->DaylightBias = static_cast<LONG>(-(daylight->local.tm_gmtoff - standard->local.tm_gmtoff) / 60);
    CopyZoneName(daylight->local.tm_zone, info->DaylightName);
    for (int i = 0; i + 1 < kSamples; ++i) {
        if (IsDaylight(samples[i + 1].local) == IsDaylight(samples[i].local)) continue;
        const bool toDaylight = IsDaylight(samples[i + 1].local) != *reversed;
        SYSTEMTIME& date = toDaylight ? info->DaylightDate : info->StandardDate;
        if (date.wMonth == 0 && !FindChange(samples[i], samples[i + 1], &date)) return false;
    }
    return true;
}

}  // namespace

void GetSystemTime(SYSTEMTIME* time) {
    if (time == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return;
    }
    timespec now{};
    if (clock_gettime(CLOCK_REALTIME, &now) != 0) {
        platform::SetLastErrorFromErrno(errno);
        now = {};
    }
    *time = SystemTimeFromUnix(now.tv_sec, static_cast<WORD>(now.tv_nsec / 1000000));
}

DWORD GetTimeZoneInformation(TIME_ZONE_INFORMATION* info) {
    if (info == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return TIME_ZONE_ID_INVALID;
    }
    ZoneCache& zone = Zone();
    std::lock_guard lock(zone.mutex);
    SyncZoneLocked(zone);
    tm now{};
    if (!LocalTimeAt(::time(nullptr), &now)) return TIME_ZONE_ID_INVALID;
    const int64_t year = int64_t{now.tm_year} + 1900;
    if (!zone.described || zone.year != year) {
        TIME_ZONE_INFORMATION described;
        bool observesDaylight = false;
        bool reversed = false;
        if (!DescribeYear(year, &described, &observesDaylight, &reversed)) return TIME_ZONE_ID_INVALID;
        zone.info = described;
        zone.observesDaylight = observesDaylight;
        zone.reversed = reversed;
        zone.described = true;
        zone.year = year;
    }
    *info = zone.info;
    if (!zone.observesDaylight) return TIME_ZONE_ID_UNKNOWN;
    return IsDaylight(now) != zone.reversed ? TIME_ZONE_ID_DAYLIGHT : TIME_ZONE_ID_STANDARD;
}

BOOL FileTimeToLocalFileTime(const FILETIME* utc, FILETIME* local) {
    if (utc == nullptr || local == nullptr) return FailInvalidParameter();
    const uint64_t ticks = TicksOf(*utc);
    tm broken{};
    {
        ZoneCache& zone = Zone();
        std::lock_guard lock(zone.mutex);
        SyncZoneLocked(zone);
        if (!LocalTimeAt(UnixSecondsOf(ticks), &broken)) return FALSE;
    }
    const int64_t offset = broken.tm_gmtoff;
    const uint64_t shift = static_cast<uint64_t>(offset < 0 ? -offset : offset) * kTicksPerSecond;
    if (offset < 0 ? ticks < shift : ticks > UINT64_MAX - shift) return FailInvalidParameter();
    *local = FileTimeOf(offset < 0 ? ticks - shift : ticks + shift);
    return TRUE;
}

BOOL FileTimeToSystemTime(const FILETIME* fileTime, SYSTEMTIME* systemTime) {
    if (fileTime == nullptr || systemTime == nullptr) return FailInvalidParameter();
    const uint64_t ticks = TicksOf(*fileTime);
    if (ticks > kMaxFileTime) return FailInvalidParameter();
    const auto milliseconds = static_cast<WORD>(ticks % kTicksPerSecond / kTicksPerMillisecond);
    *systemTime = SystemTimeFromUnix(UnixSecondsOf(ticks), milliseconds);
    return TRUE;
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* systemTime, FILETIME* fileTime) {
    if (systemTime == nullptr || fileTime == nullptr) return FailInvalidParameter();
    const SYSTEMTIME& t = *systemTime;
    if (t.wYear < kFirstSystemYear || t.wYear > kLastSystemYear || t.wMonth < 1 || t.wMonth > 12 ||
        t.wDay < 1 || t.wDay > 31 || t.wHour > 23 || t.wMinute > 59 || t.wSecond > 59 || t.wMilliseconds > 999) {
        return FailInvalidParameter();
    }
    // A day the month does not have (April 31, February 29 of a common year)
    // is counted into the next month.
    const int64_t days = DaysFromCivil(t.wYear, t.wMonth, t.wDay);
    if (CivilFromDays(days).month != t.wMonth) return FailInvalidParameter();
    const int64_t seconds = days * kSecondsPerDay + t.wHour * 3600 + t.wMinute * 60 + t.wSecond;
    *fileTime = platform::FileTimeFromUnix(seconds, uint32_t{t.wMilliseconds} * 1000000);
    return TRUE;
}

namespace platform {

FILETIME FileTimeFromUnix(int64_t seconds, uint32_t nanoseconds) {
    // Times outside what a file time can hold are clamped to its ends.
    constexpr int64_t kLastSecond =
        static_cast<int64_t>(kMaxFileTime / kTicksPerSecond) - kUnixEpochSecondsFrom1601;
    if (seconds < -kUnixEpochSecondsFrom1601) return FileTimeOf(0);
    if (seconds > kLastSecond) return FileTimeOf(kMaxFileTime);
    const uint64_t ticks =
        static_cast<uint64_t>(seconds + kUnixEpochSecondsFrom1601) * kTicksPerSecond + nanoseconds / 100;
    return FileTimeOf(ticks < kMaxFileTime ? ticks : kMaxFileTime);
}

}  // namespace platform
