// WindowedProgram.h --- the defragmenter with its window: the wx application around CMainFrame.
#pragma once

#include "ui/NtFirst.h"

#include <cstdint>
#include <functional>
#include <string>

namespace tarvo::app {
class CTarvoApp;
}

namespace tarvo::ui {

// Answered by RunWindowedProgram when the toolkit cannot open the display.
constexpr int kNoDisplay = -1;

// Whether SIGINT and SIGTERM close the window (the caller has them and SIGUSR1
// blocked in every thread); otherwise they keep whatever handling they had.
enum class StopSignals { Default, CloseWindow };

// What the self-test does: the whole run of the window, or (a second process
// after it) only the check that the window comes back where it was left.
enum class SelfTestPhase { Run, PlacementCheck };

// The window rectangle the placement check expects (left, top, right, bottom).
struct ExpectedPlacement {
    int left = 0, top = 0, right = 0, bottom = 0;
};

struct SelfTestCounts {
    int passed = 0;
    int failed = 0;
};

struct WindowedOptions {
    // A command-line run: the window stays hidden and closes after the list.
    bool unattended = false;
    // Shows the splash picture at the start of an interactive run (start-up's splash flag).
    bool splash = false;
    // A command-line run shows its window instead (--show): nothing else changes.
    bool showUnattended = false;
    // Saves a picture of the window once a method has moved files and reached
    // runShotPercent (a shown command-line run); none when empty.
    std::string runShot;
    int runShotPercent = 35;
    // Called when a command-line run's window closes before its list ended (the
    // user or a stop signal closed it).
    std::function<void()> closedBeforeListEnd;
    // Sets the process and thread priorities once the windows exist (start-up's SetPriorities).
    std::function<void()> setPriorities;
    // Drives the window by itself and prints "N passed, N failed" (see SelfTest.h).
    bool selfTest = false;
    // The drive letter the self-test works on.
    char selfTestDrive = 'T';
    // Where the self-test saves a screenshot of the window during COMPLETE (none when empty).
    std::string screenshot;
    SelfTestPhase selfTestPhase = SelfTestPhase::Run;
    ExpectedPlacement expectedPlacement;  // for SelfTestPhase::PlacementCheck
    // The moves the self-test drive has been asked for so far (the pause check); may be empty.
    std::function<uint64_t()> moveCount;
    // Where the self-test leaves the window before it closes (the next start must restore it).
    ExpectedPlacement leavePlacement{31, 27, 31 + 780, 27 + 560};
    // When set, the self-test stores its counts here instead of printing its closing line.
    SelfTestCounts* selfTestCounts = nullptr;
    StopSignals stopSignals = StopSignals::Default;
};

// Runs the window until it closes; start-up (application.InitInstance) has
// succeeded. A command-line run keeps the window hidden and ends with its
// list. Answers the process exit status (the self-test: 0 when all passed),
// or kNoDisplay when no window can be shown.
int RunWindowedProgram(int argc, char** argv, const WindowedOptions& options);
// The same for a started application: unattended and priorities from it.
int RunWindowedProgram(app::CTarvoApp& application, int argc, char** argv, WindowedOptions options);

}  // namespace tarvo::ui
