// EngineTestEnv.h --- fixture for the engine tests: own TARVO_HOME, a simulated volume on drive T, a job and its recorder.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/Logger.h"
#include "app/Settings.h"
#include "engine/EngineReport.h"
#include "platform/drives/Drives.h"
#include "platform/registry/Registry.h"
#include "platform/sim/SimVolume.h"
#include "volume/ClusterBitmap.h"
#include "volume/DefragJob.h"
#include "volume/FileTable.h"
#include "volume/MessageIds.h"
#include "volume/RecordingViewSink.h"
#include "volume/VolumeOps.h"

namespace tarvo::engine::testing {

using platform::FileId;
using platform::SimFileSystem;
using platform::SimRun;
using platform::SimVolume;
using volume::Lcn;
using volume::Vcn;

struct ReportRecord {
    app::MessageId id;
    std::vector<std::string> strings;
};

class EngineTest : public ::testing::Test {
protected:
    static constexpr char kLetter = 'T';

    void SetUp() override {
        char pattern[] = "/tmp/tarvo-engine-XXXXXX";
        m_home = mkdtemp(pattern);
        setenv("TARVO_HOME", m_home.c_str(), 1);
        platform::SetRegistryKey("Tarvo", "Tarvo Defrag");
        app::Settings().Load();
        app::SetDisplay(app::Display::Off);
        platform::SetSimInvariantFailureHook([](const std::string& what) { ADD_FAILURE() << "invariant: " << what; });
        SetEngineReportObserver([this](app::MessageId id, const std::vector<std::string>& s) {
            m_reports.push_back({id, s});
        });
        volume::SetReportObserver([this](app::MessageId id, const char* s1, const char*) {
            m_reports.push_back({id, {s1 ? s1 : ""}});
        });
    }

    void TearDown() override {
        m_job.reset();
        platform::UnmapTestDrive(kLetter);
        SetEngineReportObserver(nullptr);
        volume::SetReportObserver(nullptr);
        platform::SetSimInvariantFailureHook(nullptr);
        std::error_code ignored;
        std::filesystem::remove_all(m_home, ignored);
    }

    // An empty simulated volume on drive T, checked in full after every move.
    SimVolume& MakeVolume(SimFileSystem fs, uint64_t clusters, uint32_t clusterSize = 4096, double zone = 12.5) {
        platform::SimVolumeShape shape;
        shape.fileSystem = fs;
        shape.totalClusters = clusters;
        shape.bytesPerCluster = clusterSize;
        shape.mftZonePercent = zone;
        std::string error;
        m_volume = SimVolume::Create(shape, error);
        EXPECT_NE(m_volume, nullptr) << error;
        m_volume->SetCheckMode(platform::SimCheckMode::Full);
        platform::MapDriveToBackend(kLetter, m_volume);
        return *m_volume;
    }
    void UseVolume(std::shared_ptr<SimVolume> volume) {
        m_volume = std::move(volume);
        platform::MapDriveToBackend(kLetter, m_volume);
    }

    // A file under the root or under a directory made on demand ("DIR\NAME").
    FileId AddFile(const std::string& path, std::vector<SimRun> runs, time_t mtime = 1000000000,
                   platform::SimFileKind kind = platform::SimFileKind::Normal) {
        FileId parent = SimVolume::kRootId;
        std::string name = path;
        const size_t slash = path.rfind('\\');
        if (slash != std::string::npos) {
            parent = Directory(path.substr(0, slash));
            name = path.substr(slash + 1);
        }
        FileId id = 0;
        const uint64_t size = runs.empty() ? 0 : runs.back().nextVcn * m_volume->BytesPerCluster();
        EXPECT_EQ(m_volume->AddFile(parent, name, mtime, size, kind, std::move(runs), id),
                  platform::STATUS_SUCCESS)
            << path;
        return id;
    }
    FileId Directory(const std::string& path) {
        FileId id = 0;
        if (m_volume->Lookup(path, id) == platform::STATUS_SUCCESS) return id;
        FileId parent = SimVolume::kRootId;
        std::string name = path;
        const size_t slash = path.rfind('\\');
        if (slash != std::string::npos) {
            parent = Directory(path.substr(0, slash));
            name = path.substr(slash + 1);
        }
        EXPECT_EQ(m_volume->AddDirectory(parent, name, 1000000000, id), platform::STATUS_SUCCESS) << path;
        return id;
    }

    // A fresh job opened on drive T with its keep-going flag set.
    volume::CDefragJob& OpenJob() {
        m_job = std::make_unique<volume::CDefragJob>();
        EXPECT_EQ(volume::OpenDrive(*m_job, &m_view, "T", 9), 1);
        m_job->m_gate.Start();
        return *m_job;
    }

    // The sim's own check of every invariant.
    void ExpectConsistent() {
        std::string report;
        EXPECT_TRUE(m_volume->CheckConsistency(report)) << report;
    }

    // The table's record of a volume-relative path ("DIR\F.TXT"), or none.
    volume::FileRecord* Record(const std::string& path) {
        const std::string full = "T:\\" + path;
        for (int64_t i = 0; m_job && m_job->m_fileTable && i <= m_job->m_fileTable->LastIndex(); ++i)
            if (m_job->m_fileTable->Item(i)->Path() == full) return m_job->m_fileTable->Item(i);
        return nullptr;
    }

    size_t Count(app::MessageId id) const {
        size_t n = 0;
        for (const auto& r : m_reports) n += r.id == id;
        return n;
    }
    bool Reported(app::MessageId id, const std::string& s1) const {
        for (const auto& r : m_reports)
            if (r.id == id && !r.strings.empty() && r.strings[0] == s1) return true;
        return false;
    }
    std::vector<int64_t> Percents() const {
        std::vector<int64_t> out;
        for (const auto& e : m_view.Events(volume::UM_SET_PERCENT)) out.push_back(e.value);
        return out;
    }

    std::string m_home;
    std::shared_ptr<SimVolume> m_volume;
    volume::RecordingViewSink m_view;
    std::unique_ptr<volume::CDefragJob> m_job;
    std::vector<ReportRecord> m_reports;
};

}  // namespace tarvo::engine::testing
