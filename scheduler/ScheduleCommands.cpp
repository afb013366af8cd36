// ScheduleCommands.cpp --- the Job commands and the reports of their failures.
#include "scheduler/ScheduleCommands.h"

#include <vector>

#include "scheduler/SchedulerTexts.h"

namespace tarvo::scheduler {

bool CScheduleCommands::CanRemoveAll() const {
    const TreeItemKind kind = m_tree.SelectedKind();
    return kind == TreeItemKind::Root || kind == TreeItemKind::Drive;
}

void CScheduleCommands::Add() {
    Job job;
    job.drive = m_tree.SelectedDrive();
    CJobEditor editor(EditorMode::Add, job);
    if (!m_runEditor(editor))
        return;
    Job added = editor.Result();
    if (!m_list.AddJob(added)) {
        m_prompt.Ask(kAddFailedText, PromptButtons::Ok, PromptIcon::Error);
        return;
    }
    m_tree.AddJobItem(added);
}

void CScheduleCommands::Change() {
    if (!CanChange())
        return;
    const Job* listed = m_list.FindJob(m_tree.SelectedData());
    if (listed == nullptr)
        return;
    CJobEditor editor(EditorMode::Change, *listed);
    if (!m_runEditor(editor))
        return;
    Job changed = editor.Result();
    if (!m_list.ChangeJob(changed)) {
        // The list keeps the former job, and so does the item.
        m_prompt.Ask(kChangeFailedText, PromptButtons::Ok, PromptIcon::Error);
        return;
    }
    m_tree.UpdateJobItem(changed);
}

void CScheduleCommands::Remove() {
    if (!CanRemove())
        return;
    if (m_prompt.Ask(kRemoveJobQuestion, PromptButtons::YesNoDefaultNo, PromptIcon::Question) !=
        PromptAnswer::Yes) {
        return;
    }
    const uint32_t key = m_tree.SelectedData();
    if (!m_list.RemoveJob(key)) {
        m_prompt.Ask(kRemoveFailedText, PromptButtons::Ok, PromptIcon::Error);
        return;
    }
    m_tree.RemoveJobItem(key);
}

void CScheduleCommands::RemoveAll() {
    if (!CanRemoveAll())
        return;
    const int16_t drive = static_cast<int16_t>(m_tree.SelectedData());
    const char* question = drive == 0 ? kRemoveAllJobsQuestion : kRemoveDriveJobsQuestion;
    if (m_prompt.Ask(question, PromptButtons::YesNoDefaultNo, PromptIcon::Question) != PromptAnswer::Yes)
        return;
    std::vector<uint32_t> keys;
    for (const Job& job : m_list.Jobs()) {
        if (drive == 0 || job.drive == drive)
            keys.push_back(job.key);
    }
    if (m_list.RemoveAllJobs(drive)) {
        m_tree.RemoveJobItems(drive);
        return;
    }
    // Only the jobs that went leave the tree.
    for (uint32_t key : keys) {
        if (m_list.FindJob(key) == nullptr)
            m_tree.RemoveJobItem(key);
    }
    m_prompt.Ask(kRemoveAllFailedText, PromptButtons::Ok, PromptIcon::Error);
}

}  // namespace tarvo::scheduler
