// ProfileTest.cpp --- the profile functions, restarts and concurrent writers in separate processes.
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "platform/registry/Registry.h"
#include "tests/platform/registry/RegistryTestSupport.h"

namespace tarvo::platform {
namespace {

using ProfileTest = testing::TempHomeTest;

// Runs body in a child process and answers its exit status.
template <typename Body>
int InChild(Body body) {
    pid_t pid = fork();
    if (pid == 0) {
        _exit(body());
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

TEST_F(ProfileTest, ValuesOfTheWrongTypeReadAsTheDefault) {
    SetRegistryKey("Tarvo", "Tarvo Defrag");
    ASSERT_TRUE(WriteProfileString("Settings", "BlockSize", "12"));
    ASSERT_TRUE(WriteProfileInt("Settings", "WindowPos", 77));
    EXPECT_EQ(GetProfileInt("Settings", "BlockSize", 9), 9u);
    EXPECT_EQ(GetProfileString("Settings", "WindowPos", "dflt"), "dflt");

    HKEY key = nullptr;
    ASSERT_EQ(
        RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Tarvo\\Tarvo Defrag\\Settings", 0, KEY_ALL_ACCESS, &key),
        ERROR_SUCCESS);
    const BYTE two[2] = {1, 2};
    ASSERT_EQ(RegSetValueExA(key, "DrawShadow", 0, REG_BINARY, two, 2), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(GetProfileInt("Settings", "DrawShadow", 1), 1u);
    EXPECT_EQ(GetProfileInt("Settings", "Missing", -1), static_cast<UINT>(-1));
    EXPECT_EQ(GetProfileInt("NoSection", "Missing", 4), 4u);
}

TEST_F(ProfileTest, ProfileValuesLiveUnderTheApplicationKey) {
    SetRegistryKey("Tarvo", "Tarvo Defrag");
    ASSERT_TRUE(WriteProfileInt("Logging", "LogLevel", 4));
    ASSERT_TRUE(WriteProfileString("Settings", "WindowPos", "0,0,640,480"));
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Tarvo\\Tarvo Defrag\\Logging", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof(value);
    ASSERT_EQ(RegQueryValueExA(key, "LogLevel", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(value, 4u);
    RegCloseKey(key);
    EXPECT_EQ(GetProfileString("settings", "windowpos", ""), "0,0,640,480");

    // A null value removes the entry, a null entry the section.
    ASSERT_TRUE(WriteProfileString("Settings", "WindowPos", nullptr));
    EXPECT_EQ(GetProfileString("Settings", "WindowPos", "gone"), "gone");
    ASSERT_TRUE(WriteProfileString("Logging", nullptr, nullptr));
    EXPECT_EQ(GetProfileInt("Logging", "LogLevel", 0), 0u);
}

TEST_F(ProfileTest, ValuesSurviveAProcessRestart) {
    int wrote = InChild([] {
        SetRegistryKey("Tarvo", "Tarvo Defrag");
        return WriteProfileInt("Settings", "BlockSize", 13) &&
                       WriteProfileString("Settings", "WindowPos", "w")
                   ? 0
                   : 1;
    });
    ASSERT_EQ(wrote, 0);
    int read = InChild([] {
        SetRegistryKey("Tarvo", "Tarvo Defrag");
        return GetProfileInt("Settings", "BlockSize", 9) == 13 &&
                       GetProfileString("Settings", "WindowPos") == "w"
                   ? 0
                   : 1;
    });
    EXPECT_EQ(read, 0);
}

TEST_F(ProfileTest, ConcurrentWritersOfOneKeyLoseNothing) {
    constexpr int kWriters = 4;
    constexpr int kValuesEach = 40;
    // The parent uses the store first, so the children inherit an open connection they must not reuse.
    SetRegistryKey("Tarvo", "Tarvo Defrag");
    ASSERT_TRUE(WriteProfileInt("Shared", "Parent", 1));
    std::vector<pid_t> children;
    for (int writer = 0; writer < kWriters; ++writer) {
        pid_t pid = fork();
        if (pid == 0) {
            for (int i = 0; i < kValuesEach; ++i) {
                std::string name = "W" + std::to_string(writer) + "_" + std::to_string(i);
                if (!WriteProfileInt("Shared", name.c_str(), writer * 1000 + i)) {
                    _exit(1);
                }
            }
            _exit(0);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    for (int writer = 0; writer < kWriters; ++writer) {
        for (int i = 0; i < kValuesEach; ++i) {
            std::string name = "W" + std::to_string(writer) + "_" + std::to_string(i);
            ASSERT_EQ(GetProfileInt("Shared", name.c_str(), -1), static_cast<UINT>(writer * 1000 + i))
                << name;
        }
    }
    EXPECT_EQ(GetProfileInt("Shared", "Parent", 0), 1u);
}

}  // namespace
}  // namespace tarvo::platform
