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
#include "platform/Processes.h"
#include "platform/Shell.h"
#include "platform/Strings.h"
#include "platform/Windows.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

namespace {

using rtsetup::SetupLog;

class Setup : public ::testing::Test {
protected:
    void SetUp() override {
        // No runtime program on the PATH unless a test puts one there.
        std::filesystem::create_directories(Bin());
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
        platform::SetPackageInstaller({});
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

    std::filesystem::path Bin() const { return dir.path() / "bin"; }

    testsupport::TempDir dir;
    testsupport::ScopedEnv path{"PATH", Bin().string()};
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

TEST_F(Setup, AMonoOrDotnetProgramOnThePathIsAnInstalledRuntime) {
    for (const char* program : {"dotnet", "mono"}) {
        const auto file = Bin() / program;
        std::ofstream(file) << "#!/bin/sh\n";
        std::filesystem::permissions(file, std::filesystem::perms::owner_all);
        Run({});
        EXPECT_TRUE(opened.empty());
        EXPECT_EQ(Lines().back(), "managed runtime found: " + file.string());
    }
    EXPECT_EQ(rtsetup::FindRuntimeProgram(), (Bin() / "mono").string()) << "mono is looked for first";
    std::filesystem::permissions(Bin() / "mono", std::filesystem::perms::owner_read);
    EXPECT_EQ(rtsetup::FindRuntimeProgram(), (Bin() / "dotnet").string()) << "a file that cannot run is none";
}

TEST_F(Setup, OtherVersionsOrNoKeyInstallFromTheCabFolder) {
    struct Case {
        std::vector<std::u16string> arguments;
        std::u16string cab;
    };
    const Case cases[] = {
        {{}, u"\\Program Files\\ZADerididur\\\\mono-runtime.deb"},
        {{u"\\Storage Card"}, u"\\Storage Card\\mono-runtime.deb"},
        {{u""}, u"\\Program Files\\ZADerididur\\\\mono-runtime.deb"},
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
            ASSERT_GE(lines.size(), 4u);
            EXPECT_EQ(lines[lines.size() - 4], fallback ? "installing from .NETCF2 cab path" : "no managed runtime found");
            EXPECT_EQ(lines[lines.size() - 3], fallback ? "installing from default path" : "installing from .NETCF2 cab path");
            EXPECT_EQ(lines[lines.size() - 2].rfind("package installer started for ", 0), 0u);
            EXPECT_EQ(lines.back(), "install failed: the package installer cannot be waited for")
                << "the scripted shell hands back no process";
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

// The real installer: dpkg, put into a root folder of the test's own, and
// a package built by the test.
class Install : public Setup {
protected:
    void SetUp() override {
        Setup::SetUp();
        platform::SetShellExecuteHandler(nullptr);
        for (const char* sub : {"var/lib/dpkg/updates", "var/lib/dpkg/info"})
            std::filesystem::create_directories(Root() / sub);
        std::ofstream(Root() / "var/lib/dpkg/status") << "";
        std::filesystem::create_directories(Folder());
        // A second's pause first, so that a run that did not wait would end
        // before the package is in.
        platform::SetPackageInstaller({"/usr/bin/env", "PATH=/usr/sbin:/usr/bin:/sbin:/bin", "/bin/sh", "-c",
                                       "sleep 1 && exec dpkg \"$@\"", "dpkg", "--root=" + Root().string(),
                                       "--log=" + (dir.path() / "dpkg.log").string(), "--force-not-root",
                                       "--install"});
    }
    std::filesystem::path Root() const { return dir.path() / "root"; }
    std::filesystem::path Folder() const { return dir.path() / "app"; }
    std::filesystem::path Installed() const { return Root() / "usr/lib/fake-runtime/marker"; }

    // Builds the runtime's package (a file and nothing else) into the folder.
    void BuildPackage() const {
        const auto tree = dir.path() / "tree";
        std::filesystem::create_directories(tree / "DEBIAN");
        std::filesystem::create_directories(tree / "usr/lib/fake-runtime");
        std::ofstream(tree / "DEBIAN/control") << "Package: fake-runtime\nVersion: 1.0\nArchitecture: all\n"
                                                  "Maintainer: Tests <tests@example.invalid>\n"
                                                  "Description: a runtime stand-in\n";
        std::ofstream(tree / "usr/lib/fake-runtime/marker") << "in\n";
        const auto built = platform::RunProgram({"/usr/bin/env", "PATH=/usr/bin:/bin", "dpkg-deb", "--root-owner-group",
                                                 "-b", tree.string(), (Folder() / "mono-runtime.deb").string()});
        ASSERT_TRUE(built && built->exitStatus == 0);
    }
    void RunIn(const std::filesystem::path& folder) { Run({platform::Utf8ToUtf16(folder.string())}); }
};

TEST_F(Install, WithoutARuntimeThePackageIsInstalledAndWaitedFor) {
    BuildPackage();
    RunIn(Folder());
    EXPECT_TRUE(std::filesystem::exists(Installed())) << "the run ended before the installer had finished";
    const std::vector<std::string> lines = Lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "package installer started for " + (Folder() / "mono-runtime.deb").string());
    EXPECT_EQ(lines.back(), "runtime installed");
}

TEST_F(Install, AMissingOrDamagedPackageIsLoggedAsAFailure) {
    RunIn(Folder());
    EXPECT_EQ(Lines().back(), "install failed: no package file " + (Folder() / "mono-runtime.deb").string());

    std::ofstream(Folder() / "mono-runtime.deb") << "not a package";
    RunIn(Folder());
    EXPECT_EQ(Lines().back(), "install failed: the package installer ended with status 1");
    EXPECT_FALSE(std::filesystem::exists(Installed()));

    std::filesystem::remove(Folder() / "mono-runtime.deb");
    std::filesystem::create_directories(Folder() / "mono-runtime.deb");
    RunIn(Folder());
    EXPECT_EQ(Lines().back().rfind("install failed: the package installer ended with status ", 0), 0u)
        << "a folder of that name: " << Lines().back();
}

}  // namespace
