// FatRunTest.cpp --- TarvoDefrag /SPACE and /COMPLETE on FAT12, FAT16 and FAT32 images made by
// mkfs.fat and mcopy, judged afterwards by fsck.fat -n and by reading every file back with mcopy.
#include <gtest/gtest.h>

#include <fstream>

#include "platform/fat/FatGeometry.h"
#include "platform/fat/FatImageMaker.h"
#include "platform/fat/FatTools.h"
#include "tests/e2e/support/ProgramRun.h"

namespace tarvo::e2e {
namespace {

using platform::FatManifestEntry;

struct Volume {
    std::string letter;
    std::string image;
    std::vector<FatManifestEntry> manifest;  // as mcopy reads it before the run
    std::string listing;                     // mdir -/ -b before the run
};

class FatRun : public ProgramTest {
protected:
    // A fragmented image made by `tarvoctl vol mkfat` (mkfs.fat, then mcopy) and mapped to the letter.
    Volume MakeAndMap(const std::string& letter, int fatBits, const std::string& size, int clusterBytes, int files,
                      int seed) {
        Volume v{letter, m_home + "/" + letter + ".img", {}, {}};
        ProgramResult made = Run("tarvoctl", {"vol", "mkfat", v.image, "--size", size, "--fat", std::to_string(fatBits),
                                              "--cluster-size", std::to_string(clusterBytes), "--files",
                                              std::to_string(files), "--fragment", "--seed", std::to_string(seed)});
        EXPECT_EQ(made.status, 0) << made.output;
        std::string error;
        EXPECT_TRUE(platform::ManifestWithMtools(v.image, v.manifest, error)) << error;
        platform::RunTool({"mdir", "-/", "-b", "-i", v.image, "::/"}, v.listing);
        ProgramResult mapped = Run("tarvoctl", {"drive", "map", letter + ":", v.image});
        EXPECT_EQ(mapped.status, 0) << mapped.output;
        return v;
    }

    // The fragmented-file count that `tarvoctl vol report` gives for the drive.
    int Fragmented(const std::string& letter) {
        ProgramResult report = Run("tarvoctl", {"vol", "report", letter + ":"});
        const std::string key = "fragmented files: ";
        const size_t at = report.output.find(key);
        return at == std::string::npos ? -1 : std::stoi(report.output.substr(at + key.size()));
    }

    // fsck.fat -n finds nothing, and every file reads back through mcopy as it was.
    void ExpectIntact(const Volume& v) {
        SCOPED_TRACE(v.letter + ": " + v.image);
        std::string output;
        EXPECT_EQ(platform::RunTool({"fsck.fat", "-n", v.image}, output), 0) << output;
        EXPECT_EQ(output.find("Dirty"), std::string::npos) << output;
        EXPECT_EQ(output.find("differ"), std::string::npos) << output;
        std::vector<FatManifestEntry> after;
        std::string error;
        ASSERT_TRUE(platform::ManifestWithMtools(v.image, after, error)) << error;
        EXPECT_EQ(after.size(), v.manifest.size());
        EXPECT_TRUE(after == v.manifest) << "a file's content changed";
        std::string listing;
        platform::RunTool({"mdir", "-/", "-b", "-i", v.image, "::/"}, listing);
        EXPECT_EQ(listing, v.listing);
    }
};

TEST_F(FatRun, SpaceOnThreeFatDrivesInOneRunKeepsEveryFile) {
    std::vector<Volume> volumes;
    volumes.push_back(MakeAndMap("D", 12, "2M", 1024, 16, 3));
    volumes.push_back(MakeAndMap("E", 16, "8M", 512, 30, 4));
    volumes.push_back(MakeAndMap("F", 32, "34M", 512, 40, 5));
    std::vector<int> before;
    for (const Volume& v : volumes) before.push_back(Fragmented(v.letter));

    ProgramResult run = Run("TarvoDefrag", {"/SPACE:D,E,F"});
    EXPECT_EQ(run.status, 0) << run.output;
    for (size_t i = 0; i < volumes.size(); ++i) {
        const Volume& v = volumes[i];
        EXPECT_NE(run.output.find("The SPACE-defragmentation has completed for drive " + v.letter + ":"),
                  std::string::npos)
            << run.output;
        ExpectIntact(v);
        EXPECT_GT(before[i], 0) << v.letter << ": the image was made fragmented";
        EXPECT_LT(Fragmented(v.letter), before[i]) << v.letter;
    }
    // A second run finds the volumes clean and ours to open again.
    EXPECT_EQ(Run("TarvoDefrag", {"/SPACE:E"}).status, 0);
    ExpectIntact(volumes[1]);
}

TEST_F(FatRun, CompleteOnFat16AndFat32KeepsEveryFile) {
    std::vector<Volume> volumes;
    volumes.push_back(MakeAndMap("D", 16, "8M", 512, 30, 6));
    volumes.push_back(MakeAndMap("E", 32, "34M", 512, 40, 7));
    ProgramResult run = Run("TarvoDefrag", {"/COMPLETE:D,E", "/SORT:NAME"});
    if (run.output.find("not part of this build") != std::string::npos) {
        for (const Volume& v : volumes) ExpectIntact(v);
        GTEST_SKIP() << "COMPLETE is not in this build yet";
    }
    EXPECT_EQ(run.status, 0) << run.output;
    for (const Volume& v : volumes) {
        EXPECT_NE(run.output.find("The COMPLETE-defragmentation has completed for drive " + v.letter + ":"),
                  std::string::npos)
            << run.output;
        ExpectIntact(v);
        EXPECT_EQ(Fragmented(v.letter), 0) << v.letter;
    }
}

TEST_F(FatRun, UncleanOrDamagedVolumesAreRefusedWithTheirReasonAndNeverWritten) {
    struct Case {
        const char* letter;
        std::vector<std::streamoff> offsets;  // the bytes spoilt
        char value;
        const char* reason;  // words of the refusal
    };
    // FAT12/16: bit 0 of byte 37 marks a volume not cleanly unmounted; bytes 19-20 count the sectors.
    for (const Case& c : {Case{"D", {37}, 0x01, "not cleanly unmounted"},
                          Case{"E", {19, 20}, 0x00, "boot sector is damaged"}}) {
        SCOPED_TRACE(c.reason);
        const std::string letter = c.letter;
        Volume v = MakeAndMap(letter, 12, "2M", 1024, 10, 8);
        {
            std::fstream image(v.image, std::ios::in | std::ios::out | std::ios::binary);
            for (std::streamoff offset : c.offsets) {
                image.seekp(offset);
                image.put(c.value);
            }
        }
        std::ifstream in(v.image, std::ios::binary);
        const std::string before{std::istreambuf_iterator<char>(in), {}};
        ProgramResult run = Run("TarvoDefrag", {"/SPACE:" + letter});
        EXPECT_EQ(run.status, 2) << "a refused drive, not a command-line mistake: " << run.output;
        EXPECT_EQ(run.output.find("has completed"), std::string::npos) << run.output;
        EXPECT_EQ(run.output.find("Invalid drive"), std::string::npos) << run.output;
        EXPECT_NE(run.output.find("Drive " + letter + ": cannot be defragmented"), std::string::npos) << run.output;
        EXPECT_NE(run.output.find(c.reason), std::string::npos) << run.output;
        EXPECT_NE(run.output.find("run fsck.fat on the volume first"), std::string::npos) << run.output;
        std::ifstream again(v.image, std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(again), {}), before) << "the image was written";
        ProgramResult log = Run("tarvoctl", {"eventlog"});
        EXPECT_NE(log.output.find("Drive " + letter + ": cannot be defragmented"), std::string::npos) << log.output;
        EXPECT_NE(log.output.find("run fsck.fat"), std::string::npos) << log.output;
        ProgramResult check = Run("tarvoctl", {"vol", "check", letter + ":"});
        EXPECT_NE(check.status, 0);
        EXPECT_NE(check.output.find("fsck.fat"), std::string::npos) << check.output;
    }
    // A letter that names no volume keeps the command line's own message.
    ProgramResult unmapped = Run("TarvoDefrag", {"/SPACE:Q"});
    EXPECT_EQ(unmapped.status, 1) << unmapped.output;
    EXPECT_NE(unmapped.output.find("Invalid drive passed by command line: Q"), std::string::npos) << unmapped.output;
}

TEST_F(FatRun, DeviceThatFailsWritesEndsTheRunWithAnErrorAndKeepsEveryFile) {
    Volume v = MakeAndMap("D", 32, "34M", 512, 40, 9);
    std::string bytes;
    {
        std::ifstream in(v.image, std::ios::binary);
        bytes.resize(512);
        in.read(bytes.data(), 512);
    }
    platform::FatGeometry geometry;
    std::string error;
    ASSERT_TRUE(platform::ParseFatBootSector(reinterpret_cast<const uint8_t*>(bytes.data()), 512,
                                             std::filesystem::file_size(v.image), geometry, error))
        << error;
    // The file-size limit makes every write at or past the data area fail (EFBIG), as a device
    // whose medium went bad there would: the boot sector and the FATs stay writable.
    const std::string blocks = std::to_string(geometry.dataOffset / 1024);
    ProgramResult run = Run("/bin/sh", {"-c", "trap '' XFSZ; ulimit -f " + blocks + " && exec \"$0\" \"$@\"",
                                        BinPath("TarvoDefrag"), "/COMPLETE:D", "/SORT:NAME"});
    if (run.output.find("not part of this build") != std::string::npos) GTEST_SKIP() << "no COMPLETE yet";
    EXPECT_EQ(run.status, 2) << run.output;
    EXPECT_EQ(run.output.find("has completed"), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("could not be defragmented"), std::string::npos) << "no file given up: " << run.output;
    EXPECT_NE(run.output.find("The device of drive D:\\ failed a read or write (STATUS_IO_DEVICE_ERROR"),
              std::string::npos)
        << run.output;
    ProgramResult log = Run("tarvoctl", {"eventlog"});
    EXPECT_NE(log.output.find("The device of drive D:\\ failed a read or write"), std::string::npos) << log.output;
    ExpectIntact(v);
    // The same volume on a sound device: the run completes.
    ProgramResult rerun = Run("TarvoDefrag", {"/COMPLETE:D", "/SORT:NAME"});
    EXPECT_EQ(rerun.status, 0) << rerun.output;
    ExpectIntact(v);
    EXPECT_EQ(Fragmented("D"), 0);
}

}  // namespace
}  // namespace tarvo::e2e
