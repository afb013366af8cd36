// SchedulerProgram.h --- the scheduling program's start: installation check, job list, main window.
#pragma once

#include <string>

namespace tarvo::ui::scheduler {

struct SchedulerOptions {
    // The window drives itself through its commands and prints "N passed, N failed".
    bool selfTest = false;
    // With the self-test: the folder that receives a picture of the main window.
    std::string shotFolder;
};

// Exit statuses besides 0 (and the self-test's 1 for failures).
constexpr int kSchedulerNoDisplay = -1;    // the toolkit found no display
constexpr int kSchedulerNotInstalled = 2;  // the defragmenter's path is empty
constexpr int kSchedulerNoJobList = 3;     // the Schedule service was refused or would not start

int RunSchedulerProgram(int argc, char** argv, const SchedulerOptions& options);

}  // namespace tarvo::ui::scheduler
