// OwnCommand.h --- the program's own command line and the program path it registers.
#pragma once

#include <string>
#include <vector>

namespace tarvo::app {

// Records the words the program was started with (main's argv). Call once at
// start, before GetCommandLineA.
void SetProgramArguments(int argc, const char* const* argv);

// The process command line in the system's form: the quoted full path of the
// running program under its Windows name (with ".exe"), then the arguments,
// quoted where they need it. Our process launcher resolves such a path back to
// the binary.
std::string GetCommandLineA();

// The command line cut before its first ".exe", followed by ".exe\"".
std::string OwnCommandOf(const std::string& commandLine);

// OwnCommandOf(GetCommandLineA()).
std::string OwnCommand();

}  // namespace tarvo::app
