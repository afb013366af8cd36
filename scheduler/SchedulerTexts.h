// SchedulerTexts.h --- the fixed texts of the scheduling program's windows (tree, editor, questions, menus).
#pragma once

namespace tarvo::scheduler {

// The job tree.
inline constexpr const char* kMyComputerText = "My Computer";
inline constexpr const char* kDriveRootFormat = "%c:\\";  // the drive letter and ":\"

// Editor titles; %s is the drive letter.
inline constexpr const char* kAddDriveTitle = "Add a job for drive %s:\\";
inline constexpr const char* kAddAllTitle = "Add a job for all drives.";
inline constexpr const char* kChangeDriveTitle = "Change parameters of job on drive %s:\\";
inline constexpr const char* kChangeAllTitle = "Change parameters of job for all drives.";

// Questions before removals (Yes and No, No the default).
inline constexpr const char* kRemoveJobQuestion = "Are you sure you want to remove this job?";
inline constexpr const char* kRemoveDriveJobsQuestion =
    "Are you sure you want to remove ALL jobs of this drive?";
inline constexpr const char* kRemoveAllJobsQuestion = "Are you sure you want to remove ALL jobs?";

// Reports of service failures; the job keeps its former settings in the tree and the list.
inline constexpr const char* kAddFailedText =
    "The job could not be added to the Schedule service. No job has been scheduled.";
inline constexpr const char* kChangeFailedText =
    "The job could not be changed in the Schedule service. It keeps its former settings.";
inline constexpr const char* kRemoveFailedText =
    "The job could not be removed from the Schedule service. It stays scheduled.";
inline constexpr const char* kRemoveAllFailedText =
    "Some jobs could not be removed from the Schedule service. They stay scheduled and listed.";

// Start-up without an installed defragmenter.
inline constexpr const char* kNotInstalledTitle = "Tarvo Defrag not installed";
inline constexpr const char* kNotInstalledText =
    "Tarvo Defrag is not installed on your local machine. You have to install Tarvo Defrag before you can "
    "schedule jobs.";

inline constexpr const char* kProgramTitle = "Tarvo Defrag";
inline constexpr const char* kRegistryRoot = "Tarvo";

// Job editor: group captions, list entries and the range checks of the time fields.
inline constexpr const char* kMethodGroup = "Defragmentation method";
inline constexpr const char* kSortGroup = "COMPLETE organizes files by";
inline constexpr const char* kLoggingGroup = "Logging";
inline constexpr const char* kOccurrenceGroup = "Run Tarvo Defrag";
inline constexpr const char* kDaysGroup = "Days";
inline constexpr const char* kTimeGroup = "Time (24h-mode)";
inline constexpr const char* kSortEntries[] = {"(use Tarvo Defrag settings)", "Last modified (newest last)",
                                               "Name (ascending)"};
inline constexpr const char* kLogLevelEntries[] = {
    "Level 1: Report errors only.", "Level 2: Report warnings and errors.",
    "Level 3: Report information, warnings, and errors.", "Level 4: Report any information provided."};
inline constexpr const char* kWeekDayEntries[] = {"Monday", "Tuesday",  "Wednesday", "Thursday",
                                                  "Friday", "Saturday", "Sunday"};
inline constexpr const char* kNotIntegerText = "Enter an integer.";
inline constexpr const char* kIntegerRangeFormat = "Enter an integer between %d and %d.";

// Commands: menu texts and status-bar prompts.
inline constexpr const char* kAddMenuText = "&Add..\tIns";
inline constexpr const char* kChangeMenuText = "&Change...\tEnter";
inline constexpr const char* kRemoveMenuText = "&Remove...\tDel";
inline constexpr const char* kRemoveAllMenuText = "Remove all...";
inline constexpr const char* kExitMenuText = "E&xit";
inline constexpr const char* kToolbarMenuText = "&Toolbar";
inline constexpr const char* kStatusBarMenuText = "&Status Bar";
inline constexpr const char* kHelpTopicsMenuText = "&Help Topics";
inline constexpr const char* kAboutMenuText = "&About Tarvo Scheduler for Defrag...";
inline constexpr const char* kAddPrompt = "Add a job to the schedule.";
inline constexpr const char* kChangePrompt = "Change settings of a job.";
inline constexpr const char* kRemovePrompt = "Remove a job from the schedule.";
inline constexpr const char* kRemoveAllPrompt = "Remove all jobs of a specific drive or computer.";

}  // namespace tarvo::scheduler
