#include "platform/Processes.h"

#include <gtest/gtest.h>

#include <chrono>

#include "platform/Errors.h"
#include "platform/Files.h"
#include "platform/Windows.h"

namespace {

using platform::LaunchResult;

TEST(Processes, RunProgramGivesTheOutputAndTheExitStatus) {
    const auto result = platform::RunProgram({"/bin/sh", "-c", "printf 'a\\nb'; exit 3"});
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->output, "a\nb");
    EXPECT_EQ(result->exitStatus, 3);
    EXPECT_EQ(platform::RunProgram({"/bin/sh", "-c", "kill -9 $$"})->exitStatus, -1) << "ended by a signal";
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(platform::RunProgram({"no-such-program-here"}).has_value());
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST(Processes, ALaunchIsJudgedByHowItEndsWithinTheWatch) {
    struct Case {
        const char* script;
        LaunchResult expected;
    };
    // A generous watch: each of these ends by itself, and the launch
    // returns as soon as it has.
    const Case cases[] = {
        {"exit 0", LaunchResult::Finished},
        {"exit 3", LaunchResult::Failed},
        {"kill -9 $$", LaunchResult::Failed},
    };
    for (const Case& c : cases) EXPECT_EQ(platform::Launch({"/bin/sh", "-c", c.script}, 30000), c.expected) << c.script;
    EXPECT_EQ(platform::Launch({"no-such-program-here"}, 30000), LaunchResult::Failed);

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(platform::Launch({"/bin/sh", "-c", "sleep 3"}, 200), LaunchResult::StillRunning);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2500)) << "the program is not waited for";
}

TEST(Processes, AStartedProgramsExitCodeIsReadThroughItsHandle) {
    const pid_t child = platform::StartProgram({"/bin/sh", "-c", "sleep 0.3; exit 7"});
    ASSERT_GT(child, 0);
    HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, static_cast<DWORD>(child));
    ASSERT_NE(process, nullptr);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(process, &code));
    EXPECT_EQ(code, STILL_ACTIVE);
    EXPECT_EQ(WaitForSingleObject(process, 10000), WAIT_OBJECT_0);
    EXPECT_TRUE(GetExitCodeProcess(process, &code));
    EXPECT_EQ(code, 7u);
    EXPECT_TRUE(GetExitCodeProcess(process, &code)) << "read again after the process was reaped";
    EXPECT_EQ(code, 7u);
    CloseHandle(process);
    EXPECT_FALSE(GetExitCodeProcess(process, &code));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

}  // namespace
