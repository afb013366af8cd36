// WindowSelfTestMain.cpp --- runs the window's self-test on a simulated fragmented drive T in a private TARVO_HOME.
//
// Usage: test_ui_window [SCREENSHOT.png]. Prints "N passed, N failed" last.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/Logger.h"
#include "app/Settings.h"
#include "platform/drives/Drives.h"
#include "platform/registry/Registry.h"
#include "platform/sim/SimVolume.h"
#include "ui/WindowedProgram.h"

using namespace tarvo;

int main(int argc, char** argv) {
    char pattern[] = "/tmp/tarvo-ui-window-XXXXXX";
    const std::string home = mkdtemp(pattern);
    setenv("TARVO_HOME", home.c_str(), 1);
    platform::SetRegistryKey("Tarvo", "Tarvo Defrag");
    app::Settings().Load();
    // Boxes would wait for a user: the self-test reads the status bar instead.
    app::SetDisplay(app::Display::Off);

    platform::SimVolumeSpec spec;
    spec.fileSystem = platform::SimFileSystem::Fat;
    spec.totalClusters = 4000;
    spec.bytesPerCluster = 4096;
    std::string error;
    std::shared_ptr<platform::SimVolume> volume = platform::SimVolume::Create(spec, error);
    if (!volume) {
        std::printf("cannot make the simulated volume: %s\n0 passed, 1 failed\n", error.c_str());
        return 1;
    }
    // Small files with every other one gone, and split files in the holes.
    for (uint64_t i = 0; i < 60; ++i) {
        platform::FileId id = 0;
        const platform::Lcn at = 100 + i * 40;
        volume->AddFile(platform::SimVolume::kRootId, "PART" + std::to_string(i) + ".DAT", 1000000000, 3 * 4096 * 4,
                        platform::SimFileKind::Normal, {{4, at}, {8, at + 20}, {12, at + 30}}, id);
    }
    platform::MapDriveToBackend('T', volume);

    ui::WindowedOptions options;
    options.selfTest = true;
    options.selfTestDrive = 'T';
    if (argc > 1) options.screenshot = argv[1];
    const int status = ui::RunWindowedProgram(1, argv, options);
    platform::UnmapTestDrive('T');
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
    return status;
}
