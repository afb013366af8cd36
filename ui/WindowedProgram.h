// WindowedProgram.h --- the defragmenter with its window: the wx application around CMainFrame.
#pragma once

#include "ui/NtFirst.h"

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

struct WindowedOptions {
    // A command-line run: the window stays hidden and closes after the list.
    bool unattended = false;
    // Sets the process and thread priorities once the windows exist (start-up's SetPriorities).
    std::function<void()> setPriorities;
    // Drives the window by itself and prints "N passed, N failed" (see SelfTest.h).
    bool selfTest = false;
    // The drive letter the self-test works on.
    char selfTestDrive = 'T';
    // Where the self-test saves a screenshot of the window (none when empty).
    std::string screenshot;
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
