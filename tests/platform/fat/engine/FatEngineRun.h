// FatEngineRun.h --- the engine's analysis and methods run on a FAT backend served as a drive letter.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "FatTestSupport.h"
#include "app/MessageIds.h"
#include "platform/core/VolumeBackend.h"

namespace tarvo::platform::testing {

enum class EngineMethod { Space, Complete };

// The methods this build has (COMPLETE joins when its entry is linked in).
std::vector<EngineMethod> AvailableMethods();
const char* MethodName(EngineMethod method);

// What one run left behind.
struct EngineOutcome {
    bool opened = false;     // OpenDrive accepted the volume
    bool analysed = false;   // RunAnalysis answered 1 with a file table
    bool finished = false;   // the method ended by itself (UM_RUN_FINISHED posted)
    uint32_t fragmentedAfter = 0;
    size_t filesAnalysed = 0;
    std::vector<std::string> reports;  // every engine report, id and first string

    // Whether some report has this identifier (and, when given, this first string).
    bool Reported(app::MessageId id, const std::string& first = {}) const;
};

// A FatTest with the settings and logger the engine needs, and the drive letter it runs on.
class FatEngineTest : public FatTest {
protected:
    static constexpr char kLetter = 'F';
    void SetUp() override;
    void TearDown() override;

    // Serves the backend as drive F, runs the analysis and then the method on a
    // fresh job, closes the job (the volume handle's close flushes the backend)
    // and unmaps the drive. The backend is released before this returns.
    // onReport sees each engine report as it is made.
    EngineOutcome RunMethod(std::shared_ptr<VolumeBackend> backend, EngineMethod method,
                            std::function<void(app::MessageId)> onReport = nullptr);
};

}  // namespace tarvo::platform::testing
