// OrdexQueues.cpp --- the all-drives queue, the command-line list and what follows a finished run.
#include <cctype>

#include "app/MessageIds.h"
#include "control/OrdexDoc.h"
#include "engine/EngineReport.h"
#include "volume/VolumeOps.h"

namespace tarvo::control {

using engine::EngineReport;

namespace {
std::string LetterOf(int driveIndex) {
    return std::string(1, static_cast<char>('A' + driveIndex));
}
}  // namespace

void COrdexDoc::OnDefragAllDrives() {
    int index = 0;
    while (index < 25 && !volume::IsDriveIndexEligible(index)) ++index;
    if (!volume::IsDriveIndexEligible(index)) return;
    m_driveIndex = index;
    app::Settings().SetAllDrives(1, app::Persist::No);
    m_tree.SelectDrive('A' + index);
    StartDriveRun(LetterOf(index), kModeComplete);
}

void COrdexDoc::OnRunFinished() {
    m_runFinishedSeen = true;
    if (m_job && !m_job->m_gate.KeepGoing()) return;  // a stopped run does not advance a queue
    app::CSettings& settings = app::Settings();
    if (!settings.AllDrives() && m_listMethod == kNoList) return;

    if (m_listMethod == kNoList) {
        do {
            ++m_driveIndex;
        } while (m_driveIndex <= 25 && !volume::IsDriveIndexEligible(m_driveIndex));
        if (m_driveIndex > 25) {
            settings.SetAllDrives(0, app::Persist::No);
            return;
        }
        m_tree.SelectDrive('A' + m_driveIndex);
        StartDriveRun(LetterOf(m_driveIndex), kModeComplete);
        return;
    }

    int index = NextListDrive();
    while (index != -1 && !volume::IsDriveIndexEligible(index)) index = NextListDrive();
    if (index == -1) {
        m_host.PostClose();
        return;
    }
    m_tree.SelectDrive('A' + index);
    StartDriveRun(LetterOf(index), m_listMethod == kSpaceList ? kModeSpace : kModeComplete);
}

int COrdexDoc::BeginDriveList(const app::DriveList* list) {
    m_list = list;
    m_listPosition = 0;
    return NextListDrive();
}

int COrdexDoc::NextListDrive() {
    if (m_list == nullptr || m_listPosition >= m_list->size()) return -1;
    const std::string& entry = (*m_list)[m_listPosition++];
    if (entry.empty()) return -1;
    const int index = std::toupper(static_cast<unsigned char>(entry[0])) - 'A';
    return index >= 0 && index <= 25 ? index : -1;
}

void COrdexDoc::StartCommandLineRun() {
    app::CSettings& settings = app::Settings();
    if (!settings.CommandLineRun()) return;
    const app::DriveList* list = nullptr;
    if (settings.SpaceAll()) {
        list = settings.SpaceDrives();
        settings.SetAllDrives(1, app::Persist::No);
        settings.SetFATOption(1, app::Persist::No);
        settings.SetNTFSOption(1, app::Persist::No);
        m_listMethod = kSpaceList;
    } else if (settings.CompleteAll()) {
        list = settings.CompleteDrives();
        settings.SetAllDrives(1, app::Persist::No);
        settings.SetFATOption(0, app::Persist::No);
        settings.SetNTFSOption(0, app::Persist::No);
        m_listMethod = kCompleteList;
    } else {
        settings.SetAllDrives(0, app::Persist::No);
        if (settings.SpaceListGiven()) {
            list = settings.SpaceDrives();
            m_listMethod = kSpaceList;
        }
        if (settings.CompleteListGiven()) {
            list = settings.CompleteDrives();
            m_listMethod = kCompleteList;
        }
    }
    if (list == nullptr) {
        EngineReport(app::MSG_DIAG_ERROR, "2993:EDL");
        return;
    }
    const int index = BeginDriveList(list);
    // A list without a drive to run (an empty "/SPACE:") ends the program rather
    // than leaving it waiting for a run that never comes.
    if (index == -1) {
        m_host.PostClose();
        return;
    }
    RunCommandLineDrive(m_listMethod, index);
}

}  // namespace tarvo::control
