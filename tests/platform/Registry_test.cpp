#include "platform/Registry.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/Files.h"
#include "platform/Windows.h"
#include "support/TempDir.h"

namespace {

TEST(Registry, KeysAreFoldersAndValuesTheirFilesInNameOrder) {
    testsupport::TempDir dir;
    platform::SetRegistryRoot(dir.path().string());
    const auto key = dir.path() / "HKEY_LOCAL_MACHINE/Software/Test";
    std::filesystem::create_directories(key / "Sub");
    for (const char* name : {"b", "a-long-value-name"}) std::ofstream(key / name) << "";

    HKEY opened = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Missing", 0, KEY_READ, &opened),
              LONG(ERROR_FILE_NOT_FOUND));
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Test", 0, KEY_READ, &opened), LONG(ERROR_SUCCESS));
    DWORD values = 0, subKeys = 7;
    ASSERT_EQ(RegQueryInfoKeyW(opened, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr, nullptr,
                               nullptr, nullptr),
              LONG(ERROR_SUCCESS));
    EXPECT_EQ(values, 2u) << "sub-keys are not values";
    char16_t name[8];
    DWORD size = 8;
    EXPECT_EQ(RegEnumValueW(opened, 0, name, &size, nullptr, nullptr, nullptr, nullptr), LONG(ERROR_MORE_DATA));
    size = 8;
    ASSERT_EQ(RegEnumValueW(opened, 1, name, &size, nullptr, nullptr, nullptr, nullptr), LONG(ERROR_SUCCESS));
    EXPECT_EQ(std::u16string(name), u"b");
    EXPECT_EQ(size, 1u);
    EXPECT_EQ(RegEnumValueW(opened, 2, name, &size, nullptr, nullptr, nullptr, nullptr), LONG(ERROR_NO_MORE_ITEMS));
    EXPECT_EQ(RegCloseKey(opened), LONG(ERROR_SUCCESS));
    platform::SetRegistryRoot("");
}

TEST(Processes, AWaitEndsWithTheProcessOrTimesOut) {
    const pid_t child = fork();
    if (child == 0) {
        pause();
        _exit(0);
    }
    HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, static_cast<DWORD>(child));
    ASSERT_NE(process, nullptr);
    EXPECT_EQ(WaitForSingleObject(process, 50), WAIT_TIMEOUT);
    kill(child, SIGTERM);
    EXPECT_EQ(WaitForSingleObject(process, 10000), WAIT_OBJECT_0) << "an unreaped child has ended too";
    EXPECT_TRUE(CloseHandle(process));
    EXPECT_FALSE(CloseHandle(process)) << "closed once";
    waitpid(child, nullptr, 0);
    EXPECT_EQ(OpenProcess(PROCESS_ALL_ACCESS, FALSE, static_cast<DWORD>(child)), nullptr) << "gone";
    EXPECT_EQ(WaitForSingleObject(nullptr, 0), WAIT_FAILED);
}

TEST(Windows, TheScriptedListIsWalkedFromEitherEnd) {
    EXPECT_EQ(GetForegroundWindow(), nullptr);
    platform::SetTopLevelWindows({{u"First", 11}, {u"Second", 22}});
    HWND last = GetWindow(GetForegroundWindow(), GW_HWNDLAST);
    char16_t name[4];
    EXPECT_EQ(GetClassNameW(last, name, 4), 3);
    EXPECT_EQ(std::u16string(name), u"Sec") << "cut to the room";
    DWORD id = 0;
    GetWindowThreadProcessId(GetWindow(last, GW_HWNDPREV), &id);
    EXPECT_EQ(id, 11u);
    EXPECT_EQ(GetWindow(GetWindow(last, GW_HWNDPREV), GW_HWNDPREV), nullptr);
    platform::SetTopLevelWindows({});
}

}  // namespace
