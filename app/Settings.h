// Settings.h --- the settings record: one process-wide copy of the stored settings plus the fields of a
// command-line run.
//
// Start-up loads it once; every layer then queries it through Settings(). The
// getters and setters are thread-safe (workers read while the UI thread writes).
// The command-line fields are never stored.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "app/SettingsTable.h"
#include "platform/core/NtTypes.h"

namespace tarvo::app {

using platform::BOOL;

// Whether a setter also writes the registry.
enum class Persist { No, Yes };

// A drive list of a command-line run: one-letter strings in the order given.
using DriveList = std::vector<std::string>;

// Answers whether the boot-time page-file service is registered (read from
// the system at load).
using BootServiceProbe = BOOL (*)();

class CSettings {
public:
    // A record holding the defaults and no command-line run.
    CSettings();

    // Fills the stored fields from the registry, each through its reader with its
    // default and clamping, and asks `probe` for the boot-time service flag
    // (null: a read-only look at the boot-execute list). Call after the
    // profile's registry key is set.
    void Load(BootServiceProbe probe = nullptr);

    // Command-line run fields, in record order.
    BOOL SpaceListGiven() const { return m_spaceListGiven; }
    BOOL CompleteListGiven() const { return m_completeListGiven; }
    // The drive lists are references into the command-line record (null when not given).
    const DriveList* SpaceDrives() const { return m_spaceDrives; }
    const DriveList* CompleteDrives() const { return m_completeDrives; }
    BOOL CommandLineRun() const { return m_commandLineRun; }
    BOOL CompleteAll() const { return m_completeAll; }
    BOOL SpaceAll() const { return m_spaceAll; }

    // Stored fields, in record order.
    BOOL HideOnMinimize() const { return m_hideOnMinimize; }
    BOOL BootServiceRegistered() const { return m_bootServiceRegistered; }
    BOOL RemovableDrives() const { return m_removableDrives; }
    BOOL CollapseList() const { return m_collapseList; }
    // All-drives mode: starts as the stored AllDrives value; the program changes it without storing.
    BOOL AllDrives() const { return m_allDrives; }
    BOOL DontAskUserAgain() const { return m_dontAskUserAgain; }
    std::string WindowPos() const;
    int LogLevel() const { return m_logLevel; }
    BOOL Enabled() const { return m_enabled; }
    BOOL DontDisplay() const { return m_dontDisplay; }
    BOOL QuietMode() const { return m_quietMode; }
    BOOL BufferMessages() const { return m_bufferMessages; }
    BOOL FlatBar() const { return m_flatBar; }
    BOOL DrawShadow() const { return m_drawShadow; }
    int BlockSize() const { return m_blockSize; }
    BOOL ForceAnalyzation() const { return m_forceAnalyzation; }
    int NTFSOption() const { return m_ntfsOption; }
    int NTFSSortedBy() const { return m_ntfsSortedBy; }
    int FATOption() const { return m_fatOption; }
    int FATSortedBy() const { return m_fatSortedBy; }
    int NormalPriority() const { return m_normalPriority; }
    int ScheduledPriority() const { return m_scheduledPriority; }

    // Setters: store the value in the record and, with Persist::Yes, write the
    // registry and answer the writer's result (a failed write leaves the record
    // changed); with Persist::No answer 1.
    BOOL SetHideOnMinimize(BOOL value, Persist persist);
    BOOL SetCollapseList(BOOL value, Persist persist);
    BOOL SetWindowPos(const std::string& value, Persist persist);
    BOOL SetAllDrives(BOOL value, Persist persist);
    BOOL SetDontAskUserAgain(BOOL value, Persist persist);
    BOOL SetFlatBar(BOOL value, Persist persist);
    BOOL SetNTFSOption(int value, Persist persist);
    BOOL SetFATOption(int value, Persist persist);

    // Fields written when a command line is applied; none of them is stored.
    // A list points into the caller's command-line record, which must outlive
    // the run; giving a list marks it as given.
    void SetSpaceDrives(const DriveList* drives);
    void SetCompleteDrives(const DriveList* drives);
    void SetAllFlags(BOOL spaceAll, BOOL completeAll);
    void SetCommandLineRun(BOOL value) { m_commandLineRun = value; }
    // Run-only overrides of stored settings.
    void SetLogging(BOOL enabled, int level);
    void SetQuietMode(BOOL value) { m_quietMode = value; }
    void SetSortedBy(int order);

private:
    std::atomic<BOOL> m_spaceListGiven{0};
    std::atomic<BOOL> m_completeListGiven{0};
    std::atomic<BOOL> m_hideOnMinimize;
    std::atomic<const DriveList*> m_spaceDrives{nullptr};
    std::atomic<const DriveList*> m_completeDrives{nullptr};
    std::atomic<BOOL> m_commandLineRun{0};
    std::atomic<BOOL> m_completeAll{0};
    std::atomic<BOOL> m_spaceAll{0};
    std::atomic<BOOL> m_bootServiceRegistered{0};
    std::atomic<BOOL> m_removableDrives;
    std::atomic<BOOL> m_collapseList;
    std::atomic<BOOL> m_allDrives;
    std::atomic<BOOL> m_dontAskUserAgain;
    mutable std::mutex m_windowPosLock;
    std::string m_windowPos;
    std::atomic<int> m_logLevel;
    std::atomic<BOOL> m_enabled;
    std::atomic<BOOL> m_dontDisplay;
    std::atomic<BOOL> m_quietMode;
    std::atomic<BOOL> m_bufferMessages;
    std::atomic<BOOL> m_flatBar;
    std::atomic<BOOL> m_drawShadow;
    std::atomic<int> m_blockSize;
    std::atomic<BOOL> m_forceAnalyzation;
    std::atomic<int> m_ntfsOption;
    std::atomic<int> m_ntfsSortedBy;
    std::atomic<int> m_fatOption;
    std::atomic<int> m_fatSortedBy;
    std::atomic<int> m_normalPriority;
    std::atomic<int> m_scheduledPriority;
};

// The process-wide settings record.
CSettings& Settings();

}  // namespace tarvo::app
