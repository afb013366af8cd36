// SchedulerIds.h --- the window identifiers of the scheduling program's commands and controls.
#pragma once

#include "ui/MenuIds.h"

namespace tarvo::ui::scheduler {

// Job commands (their command numbers less the toolkit's base).
constexpr int kIdAddJob = WxIdOf(32771);
constexpr int kIdChangeJob = WxIdOf(32772);
constexpr int kIdRemoveJob = WxIdOf(32773);
constexpr int kIdRemoveAllJobs = WxIdOf(32780);
// View commands: the defragmenter's own identifiers (the numbers 59392 and 59393 lie beyond the toolkit's
// range).
constexpr int kIdViewToolBar = kIdToolBar;
constexpr int kIdViewStatusBar = kIdStatusBar;

// The job tree.
constexpr int kIdJobTree = 101;

// Job editor controls.
constexpr int kIdSpace = 1000;
constexpr int kIdComplete = 1001;
constexpr int kIdSortList = 1068;
constexpr int kIdLoggingDisabled = 1032;
constexpr int kIdLoggingEnabled = 1030;
constexpr int kIdLogLevelList = 1028;
constexpr int kIdToday = 108;  // Tomorrow 109, Every 110, Next 111
constexpr int kIdDaysList = 112;
constexpr int kIdHour = 113;
constexpr int kIdMinute = 114;
constexpr int kIdSpin = 1004;
constexpr int kIdEditorHelp = 117;

}  // namespace tarvo::ui::scheduler
