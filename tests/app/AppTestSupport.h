// AppTestSupport.h --- a temporary TARVO_HOME per test and the application's profile key.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "app/Settings.h"
#include "platform/registry/Registry.h"

namespace tarvo::app::testing {

// Points TARVO_HOME at a fresh folder, sets the profile key as start-up does and
// loads the settings record from the empty store (all defaults).
class TempHomeTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "tarvo-app-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_home = pattern;
        setenv("TARVO_HOME", m_home.c_str(), 1);
        platform::SetRegistryKey("Tarvo", "Tarvo Defrag");
        Settings().Load();
    }

    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(m_home, ignored);
        unsetenv("TARVO_HOME");
    }

    std::string m_home;
};

constexpr const char* kProfileSettingsKey = "Software\\Tarvo\\Tarvo Defrag\\Settings";

inline bool Ok(platform::LSTATUS status) {
    return status == static_cast<platform::LSTATUS>(platform::ERROR_SUCCESS);
}

// Stores a raw DWORD, so that values the writers would never write can be tried.
inline void SetRawDword(platform::HKEY root, const char* subKey, const char* name, platform::DWORD value) {
    platform::HKEY key = nullptr;
    ASSERT_TRUE(Ok(platform::RegCreateKeyA(root, subKey, &key)));
    ASSERT_TRUE(Ok(platform::RegSetValueExA(key, name, 0, platform::REG_DWORD,
                                            reinterpret_cast<const platform::BYTE*>(&value), sizeof value)));
    platform::RegCloseKey(key);
}

inline void SetRawValue(platform::HKEY root, const char* subKey, const char* name, platform::DWORD type,
                        const std::string& bytes) {
    platform::HKEY key = nullptr;
    ASSERT_TRUE(Ok(platform::RegCreateKeyA(root, subKey, &key)));
    ASSERT_TRUE(
        Ok(platform::RegSetValueExA(key, name, 0, type, reinterpret_cast<const platform::BYTE*>(bytes.data()),
                                    static_cast<platform::DWORD>(bytes.size()))));
    platform::RegCloseKey(key);
}

// The raw value and its type; type REG_NONE when absent.
inline std::string QueryRaw(platform::HKEY root, const char* subKey, const char* name,
                            platform::DWORD* type) {
    *type = platform::REG_NONE;
    platform::HKEY key = nullptr;
    if (!Ok(platform::RegOpenKeyExA(root, subKey, 0, platform::KEY_READ, &key)))
        return {};
    platform::DWORD size = 0;
    std::string data;
    if (Ok(platform::RegQueryValueExA(key, name, nullptr, type, nullptr, &size))) {
        data.resize(size);
        if (!Ok(platform::RegQueryValueExA(key, name, nullptr, type,
                                           reinterpret_cast<platform::BYTE*>(data.data()), &size)))
            data.clear();
        data.resize(size);
    }
    platform::RegCloseKey(key);
    return data;
}

}  // namespace tarvo::app::testing
