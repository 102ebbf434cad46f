#include "rtsetup/SetupDriver.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "platform/Registry.h"
#include "platform/Shell.h"
#include "platform/Windows.h"
#include "support/TempDir.h"

namespace {

using rtsetup::SetupLog;

class Setup : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetRegistryRoot((dir.path() / "registry").string());
        platform::SetShellExecuteHandler([this](SHELLEXECUTEINFOW& info) {
            opened.push_back(info.lpFile);
            EXPECT_EQ(info.cbSize, 60u);
            EXPECT_EQ(info.nShow, 1);
            EXPECT_EQ(info.lpVerb, nullptr);
            return TRUE;
        });
    }
    void TearDown() override {
        platform::SetRegistryRoot("");
        platform::SetShellExecuteHandler(nullptr);
        platform::SetTopLevelWindows({});
    }

    void Runtime(std::initializer_list<const char*> versions) const {
        const auto key = dir.path() / "registry/HKEY_LOCAL_MACHINE/Software/Microsoft/.NETCompactFramework";
        std::filesystem::create_directories(key);
        for (const char* version : versions) std::ofstream(key / version) << "";
    }

    // The log's lines without their time prefix.
    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        std::ifstream in(LogPath());
        for (std::string line; std::getline(in, line);) lines.push_back(line.substr(line.find(']') + 1));
        return lines;
    }
    std::string LogPath() const { return (dir.path() / "SetupDriver.txt").string(); }

    void Run(std::vector<std::u16string> arguments) {
        SetupLog log(LogPath());
        rtsetup::Run(arguments, log);
    }

    testsupport::TempDir dir;
    std::vector<std::u16string> opened;
};

TEST_F(Setup, AVersionTwoValueMeansNothingIsInstalled) {
    Runtime({"1.0.4292.0", "2.0.7045.0"});
    Run({});
    EXPECT_TRUE(opened.empty());
    EXPECT_EQ(Lines(), (std::vector<std::string>{"DefualtPath = \\Program Files\\ZADerididur\\",
                                                 "tszPath = \\Program Files\\ZADerididur\\", "value name = 1.0.4292.0",
                                                 "value name = 2.0.7045.0", "NET CF 2 is present"}));
}

TEST_F(Setup, OtherVersionsOrNoKeyInstallFromTheCabFolder) {
    struct Case {
        std::vector<std::u16string> arguments;
        std::u16string cab;
    };
    const Case cases[] = {
        {{}, u"\\Program Files\\ZADerididur\\\\NETCFv2.cab"},
        {{u"\\Storage Card"}, u"\\Storage Card\\NETCFv2.cab"},
        {{u""}, u"\\Program Files\\ZADerididur\\\\NETCFv2.cab"},
    };
    for (bool withKey : {false, true}) {
        if (withKey) Runtime({"1.0.1.0", "3.5.1.0"});
        for (const Case& c : cases) {
            opened.clear();
            Run(c.arguments);
            EXPECT_EQ(opened, std::vector<std::u16string>{c.cab});
            const std::vector<std::string> lines = Lines();
            ASSERT_FALSE(lines.empty());
            EXPECT_EQ(lines.front().rfind("DefualtPath = ", 0), 0u) << "only this run's lines";
            const bool fallback = c.arguments.size() == 1 && c.arguments[0].empty();
            EXPECT_EQ(lines.back(), fallback ? "installing from default path" : "installing from .NETCF2 cab path");
        }
    }
}

TEST_F(Setup, LogLinesCarryTheTimeOfDayWithoutABlank) {
    SYSTEMTIME time{};
    time.wHour = 9;
    time.wMinute = 5;
    time.wSecond = 3;
    time.wMilliseconds = 42;
    EXPECT_EQ(rtsetup::LogPrefix(time) + "tszPath = x", "[09:05:03 42]tszPath = x");
    EXPECT_EQ(rtsetup::Ansi(u"caf\u00E9 \u4E2D"), "caf\xE9 ?");
    SetupLog log(LogPath());
    log.Line("one");
    log.Line("two");
    SetupLog again(LogPath());
    again.Line("three");
    EXPECT_EQ(Lines(), std::vector<std::string>{"three"}) << "a new run empties the log";
}

TEST_F(Setup, TheRunWaitsForTheInstallerItStarted) {
    // The installer: a process with a window of the installer's class.
    std::optional<pid_t> installer;
    platform::SetShellExecuteHandler([&](SHELLEXECUTEINFOW&) {
        const pid_t child = fork();
        if (child == 0) {
            usleep(600000);
            _exit(0);
        }
        installer = child;
        platform::SetTopLevelWindows({{u"Desktop", 1}, {u"MSWCELOAD", static_cast<DWORD>(child)}, {u"mswceload", 1}});
        return TRUE;
    });
    Run({u"\\Storage Card"});
    ASSERT_TRUE(installer.has_value());
    int status = 0;
    EXPECT_EQ(waitpid(*installer, &status, WNOHANG), *installer) << "the installer had ended when the run did";
}

}  // namespace
