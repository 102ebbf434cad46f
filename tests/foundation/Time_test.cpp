#include "notestore/foundation/Time.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "platform/Time.h"
#include "support/LogTail.h"
#include "support/ZoneTest.h"

namespace {

using zr_gen::CTime;

constexpr uint32_t kAllBits = 0xFFFFFFFFu;

struct Date {
    int32_t year;
    int32_t month;  // 1-12
    int32_t day;
    int32_t hour;
    int32_t minute;
    int32_t second;
};

// The date read as UTC by the C library; out-of-range fields carry over.
int64_t Timegm(const Date& date) {
    tm broken{};
    broken.tm_year = date.year - 1900;
    broken.tm_mon = date.month - 1;
    broken.tm_mday = date.day;
    broken.tm_hour = date.hour;
    broken.tm_min = date.minute;
    broken.tm_sec = date.second;
    return timegm(&broken);
}

tm Gmtime(int64_t seconds) {
    const auto t = static_cast<time_t>(seconds);
    tm broken{};
    EXPECT_NE(gmtime_r(&t, &broken), nullptr);
    return broken;
}

CTime Make(const Date& date, int32_t daylight = 0) {
    return CTime(date.year, date.month, date.day, date.hour, date.minute, date.second, daylight);
}

void ExpectSameTm(const tm& actual, const tm& expected) {
    EXPECT_EQ(actual.tm_year, expected.tm_year);
    EXPECT_EQ(actual.tm_mon, expected.tm_mon);
    EXPECT_EQ(actual.tm_mday, expected.tm_mday);
    EXPECT_EQ(actual.tm_hour, expected.tm_hour);
    EXPECT_EQ(actual.tm_min, expected.tm_min);
    EXPECT_EQ(actual.tm_sec, expected.tm_sec);
    EXPECT_EQ(actual.tm_wday, expected.tm_wday);
    EXPECT_EQ(actual.tm_yday, expected.tm_yday);
    EXPECT_EQ(actual.tm_isdst, 0);
}

bool LoggedTimeAssertion(const testsupport::LogTail& tail) {
    for (const std::string& line : tail.Lines()) {
        if (line.starts_with("Assertion Failed! File Time.cpp Line ") && line.ends_with(" quiting application")) {
            return true;
        }
    }
    return false;
}

// Zone tests start in UTC unless they pick another zone.
class ZoneTest : public testsupport::ZoneTest {
protected:
    void SetUp() override {
        testsupport::ZoneTest::SetUp();
        UseZone("UTC");
    }
};

// --- Agreement with the C library in several zones ---------------------------

struct Zone {
    const char* tz;
    int64_t standardBias;  // minutes west of UTC in standard time
};

void PrintTo(const Zone& zone, std::ostream* out) { *out << zone.tz; }

class CTimeZoneTest : public ZoneTest, public ::testing::WithParamInterface<Zone> {
protected:
    void SetUp() override {
        ZoneTest::SetUp();
        UseZone(GetParam().tz);
    }
    int64_t OffsetSeconds() const { return GetParam().standardBias * 60; }
};

// Dates from 1970 to 2037: the turns of every year and month-end, leap days,
// and a spread of times of day.
std::vector<Date> SampleDates() {
    std::vector<Date> dates;
    for (int32_t year = 1970; year <= 2037; ++year) {
        dates.push_back({year, 1, 1, 0, 0, 0});
        dates.push_back({year, 2, 28, 23, 59, 59});
        dates.push_back({year, 3, 1, 0, 0, 0});
        dates.push_back({year, 6, 30, 12, 0, 1});
        dates.push_back({year, 12, 31, 23, 59, 59});
        dates.push_back({year, year % 12 + 1, year % 28 + 1, year % 24, year * 7 % 60, year * 13 % 60});
        if (year % 4 == 0) dates.push_back({year, 2, 29, 6, 30, 0});  // leap in every fourth year until 2100
    }
    std::mt19937 random(1970);
    for (int i = 0; i < 1000; ++i) {
        dates.push_back({static_cast<int32_t>(random() % 68 + 1970), static_cast<int32_t>(random() % 12 + 1),
                         static_cast<int32_t>(random() % 28 + 1), static_cast<int32_t>(random() % 24),
                         static_cast<int32_t>(random() % 60), static_cast<int32_t>(random() % 60)});
    }
    return dates;
}

TEST_P(CTimeZoneTest, LocalTimeIsUtcPlusTheStandardBias) {
    const testsupport::LogTail log;
    for (const Date& date : SampleDates()) {
        SCOPED_TRACE(testing::Message() << date.year << "-" << date.month << "-" << date.day << " " << date.hour
                                        << ":" << date.minute << ":" << date.second);
        // Wrapping to 32 bits is part of the contract (local times just after
        // 1970 east of Greenwich fall before 1970 UTC).
        const auto expected = static_cast<uint32_t>(Timegm(date) + OffsetSeconds());
        EXPECT_EQ(Make(date, 0).GetTime(), expected);
        EXPECT_EQ(Make(date, 1).GetTime(), expected);
    }
    EXPECT_FALSE(LoggedTimeAssertion(log));
}

void ExpectBreakdown(const CTime& time, int64_t offsetSeconds) {
    SCOPED_TRACE(testing::Message() << "value " << time.GetTime());
    const int64_t signedValue = static_cast<int32_t>(time.GetTime());
    const tm utc = Gmtime(signedValue);
    const tm local = Gmtime(signedValue - offsetSeconds);
    tm actual{};
    ASSERT_EQ(time.GetGmtTm(&actual), &actual);
    ExpectSameTm(actual, utc);
    ASSERT_EQ(time.GetLocalTm(&actual), &actual);
    ExpectSameTm(actual, local);

    EXPECT_EQ(time.GetYear(), local.tm_year + 1900);
    EXPECT_EQ(time.GetMonth(), local.tm_mon + 1);
    EXPECT_EQ(time.GetDay(), local.tm_mday);
    EXPECT_EQ(time.GetHour(), local.tm_hour);
    EXPECT_EQ(time.GetMinute(), local.tm_min);
    EXPECT_EQ(time.GetSecond(), local.tm_sec);

    SYSTEMTIME system{};
    ASSERT_EQ(time.GetAsSystemTime(system), 1);
    EXPECT_EQ(system.wYear, local.tm_year + 1900);
    EXPECT_EQ(system.wMonth, local.tm_mon + 1);
    EXPECT_EQ(system.wDay, local.tm_mday);
    EXPECT_EQ(system.wDayOfWeek, local.tm_wday);
    EXPECT_EQ(system.wHour, local.tm_hour);
    EXPECT_EQ(system.wMinute, local.tm_min);
    EXPECT_EQ(system.wSecond, local.tm_sec);
    EXPECT_EQ(system.wMilliseconds, 0);
}

TEST_P(CTimeZoneTest, BreakdownIsGmtimeOfTheShiftedSignedValue) {
    for (const Date& date : SampleDates()) ExpectBreakdown(Make(date), OffsetSeconds());
}

TEST_P(CTimeZoneTest, BreakdownCoversTheWholeValueRange) {
    for (uint32_t value : {0u, 1u, 86399u, 86400u, 0x7FFFFFFFu, 0x80000000u, 0xFFFF8170u, kAllBits}) {
        ExpectBreakdown(CTime(value), OffsetSeconds());
    }
    std::mt19937 random(2038);
    for (int i = 0; i < 2000; ++i) ExpectBreakdown(CTime(static_cast<uint32_t>(random())), OffsetSeconds());
}

INSTANTIATE_TEST_SUITE_P(Zones, CTimeZoneTest,
                         ::testing::Values(Zone{"UTC", 0}, Zone{"America/New_York", 300}, Zone{"Asia/Tokyo", -540},
                                           Zone{"Australia/Sydney", -600},
                                           // The zone database marks Irish winter time as
                                           // daylight time (a negative saving).
                                           Zone{"Europe/Dublin", 0}),
                         [](const ::testing::TestParamInfo<Zone>& info) {
                             std::string name = info.param.tz;
                             for (char& c : name) {
                                 if (c == '/') c = '_';
                             }
                             return name;
                         });

// --- Edge cases --------------------------------------------------------------

using CTimeTest = ZoneTest;

TEST_F(CTimeTest, TheEpochIsZeroWithoutBias) { EXPECT_EQ(CTime(1970, 1, 1, 0, 0, 0, 0).GetTime(), 0u); }

TEST_F(CTimeTest, CountsDaysAcrossLeapYears) {
    const int64_t days = Timegm({2000, 3, 1, 0, 0, 0}) / 86400;
    EXPECT_EQ(CTime(2000, 3, 1, 0, 0, 0, 0).GetTime(), static_cast<uint32_t>(86400 * days));
}

TEST_F(CTimeTest, ZeroBreaksDownToThursdayTheFirstOf1970) {
    const tm* utc = CTime(0u).GetGmtTm(nullptr);
    ASSERT_NE(utc, nullptr);
    EXPECT_EQ(utc->tm_year, 70);
    EXPECT_EQ(utc->tm_mon, 0);
    EXPECT_EQ(utc->tm_mday, 1);
    EXPECT_EQ(utc->tm_hour, 0);
    EXPECT_EQ(utc->tm_min, 0);
    EXPECT_EQ(utc->tm_sec, 0);
    EXPECT_EQ(utc->tm_wday, 4);
    EXPECT_EQ(utc->tm_yday, 0);
    EXPECT_EQ(utc->tm_isdst, 0);
}

TEST_F(CTimeTest, ArgumentsOutOfRangeAreAsserted) {
    struct Case {
        const char* what;
        Date date;
        bool allBits;  // else the value is what the C library makes of the carried-over date
        bool asserted;
    };
    const Case cases[] = {
        {"last second before 1970", {1969, 12, 31, 23, 59, 59}, true, true},
        {"year before 1900", {1899, 6, 1, 0, 0, 0}, true, true},
        {"year beyond the platform's calendar", {40000, 1, 1, 0, 0, 0}, true, true},
        {"month 0", {2001, 0, 1, 0, 0, 0}, true, true},
        {"month 13", {2001, 13, 1, 0, 0, 0}, true, true},
        {"day 0", {2001, 3, 0, 0, 0, 0}, false, true},
        {"day 32", {2001, 1, 32, 0, 0, 0}, false, true},
        {"February 31", {2001, 2, 31, 0, 0, 0}, false, false},
        {"hour 25", {2001, 1, 1, 25, 0, 0}, false, false},
        {"negative minutes", {2001, 1, 1, 0, -90, 0}, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const testsupport::LogTail log;
        const uint32_t value = Make(c.date).GetTime();
        EXPECT_EQ(value, c.allBits ? kAllBits : static_cast<uint32_t>(Timegm(c.date)));
        EXPECT_EQ(LoggedTimeAssertion(log), c.asserted);
    }
}

TEST_F(CTimeTest, ComparesAsUnsigned) {
    struct Case {
        uint32_t left;
        uint32_t right;
    };
    // Each pair is in ascending unsigned order.
    const Case cases[] = {
        {0, 1}, {1, 0x7FFFFFFFu}, {1, 0x80000000u}, {0x7FFFFFFFu, 0x80000000u}, {0x80000000u, kAllBits},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.left << " < " << c.right);
        const CTime left(c.left);
        const CTime right(c.right);
        EXPECT_TRUE(left < right);
        EXPECT_TRUE(left <= right);
        EXPECT_TRUE(right > left);
        EXPECT_TRUE(right >= left);
        EXPECT_TRUE(left != right);
        EXPECT_FALSE(left == right);
        EXPECT_FALSE(left > right);
        EXPECT_FALSE(right < left);
        EXPECT_TRUE(left == CTime(c.left));
        EXPECT_TRUE(left <= CTime(c.left));
        EXPECT_TRUE(left >= CTime(c.left));
    }
}

TEST_F(CTimeTest, CopiesAndAssignsTheValue) {
    CTime time(5u);
    const CTime copy(time);
    time = 0x80000000u;
    EXPECT_EQ(copy.GetTime(), 5u);
    EXPECT_EQ(time.GetTime(), 0x80000000u);
    time = copy;
    EXPECT_EQ(time.GetTime(), 5u);
}

TEST_F(CTimeTest, DaylightTimeIsNeverApplied) {
    UseZone("America/New_York");
    const Date summer{2021, 7, 15, 12, 0, 0};
    const uint32_t standard = static_cast<uint32_t>(Timegm(summer) + 300 * 60);
    for (int32_t daylight : {-1, 0, 1}) {
        SCOPED_TRACE(daylight);
        const CTime time = Make(summer, daylight);
        EXPECT_EQ(time.GetTime(), standard);
        EXPECT_EQ(time.GetHour(), 12);
    }
}

TEST_F(CTimeTest, BreakdownsShareOneTm) {
    tm* first = CTime(0u).GetGmtTm(nullptr);
    tm* second = CTime(86400u).GetLocalTm(nullptr);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    EXPECT_EQ(first->tm_mday, 2);

    tm own{};
    EXPECT_EQ(CTime(0u).GetGmtTm(&own), &own);
    EXPECT_EQ(own.tm_mday, 1);
    EXPECT_EQ(first->tm_mday, 1);  // the copy came from the shared tm
}

TEST_F(CTimeTest, SystemTimeConstructor) {
    UseZone("America/New_York");
    struct Case {
        const char* what;
        SYSTEMTIME time;  // year, month, day of week, day, hour, minute, second, ms
        uint32_t expected;
        bool asserted;
    };
    const SYSTEMTIME summer{2021, 7, 6, 15, 10, 20, 30, 999};  // day of week deliberately wrong
    const auto summerValue = static_cast<uint32_t>(Timegm({2021, 7, 15, 10, 20, 30}) + 300 * 60);
    const Case cases[] = {
        {"year before 1900", {1899, 12, 0, 31, 23, 59, 59, 0}, 0, false},
        {"first system time year", {1601, 1, 1, 1, 0, 0, 0, 0}, 0, false},
        {"year before 1970", {1950, 6, 4, 1, 0, 0, 0, 0}, kAllBits, true},
        {"milliseconds and day of week ignored", summer, summerValue, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const testsupport::LogTail log;
        EXPECT_EQ(CTime(c.time, 0).GetTime(), c.expected);
        EXPECT_EQ(LoggedTimeAssertion(log), c.asserted);
    }
}

TEST_F(CTimeTest, FileTimeConstructorGoesThroughTheLocalFileTime) {
    struct Case {
        const char* tz;
        int64_t utc;
        int64_t shift;  // the daylight hour the local file time adds and CTime does not take off
    };
    const int64_t winter = Timegm({2021, 1, 15, 12, 0, 0});
    const int64_t summer = Timegm({2021, 7, 15, 12, 0, 0});
    const Case cases[] = {
        {"UTC", summer, 0},
        {"America/New_York", winter, 0},
        {"America/New_York", summer, 3600},
        {"Asia/Tokyo", summer, 0},
        {"Australia/Sydney", winter, 3600},
        {"Australia/Sydney", summer, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.tz << " at " << c.utc);
        UseZone(c.tz);
        const FILETIME fileTime = platform::FileTimeFromUnix(c.utc, 999999999);
        EXPECT_EQ(CTime(fileTime, 0).GetTime(), static_cast<uint32_t>(c.utc + c.shift));
    }
}

TEST_F(CTimeTest, FileTimeConstructorFailures) {
    struct Case {
        const char* what;
        const char* tz;
        FILETIME time;
        uint32_t expected;
    };
    const Case cases[] = {
        {"no local file time before 1601", "America/New_York", {0, 0}, 0},
        {"no system time beyond 30828", "UTC", {0, 0x80000000u}, 0},
        {"year before 1900", "UTC", platform::FileTimeFromUnix(Timegm({1800, 1, 1, 0, 0, 0}), 0), 0},
        {"year before 1970", "UTC", platform::FileTimeFromUnix(Timegm({1950, 1, 1, 0, 0, 0}), 0), kAllBits},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        UseZone(c.tz);
        EXPECT_EQ(CTime(c.time, 0).GetTime(), c.expected);
    }
}

TEST_F(CTimeTest, CurrentTimeIsUtcWithoutOffset) {
    UseZone("Asia/Tokyo");
    const time_t before = time(nullptr);
    const CTime now = CTime::GetCurrentTime();
    const time_t after = time(nullptr);
    EXPECT_GE(now.GetTime(), static_cast<uint32_t>(before));
    EXPECT_LE(now.GetTime(), static_cast<uint32_t>(after));
}

}  // namespace
