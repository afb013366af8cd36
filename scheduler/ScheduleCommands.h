// ScheduleCommands.h --- the Job commands (Add, Change, Remove, Remove all) over the job list and the job
// tree.
//
// Every change goes to the job list (and so the Schedule service) first; the
// tree follows what the list holds afterwards, and a failure is reported
// through the prompt, so the tree never shows a job the list lacks or drops
// one the list keeps. Runs on the user-interface thread.
#pragma once

#include <ctime>
#include <functional>

#include "scheduler/JobEditor.h"
#include "scheduler/JobList.h"
#include "scheduler/JobTree.h"
#include "scheduler/Prompt.h"

namespace tarvo::scheduler {

// Shows the editor until it is confirmed (true; its Confirm answered "") or cancelled (false).
using EditorRunner = std::function<bool(CJobEditor& editor)>;

class CScheduleCommands {
public:
    CScheduleCommands(CJobList& list, CJobTree& tree, CPrompt& prompt, EditorRunner runEditor)
        : m_list(list), m_tree(tree), m_prompt(prompt), m_runEditor(std::move(runEditor)) {}

    static bool CanAdd() { return true; }
    bool CanChange() const { return m_tree.SelectedKind() == TreeItemKind::Job; }
    bool CanRemove() const { return CanChange(); }
    bool CanRemoveAll() const;

    // A new job for the selected drive (a job item's parent drive; the root: all drives).
    void Add();
    // Edits the selected job; nothing unless a job item is selected.
    void Change();
    // Asks, then removes the selected job.
    void Remove();
    // Asks, then removes every job of the selected drive, or all jobs for the root.
    void RemoveAll();

private:
    CJobList& m_list;
    CJobTree& m_tree;
    CPrompt& m_prompt;
    EditorRunner m_runEditor;
};

}  // namespace tarvo::scheduler
