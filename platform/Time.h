// System time, the time zone and file-time conversions.
#pragma once

#include "platform/Types.h"

// The current UTC time.
void GetSystemTime(SYSTEMTIME* time);

// The zone the process runs in, from the system's time zone database (the TZ
// variable, else /etc/localtime). Bias is minutes west of UTC for standard
// time; StandardBias is 0. When the zone observes daylight time this year,
// StandardDate and DaylightDate hold the months (non-zero), days and hours of
// this year's changes and DaylightBias the extra minutes (usually -60).
// Returns TIME_ZONE_ID_STANDARD or TIME_ZONE_ID_DAYLIGHT for the current
// moment, TIME_ZONE_ID_UNKNOWN for a zone without daylight time.
DWORD GetTimeZoneInformation(TIME_ZONE_INFORMATION* info);

// UTC file time to local file time, with the zone's offset at that instant.
BOOL FileTimeToLocalFileTime(const FILETIME* utc, FILETIME* local);
// FALSE (ERROR_INVALID_PARAMETER) for times beyond 30828-09-14, the end of the file-time range.
BOOL FileTimeToSystemTime(const FILETIME* fileTime, SYSTEMTIME* systemTime);
BOOL SystemTimeToFileTime(const SYSTEMTIME* systemTime, FILETIME* fileTime);

namespace platform {

// 100-nanosecond intervals between 1601-01-01 and 1970-01-01.
constexpr uint64_t kFileTimeUnixEpoch = 116444736000000000ull;

FILETIME FileTimeFromUnix(int64_t seconds, uint32_t nanoseconds);

}  // namespace platform
