// WindowSelfTestMain.cpp --- runs the window's self-test on a simulated fragmented drive T in a private TARVO_HOME,
// then starts itself again to check that the second window comes back where the first was left.
//
// Usage: test_ui_window [SCREENSHOT.png]. Prints "N passed, N failed" last.
// (test_ui_window --placement-check LEFT TOP RIGHT BOTTOM is the second start.)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "app/Logger.h"
#include "app/Settings.h"
#include "platform/drives/Drives.h"
#include "platform/registry/Registry.h"
#include "platform/sim/SimVolume.h"
#include "tests/ui/window/PacedBackend.h"
#include "ui/WindowedProgram.h"

using namespace tarvo;

namespace {

constexpr auto kPerMove = std::chrono::microseconds(4000);

void StartSettings() {
    platform::SetRegistryKey("Tarvo", "Tarvo Defrag");
    app::Settings().Load();
    // Boxes would wait for a user: the self-test reads the status bar, and shows
    // messages only where it closes their windows itself.
    app::SetDisplay(app::Display::Off);
}

// Files of three pieces each, the pieces of neighbours interleaved.
std::shared_ptr<platform::SimVolume> MakeFragmentedVolume(std::string& error) {
    platform::SimVolumeShape shape;
    shape.fileSystem = platform::SimFileSystem::Fat;
    shape.totalClusters = 24000;
    shape.bytesPerCluster = 4096;
    std::shared_ptr<platform::SimVolume> volume = platform::SimVolume::Create(shape, error);
    if (!volume) return nullptr;
    for (uint64_t i = 0; i < 300; ++i) {
        platform::FileId id = 0;
        const platform::Lcn at = 200 + i * 70;
        volume->AddFile(platform::SimVolume::kRootId, "PART" + std::to_string(i) + ".DAT", 1000000000 + i, 24 * 4096,
                        platform::SimFileKind::Normal, {{4, at}, {8, at + 20}, {12, at + 40}}, id);
    }
    return volume;
}

int PlacementCheck(char** argv) {
    StartSettings();
    ui::WindowedOptions options;
    options.selfTest = true;
    options.selfTestPhase = ui::SelfTestPhase::PlacementCheck;
    options.expectedPlacement = {std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5])};
    return ui::RunWindowedProgram(1, argv, options);
}

// Starts this program again with --placement-check in the same TARVO_HOME; adds its results to counts.
void RunPlacementCheck(const ui::ExpectedPlacement& placement, ui::SelfTestCounts& counts) {
    const std::string command = "'" + std::filesystem::read_symlink("/proc/self/exe").string() +
                                "' --placement-check " + std::to_string(placement.left) + " " +
                                std::to_string(placement.top) + " " + std::to_string(placement.right) + " " +
                                std::to_string(placement.bottom) + " 2>&1";
    FILE* child = popen(command.c_str(), "r");
    if (child == nullptr) {
        std::printf("FAIL the second start could not be run\n");
        ++counts.failed;
        return;
    }
    char line[1024];
    bool summary = false;
    while (std::fgets(line, sizeof line, child)) {
        int passed = 0, failed = 0;
        if (std::sscanf(line, "%d passed, %d failed", &passed, &failed) == 2) {
            counts.passed += passed;
            counts.failed += failed;
            summary = true;
            continue;
        }
        std::fputs(line, stdout);
    }
    const int status = pclose(child);
    if (!summary || status != 0) {
        std::printf("FAIL the second start ended with status %d\n", status);
        ++counts.failed;
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 6 && std::strcmp(argv[1], "--placement-check") == 0) return PlacementCheck(argv);

    char pattern[] = "/tmp/tarvo-ui-window-XXXXXX";
    const std::string home = mkdtemp(pattern);
    setenv("TARVO_HOME", home.c_str(), 1);
    StartSettings();

    std::string error;
    std::shared_ptr<platform::SimVolume> volume = MakeFragmentedVolume(error);
    if (!volume) {
        std::printf("cannot make the simulated volume: %s\n0 passed, 1 failed\n", error.c_str());
        return 1;
    }
    auto paced = std::make_shared<test::PacedBackend>(volume, kPerMove);
    platform::MapDriveToBackend('T', paced);

    ui::SelfTestCounts counts;
    ui::WindowedOptions options;
    options.selfTest = true;
    options.selfTestDrive = 'T';
    options.splash = true;
    options.moveCount = [paced] { return paced->MoveCalls(); };
    options.selfTestCounts = &counts;
    if (argc > 1) options.screenshot = argv[1];
    const int status = ui::RunWindowedProgram(1, argv, options);
    platform::UnmapTestDrive('T');
    if (status != 0 && counts.failed == 0) ++counts.failed;

    std::string report;
    if (!volume->CheckConsistency(report)) {
        std::printf("FAIL the volume is consistent after the runs: %s\n", report.c_str());
        ++counts.failed;
    } else {
        std::printf("PASS the volume is consistent after the runs\n");
        ++counts.passed;
    }
    std::fflush(stdout);
    RunPlacementCheck(options.leavePlacement, counts);

    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
    std::printf("%d passed, %d failed\n", counts.passed, counts.failed);
    return counts.failed == 0 && counts.passed > 0 ? 0 : 1;
}
