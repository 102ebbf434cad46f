#include "platform/Time.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <random>
#include <string>

#include "platform/Errors.h"
#include "support/ZoneTest.h"

namespace {

constexpr uint64_t kTicksPerSecond = 10000000;
constexpr int64_t kEpochSecondsFrom1601 = static_cast<int64_t>(platform::kFileTimeUnixEpoch / kTicksPerSecond);
constexpr uint64_t kMaxFileTime = 0x7FFFFFFFFFFFFFFFull;

uint64_t Ticks(const FILETIME& time) { return (uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime; }

FILETIME FileTime(uint64_t ticks) { return {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)}; }

tm Utc(int64_t seconds) {
    const auto t = static_cast<time_t>(seconds);
    tm broken{};
    EXPECT_NE(gmtime_r(&t, &broken), nullptr);
    return broken;
}

tm Local(int64_t seconds) {
    const auto t = static_cast<time_t>(seconds);
    tm broken{};
    EXPECT_NE(localtime_r(&t, &broken), nullptr);
    return broken;
}

int64_t UtcSeconds(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
    tm broken{};
    broken.tm_year = year - 1900;
    broken.tm_mon = month - 1;
    broken.tm_mday = day;
    broken.tm_hour = hour;
    broken.tm_min = minute;
    broken.tm_sec = second;
    return timegm(&broken);
}

void ExpectSystemTimeMatches(const SYSTEMTIME& actual, const tm& expected, WORD milliseconds) {
    EXPECT_EQ(actual.wYear, expected.tm_year + 1900);
    EXPECT_EQ(actual.wMonth, expected.tm_mon + 1);
    EXPECT_EQ(actual.wDay, expected.tm_mday);
    EXPECT_EQ(actual.wDayOfWeek, expected.tm_wday);
    EXPECT_EQ(actual.wHour, expected.tm_hour);
    EXPECT_EQ(actual.wMinute, expected.tm_min);
    EXPECT_EQ(actual.wSecond, expected.tm_sec);
    EXPECT_EQ(actual.wMilliseconds, milliseconds);
}

using TimeZoneTest = testsupport::ZoneTest;

TEST(SystemTimeTest, AgreesWithTheCClock) {
    time_t before = 0;
    time_t after = 0;
    SYSTEMTIME now{};
    // Retry until the reading did not straddle a second.
    for (int attempt = 0; attempt < 10; ++attempt) {
        before = time(nullptr);
        GetSystemTime(&now);
        after = time(nullptr);
        if (before == after) break;
    }
    ASSERT_EQ(before, after);
    const tm expected = Utc(before);
    EXPECT_LT(now.wMilliseconds, 1000);
    ExpectSystemTimeMatches(now, expected, now.wMilliseconds);
}

// How a zone places a change of daylight state: the nth (or last, week -1)
// Sunday of a month at a local hour of the time that is ending.
struct ChangeRule {
    WORD month;
    int week;
    WORD hour;
};

struct ZoneCase {
    const char* tz;
    LONG bias;
    const char16_t* standardName;
    bool observesDaylight;
    const char16_t* daylightName;
    ChangeRule toDaylight;
    ChangeRule toStandard;
};

const ZoneCase kZones[] = {
    {"UTC", 0, u"UTC", false, u"", {}, {}},
    {"Asia/Tokyo", -540, u"JST", false, u"", {}, {}},
    {"Asia/Kolkata", -330, u"IST", false, u"", {}, {}},
    {"America/New_York", 300, u"EST", true, u"EDT", {3, 2, 2}, {11, 1, 2}},
    {"EST5EDT,M3.2.0,M11.1.0", 300, u"EST", true, u"EDT", {3, 2, 2}, {11, 1, 2}},
    {"Europe/Berlin", -60, u"CET", true, u"CEST", {3, -1, 2}, {10, -1, 3}},
    {"Australia/Sydney", -600, u"AEST", true, u"AEDT", {10, 1, 2}, {4, 1, 3}},
    // The zone database calls Irish summer time standard and winter time
    // daylight time (a negative saving); the time that is ahead is daylight.
    {"Europe/Dublin", 0, u"GMT", true, u"IST", {3, -1, 1}, {10, -1, 2}},
};

// Daylight time is the one ahead of the zone's standard time.
bool InDaylight(const tm& local, LONG standardBias) { return local.tm_gmtoff > -int64_t{standardBias} * 60; }

int DaysInMonth(int year, int month) {
    const int64_t first = UtcSeconds(year, month, 1);
    const int64_t next = month == 12 ? UtcSeconds(year + 1, 1, 1) : UtcSeconds(year, month + 1, 1);
    return static_cast<int>((next - first) / 86400);
}

// `date` is in local time of the state that ends; `endingBias` its minutes
// west. Checks the rule and that the daylight state really flips there.
void ExpectChange(const SYSTEMTIME& date, const ChangeRule& rule, int year, LONG endingBias, LONG standardBias,
                  bool toDaylight) {
    EXPECT_EQ(date.wYear, year);
    EXPECT_EQ(date.wMonth, rule.month);
    EXPECT_EQ(date.wDayOfWeek, 0);
    if (rule.week > 0) {
        EXPECT_GE(date.wDay, (rule.week - 1) * 7 + 1);
        EXPECT_LE(date.wDay, rule.week * 7);
    } else {
        EXPECT_GT(date.wDay + 7, DaysInMonth(year, rule.month));
    }
    EXPECT_EQ(date.wHour, rule.hour);
    EXPECT_EQ(date.wMinute, 0);
    EXPECT_EQ(date.wSecond, 0);
    const int64_t change =
        UtcSeconds(date.wYear, date.wMonth, date.wDay, date.wHour, date.wMinute, date.wSecond) + endingBias * 60;
    EXPECT_EQ(InDaylight(Local(change - 1), standardBias), !toDaylight);
    EXPECT_EQ(InDaylight(Local(change), standardBias), toDaylight);
}

TEST_F(TimeZoneTest, DescribesZonesFromTheDatabase) {
    for (const ZoneCase& zone : kZones) {
        SCOPED_TRACE(zone.tz);
        UseZone(zone.tz);
        TIME_ZONE_INFORMATION info;
        const DWORD id = GetTimeZoneInformation(&info);
        const tm now = Local(time(nullptr));
        const int year = now.tm_year + 1900;

        EXPECT_EQ(info.Bias, zone.bias);
        EXPECT_EQ(info.StandardBias, 0);
        EXPECT_EQ(std::u16string(info.StandardName), zone.standardName);
        EXPECT_EQ(std::u16string(info.DaylightName), zone.daylightName);
        if (!zone.observesDaylight) {
            EXPECT_EQ(id, TIME_ZONE_ID_UNKNOWN);
            EXPECT_EQ(info.StandardDate.wMonth, 0);
            EXPECT_EQ(info.DaylightDate.wMonth, 0);
            EXPECT_EQ(info.DaylightBias, 0);
            continue;
        }
        EXPECT_EQ(id, InDaylight(now, info.Bias) ? TIME_ZONE_ID_DAYLIGHT : TIME_ZONE_ID_STANDARD);
        EXPECT_EQ(info.DaylightBias, -60);
        ExpectChange(info.DaylightDate, zone.toDaylight, year, info.Bias, info.Bias, true);
        ExpectChange(info.StandardDate, zone.toStandard, year, info.Bias + info.DaylightBias, info.Bias, false);
    }
}

TEST_F(TimeZoneTest, NoticesAChangedTzWithoutTzset) {
    struct Step {
        const char* tz;
        LONG bias;
    };
    const Step steps[] = {{"Asia/Tokyo", -540}, {"America/New_York", 300}, {"Asia/Tokyo", -540}, {"UTC", 0}};
    UseZone("Europe/Berlin");
    for (const Step& step : steps) {
        SCOPED_TRACE(step.tz);
        setenv("TZ", step.tz, 1);
        TIME_ZONE_INFORMATION info;
        ASSERT_NE(GetTimeZoneInformation(&info), TIME_ZONE_ID_INVALID);
        EXPECT_EQ(info.Bias, step.bias);
    }
}

TEST_F(TimeZoneTest, WithoutTzFollowsTheSystemZone) {
    unsetenv("TZ");
    tzset();
    TIME_ZONE_INFORMATION info;
    const DWORD id = GetTimeZoneInformation(&info);
    ASSERT_NE(id, TIME_ZONE_ID_INVALID);
    const tm now = Local(time(nullptr));
    const LONG currentBias = static_cast<LONG>(-now.tm_gmtoff / 60);
    EXPECT_EQ(id == TIME_ZONE_ID_DAYLIGHT ? info.Bias + info.DaylightBias : info.Bias, currentBias);
}

TEST(TimeZoneInformationTest, RejectsANullRecord) {
    SetLastError(0);
    EXPECT_EQ(GetTimeZoneInformation(nullptr), TIME_ZONE_ID_INVALID);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(TimeZoneTest, LocalFileTimeAddsTheOffsetOfThatInstant) {
    struct Case {
        const char* tz;
        int64_t utc;
        int64_t offset;  // seconds east at that instant
    };
    const Case cases[] = {
        {"UTC", UtcSeconds(2021, 7, 15, 12), 0},
        {"America/New_York", UtcSeconds(2021, 1, 15, 12), -5 * 3600},
        {"America/New_York", UtcSeconds(2021, 7, 15, 12), -4 * 3600},
        {"America/New_York", UtcSeconds(1960, 7, 1, 12), -4 * 3600},
        {"Asia/Tokyo", UtcSeconds(2021, 7, 15, 12), 9 * 3600},
        {"Australia/Sydney", UtcSeconds(2021, 1, 15, 12), 11 * 3600},
        {"Australia/Sydney", UtcSeconds(2021, 7, 15, 12), 10 * 3600},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.tz << " at " << c.utc);
        UseZone(c.tz);
        const FILETIME utc = platform::FileTimeFromUnix(c.utc, 1234500);
        FILETIME local{};
        ASSERT_TRUE(FileTimeToLocalFileTime(&utc, &local));
        const auto shift = static_cast<int64_t>(Ticks(local) - Ticks(utc));
        EXPECT_EQ(shift, c.offset * static_cast<int64_t>(kTicksPerSecond));
    }
}

TEST_F(TimeZoneTest, LocalFileTimeFailsOutsideTheFileTimeRange) {
    struct Case {
        const char* tz;
        uint64_t ticks;
    };
    const Case cases[] = {{"America/New_York", 0}, {"Asia/Tokyo", UINT64_MAX}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tz);
        UseZone(c.tz);
        const FILETIME utc = FileTime(c.ticks);
        FILETIME local{};
        SetLastError(0);
        EXPECT_FALSE(FileTimeToLocalFileTime(&utc, &local));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    }
    const FILETIME utc = FileTime(0);
    FILETIME local{};
    EXPECT_FALSE(FileTimeToLocalFileTime(nullptr, &local));
    EXPECT_FALSE(FileTimeToLocalFileTime(&utc, nullptr));
}

// A file time's system time against the C library's breakdown of its second.
void ExpectMatchesCLibrary(uint64_t ticks) {
    SCOPED_TRACE(testing::Message() << "ticks " << ticks);
    const FILETIME fileTime = FileTime(ticks);
    SYSTEMTIME systemTime{};
    ASSERT_TRUE(FileTimeToSystemTime(&fileTime, &systemTime));
    const int64_t seconds = static_cast<int64_t>(ticks / kTicksPerSecond) - kEpochSecondsFrom1601;
    ExpectSystemTimeMatches(systemTime, Utc(seconds), static_cast<WORD>(ticks % kTicksPerSecond / 10000));
}

TEST(FileTimeToSystemTimeTest, AgreesWithTheCLibraryOverTheWholeRange) {
    ExpectMatchesCLibrary(0);
    ExpectMatchesCLibrary(platform::kFileTimeUnixEpoch);
    ExpectMatchesCLibrary(platform::kFileTimeUnixEpoch - 1);
    ExpectMatchesCLibrary(kMaxFileTime);
    std::mt19937_64 random(20240229);
    std::uniform_int_distribution<uint64_t> anyTicks(0, kMaxFileTime);
    for (int i = 0; i < 3000; ++i) ExpectMatchesCLibrary(anyTicks(random));
    // Denser from 1970 to 2100, where the library's dates live.
    const uint64_t year2100 = static_cast<uint64_t>(UtcSeconds(2100, 1, 1) + kEpochSecondsFrom1601) * kTicksPerSecond;
    std::uniform_int_distribution<uint64_t> nearTicks(platform::kFileTimeUnixEpoch, year2100);
    for (int i = 0; i < 3000; ++i) ExpectMatchesCLibrary(nearTicks(random));
}

TEST(FileTimeToSystemTimeTest, KnowsTheEndsOfTheRange) {
    const FILETIME first = FileTime(0);
    SYSTEMTIME time{};
    ASSERT_TRUE(FileTimeToSystemTime(&first, &time));
    EXPECT_EQ(time.wYear, 1601);
    EXPECT_EQ(time.wMonth, 1);
    EXPECT_EQ(time.wDay, 1);
    EXPECT_EQ(time.wDayOfWeek, 1);  // a Monday

    const FILETIME last = FileTime(kMaxFileTime);
    ASSERT_TRUE(FileTimeToSystemTime(&last, &time));
    EXPECT_EQ(time.wYear, 30828);
    EXPECT_EQ(time.wMonth, 9);
    EXPECT_EQ(time.wDay, 14);
    EXPECT_EQ(time.wHour, 2);
    EXPECT_EQ(time.wMinute, 48);
    EXPECT_EQ(time.wSecond, 5);
    EXPECT_EQ(time.wMilliseconds, 477);

    for (uint64_t beyond : {kMaxFileTime + 1, UINT64_MAX}) {
        const FILETIME fileTime = FileTime(beyond);
        SetLastError(0);
        EXPECT_FALSE(FileTimeToSystemTime(&fileTime, &time));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    }
    EXPECT_FALSE(FileTimeToSystemTime(nullptr, &time));
    EXPECT_FALSE(FileTimeToSystemTime(&first, nullptr));
}

// A file time cut to whole milliseconds comes back unchanged.
void ExpectRoundTrip(uint64_t ticks) {
    const uint64_t wanted = ticks - ticks % 10000;
    const FILETIME in = FileTime(ticks);
    SYSTEMTIME time{};
    ASSERT_TRUE(FileTimeToSystemTime(&in, &time));
    FILETIME out{};
    ASSERT_TRUE(SystemTimeToFileTime(&time, &out));
    EXPECT_EQ(Ticks(out), wanted) << "ticks " << ticks;
}

TEST(SystemTimeToFileTimeTest, RoundTripsEveryMillisecondTime) {
    // Up to the last moment of 30827, the last year a system time may name.
    const uint64_t lastTicks =
        static_cast<uint64_t>(UtcSeconds(30828, 1, 1) + kEpochSecondsFrom1601) * kTicksPerSecond - 1;
    ExpectRoundTrip(0);
    ExpectRoundTrip(platform::kFileTimeUnixEpoch);
    ExpectRoundTrip(lastTicks);
    std::mt19937_64 random(16010101);
    std::uniform_int_distribution<uint64_t> anyTicks(0, lastTicks);
    for (int i = 0; i < 3000; ++i) ExpectRoundTrip(anyTicks(random));
}

TEST(SystemTimeToFileTimeTest, IgnoresTheDayOfWeek) {
    SYSTEMTIME time{2000, 2, 6, 29, 12, 0, 0, 0};  // 2000-02-29 was a Tuesday
    FILETIME fileTime{};
    ASSERT_TRUE(SystemTimeToFileTime(&time, &fileTime));
    EXPECT_EQ(Ticks(fileTime), Ticks(platform::FileTimeFromUnix(UtcSeconds(2000, 2, 29, 12), 0)));
}

TEST(SystemTimeToFileTimeTest, RejectsFieldsOutOfRange) {
    struct Case {
        const char* what;
        SYSTEMTIME time;  // year, month, day of week, day, hour, minute, second, ms
        bool valid;
    };
    const Case cases[] = {
        {"first moment", {1601, 1, 0, 1, 0, 0, 0, 0}, true},
        {"last moment", {30827, 12, 0, 31, 23, 59, 59, 999}, true},
        {"leap day of a leap year", {2000, 2, 0, 29, 0, 0, 0, 0}, true},
        {"leap day of 2400", {2400, 2, 0, 29, 0, 0, 0, 0}, true},
        {"year before 1601", {1600, 12, 0, 31, 23, 59, 59, 999}, false},
        {"year after 30827", {30828, 1, 0, 1, 0, 0, 0, 0}, false},
        {"month 0", {2000, 0, 0, 1, 0, 0, 0, 0}, false},
        {"month 13", {2000, 13, 0, 1, 0, 0, 0, 0}, false},
        {"day 0", {2000, 1, 0, 0, 0, 0, 0, 0}, false},
        {"day 32", {2000, 1, 0, 32, 0, 0, 0, 0}, false},
        {"April 31", {2000, 4, 0, 31, 0, 0, 0, 0}, false},
        {"February 29 of a common year", {2001, 2, 0, 29, 0, 0, 0, 0}, false},
        {"February 29 of 1900", {1900, 2, 0, 29, 0, 0, 0, 0}, false},
        {"February 30 of a leap year", {2004, 2, 0, 30, 0, 0, 0, 0}, false},
        {"hour 24", {2000, 1, 0, 1, 24, 0, 0, 0}, false},
        {"minute 60", {2000, 1, 0, 1, 0, 60, 0, 0}, false},
        {"second 60", {2000, 1, 0, 1, 0, 0, 60, 0}, false},
        {"millisecond 1000", {2000, 1, 0, 1, 0, 0, 0, 1000}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FILETIME fileTime{};
        SetLastError(0);
        EXPECT_EQ(SystemTimeToFileTime(&c.time, &fileTime), c.valid ? TRUE : FALSE);
        if (!c.valid) {
            EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
            continue;
        }
        const int64_t seconds = UtcSeconds(c.time.wYear, c.time.wMonth, c.time.wDay, c.time.wHour,
                                           c.time.wMinute, c.time.wSecond);
        EXPECT_EQ(Ticks(fileTime), static_cast<uint64_t>(seconds + kEpochSecondsFrom1601) * kTicksPerSecond +
                                       c.time.wMilliseconds * 10000ull);
    }
    const SYSTEMTIME time{2000, 1, 0, 1, 0, 0, 0, 0};
    FILETIME fileTime{};
    EXPECT_FALSE(SystemTimeToFileTime(nullptr, &fileTime));
    EXPECT_FALSE(SystemTimeToFileTime(&time, nullptr));
}

TEST(FileTimeFromUnixTest, CountsFrom1601AndClampsToTheFileTimeRange) {
    struct Case {
        int64_t seconds;
        uint32_t nanoseconds;
        uint64_t ticks;
    };
    const uint64_t epoch = platform::kFileTimeUnixEpoch;
    const Case cases[] = {
        {0, 0, epoch},
        {1, 999999999, epoch + kTicksPerSecond + 9999999},
        {-1, 0, epoch - kTicksPerSecond},
        {-kEpochSecondsFrom1601, 0, 0},
        {-kEpochSecondsFrom1601 - 1, 0, 0},
        {INT64_MIN, 0, 0},
        {static_cast<int64_t>(kMaxFileTime / kTicksPerSecond) - kEpochSecondsFrom1601, 999999999, kMaxFileTime},
        {INT64_MAX, 999999999, kMaxFileTime},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.seconds << " s " << c.nanoseconds << " ns");
        EXPECT_EQ(Ticks(platform::FileTimeFromUnix(c.seconds, c.nanoseconds)), c.ticks);
    }
}

TEST(FileTimeFromUnixTest, GivesTheCLibrarysCalendar) {
    std::mt19937_64 random(19700101);
    const int64_t last = UtcSeconds(30827, 12, 31, 23, 59, 59);
    std::uniform_int_distribution<int64_t> anySeconds(-kEpochSecondsFrom1601, last);
    std::uniform_int_distribution<uint32_t> anyNanoseconds(0, 999999999);
    for (int i = 0; i < 2000; ++i) {
        const int64_t seconds = anySeconds(random);
        const uint32_t nanoseconds = anyNanoseconds(random);
        SCOPED_TRACE(testing::Message() << seconds << " s " << nanoseconds << " ns");
        const FILETIME fileTime = platform::FileTimeFromUnix(seconds, nanoseconds);
        SYSTEMTIME time{};
        ASSERT_TRUE(FileTimeToSystemTime(&fileTime, &time));
        ExpectSystemTimeMatches(time, Utc(seconds), static_cast<WORD>(nanoseconds / 1000000));
    }
}

}  // namespace
