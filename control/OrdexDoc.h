// OrdexDoc.h --- COrdexDoc, the run controller: one job at a time, its worker thread, pause, stop,
// the all-drives queue and the command-line list.
//
// Every menu command is a method with an enable rule, so a window only binds
// them. The controller runs on the UI thread; it talks to the windows through
// RunWindows.h and reports through the logger.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "app/Settings.h"
#include "control/RunWindows.h"
#include "control/WorkerEntries.h"
#include "control/WorkerThread.h"
#include "platform/core/NtTypes.h"
#include "volume/DefragJob.h"

namespace tarvo::control {

using platform::BOOL;

// Menu identifiers of the commands.
enum class CommandId : int {
    StartSpace = 32771,
    Stop = 32774,
    DriveInfo = 32775,
    Refresh = 32776,
    SystemUsedFiles = 32777,
    Options = 32780,
    Analyze = 32781,
    DefragAllDrives = 32783,
    StartComplete = 32784,
    Pause = 32785,
    Scheduling = 32799,
    ExclusionList = 32800,
    ReloadDriveList = 32806,
};

struct CommandState {
    bool enabled = false;
    bool checked = false;
};

// Job modes, as the job's pending mode holds them.
constexpr int kModeAnalysis = 1;
constexpr int kModeSpace = 2;
constexpr int kModeComplete = 3;

// List methods of a command-line run.
constexpr int kNoList = -1;
constexpr int kSpaceList = 1;
constexpr int kCompleteList = 2;

// Whether the program runs scheduled (a command-line run): workers then get the lowest priority.
enum class RunKind { Interactive, Scheduled };

class COrdexDoc {
public:
    // view may be null (a document without a cluster map view reports 0xC0020005).
    COrdexDoc(DocumentHost& host, ClusterMapView* view, DriveTree& tree, WorkerEntries entries, RunKind kind);
    // Releases the job and terminates a scheduler program it started.
    ~COrdexDoc();
    COrdexDoc(const COrdexDoc&) = delete;
    COrdexDoc& operator=(const COrdexDoc&) = delete;

    // --- commands: the enable rule, then the handler ---
    CommandState UpdateCommand(CommandId id);
    void OnCommand(CommandId id);
    void OnStartSpace() { MenuStart(kModeSpace); }
    void OnStartComplete() { MenuStart(kModeComplete); }
    void OnAnalyze() { m_tree.AnalyzeSelectedDrive(); }
    void OnDefragAllDrives();
    void OnPause();
    void OnStop() { StopRun(); }
    void OnRefresh();
    void OnOptions();
    void OnScheduling();

    // --- operations used by the windows and the start-up ---
    BOOL StartDriveRun(const std::string& drive, int mode);
    BOOL AnalyzeDrive(const std::string& drive);
    BOOL RunCommandLineDrive(int listMethod, int driveIndex);
    // UM_RUN_FINISHED arrived: the next queued drive, or the end of a command-line list.
    void OnRunFinished();
    // The stop command: releases the job, waiting for its worker.
    void StopRun();
    void DriveChosen();
    int BeginDriveList(const app::DriveList* list);
    int NextListDrive();
    // The job if it exists and may go on, else null.
    volume::CDefragJob* GetRunningJob();
    void SetDriveState(volume::DriveState state) { m_tree.SetDriveState(state); }
    // Starts the drives of a command-line run (once, when the view is first shown).
    void StartCommandLineRun();
    // The closing of the document: releases the job and reports 0x40023002.
    void OnCloseDocument();

    // --- state, for the windows and tests ---
    volume::CDefragJob* Job() { return m_job.get(); }
    bool WorkerRunning() const;
    bool Paused() const { return m_paused; }
    int ListMethod() const { return m_listMethod; }
    int DriveIndex() const { return m_driveIndex; }
    const std::string& CurrentDrive() const { return m_currentDrive; }
    // The mode of the last worker started (1..3), 0 before any.
    int RunningMode() const { return m_runningMode; }

    // The stop's bounded wait: maxWaits waits of period each (1000 of 100 ms).
    void SetStopWait(int maxWaits, std::chrono::milliseconds period);

private:
    enum class StartKind { DriveRun, Analyze, Menu, ListDrive };
    BOOL StartJob(const std::string& drive, int mode, StartKind kind);
    BOOL InitialiseJob();
    BOOL StartJobThread(int mode);
    void MenuStart(int mode);
    void ReleaseJob();
    void OnWorkerEnded(const volume::CDefragJob* job);
    bool JobIdle() const;
    bool JobActive() const;
    bool StartRulesAllow(bool ignoreAllDrives);

    DocumentHost& m_host;
    ClusterMapView* m_view;
    DriveTree& m_tree;
    WorkerEntries m_entries;
    RunKind m_kind;

    std::string m_currentDrive;
    int m_listMethod = kNoList;
    const app::DriveList* m_list = nullptr;
    size_t m_listPosition = 0;
    bool m_paused = false;
    int m_driveIndex = 0;
    platform::HANDLE m_schedulerProcess = nullptr;
    std::unique_ptr<volume::CDefragJob> m_job;
    std::unique_ptr<CWorkerThread> m_worker;
    int m_runningMode = 0;
    bool m_runFinishedSeen = false;

    int m_maxWaits = 1000;
    std::chrono::milliseconds m_waitPeriod{100};
};

}  // namespace tarvo::control
