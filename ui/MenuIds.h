// MenuIds.h --- the command identifiers of the main window that the run controller does not own.
//
// The toolkit takes identifiers below 0x7FFF only: a command's window identifier
// is its number less kCommandBase, and the framework's own commands (exit,
// about, help) use the toolkit's stock identifiers.
#pragma once

#include "ui/NtFirst.h"

#include <wx/defs.h>

namespace tarvo::ui {

constexpr int kCommandBase = 30000;
// The window identifier of command number `command` (32771 and up).
constexpr int WxIdOf(int command) { return command - kCommandBase; }
// The command number of a window identifier.
constexpr int CommandOf(int wxId) { return wxId + kCommandBase; }

constexpr int kIdClusterInspector = WxIdOf(32801);
constexpr int kIdFlatLook = WxIdOf(32802);
constexpr int kIdMessageLog = WxIdOf(32803);
constexpr int kIdHideWhenMinimized = WxIdOf(32804);
constexpr int kIdToolBar = WxIdOf(32810);
constexpr int kIdStatusBar = WxIdOf(32811);
constexpr int kIdNextPane = WxIdOf(32812);
constexpr int kIdPreviousPane = WxIdOf(32813);
constexpr int kIdExit = wxID_EXIT;
constexpr int kIdHelpTopics = wxID_HELP_CONTENTS;
constexpr int kIdContextHelp = wxID_HELP_CONTEXT;
constexpr int kIdAbout = wxID_ABOUT;

}  // namespace tarvo::ui
