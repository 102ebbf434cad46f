// The Bluetooth state from rfkill switches laid out by the test, and the
// mail composer reached through xdg-email with a stand-in mail program
// registered for a home folder of the test's own.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "gadgetkit.h"
#include "gadgetkit/Desktop.h"
#include "platform/DeviceServices.h"

namespace {

using platform::RadioState;
using testsupport::ScopedEnv;
using testsupport::TempDir;

struct Switch {
    const char* type;
    int soft, hard;
};

class Radios : public ::testing::Test {
protected:
    void TearDown() override { platform::SetRfkillFolder(""); }
    // rfkill0, rfkill1, ... as the kernel lists them.
    void Lay(std::initializer_list<Switch> switches) {
        int index = 0;
        for (const Switch& s : switches) {
            const auto folder = dir.path() / ("rfkill" + std::to_string(index++));
            std::filesystem::create_directories(folder);
            std::ofstream(folder / "type") << s.type << "\n";
            std::ofstream(folder / "soft") << s.soft << "\n";
            std::ofstream(folder / "hard") << s.hard << "\n";
        }
        platform::SetRfkillFolder(dir.path().string());
    }
    TempDir dir;
};

TEST_F(Radios, EachStateOfTheBluetoothSwitchIsRead) {
    struct Case {
        std::initializer_list<Switch> switches;
        std::optional<RadioState> state;
        int result;
        DWORD mode;
    };
    const Case cases[] = {
        {{}, std::nullopt, 1062, 99},
        {{{"wlan", 0, 0}, {"wwan", 0, 0}}, std::nullopt, 1062, 99},
        {{{"bluetooth", 0, 0}}, RadioState::On, 0, BTH_CONNECTABLE},
        {{{"bluetooth", 1, 0}}, RadioState::Off, 0, BTH_POWER_OFF},
        {{{"bluetooth", 0, 1}}, RadioState::Blocked, 0, BTH_POWER_OFF},
        {{{"bluetooth", 1, 1}}, RadioState::Blocked, 0, BTH_POWER_OFF},
        {{{"wlan", 1, 0}, {"bluetooth", 0, 0}, {"bluetooth", 1, 0}}, RadioState::On, 0, BTH_CONNECTABLE},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(dir.path() / "");
        std::filesystem::create_directories(dir.path());
        Lay(c.switches);
        SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
        EXPECT_EQ(platform::BluetoothRadio(dir.path().string()), c.state);
        DWORD mode = 99;
        EXPECT_EQ(BthGetMode(&mode), c.result);
        EXPECT_EQ(mode, c.mode);
        EXPECT_EQ(OLBluetoothStatus(), c.result);
    }
}

TEST_F(Radios, AMachineWithoutAnyRadioHasNone) {
    platform::SetRfkillFolder((dir.path() / "no-rfkill").string());
    EXPECT_EQ(OLBluetoothStatus(), static_cast<int32_t>(ERROR_SERVICE_NOT_ACTIVE));
    EXPECT_EQ(BthGetMode(nullptr), static_cast<int>(ERROR_INVALID_PARAMETER));
}

// A desktop (an X server of the test's own, no desktop environment named,
// so xdg-email takes its generic way) and a home folder whose mailto:
// handler is a stand-in that writes down what it was called with.
class Composer : public ::testing::Test {
protected:
    void SetUp() override {
        const auto apps = dir.path() / "data/applications";
        std::filesystem::create_directories(apps);
        std::filesystem::create_directories(dir.path() / "config");
        const auto mailer = dir.path() / "mailer.sh";
        std::ofstream(mailer) << "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" << Calls().string() << ".part'\nmv '"
                              << Calls().string() << ".part' '" << Calls().string() << "'\n";
        chmod(mailer.c_str(), 0755);
        std::ofstream(apps / "standin-mailer.desktop")
            << "[Desktop Entry]\nType=Application\nName=Stand-in mailer\nExec=" << mailer.string()
            << " %u\nMimeType=x-scheme-handler/mailto;\n";
        std::ofstream(dir.path() / "config/mimeapps.list")
            << "[Default Applications]\nx-scheme-handler/mailto=standin-mailer.desktop\n";
    }
    void TearDown() override { platform::SetComposerWatch(0); }
    std::filesystem::path Calls() const { return dir.path() / "calls.txt"; }
    std::string Called() const {
        for (int i = 0; i < 1000 && !std::filesystem::exists(Calls()); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        std::ifstream in(Calls());
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    TempDir dir;
    ScopedEnv home{"HOME", dir.path().string()};
    ScopedEnv config{"XDG_CONFIG_HOME", (dir.path() / "config").string()};
    ScopedEnv data{"XDG_DATA_HOME", (dir.path() / "data").string()};
    ScopedEnv dataDirs{"XDG_DATA_DIRS", (dir.path() / "data").string()};
    ScopedEnv desktop{"XDG_CURRENT_DESKTOP", std::nullopt};
    ScopedEnv session{"DESKTOP_SESSION", std::nullopt};
    testsupport::XServer x;
    ScopedEnv mailer{"MAILER", std::nullopt};
    ScopedEnv browser{"BROWSER", std::nullopt};  // set, xdg-open would take it instead of the handler
};

TEST_F(Composer, TheUsersMailProgramIsOpenedOnANewMessage) {
    EXPECT_EQ(ComposeMMS(nullptr), S_OK);
    EXPECT_EQ(Called(), "mailto:\n");
}

TEST_F(Composer, NoMailProgramIsAFailure) {
    std::filesystem::remove(dir.path() / "config/mimeapps.list");
    std::filesystem::remove(dir.path() / "data/applications/standin-mailer.desktop");
    ScopedEnv noBrowser("BROWSER", "false");  // no web browser to fall back on either
    platform::SetComposerWatch(60000);            // however slow xdg-email is to give up
    EXPECT_EQ(ComposeMMS(nullptr), E_FAIL);
    EXPECT_FALSE(std::filesystem::exists(Calls()));
}

}  // namespace
