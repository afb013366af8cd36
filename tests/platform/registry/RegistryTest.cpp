// RegistryTest.cpp --- keys, typed values, the size protocol, case rules and damaged stores.
#include <fstream>

#include "platform/registry/Registry.h"
#include "tests/platform/registry/RegistryTestSupport.h"

namespace tarvo::platform {
namespace {

using testing::QueryString;
using testing::SetString;
using RegistryTest = testing::TempHomeTest;

TEST_F(RegistryTest, QueryFollowsTheTwoCallSizeProtocol) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Tarvo", &key), ERROR_SUCCESS);
    ASSERT_EQ(SetString(key, "Name", "hello"), ERROR_SUCCESS);

    DWORD type = 0;
    DWORD size = 0;
    ASSERT_EQ(RegQueryValueExA(key, "Name", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, 6u);  // with its terminator

    BYTE small[3] = {0, 0, 0};
    size = sizeof(small);
    EXPECT_EQ(RegQueryValueExA(key, "Name", nullptr, &type, small, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 6u);

    BYTE exact[6];
    size = sizeof(exact);
    ASSERT_EQ(RegQueryValueExA(key, "Name", nullptr, &type, exact, &size), ERROR_SUCCESS);
    EXPECT_STREQ(reinterpret_cast<char*>(exact), "hello");
    EXPECT_EQ(RegQueryValueExA(key, "Name", nullptr, &type, exact, nullptr), ERROR_INVALID_PARAMETER);
    RegCloseKey(key);
}

TEST_F(RegistryTest, StringsWrittenWithoutTerminatorReadBackTerminated) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\T", &key), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "S", 0, REG_SZ, reinterpret_cast<const BYTE*>("abc"), 3), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "M", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>("a\0b"), 3),
              ERROR_SUCCESS);
    DWORD size = 0;
    ASSERT_EQ(RegQueryValueExA(key, "S", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 4u);
    BYTE multi[16];
    size = sizeof(multi);
    ASSERT_EQ(RegQueryValueExA(key, "M", nullptr, nullptr, multi, &size), ERROR_SUCCESS);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(multi), size), std::string("a\0b\0\0", 5));
    // A DWORD must be four bytes.
    EXPECT_EQ(RegSetValueExA(key, "D", 0, REG_DWORD, reinterpret_cast<const BYTE*>("ab"), 2),
              ERROR_INVALID_PARAMETER);
    RegCloseKey(key);
}

TEST_F(RegistryTest, NamesCompareCaseInsensitivelyAndKeepTheirFirstSpelling) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Tarvo\\Tarvo Defrag", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    ASSERT_EQ(SetString(key, "WindowPos", "1"), ERROR_SUCCESS);
    ASSERT_EQ(SetString(key, "WINDOWPOS", "2"), ERROR_SUCCESS);
    RegCloseKey(key);

    HKEY again = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\tarvo\\TARVO DEFRAG", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &again, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
    EXPECT_EQ(QueryString(again, "windowpos"), "2");
    char name[64];
    DWORD nameSize = sizeof(name);
    ASSERT_EQ(RegEnumValueA(again, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_STREQ(name, "WindowPos");
    nameSize = sizeof(name);
    EXPECT_EQ(RegEnumValueA(again, 1, name, &nameSize, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
    RegCloseKey(again);

    HKEY parent = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "software", 0, KEY_READ, &parent), ERROR_SUCCESS);
    nameSize = sizeof(name);
    ASSERT_EQ(RegEnumKeyExA(parent, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_STREQ(name, "Tarvo");
    EXPECT_EQ(nameSize, 5u);
    RegCloseKey(parent);
}

TEST_F(RegistryTest, MissingKeysAndValuesAnswerFileNotFound) {
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\Nowhere", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, "SYSTEM\\Somewhere", &key), ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "Absent", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteValueA(key, "Absent"), ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    // The two roots are separate trees.
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "SYSTEM\\Somewhere", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, KeyDeletionRefusesSubkeysAndInvalidatesHandles) {
    HKEY leaf = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "A\\B\\C", &leaf), ERROR_SUCCESS);
    ASSERT_EQ(SetString(leaf, "V", "x"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "A\\B"), ERROR_ACCESS_DENIED);
    ASSERT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, "a"), ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(leaf, "V", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
    EXPECT_EQ(SetString(leaf, "V", "y"), ERROR_KEY_DELETED);
    RegCloseKey(leaf);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, nullptr), ERROR_ACCESS_DENIED);
}

TEST_F(RegistryTest, KeyOpenedForReadingCannotWrite) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "R", &key), ERROR_SUCCESS);
    RegCloseKey(key);
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "R", 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(SetString(key, "V", "x"), ERROR_ACCESS_DENIED);
    RegCloseKey(key);
}

TEST_F(RegistryTest, DamagedStoreAnswersBadDbAndRecoversWhenReplaced) {
    {
        std::ofstream damaged(m_home + "/registry.db", std::ios::binary);
        damaged << std::string(4096, '\x5a');
    }
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software", &key), ERROR_BADDB);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key), ERROR_BADDB);
    SetRegistryKey("Tarvo", "Tarvo Defrag");
    EXPECT_EQ(GetProfileInt("Settings", "BlockSize", 9), 9u);
    EXPECT_EQ(WriteProfileInt("Settings", "BlockSize", 5), FALSE);

    std::filesystem::remove(m_home + "/registry.db");
    EXPECT_EQ(WriteProfileInt("Settings", "BlockSize", 5), TRUE);
    EXPECT_EQ(GetProfileInt("Settings", "BlockSize", 9), 5u);
}

TEST_F(RegistryTest, ChangingTheDataFolderSwitchesStores) {
    SetRegistryKey("Tarvo", "Tarvo Defrag");
    ASSERT_TRUE(WriteProfileString("Settings", "WindowPos", "first"));
    std::string first = m_home;
    SetUp();  // a second folder
    EXPECT_EQ(GetProfileString("Settings", "WindowPos", "none"), "none");
    setenv("TARVO_HOME", first.c_str(), 1);
    EXPECT_EQ(GetProfileString("Settings", "WindowPos", "none"), "first");
    std::filesystem::remove_all(first);
}

}  // namespace
}  // namespace tarvo::platform
