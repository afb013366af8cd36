// WindowedRun.h --- TarvoDefrag in its window, ending with the same exit statuses as a run in the terminal.
#pragma once

#include "app/Startup.h"
#include "programs/TarvoDefrag/ProgramOptions.h"

namespace tarvo::programs {

// Answered by RunInWindow when no window can be shown (the display does not answer).
constexpr int kWindowNotShown = -1;

// Runs the started application in its window until it closes. A command-line
// run answers 0, 2 or 3 as the console run does (closing the window or a stop
// signal before the list ended is a stop); an interactive run answers 0.
int RunInWindow(app::CTarvoApp& application, char* programName, const ProgramOptions& options);

// Before start-up: a second start asks the running instance's window to the front.
void ForwardSecondStartToWindow(app::CTarvoApp& application);

}  // namespace tarvo::programs
