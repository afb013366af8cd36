// FileTableTest.cpp --- ordering, fragmented lookups and the deferred list of FileTable.
#include "volume/FileTable.h"

#include <gtest/gtest.h>

#include "tests/volume/support/VolumeTestEnv.h"

namespace tarvo::volume {
namespace {

using testing::VolumeTest;

class FileTableTest : public VolumeTest {
protected:
    FileRecord* Add(const std::string& path, uint32_t time, bool fragmented) {
        auto r = std::make_unique<FileRecord>(path, RecordKind::Directory);
        r->SetModificationTime(time);
        r->CreatePairMap(2);
        r->SetPair(0, 4, 100);
        r->SetPair(1, 8, fragmented ? 900 : 104);
        return m_table.Add(std::move(r));
    }
    std::vector<std::string> Paths() const {
        std::vector<std::string> out;
        for (int64_t i = 0; i <= m_table.LastIndex(); ++i) out.push_back(m_table.Item(i)->Path());
        return out;
    }
    FileTable m_table{2};
};

TEST_F(FileTableTest, SortsByPathIgnoringCaseAndDirectoryFirst) {
    Add("C:\\b\\A.TXT", 3, false);
    Add("C:\\a\\Z.TXT", 1, false);
    Add("C:\\A\\y.txt", 2, false);
    Add("C:\\a\\X.TXT", 5, false);
    m_table.Sort(SortOrder::ByPath);
    EXPECT_EQ(Paths(), (std::vector<std::string>{"C:\\a\\X.TXT", "C:\\A\\y.txt", "C:\\a\\Z.TXT", "C:\\b\\A.TXT"}));
    EXPECT_EQ(ComparePathsNoCase("C:\\ABC", "c:\\abc"), 0);
    m_table.Sort(SortOrder::ByModificationTime);
    EXPECT_EQ(m_table.Item(0)->ModificationTime(), 1u);
    EXPECT_EQ(m_table.Item(3)->ModificationTime(), 5u);
    EXPECT_EQ(m_table.Item(4), nullptr);
    EXPECT_EQ(m_table.Item(-1), nullptr);
}

TEST_F(FileTableTest, FragmentedLookupsSkipDoneRecordsOnlyForTheFirst) {
    Add("C:\\1", 0, false);
    FileRecord* second = Add("C:\\2", 0, true);
    FileRecord* third = Add("C:\\3", 0, true);
    EXPECT_EQ(m_table.FirstFragmented(), second);
    second->SetDone(true);
    EXPECT_EQ(m_table.FirstFragmented(), third);
    EXPECT_EQ(m_table.NthFragmented(0), second);
    EXPECT_EQ(m_table.NthFragmented(1), third);
    EXPECT_EQ(m_table.NthFragmented(2), nullptr);
}

TEST_F(FileTableTest, DeferredListHoldsEachRecordOnceAndClearEmptiesBoth) {
    FileRecord* a = Add("C:\\A", 0, false);
    FileRecord* b = Add("C:\\B", 0, false);
    EXPECT_EQ(m_table.AddDeferred(a), a);
    m_table.AddDeferred(b);
    m_table.AddDeferred(a);
    EXPECT_EQ(m_table.LastDeferredIndex(), 1);
    m_table.RemoveDeferred(a);
    EXPECT_EQ(m_table.Deferred(0), b);
    EXPECT_EQ(m_table.Deferred(1), nullptr);
    m_table.Clear();
    EXPECT_TRUE(m_table.IsEmpty());
    EXPECT_EQ(m_table.LastIndex(), -1);
    EXPECT_EQ(m_table.LastDeferredIndex(), -1);
}

}  // namespace
}  // namespace tarvo::volume
