// SchedulerProgram.h --- the scheduling program's start: installation check, document, main window, event
// loop.
#pragma once

namespace tarvo::ui::scheduler {

struct SchedulerOptions {
    // The window drives itself through its commands and prints "N passed, N failed".
    bool selfTest = false;
};

// Exit statuses besides 0 (and the self-test's 1 for failures).
constexpr int kSchedulerNoDisplay = -1;    // the toolkit found no display
constexpr int kSchedulerNotInstalled = 2;  // the defragmenter's path is empty
constexpr int kSchedulerNoJobList = 3;     // the Schedule service was refused or would not start

int RunSchedulerProgram(int argc, char** argv, const SchedulerOptions& options);

}  // namespace tarvo::ui::scheduler
