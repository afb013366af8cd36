// OptionsTexts.h --- the captions, page titles and fixed texts of the options sheet.
#pragma once

namespace tarvo::ui {

constexpr const char* kOptionsCaption = "Options";  // string 114
// The pages in tab order.
constexpr const char* kOptionsPageTitles[] = {"Defragmentation", "Display", "Diagnostics", "Advanced"};

constexpr const char* kPageFileText = "Take care of Windows NT-pagefile on next system restart.";
constexpr const char* kSortLabel = "COMPLETE organizes files by";
constexpr const char* kSortItems[] = {"Name (ascending)", "Last modified (newest last)"};
constexpr const char* kBlockSizeUnit = "pixel per block";
constexpr const char* kThreeDText = "Display clusters as 3-D";
constexpr const char* kNoMapText = "Do not draw cluster graphics.";
constexpr const char* kLevelItems[] = {
    "Level 1: Report errors only.",
    "Level 2: Report warnings and errors.",
    "Level 3: Report information, warnings, and errors.",
    "Level 4: Report any information provided.",
};
constexpr const char* kQuietText = "Do not display any message boxes.";
constexpr const char* kBufferText = "Log messages during defragmentation and display them after completion.";
constexpr const char* kRemovableText = "Allow removable drives to be defragmented.";
constexpr const char* kForceAnalyzationText = "Force analyzation before defragmentation.";

// The question before removable drives are allowed (string 33722).
constexpr const char* kRemovableWarning =
    "If you eject the media of a removable drive while a defragmentation process is running, data may be "
    "corrupted and/or lost. The makers of Tarvo Defrag accept no liability for data lost this way.\n"
    "Are you sure to allow defragmentation of removable drives?";

// Shown when a writer failed: the sheet stays open with its values.
constexpr const char* kOptionsNotStored =
    "The options could not be stored completely. Check that the settings store can be written and try again.";

}  // namespace tarvo::ui
