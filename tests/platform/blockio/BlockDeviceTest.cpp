// BlockDeviceTest.cpp --- image files through OpenBlockDevice, and the two test wrappers.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numeric>

#include "platform/blockio/BlockDevice.h"
#include "platform/blockio/FaultInjectingDevice.h"
#include "platform/blockio/MemoryBlockDevice.h"
#include "platform/blockio/PowerLossDevice.h"

using namespace tarvo::platform;
namespace fs = std::filesystem;

namespace {

class BlockDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() / ("tarvo-blockio-" + std::to_string(::getpid()) + "-" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir / "home");
        setenv("TARVO_HOME", (m_dir / "home").c_str(), 1);
        m_image = (m_dir / "disk.img").string();
        std::vector<char> bytes(8192);
        std::iota(bytes.begin(), bytes.end(), 0);
        std::ofstream(m_image, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    void TearDown() override { fs::remove_all(m_dir); }

    std::vector<uint8_t> FileBytes() {
        std::ifstream in(m_image, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    fs::path m_dir;
    std::string m_image;
};

std::unique_ptr<BlockDevice> Memory(size_t size, uint8_t fill) {
    return std::make_unique<MemoryBlockDevice>(std::vector<uint8_t>(size, fill), DeviceAccess::ReadWrite);
}

}  // namespace

TEST_F(BlockDeviceTest, ImageFileReadsWritesAndRefusesTransfersPastItsEnd) {
    std::string error;
    auto device = OpenBlockDevice(m_image, DeviceAccess::ReadWrite, error);
    ASSERT_NE(device, nullptr) << error;
    EXPECT_EQ(device->Size(), 8192u);
    EXPECT_FALSE(device->IsRemovable());
    uint8_t buffer[4] = {};
    ASSERT_EQ(device->Read(256, buffer, 4), 0);
    EXPECT_EQ(buffer[1], 1);
    const uint8_t patch[3] = {0xAA, 0xBB, 0xCC};
    ASSERT_EQ(device->Write(8189, patch, 3), 0);
    EXPECT_NE(device->Write(8190, patch, 3), 0);
    EXPECT_EQ(device->Read(8190, buffer, 4), EIO);
    ASSERT_EQ(device->Flush(), 0);
    device.reset();
    EXPECT_EQ(FileBytes().size(), 8192u);
    EXPECT_EQ(FileBytes()[8191], 0xCC);
}

TEST_F(BlockDeviceTest, SecondWriterIsRefusedWhileReadersAreNot) {
    std::string error;
    auto writer = OpenBlockDevice(m_image, DeviceAccess::ReadWrite, error);
    ASSERT_NE(writer, nullptr) << error;
    EXPECT_EQ(OpenBlockDevice(m_image, DeviceAccess::ReadWrite, error), nullptr);
    EXPECT_NE(error.find("another program"), std::string::npos) << error;
    EXPECT_NE(OpenBlockDevice(m_image, DeviceAccess::ReadOnly, error), nullptr);
    writer.reset();
    EXPECT_NE(OpenBlockDevice(m_image, DeviceAccess::ReadWrite, error), nullptr) << error;
}

TEST_F(BlockDeviceTest, ReadOnlyOpensRefuseWritesAndBadPathsGiveMessages) {
    std::string error;
    auto reader = OpenBlockDevice(m_image, DeviceAccess::ReadOnly, error);
    ASSERT_NE(reader, nullptr);
    uint8_t byte = 0;
    EXPECT_EQ(reader->Write(0, &byte, 1), EROFS);
    EXPECT_TRUE(reader->IsReadOnly());

    EXPECT_EQ(OpenBlockDevice((m_dir / "missing.img").string(), DeviceAccess::ReadOnly, error), nullptr);
    EXPECT_NE(error.find("missing.img"), std::string::npos);
    EXPECT_EQ(OpenBlockDevice(m_dir.string(), DeviceAccess::ReadOnly, error), nullptr);
    EXPECT_NE(error.find("neither"), std::string::npos);
    if (::geteuid() != 0) {
        ::chmod(m_image.c_str(), 0444);
        EXPECT_EQ(OpenBlockDevice(m_image, DeviceAccess::ReadWrite, error), nullptr);
        EXPECT_NE(error.find("for writing"), std::string::npos);
    }
}

TEST(PowerLossDevice, UnflushedWritesAreVisibleButDroppedAtTheCut) {
    auto record = std::make_shared<PowerLossRecord>();
    auto* memory = new MemoryBlockDevice(std::vector<uint8_t>(4096, 0), DeviceAccess::ReadWrite);
    PowerLossDevice device(std::unique_ptr<BlockDevice>(memory), {2, CrashMode::Drop, 0}, record);
    const uint8_t first[10] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
    ASSERT_EQ(device.Write(100, first, 10), 0);
    EXPECT_EQ(memory->Bytes()[100], 0) << "nothing reaches the medium before a flush";
    uint8_t back[12] = {};
    ASSERT_EQ(device.Read(99, back, 12), 0);
    EXPECT_EQ(back[0], 0);
    EXPECT_EQ(back[1], 1);
    ASSERT_EQ(device.Flush(), 0);
    EXPECT_EQ(memory->Bytes()[100], 1);

    const uint8_t second[2] = {7, 7};
    ASSERT_EQ(device.Write(1000, second, 2), 0);
    EXPECT_EQ(device.Flush(), EIO);
    EXPECT_TRUE(record->crashed);
    EXPECT_EQ(memory->Bytes()[1000], 0);
    EXPECT_EQ(device.Read(0, back, 1), EIO) << "a dead device does nothing more";
    EXPECT_EQ(device.Write(0, second, 1), EIO);
}

TEST(PowerLossDevice, KeepWritesEverythingAndTearKeepsWholeSectorsOnly) {
    for (CrashMode mode : {CrashMode::Keep, CrashMode::Tear}) {
        auto* memory = new MemoryBlockDevice(std::vector<uint8_t>(64 * 512, 0), DeviceAccess::ReadWrite);
        PowerLossDevice device(std::unique_ptr<BlockDevice>(memory), {1, mode, 42});
        std::vector<uint8_t> ones(64 * 512, 0xFF);
        ASSERT_EQ(device.Write(0, ones.data(), ones.size()), 0);
        EXPECT_EQ(device.Flush(), EIO);
        size_t kept = 0;
        for (size_t sector = 0; sector < 64; ++sector) {
            const uint8_t* s = memory->Bytes().data() + sector * 512;
            bool whole = std::all_of(s, s + 512, [](uint8_t b) { return b == 0xFF; });
            bool none = std::all_of(s, s + 512, [](uint8_t b) { return b == 0; });
            EXPECT_TRUE(whole || none) << "sector " << sector << " is half written";
            kept += whole ? 1 : 0;
        }
        if (mode == CrashMode::Keep) {
            EXPECT_EQ(kept, 64u);
        } else {
            EXPECT_GT(kept, 0u);
            EXPECT_LT(kept, 64u);
        }
    }
}

TEST_F(BlockDeviceTest, PowerLossWrapperKeepsPendingWritesOnCleanClose) {
    std::string error;
    {
        PowerLossDevice device(OpenBlockDevice(m_image, DeviceAccess::ReadWrite, error), {5, CrashMode::Drop, 0});
        const uint8_t byte = 0xEE;
        ASSERT_EQ(device.Write(600, &byte, 1), 0);
        EXPECT_NE(FileBytes()[600], 0xEE);
    }
    EXPECT_EQ(FileBytes()[600], 0xEE);
    EXPECT_EQ(FileBytes()[601], static_cast<uint8_t>(601 % 256)) << "the rest of the sector is untouched";
}

TEST(FaultInjectingDevice, FailsOnlyTheChosenOperationOrEveryOneAfterIt) {
    auto record = std::make_shared<FaultRecord>();
    FaultInjectingDevice once(Memory(1024, 0), {FaultOperation::Write, 2, ENOSPC, FaultRepeat::Once}, record);
    uint8_t byte = 1;
    EXPECT_EQ(once.Read(0, &byte, 1), 0);
    EXPECT_EQ(once.Write(0, &byte, 1), 0);
    EXPECT_EQ(once.Write(1, &byte, 1), ENOSPC);
    EXPECT_EQ(once.Write(2, &byte, 1), 0);
    EXPECT_EQ(once.Flush(), 0);
    EXPECT_EQ(record->failures, 1u);
    EXPECT_EQ(record->writes, 3u);

    FaultInjectingDevice sticky(Memory(1024, 0), {FaultOperation::Any, 3, EIO, FaultRepeat::Sticky});
    EXPECT_EQ(sticky.Read(0, &byte, 1), 0);
    EXPECT_EQ(sticky.Write(0, &byte, 1), 0);
    EXPECT_EQ(sticky.Flush(), EIO);
    EXPECT_EQ(sticky.Read(0, &byte, 1), EIO);
}
