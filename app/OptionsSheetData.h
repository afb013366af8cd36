// OptionsSheetData.h --- the values of the options sheet while it is open: loaded from the settings, stored
// through their writers, and what a store changes in the running program.
//
// Toolkit-free, so that the sheet's rules run without a display; the window
// (ui/OptionsSheet.h) only shows these values and hands edits back. UI thread.
#pragma once

#include <functional>

#include "platform/core/NtTypes.h"

namespace tarvo::app {

using platform::BOOL;

constexpr int kMinBlockSize = 3;
constexpr int kMaxBlockSize = 12;
constexpr int kLevelCount = 4;  // "Level 1" .. "Level 4"

// What the controls show, each as an index or a check.
struct OptionsValues {
    int fatMethod = 0;   // 0 SPACE, 1 COMPLETE
    int ntfsMethod = 0;  // 0 SPACE, 1 COMPLETE
    BOOL bootPageFile = 0;
    int sortIndex = 0;  // 0 by name, 1 by last modification (both file systems)
    int blockSize = 9;  // kMinBlockSize..kMaxBlockSize pixels per block
    BOOL threeD = 1;
    BOOL noMap = 0;
    int loggingIndex = 1;  // 0 disabled, 1 enabled
    int levelIndex = 0;    // 0..kLevelCount-1, the stored LogLevel minus 1
    BOOL quiet = 0;
    BOOL buffer = 1;
    int priorityInvoked = 1;    // 0 low .. 2 high
    int priorityScheduled = 1;  // 0 low .. 2 high
    BOOL removable = 0;

    bool operator==(const OptionsValues&) const = default;
};

// What one Store did.
struct StoreResult {
    // Every writer succeeded; when not, what could be written stays written.
    bool stored = false;
    bool removableChanged = false;
    bool normalPriorityChanged = false;
};

class COptionsSheetData {
public:
    // Fills the values from the settings record and the registry. First writes
    // the process's present priority class to NormalPriority (persisted), so
    // that the sheet shows the priority the program runs at.
    void Load();

    // Writes every value through its writer, in the order FATOption, NTFSOption,
    // boot-time page-file option, FATSortedBy, NTFSSortedBy, BlockSize,
    // DrawShadow, DontDisplay, RemovableDrives, NormalPriority,
    // ScheduledPriority, QuietMode, BufferMessages, Enabled, LogLevel; then
    // reloads the settings record (keeping the program's all-drives mode) and
    // sets the process priority class when NormalPriority changed. The caller
    // reloads the drive list when removableChanged says so.
    StoreResult Store();

    OptionsValues& Values() { return m_values; }
    const OptionsValues& Values() const { return m_values; }

    // The user checked or cleared "Allow removable drives to be defragmented.":
    // checking takes effect only when confirm() answers yes. Answers the value
    // now held (the check box must show it).
    BOOL SetRemovable(BOOL on, const std::function<bool()>& confirm);

private:
    OptionsValues m_values;
    // The NormalPriority value the registry held when the sheet was loaded.
    int m_loadedPriority = 1;
};

}  // namespace tarvo::app
