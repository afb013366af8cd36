// Win32FilesTest.cpp --- the Win32 shapes over a simulated drive: opens, control calls, listings, drive types.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <set>
#include <vector>

#include "platform/drives/Drives.h"
#include "platform/drives/Win32Files.h"
#include "platform/sim/SimVolume.h"

namespace tarvo::platform {
namespace {

class Win32FilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tarvo-w32-XXXXXX";
        m_folder = mkdtemp(pattern);
        setenv("TARVO_HOME", (m_folder + "/home").c_str(), 1);
        SetSimInvariantFailureHook([](const std::string& what) { ADD_FAILURE() << what; });
        SimVolumeShape shape;
        shape.totalClusters = 100000;
        std::string error;
        m_volume = SimVolume::Create(shape, error);
        ASSERT_NE(m_volume, nullptr) << error;
        FileId docs = 0, id = 0;
        ASSERT_EQ(m_volume->AddDirectory(SimVolume::kRootId, "My Documents", 0, docs), STATUS_SUCCESS);
        ASSERT_EQ(m_volume->AddFile(docs, "Annual Report 1997.doc", 946684800, 40960, SimFileKind::Normal,
                                    {{4, 30000}, {10, 31000}}, id),
                  STATUS_SUCCESS);
        ASSERT_EQ(m_volume->AddFile(docs, "README.TXT", 0, 100, SimFileKind::Normal, {{1, 32000}}, id), STATUS_SUCCESS);
        std::vector<SimRun> many;
        for (uint64_t i = 0; i < 40; ++i) {
            many.push_back({i + 1, 40000 + 2 * i});
        }
        ASSERT_EQ(m_volume->AddFile(SimVolume::kRootId, "many.dat", 0, 40 * 4096, SimFileKind::Normal, many, id),
                  STATUS_SUCCESS);
        MapDriveToBackend('S', m_volume);
    }
    void TearDown() override {
        UnmapTestDrive('S');
        ReleaseCachedBackends();
        SetSimInvariantFailureHook(nullptr);
        std::filesystem::remove_all(m_folder);
    }
    HANDLE OpenVolume() {
        return CreateFileA("\\\\.\\S:", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_WRITE_THROUGH | FILE_FLAG_NO_BUFFERING | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    }
    HANDLE OpenFile(const char* path) {
        return CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    }
    std::string m_folder;
    std::shared_ptr<SimVolume> m_volume;
};

TEST_F(Win32FilesTest, FilesOpenInBothFormsUnderLongAndShortNames) {
    for (const char* path : {"S:\\My Documents\\Annual Report 1997.doc", "\\\\.\\S:\\MYDOCU~1\\ANNUAL~1.DOC",
                             "s:\\my documents\\annual report 1997.DOC"}) {
        HANDLE file = OpenFile(path);
        EXPECT_NE(file, INVALID_HANDLE_VALUE) << path;
        EXPECT_TRUE(CloseHandle(file));
    }
    EXPECT_EQ(OpenFile("S:\\My Documents\\missing.doc"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(OpenFile("S:\\Nowhere\\missing.doc"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(CreateFileA("\\\\.\\Q:", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(CloseHandle(INVALID_HANDLE_VALUE));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(Win32FilesTest, RetrievalPointersOverflowASmallBufferAndContinueFromTheNextVcn) {
    HANDLE file = OpenFile("S:\\many.dat");
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    std::vector<uint8_t> buffer(kRetrievalPointersHeaderSize + 16 * 16);
    STARTING_VCN_INPUT_BUFFER input{};
    IO_STATUS_BLOCK io{};
    Vcn next = 0;
    std::vector<Lcn> lcns;
    NTSTATUS status = STATUS_BUFFER_OVERFLOW;
    while (status == STATUS_BUFFER_OVERFLOW) {
        input.StartingVcn.QuadPart = static_cast<LONGLONG>(next);
        status = NtFsControlFile(file, nullptr, nullptr, nullptr, &io, FSCTL_GET_RETRIEVAL_POINTERS, &input,
                                 sizeof input, buffer.data(), static_cast<ULONG>(buffer.size()));
        auto* rp = reinterpret_cast<RETRIEVAL_POINTERS_BUFFER*>(buffer.data());
        ASSERT_EQ(io.Information, kRetrievalPointersHeaderSize + rp->ExtentCount * 16u);
        EXPECT_EQ(rp->StartingVcn.QuadPart, static_cast<LONGLONG>(next));
        for (DWORD i = 0; i < rp->ExtentCount; ++i) {
            lcns.push_back(static_cast<Lcn>(rp->Extents[i].Lcn.QuadPart));
            next = static_cast<Vcn>(rp->Extents[i].NextVcn.QuadPart);
        }
    }
    EXPECT_EQ(status, STATUS_SUCCESS);
    ASSERT_EQ(lcns.size(), 40u);
    EXPECT_EQ(lcns[39], 40078u);
    // Too small for even one extent.
    EXPECT_EQ(NtFsControlFile(file, nullptr, nullptr, nullptr, &io, FSCTL_GET_RETRIEVAL_POINTERS, &input,
                              sizeof input, buffer.data(), 24),
              STATUS_BUFFER_TOO_SMALL);
    CloseHandle(file);
}

TEST_F(Win32FilesTest, PendingAnswersCompleteIntoTheStatusBlockOnWait) {
    SimFaults faults;
    faults.pendingEvery = 1;
    m_volume->SetFaults(faults);
    HANDLE volume = OpenVolume();
    HANDLE file = OpenFile("S:\\My Documents\\README.TXT");
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    MOVE_FILE_DATA move{file, {}, {}, 1};
    move.StartingLcn.QuadPart = 50500;
    IO_STATUS_BLOCK io{};
    ASSERT_EQ(NtFsControlFile(volume, nullptr, nullptr, nullptr, &io, FSCTL_MOVE_FILE, &move, sizeof move, nullptr, 0),
              STATUS_PENDING);
    EXPECT_EQ(io.Status, STATUS_PENDING);
    EXPECT_EQ(WaitForSingleObject(file, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(io.Status, STATUS_SUCCESS);
    FileId readme = 0;
    ASSERT_EQ(m_volume->Lookup("My Documents\\README.TXT", readme), STATUS_SUCCESS);
    EXPECT_EQ(m_volume->Runs(readme), (std::vector<SimRun>{{1, 50500}}));
    move.StartingLcn.QuadPart = 30000;  // allocated: the failure arrives through the wait as well
    ASSERT_EQ(NtFsControlFile(volume, nullptr, nullptr, nullptr, &io, FSCTL_MOVE_FILE, &move, sizeof move, nullptr, 0),
              STATUS_PENDING);
    EXPECT_EQ(WaitForSingleObject(file, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(io.Status, STATUS_ALREADY_COMMITTED);
    CloseHandle(file);
    CloseHandle(volume);
}

TEST_F(Win32FilesTest, ControlCallsCheckBuffersHandlesAndVolumes) {
    HANDLE volume = OpenVolume();
    ASSERT_NE(volume, INVALID_HANDLE_VALUE);
    IO_STATUS_BLOCK io{};
    uint8_t big[168] = {};
    EXPECT_EQ(NtFsControlFile(volume, nullptr, nullptr, nullptr, &io, FSCTL_GET_NTFS_VOLUME_DATA, nullptr, 0, big, 95),
              STATUS_BUFFER_TOO_SMALL);
    uint8_t zeros[8] = {};
    ASSERT_EQ(NtFsControlFile(volume, nullptr, nullptr, nullptr, &io, FSCTL_GET_NTFS_VOLUME_DATA, zeros, 8, big,
                              sizeof big),
              STATUS_SUCCESS);
    EXPECT_EQ(io.Information, 96u);
    NTFS_VOLUME_DATA_BUFFER data;
    std::memcpy(&data, big, sizeof data);
    EXPECT_EQ(data.TotalClusters.QuadPart, 100000);
    EXPECT_EQ(data.BytesPerCluster, 4096u);
    EXPECT_LE(data.MftZoneStart.QuadPart, data.MftZoneEnd.QuadPart);

    STARTING_LCN_INPUT_BUFFER start{};
    std::vector<uint8_t> bitmap(16 + 100000 / 8);
    ASSERT_EQ(NtFsControlFile(volume, nullptr, nullptr, nullptr, &io, FSCTL_GET_VOLUME_BITMAP, &start, sizeof start,
                              bitmap.data(), static_cast<ULONG>(bitmap.size())),
              STATUS_SUCCESS);
    EXPECT_EQ(io.Information, bitmap.size());
    EXPECT_TRUE(bitmap[16 + 30000 / 8] & (1 << (30000 % 8)));
    EXPECT_FALSE(bitmap[16 + 30004 / 8] & (1 << (30004 % 8)));
    EXPECT_EQ(NtFsControlFile(volume, nullptr, nullptr, nullptr, &io, FSCTL_GET_VOLUME_BITMAP, &start, sizeof start,
                              bitmap.data(), 1000),
              STATUS_BUFFER_OVERFLOW);
    EXPECT_EQ(io.Information, 1000u);
    EXPECT_EQ(NtFsControlFile(volume, nullptr, nullptr, nullptr, &io, FSCTL_GET_VOLUME_BITMAP, &start, sizeof start,
                              bitmap.data(), 15),
              STATUS_BUFFER_TOO_SMALL);
    start.StartingLcn.QuadPart = 100000;
    EXPECT_EQ(NtFsControlFile(volume, nullptr, nullptr, nullptr, &io, FSCTL_GET_VOLUME_BITMAP, &start, sizeof start,
                              bitmap.data(), static_cast<ULONG>(bitmap.size())),
              STATUS_INVALID_PARAMETER);
    EXPECT_EQ(NtFsControlFile(volume, nullptr, nullptr, nullptr, &io, 0x12345, nullptr, 0, nullptr, 0),
              STATUS_INVALID_DEVICE_REQUEST);
    MOVE_FILE_DATA move{volume, {}, {}, 1};  // a volume handle is not a file
    EXPECT_EQ(NtFsControlFile(volume, nullptr, nullptr, nullptr, &io, FSCTL_MOVE_FILE, &move, sizeof move, nullptr, 0),
              STATUS_INVALID_HANDLE);
    EXPECT_TRUE(CloseHandle(volume));
    EXPECT_EQ(NtFsControlFile(volume, nullptr, nullptr, nullptr, &io, FSCTL_GET_VOLUME_BITMAP, &start, sizeof start,
                              bitmap.data(), 100),
              STATUS_INVALID_HANDLE);
}

TEST_F(Win32FilesTest, ListingsGiveDotEntriesInSubdirectoriesAndShortNames) {
    WIN32_FIND_DATAA data{};
    HANDLE find = FindFirstFileA("S:\\*.*", &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    std::vector<std::string> root{data.cFileName};
    while (FindNextFileA(find, &data)) {
        root.push_back(data.cFileName);
    }
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
    EXPECT_TRUE(FindClose(find));
    EXPECT_EQ(root, (std::vector<std::string>{"My Documents", "many.dat"}));

    find = FindFirstFileA("S:\\MYDOCU~1\\*.*", &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    std::vector<std::pair<std::string, std::string>> names{{data.cFileName, data.cAlternateFileName}};
    while (FindNextFileA(find, &data)) {
        names.push_back({data.cFileName, data.cAlternateFileName});
    }
    FindClose(find);
    std::vector<std::pair<std::string, std::string>> expected{
        {".", ""}, {"..", ""}, {"Annual Report 1997.doc", "ANNUAL~1.DOC"}, {"README.TXT", ""}};
    EXPECT_EQ(names, expected);
    EXPECT_EQ(FindFirstFileA("S:\\Nowhere\\*.*", &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    time_t mtime = 0;
    ASSERT_TRUE(GetFileModificationTime("S:\\My Documents\\Annual Report 1997.doc", mtime));
    EXPECT_EQ(mtime, 946684800);
}

TEST_F(Win32FilesTest, VolumeQueriesAnswerTheVolumeAndUnmappedLettersHaveNoRoot) {
    char name[256], fs[256];
    DWORD serial = 0, maxComponent = 0, flags = 0;
    ASSERT_TRUE(GetVolumeInformationA("S:\\", name, 255, &serial, &maxComponent, &flags, fs, 255));
    EXPECT_STREQ(fs, "NTFS");
    DWORD spc = 0, bps = 0, freeClusters = 0, total = 0;
    ASSERT_TRUE(GetDiskFreeSpaceA("S:\\", &spc, &bps, &freeClusters, &total));
    EXPECT_EQ(spc * bps, 4096u);
    EXPECT_EQ(total, 100000u);
    EXPECT_EQ(freeClusters, m_volume->FreeClusters());
    EXPECT_EQ(GetDriveTypeA("S:\\"), DRIVE_FIXED);
    EXPECT_EQ(GetDriveTypeA("Q:\\"), DRIVE_NO_ROOT_DIR);
    SimFaults faults;
    faults.freeSpaceFails = true;
    m_volume->SetFaults(faults);
    EXPECT_FALSE(GetDiskFreeSpaceA("S:\\", &spc, &bps, &freeClusters, &total));
}

}  // namespace
}  // namespace tarvo::platform
