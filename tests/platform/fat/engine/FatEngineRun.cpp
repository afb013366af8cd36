// FatEngineRun.cpp --- running the engine on a FAT backend mapped to a drive letter.
#include "FatEngineRun.h"

#include <cstdio>

#include "app/Logger.h"
#include "app/Settings.h"
#include "engine/Analysis.h"
#include "engine/EngineReport.h"
#include "engine/SpaceMethod.h"
#include "platform/drives/Drives.h"
#include "platform/registry/Registry.h"
#include "volume/DefragJob.h"
#include "volume/FileTable.h"
#include "volume/RecordingViewSink.h"
#include "volume/VolumeOps.h"

#ifdef TARVO_HAVE_COMPLETE
#include "engine/CompleteMethod.h"
#endif

namespace tarvo::platform::testing {

std::vector<EngineMethod> AvailableMethods() {
#ifdef TARVO_HAVE_COMPLETE
    return {EngineMethod::Space, EngineMethod::Complete};
#else
    return {EngineMethod::Space};
#endif
}

const char* MethodName(EngineMethod method) { return method == EngineMethod::Space ? "SPACE" : "COMPLETE"; }

void FatEngineTest::SetUp() {
    FatTest::SetUp();
    SetRegistryKey("Tarvo", "Tarvo Defrag");
    app::Settings().Load();
    app::SetDisplay(app::Display::Off);
}

void FatEngineTest::TearDown() {
    engine::SetEngineReportObserver(nullptr);
    UnmapTestDrive(kLetter);
    ReleaseCachedBackends();
    FatTest::TearDown();
}

bool EngineOutcome::Reported(app::MessageId id, const std::string& first) const {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08X", id);
    for (const std::string& report : reports) {
        if (report.rfind(hex, 0) == 0 && (first.empty() || report == std::string(hex) + " " + first)) return true;
    }
    return false;
}

EngineOutcome FatEngineTest::RunMethod(std::shared_ptr<VolumeBackend> backend, EngineMethod method,
                                       std::function<void(app::MessageId)> onReport) {
    EngineOutcome outcome;
    engine::SetEngineReportObserver([&outcome, &onReport](app::MessageId id, const std::vector<std::string>& strings) {
        if (onReport) onReport(id);
        char hex[16];
        std::snprintf(hex, sizeof hex, "%08X", id);
        outcome.reports.push_back(std::string(hex) + " " + (strings.empty() ? "" : strings[0]));
    });
    MapDriveToBackend(kLetter, std::move(backend));
    {
        volume::RecordingViewSink view;
        volume::CDefragJob job;
        outcome.opened = volume::OpenDrive(job, &view, std::string(1, kLetter), 9) == 1;
        if (outcome.opened) {
            job.m_gate.Start();
            outcome.analysed = engine::RunAnalysis(job, engine::WorkerMark::Keep) == 1 && job.m_fileTable != nullptr;
            outcome.filesAnalysed = job.m_fileTable ? static_cast<size_t>(job.m_fileTable->LastIndex() + 1) : 0;
#ifdef TARVO_HAVE_COMPLETE
            if (method == EngineMethod::Complete) {
                engine::RunCompleteMethod(job);
            } else {
                engine::RunSpaceMethod(job);
            }
#else
            (void)method;
            engine::RunSpaceMethod(job);
#endif
            outcome.finished = !view.Events(volume::UM_RUN_FINISHED).empty();
            outcome.fragmentedAfter = job.m_fragmentedFiles;
        }
    }
    UnmapTestDrive(kLetter);
    ReleaseCachedBackends();
    engine::SetEngineReportObserver(nullptr);
    return outcome;
}

}  // namespace tarvo::platform::testing
