// SettingsTest.cpp --- the settings table's defaults and clamping, Load, setters and command-line fields.
#include <cstring>
#include <string>

#include "app/RegistryValues.h"
#include "app/Settings.h"
#include "app/SettingsTable.h"
#include "tests/app/AppTestSupport.h"

namespace tarvo::app {
namespace {

using namespace tarvo::platform;
using testing::kProfileSettingsKey;
using testing::QueryRaw;
using testing::SetRawDword;
using testing::SetRawValue;
using SettingsTest = testing::TempHomeTest;

constexpr const char* kProfileLoggingKey = "Software\\Tarvo\\Tarvo Defrag\\Logging";

TEST_F(SettingsTest, EmptyStoreReadsEveryDefault) {
    CSettings& s = Settings();
    EXPECT_EQ(s.FATOption(), 1);
    EXPECT_EQ(s.FATSortedBy(), 0);
    EXPECT_EQ(s.NTFSOption(), 1);
    EXPECT_EQ(s.NTFSSortedBy(), 0);
    EXPECT_EQ(s.ForceAnalyzation(), 1);
    EXPECT_EQ(s.BlockSize(), 9);
    EXPECT_EQ(s.DrawShadow(), 1);
    EXPECT_EQ(s.FlatBar(), 1);
    EXPECT_EQ(s.QuietMode(), 0);
    EXPECT_EQ(s.BufferMessages(), 1);
    EXPECT_EQ(s.DontDisplay(), 0);
    EXPECT_EQ(s.Enabled(), 1);
    EXPECT_EQ(s.LogLevel(), 0);
    EXPECT_EQ(s.NormalPriority(), 1);
    EXPECT_EQ(s.ScheduledPriority(), 1);
    EXPECT_EQ(s.DontAskUserAgain(), 0);
    EXPECT_EQ(s.AllDrives(), 0);
    EXPECT_EQ(s.WindowPos(), "");
    EXPECT_EQ(s.CollapseList(), 1);
    EXPECT_EQ(s.RemovableDrives(), 0);
    EXPECT_EQ(s.HideOnMinimize(), 0);
    EXPECT_EQ(s.BootServiceRegistered(), 0);
    EXPECT_EQ(ReadSpaceMaxTryTime(), 240);
    EXPECT_EQ(ReadSingleInstance(), 1310711u);
}

TEST_F(SettingsTest, ReadersClampOutOfRangeValues) {
    SetRawDword(HKEY_CURRENT_USER, kProfileLoggingKey, "LogLevel", 7);
    SetRawDword(HKEY_CURRENT_USER, kProfileSettingsKey, "NormalPriority", static_cast<DWORD>(-1));
    SetRawDword(HKEY_CURRENT_USER, kProfileSettingsKey, "ScheduledPriority", 3);
    SetRawDword(HKEY_CURRENT_USER, kProfileSettingsKey, "SpaceMaxTryTime", static_cast<DWORD>(-5));
    EXPECT_EQ(ReadLogLevel(), 0);
    EXPECT_EQ(ReadNormalPriority(), 1);
    EXPECT_EQ(ReadScheduledPriority(), 1);
    EXPECT_EQ(ReadSpaceMaxTryTime(), 240);

    // The edges of each range are kept.
    SetRawDword(HKEY_CURRENT_USER, kProfileLoggingKey, "LogLevel", 4);
    SetRawDword(HKEY_CURRENT_USER, kProfileSettingsKey, "NormalPriority", 0);
    SetRawDword(HKEY_CURRENT_USER, kProfileSettingsKey, "ScheduledPriority", 2);
    SetRawDword(HKEY_CURRENT_USER, kProfileSettingsKey, "SpaceMaxTryTime", 0);
    EXPECT_EQ(ReadLogLevel(), 4);
    EXPECT_EQ(ReadNormalPriority(), 0);
    EXPECT_EQ(ReadScheduledPriority(), 2);
    EXPECT_EQ(ReadSpaceMaxTryTime(), 0);
}

TEST_F(SettingsTest, ValueOfTheWrongTypeReadsAsTheDefault) {
    SetRawValue(HKEY_CURRENT_USER, kProfileSettingsKey, "BlockSize", REG_SZ, std::string("12\0", 3));
    SetRawDword(HKEY_CURRENT_USER, kProfileSettingsKey, "WindowPos", 5);
    Settings().Load();
    EXPECT_EQ(Settings().BlockSize(), 9);
    EXPECT_EQ(Settings().WindowPos(), "");
}

TEST_F(SettingsTest, LoadFillsTheRecordFromTheStore) {
    ASSERT_TRUE(WriteBlockSize(5));
    ASSERT_TRUE(WriteLogLevel(3));
    ASSERT_TRUE(WriteEnabled(0));
    ASSERT_TRUE(WriteNTFSSortedBy(1));
    ASSERT_TRUE(WriteWindowPos("10,20,640,480"));
    ASSERT_TRUE(WriteAllDrives(1));
    ASSERT_TRUE(WriteScheduledPriority(0));
    Settings().Load();
    EXPECT_EQ(Settings().BlockSize(), 5);
    EXPECT_EQ(Settings().LogLevel(), 3);
    EXPECT_EQ(Settings().Enabled(), 0);
    EXPECT_EQ(Settings().NTFSSortedBy(), 1);
    EXPECT_EQ(Settings().FATSortedBy(), 0);
    EXPECT_EQ(Settings().WindowPos(), "10,20,640,480");
    EXPECT_EQ(Settings().AllDrives(), 1);
    EXPECT_EQ(Settings().ScheduledPriority(), 0);
}

TEST_F(SettingsTest, SettersPersistOnlyWhenAsked) {
    CSettings& s = Settings();
    EXPECT_EQ(s.SetAllDrives(1, Persist::No), 1);
    EXPECT_EQ(s.SetWindowPos("1,2,3,4", Persist::No), 1);
    EXPECT_EQ(s.SetNTFSOption(0, Persist::No), 1);
    EXPECT_EQ(s.AllDrives(), 1);
    EXPECT_EQ(s.WindowPos(), "1,2,3,4");
    EXPECT_EQ(s.NTFSOption(), 0);
    // The menu's all-drives mode leaves the stored value alone.
    EXPECT_EQ(ReadAllDrives(), 0);
    EXPECT_EQ(ReadWindowPos(), "");
    EXPECT_EQ(ReadNTFSOption(), 1);

    EXPECT_EQ(s.SetFATOption(0, Persist::Yes), 1);
    EXPECT_EQ(s.SetDontAskUserAgain(1, Persist::Yes), 1);
    EXPECT_EQ(s.SetHideOnMinimize(1, Persist::Yes), 1);
    EXPECT_EQ(s.SetCollapseList(0, Persist::Yes), 1);
    EXPECT_EQ(s.SetFlatBar(0, Persist::Yes), 1);
    EXPECT_EQ(ReadFATOption(), 0);
    EXPECT_EQ(ReadDontAskUserAgain(), 1);
    EXPECT_EQ(ReadHideOnMinimize(), 1);
    EXPECT_EQ(ReadCollapseList(), 0);
    EXPECT_EQ(ReadFlatBar(), 0);
}

TEST_F(SettingsTest, ValuesWithoutWriterAreNeverWritten) {
    EXPECT_EQ(WriteSetting(SettingId::SpaceMaxTryTime, 5), 0);
    EXPECT_EQ(WriteSetting(SettingId::ForceAnalyzation, 0), 0);
    EXPECT_EQ(WriteSetting(SettingId::SingleInstance, 1), 0);
    EXPECT_EQ(ReadSpaceMaxTryTime(), 240);
    EXPECT_EQ(ReadForceAnalyzation(), 1);
    EXPECT_EQ(ReadSingleInstance(), 1310711u);
}

TEST_F(SettingsTest, CommandLineFieldsApplyToTheRunOnly) {
    CSettings& s = Settings();
    DriveList space = {"C", "D"};
    s.SetSpaceDrives(&space);
    s.SetAllFlags(1, 0);
    s.SetCommandLineRun(1);
    s.SetLogging(1, 4);
    s.SetQuietMode(1);
    s.SetSortedBy(1);  // "/SORT:LASTMODIFIED"
    EXPECT_EQ(s.SpaceListGiven(), 1);
    EXPECT_EQ(s.CompleteListGiven(), 0);
    EXPECT_EQ(s.SpaceDrives(), &space);
    EXPECT_EQ(s.CompleteDrives(), nullptr);
    EXPECT_EQ(s.SpaceAll(), 1);
    EXPECT_EQ(s.CompleteAll(), 0);
    EXPECT_EQ(s.CommandLineRun(), 1);
    EXPECT_EQ(s.LogLevel(), 4);
    EXPECT_EQ(s.QuietMode(), 1);
    EXPECT_EQ(s.NTFSSortedBy(), 1);
    EXPECT_EQ(s.FATSortedBy(), 1);
    // Nothing of it reached the store.
    DWORD type = 0;
    EXPECT_EQ(QueryRaw(HKEY_CURRENT_USER, kProfileLoggingKey, "LogLevel", &type), "");
    EXPECT_EQ(type, REG_NONE);
    EXPECT_EQ(ReadQuietMode(), 0);
    EXPECT_EQ(ReadNTFSSortedBy(), 0);
    EXPECT_EQ(ReadFATSortedBy(), 0);
    s.SetSpaceDrives(nullptr);
    s.SetAllFlags(0, 0);
    s.SetCommandLineRun(0);
}

TEST_F(SettingsTest, LoadReadsTheBootServiceFlag) {
    const char* sessionManager = "System\\CurrentControlSet\\Control\\Session Manager";
    SetRawValue(HKEY_LOCAL_MACHINE, sessionManager, "BootExecute", REG_MULTI_SZ,
                std::string("autocheck autochk *\0TarvoNTStart\0\0", 35));
    Settings().Load();
    EXPECT_EQ(Settings().BootServiceRegistered(), 1);

    // Compared exactly, case included.
    SetRawValue(HKEY_LOCAL_MACHINE, sessionManager, "BootExecute", REG_MULTI_SZ,
                std::string("tarvontstart\0\0", 14));
    Settings().Load();
    EXPECT_EQ(Settings().BootServiceRegistered(), 0);

    Settings().Load([] { return BOOL{1}; });
    EXPECT_EQ(Settings().BootServiceRegistered(), 1);
}

TEST_F(SettingsTest, DirectRegistryFunctionsRoundTripAndFailQuietly) {
    const char* key = "SOFTWARE\\Tarvo\\Test";
    ASSERT_TRUE(WriteString(HKEY_LOCAL_MACHINE, key, "Text", "C:\\TARVO"));
    ASSERT_TRUE(WriteDword(HKEY_LOCAL_MACHINE, key, "Number", 7));
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, key, "Text"), "C:\\TARVO");
    DWORD type = 0;
    std::string raw = QueryRaw(HKEY_LOCAL_MACHINE, key, "Number", &type);
    EXPECT_EQ(type, REG_DWORD);
    ASSERT_EQ(raw.size(), 4u);
    DWORD number = 0;
    std::memcpy(&number, raw.data(), 4);
    EXPECT_EQ(number, 7u);
    // Missing values and values that are not strings read as empty.
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, key, "Number"), "");
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, key, "Missing"), "");
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Nowhere", "Text"), "");
}

}  // namespace
}  // namespace tarvo::app
