// SelfTestReports.h --- what the windows' self-tests print, and the toolkit's own reports counted as
// failures.
#pragma once

#include <string>

namespace tarvo::common {

// Routes the toolkit's assertions and log reports to the self-test: each is
// printed, and assertions, warnings, errors and debug reports count as
// failures. Call before the windows exist, so that none opens a dialog.
void TakeToolkitReports();
// The failing toolkit reports seen so far (any thread).
int ToolkitReports();
// Prints one line of the self-test's output and flushes it (any thread).
void PrintSelfTestLine(const std::string& line);

}  // namespace tarvo::common
