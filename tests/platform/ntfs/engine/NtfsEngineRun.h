// NtfsEngineRun.h --- the engine's analysis and methods run on an NTFS backend served as a drive letter.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/core/VolumeBackend.h"
#include "tests/platform/ntfs/NtfsTestSupport.h"

namespace tarvo::platform::testing {

enum class EngineMethod { Space, Complete };

// The methods this build has (COMPLETE joins when its entry is in the tree).
std::vector<EngineMethod> AvailableMethods();
const char* MethodName(EngineMethod method);

// What one run left behind.
struct EngineOutcome {
    bool opened = false;     // OpenDrive accepted the volume
    bool analysed = false;   // RunAnalysis answered 1 with a file table
    bool finished = false;   // the method ended by itself (UM_RUN_FINISHED posted)
    size_t filesAnalysed = 0;
    uint32_t fragmentedBefore = 0;
    uint32_t fragmentedAfter = 0;
    std::vector<std::string> reports;  // every engine report: id and first string
};

// An NtfsTestFolder with the settings and logger the engine needs.
class NtfsEngineTest : public NtfsTestFolder {
protected:
    static constexpr char kLetter = 'N';
    void SetUp() override;
    void TearDown() override;

    // Serves the backend as drive N, runs the analysis and then the method on a
    // fresh job, closes the job (closing the volume handle flushes the backend,
    // which ends the run cleanly) and unmaps the drive. The caller's reference,
    // if it kept one, is the only one left when this returns.
    EngineOutcome RunMethod(std::shared_ptr<VolumeBackend> backend, EngineMethod method);
};

}  // namespace tarvo::platform::testing
