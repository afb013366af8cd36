// OptionsSheetDataTest.cpp --- the options sheet's load, store and priority rules against the registry store.
#include <gtest/gtest.h>

#include "app/OptionsSheetData.h"
#include "app/Settings.h"
#include "app/SettingsTable.h"
#include "app/SystemIntegration.h"
#include "platform/process/Priority.h"
#include "tests/app/AppTestSupport.h"

namespace tarvo::app {
namespace {

using namespace tarvo::platform;
using testing::kProfileSettingsKey;
using testing::SetRawDword;

constexpr const char* kProfileLoggingKey = "Software\\Tarvo\\Tarvo Defrag\\Logging";

class OptionsSheetDataTest : public testing::TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        SetPriorityClass(GetCurrentProcess(), NORMAL_PRIORITY_CLASS);
    }
    void TearDown() override {
        SetPriorityClass(GetCurrentProcess(), NORMAL_PRIORITY_CLASS);
        TempHomeTest::TearDown();
    }
    // The sheet as the window opens it: from the record loaded at start.
    COptionsSheetData Opened() {
        Settings().Load();
        COptionsSheetData sheet;
        sheet.Load();
        return sheet;
    }
};

TEST_F(OptionsSheetDataTest, OpeningStoresThePresentPriorityClassEvenWhenNothingIsStored) {
    const struct {
        DWORD processClass;
        int stored;
        DWORD classAfter;
    } cases[] = {
        {NORMAL_PRIORITY_CLASS, 1, NORMAL_PRIORITY_CLASS},
        {HIGH_PRIORITY_CLASS, 2, HIGH_PRIORITY_CLASS},
        {REALTIME_PRIORITY_CLASS, 2, HIGH_PRIORITY_CLASS},  // lowered to high
        {ABOVE_NORMAL_PRIORITY_CLASS, 0, IDLE_PRIORITY_CLASS},
        {BELOW_NORMAL_PRIORITY_CLASS, 0, IDLE_PRIORITY_CLASS},
        {IDLE_PRIORITY_CLASS, 0, IDLE_PRIORITY_CLASS},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.processClass);
        SetRawDword(HKEY_CURRENT_USER, kProfileSettingsKey, "NormalPriority", c.stored == 1 ? 2 : 1);
        ASSERT_TRUE(SetPriorityClass(GetCurrentProcess(), c.processClass));
        COptionsSheetData sheet = Opened();  // and cancelled: no Store
        EXPECT_EQ(sheet.Values().priorityInvoked, c.stored);
        EXPECT_EQ(ReadNormalPriority(), c.stored);
        EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), c.classAfter);
    }
}

TEST_F(OptionsSheetDataTest, ChangingNormalPrioritySetsTheProcessClassOnlyWhenItChanged) {
    COptionsSheetData sheet = Opened();
    ASSERT_EQ(sheet.Values().priorityInvoked, 1);
    sheet.Values().priorityInvoked = 2;
    StoreResult result = sheet.Store();
    EXPECT_TRUE(result.stored);
    EXPECT_TRUE(result.normalPriorityChanged);
    EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), HIGH_PRIORITY_CLASS);
    EXPECT_EQ(Settings().NormalPriority(), 2);

    // A second Apply with the same value leaves the class alone.
    ASSERT_TRUE(SetPriorityClass(GetCurrentProcess(), NORMAL_PRIORITY_CLASS));
    EXPECT_FALSE(sheet.Store().normalPriorityChanged);
    EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), NORMAL_PRIORITY_CLASS);

    sheet.Values().priorityInvoked = 0;
    EXPECT_TRUE(sheet.Store().normalPriorityChanged);
    EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), IDLE_PRIORITY_CLASS);
}

TEST_F(OptionsSheetDataTest, BlockSizeOutsideTheSliderRangeIsShownClampedAndStoredInRange) {
    for (const auto& [stored, shown] :
         {std::pair{20, 12}, std::pair{1, 3}, std::pair{0, 3}, std::pair{12, 12}}) {
        SCOPED_TRACE(stored);
        SetRawDword(HKEY_CURRENT_USER, kProfileSettingsKey, "BlockSize", static_cast<DWORD>(stored));
        COptionsSheetData sheet = Opened();
        EXPECT_EQ(sheet.Values().blockSize, shown);
        EXPECT_TRUE(sheet.Store().stored);
        EXPECT_EQ(ReadBlockSize(), shown);
        EXPECT_EQ(Settings().BlockSize(), shown);
    }
}

TEST_F(OptionsSheetDataTest, LogLevelIsShownAsIndexAndStoredAsIndexPlusOne) {
    SetRawDword(HKEY_CURRENT_USER, kProfileLoggingKey, "LogLevel", 2);
    COptionsSheetData sheet = Opened();
    EXPECT_EQ(sheet.Values().levelIndex, 1);  // "Level 2: Report warnings and errors."
    sheet.Values().levelIndex = 3;            // "Level 4: Report any information provided."
    EXPECT_TRUE(sheet.Store().stored);
    EXPECT_EQ(ReadLogLevel(), 4);
    EXPECT_EQ(Settings().LogLevel(), 4);

    // A stored 0 (the default) shows as the first level.
    SetRawDword(HKEY_CURRENT_USER, kProfileLoggingKey, "LogLevel", 0);
    EXPECT_EQ(Opened().Values().levelIndex, 0);

    SetRawDword(HKEY_CURRENT_USER, kProfileLoggingKey, "Enabled", 0);
    COptionsSheetData disabled = Opened();
    EXPECT_EQ(disabled.Values().loggingIndex, 0);
    disabled.Values().loggingIndex = 1;
    disabled.Store();
    EXPECT_EQ(ReadEnabled(), 1);
}

TEST_F(OptionsSheetDataTest, RemovableDrivesNeedAYesAndAChangeAsksForTheDriveList) {
    COptionsSheetData sheet = Opened();
    int asked = 0;
    EXPECT_EQ(sheet.SetRemovable(1, [&asked] { return ++asked, false; }), 0);
    EXPECT_EQ(asked, 1);
    StoreResult declined = sheet.Store();
    EXPECT_FALSE(declined.removableChanged);
    EXPECT_EQ(ReadRemovableDrives(), 0);
    EXPECT_EQ(Settings().RemovableDrives(), 0);

    EXPECT_EQ(sheet.SetRemovable(1, [&asked] { return ++asked, true; }), 1);
    StoreResult accepted = sheet.Store();
    EXPECT_TRUE(accepted.removableChanged);
    EXPECT_EQ(ReadRemovableDrives(), 1);
    EXPECT_FALSE(sheet.Store().removableChanged);  // stored again unchanged

    // Clearing the check asks nothing.
    EXPECT_EQ(sheet.SetRemovable(0, [&asked] { return ++asked, true; }), 0);
    EXPECT_EQ(asked, 2);
    EXPECT_TRUE(sheet.Store().removableChanged);
    EXPECT_EQ(ReadRemovableDrives(), 0);
}

TEST_F(OptionsSheetDataTest, MethodsAreStoredInvertedAndTheSortOrderGoesToBothFileSystems) {
    SetRawDword(HKEY_CURRENT_USER, kProfileSettingsKey, "FATOption", 0);  // COMPLETE
    SetRawDword(HKEY_CURRENT_USER, kProfileSettingsKey, "FATSortedBy", 0);
    SetRawDword(HKEY_CURRENT_USER, kProfileSettingsKey, "NTFSSortedBy", 1);
    COptionsSheetData sheet = Opened();
    EXPECT_EQ(sheet.Values().fatMethod, 1);
    EXPECT_EQ(sheet.Values().ntfsMethod, 0);
    EXPECT_EQ(sheet.Values().sortIndex, 1);  // from NTFSSortedBy

    sheet.Values().fatMethod = 0;
    sheet.Values().ntfsMethod = 1;
    EXPECT_TRUE(sheet.Store().stored);
    EXPECT_EQ(ReadFATOption(), 1);
    EXPECT_EQ(ReadNTFSOption(), 0);
    EXPECT_EQ(ReadFATSortedBy(), 1);
    EXPECT_EQ(ReadNTFSSortedBy(), 1);
    EXPECT_EQ(Settings().FATOption(), 1);
    EXPECT_EQ(Settings().NTFSOption(), 0);
    EXPECT_EQ(Settings().FATSortedBy(), 1);

    sheet.Values().sortIndex = 0;
    sheet.Store();
    EXPECT_EQ(ReadFATSortedBy(), 0);
    EXPECT_EQ(ReadNTFSSortedBy(), 0);
}

TEST_F(OptionsSheetDataTest, StoringUnchangedDefaultsKeepsEveryStoredMeaning) {
    COptionsSheetData sheet = Opened();
    const OptionsValues shown = sheet.Values();
    EXPECT_TRUE(sheet.Store().stored);
    EXPECT_EQ(ReadFATOption(), 1);
    EXPECT_EQ(ReadNTFSOption(), 1);
    EXPECT_EQ(ReadBlockSize(), 9);
    EXPECT_EQ(ReadDrawShadow(), 1);
    EXPECT_EQ(ReadDontDisplay(), 0);
    EXPECT_EQ(ReadQuietMode(), 0);
    EXPECT_EQ(ReadBufferMessages(), 1);
    EXPECT_EQ(ReadEnabled(), 1);
    EXPECT_EQ(ReadNormalPriority(), 1);
    EXPECT_EQ(ReadScheduledPriority(), 1);
    EXPECT_EQ(ReadRemovableDrives(), 0);
    EXPECT_EQ(IsBootServiceRegistered(), 0);
    // Opened again, the sheet shows what it showed.
    EXPECT_EQ(Opened().Values(), shown);
}

TEST_F(OptionsSheetDataTest, DisplayAndMessageChecksReachTheRecordAfterStore) {
    COptionsSheetData sheet = Opened();
    OptionsValues& v = sheet.Values();
    v.threeD = 0;
    v.noMap = 1;
    v.quiet = 1;
    v.buffer = 0;
    v.priorityScheduled = 0;
    v.blockSize = 5;
    EXPECT_TRUE(sheet.Store().stored);
    const CSettings& s = Settings();
    EXPECT_EQ(s.DrawShadow(), 0);
    EXPECT_EQ(s.DontDisplay(), 1);
    EXPECT_EQ(s.QuietMode(), 1);
    EXPECT_EQ(s.BufferMessages(), 0);
    EXPECT_EQ(s.ScheduledPriority(), 0);
    EXPECT_EQ(s.BlockSize(), 5);
    EXPECT_EQ(ReadScheduledPriority(), 0);
}

TEST_F(OptionsSheetDataTest, PageFileOptionRegistersTheBootServiceAndTheRecordFollows) {
    COptionsSheetData sheet = Opened();
    EXPECT_EQ(sheet.Values().bootPageFile, 0);
    sheet.Values().bootPageFile = 1;
    EXPECT_TRUE(sheet.Store().stored);
    EXPECT_EQ(IsBootServiceRegistered(), 1);
    EXPECT_EQ(Settings().BootServiceRegistered(), 1);

    COptionsSheetData again;
    again.Load();
    EXPECT_EQ(again.Values().bootPageFile, 1);
    again.Values().bootPageFile = 0;
    EXPECT_TRUE(again.Store().stored);
    EXPECT_EQ(IsBootServiceRegistered(), 0);
    EXPECT_EQ(Settings().BootServiceRegistered(), 0);
}

TEST_F(OptionsSheetDataTest, AFailedWriteIsReportedAndTheOtherValuesAreStillStored) {
    // A boot-execute list of the wrong type cannot take the page-file service.
    SetRawDword(HKEY_LOCAL_MACHINE, kSessionManagerKey, kBootExecuteValue, 7);
    COptionsSheetData sheet = Opened();
    sheet.Values().bootPageFile = 1;
    sheet.Values().blockSize = 4;
    EXPECT_FALSE(sheet.Store().stored);
    EXPECT_EQ(Settings().BootServiceRegistered(), 0);
    EXPECT_EQ(ReadBlockSize(), 4);
}

TEST_F(OptionsSheetDataTest, StoreKeepsTheProgramsAllDrivesMode) {
    SetRawDword(HKEY_CURRENT_USER, kProfileSettingsKey, "AllDrives", 1);
    COptionsSheetData sheet = Opened();
    Settings().SetAllDrives(0, Persist::No);  // a menu start left all-drives mode
    sheet.Store();
    EXPECT_EQ(Settings().AllDrives(), 0);
    EXPECT_EQ(ReadAllDrives(), 1);
}

}  // namespace
}  // namespace tarvo::app
