// DrivesTest.cpp --- the letter links, the shared backend per volume, and recognising volume formats.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "platform/drives/BackendFactory.h"
#include "platform/drives/Drives.h"
#include "platform/drives/Win32Files.h"
#include "platform/sim/SimVolume.h"

namespace tarvo::platform {
namespace {

class DrivesTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tarvo-drv-XXXXXX";
        m_folder = mkdtemp(pattern);
        setenv("TARVO_HOME", (m_folder + "/home").c_str(), 1);
        SimVolumeShape shape;
        shape.fileSystem = SimFileSystem::Fat32;
        shape.totalClusters = 5000;
        shape.driveType = DRIVE_REMOVABLE;
        std::string error;
        auto volume = SimVolume::Create(shape, error);
        ASSERT_NE(volume, nullptr) << error;
        FileId id = 0;
        ASSERT_EQ(volume->AddFile(SimVolume::kRootId, "a.txt", 0, 10, SimFileKind::Normal, {{2, 100}}, id), STATUS_SUCCESS);
        ASSERT_TRUE(volume->SaveAs(m_folder + "/v.sim", error)) << error;
    }
    void TearDown() override {
        ReleaseCachedBackends();
        std::filesystem::remove_all(m_folder);
    }
    std::string m_folder;
};

TEST_F(DrivesTest, LettersParseInEveryUsualSpelling) {
    EXPECT_EQ(ParseDriveLetter("d"), 'D');
    EXPECT_EQ(ParseDriveLetter("D:"), 'D');
    EXPECT_EQ(ParseDriveLetter("d:\\"), 'D');
    EXPECT_EQ(ParseDriveLetter("7:"), 0);
    EXPECT_EQ(ParseDriveLetter("DD"), 0);
    EXPECT_EQ(ParseDriveLetter(""), 0);
}

TEST_F(DrivesTest, MappedLettersAreLinksThatListAndUnmap) {
    std::string error;
    ASSERT_TRUE(MapDrive('D', m_folder + "/v.sim", error)) << error;
    EXPECT_TRUE(std::filesystem::is_symlink(m_folder + "/home/dosdevices/d:"));
    auto list = ListDriveMappings();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].letter, 'D');
    EXPECT_EQ(list[0].target, m_folder + "/v.sim");
    EXPECT_EQ(GetDriveTypeA("D:\\"), DRIVE_REMOVABLE);
    EXPECT_TRUE(UnmapDrive('D', error));
    EXPECT_FALSE(UnmapDrive('D', error));
    EXPECT_TRUE(ListDriveMappings().empty());
    EXPECT_FALSE(MapDrive('D', m_folder + "/nothing-here", error));
}

TEST_F(DrivesTest, EveryHandleOnOneVolumeSharesOneBackend) {
    std::string error;
    ASSERT_TRUE(MapDrive('D', m_folder + "/v.sim", error)) << error;
    std::filesystem::create_symlink(m_folder + "/v.sim", m_folder + "/alias.sim");
    ASSERT_TRUE(MapDrive('E', m_folder + "/alias.sim", error)) << error;
    NTSTATUS status = STATUS_SUCCESS;
    auto d = OpenDriveBackend('D', status, error);
    auto e = OpenDriveBackend('e', status, error);
    ASSERT_NE(d, nullptr) << error;
    EXPECT_EQ(d, e);
    // A move through one handle is seen through the other at once.
    HANDLE volume = CreateFileA("\\\\.\\E:", GENERIC_READ, 3, nullptr, OPEN_EXISTING, 0, nullptr);
    HANDLE file = CreateFileA("D:\\a.txt", 0, 3, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(volume, INVALID_HANDLE_VALUE);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    MOVE_FILE_DATA move{file, {}, {}, 2};
    move.StartingLcn.QuadPart = 3000;
    IO_STATUS_BLOCK io{};
    EXPECT_EQ(NtFsControlFile(volume, nullptr, nullptr, nullptr, &io, FSCTL_MOVE_FILE, &move, sizeof move, nullptr, 0),
              STATUS_SUCCESS);
    CloseHandle(file);
    CloseHandle(volume);
    auto sim = std::dynamic_pointer_cast<SimVolume>(d);
    ASSERT_NE(sim, nullptr);
    EXPECT_EQ(sim->Runs(2), (std::vector<SimRun>{{2, 3000}}));
}

TEST_F(DrivesTest, AnOpenVolumeHandleHoldsItsLetterToItsVolumeUntilClosed) {
    std::string error;
    ASSERT_TRUE(MapDrive('D', m_folder + "/v.sim", error)) << error;
    std::filesystem::copy_file(m_folder + "/v.sim", m_folder + "/other.sim");
    HANDLE volume = CreateFileA("\\\\.\\D:", GENERIC_READ, 3, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(volume, INVALID_HANDLE_VALUE);
    NTSTATUS status = STATUS_SUCCESS;
    auto first = OpenDriveBackend('D', status, error);
    // The letter is pointed elsewhere and the cache dropped while the handle is open:
    // files opened now still lie on the handle's volume, so moves through it work.
    ASSERT_TRUE(MapDrive('D', m_folder + "/other.sim", error)) << error;
    ReleaseCachedBackends();
    EXPECT_EQ(OpenDriveBackend('D', status, error), first);
    HANDLE file = CreateFileA("D:\\a.txt", 0, 3, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    MOVE_FILE_DATA move{file, {}, {}, 2};
    move.StartingLcn.QuadPart = 3000;
    IO_STATUS_BLOCK io{};
    EXPECT_EQ(NtFsControlFile(volume, nullptr, nullptr, nullptr, &io, FSCTL_MOVE_FILE, &move, sizeof move, nullptr, 0),
              STATUS_SUCCESS);
    CloseHandle(file);
    CloseHandle(volume);
    // Once the handle is closed the letter is read again and reaches the new target.
    auto after = OpenDriveBackend('D', status, error);
    ASSERT_NE(after, nullptr) << error;
    EXPECT_NE(after, first);
    auto sim = std::dynamic_pointer_cast<SimVolume>(after);
    ASSERT_NE(sim, nullptr);
    EXPECT_EQ(sim->Runs(2), (std::vector<SimRun>{{2, 100}}));
}

TEST_F(DrivesTest, UnknownFormatsAreRefusedAndBootSectorsRecognised) {
    std::ofstream(m_folder + "/text.img") << std::string(1024, 'x');
    NTSTATUS status = STATUS_SUCCESS;
    std::string error;
    EXPECT_EQ(OpenVolumeBackend(m_folder + "/text.img", status, error), nullptr);
    EXPECT_EQ(status, STATUS_UNRECOGNIZED_VOLUME);
    EXPECT_NE(error.find("unrecognised volume format"), std::string::npos);
    EXPECT_EQ(OpenVolumeBackend(m_folder + "/absent.img", status, error), nullptr);
    EXPECT_EQ(status, STATUS_OBJECT_NAME_NOT_FOUND);
    auto backend = OpenVolumeBackend(m_folder + "/v.sim", status, error);
    ASSERT_NE(backend, nullptr) << error;
    VolumeInformation info;
    backend->GetVolumeInformation(info);
    EXPECT_EQ(info.fileSystemName, "FAT32");
}

}  // namespace
}  // namespace tarvo::platform
