// ScriptedDrive.h --- a test fixture with a scripted volume attached to drive T and a job opened on it.
#pragma once

#include <memory>

#include "platform/drives/Drives.h"
#include "tests/volume/support/ScriptedVolume.h"
#include "tests/volume/support/VolumeTestEnv.h"
#include "volume/DefragJob.h"
#include "volume/RecordingViewSink.h"
#include "volume/VolumeOps.h"

namespace tarvo::volume::testing {

class ScriptedDriveTest : public VolumeTest {
protected:
    static constexpr char kLetter = 'T';

    // Attaches a volume of total clusters to drive T (replacing any earlier one).
    ScriptedVolume& Attach(uint64_t total, const std::string& fs = "NTFS", DWORD bytesPerCluster = 4096) {
        m_volume = std::make_shared<ScriptedVolume>(total, fs, bytesPerCluster);
        platform::MapDriveToBackend(kLetter, m_volume);
        return *m_volume;
    }
    // Opens the job on drive T; answers OpenDrive's result.
    int Open() { return OpenDrive(m_job, &m_view, "T", 9); }

    void TearDown() override {
        m_job.CloseVolume();
        platform::UnmapTestDrive(kLetter);
        VolumeTest::TearDown();
    }

    std::shared_ptr<ScriptedVolume> m_volume;
    RecordingViewSink m_view;
    CDefragJob m_job;
};

}  // namespace tarvo::volume::testing
