// ExclusionListTest.cpp --- the stored exclusion list and the search of the active array.
#include "app/ExclusionList.h"

#include "platform/registry/Registry.h"
#include "tests/app/AppTestSupport.h"

namespace tarvo::app::testing {
namespace {

class ExclusionListTest : public TempHomeTest {
protected:
    void TearDown() override {
        SetActiveExclusions({});
        TempHomeTest::TearDown();
    }
};

TEST_F(ExclusionListTest, NothingStoredMeansNothingExcluded) {
    ExclusionList list{"stale"};
    EXPECT_EQ(LoadExclusionList(&list), 0);
    EXPECT_TRUE(list.empty());
    SetActiveExclusions(list);
    EXPECT_FALSE(IsExcluded("C:\\A.TXT"));
    EXPECT_EQ(LoadExclusionList(nullptr), -1);
    EXPECT_EQ(SaveExclusionList(nullptr), -1);
}

TEST_F(ExclusionListTest, SavedListReadsBackAndAShorterSaveBoundsLaterReads) {
    ExclusionList five{"C:\\A\\", "C:\\B.TXT", "D:\\", "C:\\C\\", "C:\\D.DOC"};
    ASSERT_EQ(SaveExclusionList(&five), 1);
    ExclusionList read;
    EXPECT_EQ(LoadExclusionList(&read), 5);
    EXPECT_EQ(read, five);

    ExclusionList two{"C:\\X\\", "C:\\Y.TXT"};
    ASSERT_EQ(SaveExclusionList(&two), 1);
    EXPECT_EQ(LoadExclusionList(&read), 2);
    EXPECT_EQ(read, two);
    // The old values 3 to 5 stay in the store, unread.
    EXPECT_EQ(platform::GetProfileString("ExclusionList", "Item4", ""), "C:\\C\\");
}

TEST_F(ExclusionListTest, EmptyItemsAreSkippedAndHostileCountsAreBounded) {
    platform::WriteProfileInt("ExclusionList", "ItemCount", 3);
    platform::WriteProfileString("ExclusionList", "Item1", "C:\\A.TXT");
    platform::WriteProfileString("ExclusionList", "Item3", "C:\\B.TXT");
    ExclusionList read;
    EXPECT_EQ(LoadExclusionList(&read), 2);
    EXPECT_EQ(read, (ExclusionList{"C:\\A.TXT", "C:\\B.TXT"}));

    platform::WriteProfileInt("ExclusionList", "ItemCount", -7);
    EXPECT_EQ(LoadExclusionList(&read), 0);
    // A string where the count belongs reads as no count.
    SetRawValue(platform::HKEY_CURRENT_USER, "Software\\Tarvo\\Tarvo Defrag\\ExclusionList", "ItemCount",
                platform::REG_SZ, std::string("9\0", 2));
    EXPECT_EQ(LoadExclusionList(&read), 0);
}

TEST_F(ExclusionListTest, FolderAndDriveEntriesExcludeEverythingBelowWithoutRegardToCase) {
    SetActiveExclusions({"C:\\TEMP\\", "E:\\"});
    EXPECT_TRUE(IsExcluded("C:\\TEMP\\A.TXT"));
    EXPECT_TRUE(IsExcluded("C:\\TEMP\\SUB\\B.DOC"));
    EXPECT_TRUE(IsExcluded("c:\\temp\\a.txt"));
    EXPECT_TRUE(IsExcluded("E:\\ANY\\FILE.BIN"));
    EXPECT_FALSE(IsExcluded("C:\\TEMPO\\A.TXT"));
    EXPECT_FALSE(IsExcluded("D:\\TEMP\\A.TXT"));
    // A path that is only the beginning of an entry is not excluded by it.
    EXPECT_FALSE(IsExcluded("C:\\TEMP"));
}

TEST_F(ExclusionListTest, ListInAnyOrderFindsEveryEntry) {
    // Descending and mixed case: a plain binary search over this order misses entries.
    const ExclusionList entries{"C:\\ZETA.DAT", "c:\\mid\\", "C:\\BETA.DAT", "C:\\A", "C:\\A\\B"};
    SetActiveExclusions(entries);
    EXPECT_TRUE(IsExcluded("C:\\ZETA.DAT"));
    EXPECT_TRUE(IsExcluded("C:\\MID\\X.TXT"));
    EXPECT_TRUE(IsExcluded("C:\\BETA.DAT"));
    EXPECT_TRUE(IsExcluded("C:\\A\\C.TXT"));  // "C:\A" begins it, though "C:\A\B" sorts between
    EXPECT_FALSE(IsExcluded("C:\\GAMMA.DAT"));
    const ExclusionList active = ActiveExclusions();
    EXPECT_TRUE(std::is_sorted(active.begin(), active.end(), [](const auto& a, const auto& b) {
        return strcasecmp(a.c_str(), b.c_str()) < 0;
    }));
}

TEST_F(ExclusionListTest, ShortNameEntriesExcludeFilesMetUnderTheirLongNames) {
    SetActiveExclusions({"C:\\PROGRA~1\\", "C:\\DOCS\\REPORT~1.DOC", "C:\\MIXED\\LONGDI~1\\Inner\\"});
    const std::vector<PathName> program{{"Program Files", "PROGRA~1"}, {"App.dll", "APP.DLL"}};
    EXPECT_TRUE(IsExcluded("C:", program));
    const std::vector<PathName> report{{"DOCS", ""}, {"Report 1999.doc", "REPORT~1.DOC"}};
    EXPECT_TRUE(IsExcluded("C:", report));
    const std::vector<PathName> mixed{{"MIXED", ""}, {"Long Directory", "LONGDI~1"}, {"Inner", ""}, {"x.txt", ""}};
    EXPECT_TRUE(IsExcluded("C:", mixed));
    const std::vector<PathName> other{{"Programs", "PROGRAMS"}, {"App.dll", ""}};
    EXPECT_FALSE(IsExcluded("C:", other));
    // Long-name entries keep working for paths given with both names.
    SetActiveExclusions({"C:\\Program Files\\"});
    EXPECT_TRUE(IsExcluded("C:", program));
}

}  // namespace
}  // namespace tarvo::app::testing
