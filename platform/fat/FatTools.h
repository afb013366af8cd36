// FatTools.h --- running the independent FAT tools (mkfs.fat, mtools, fsck.fat) and reading their output.
#pragma once

#include <string>
#include <vector>

namespace tarvo::platform {

// Runs a program found by FindTool with the given arguments (argv[0] is the program),
// with MTOOLS_SKIP_CHECK=1 in its environment and stdin from /dev/null. Answers
// its exit status (127 when it cannot be started, 128 + n when killed by signal n)
// and what it wrote to stdout and stderr, interleaved. Thread-safe.
int RunTool(const std::vector<std::string>& argv, std::string& output);

// The full path of a program on PATH or in the sbin folders (where dosfstools lives); empty when absent.
std::string FindTool(const std::string& program);

// True when FindTool finds the program.
bool ToolAvailable(const std::string& program);

}  // namespace tarvo::platform
