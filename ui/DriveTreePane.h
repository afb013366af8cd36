// DriveTreePane.h --- the drive tree ("My Computer" and one item per usable drive) as the run controller sees it.
//
// SetDriveState may come from the worker: the state is kept under a lock and
// the item images change later on the UI thread.
#pragma once

#include "ui/NtFirst.h"

#include <wx/treectrl.h>

#include <array>
#include <functional>
#include <mutex>

#include "control/RunWindows.h"

namespace tarvo::ui {

class CDriveTree : public wxTreeCtrl, public control::DriveTree {
public:
    explicit CDriveTree(wxWindow* parent);

    // Called when the selection changes to a drive item (the controller's DriveChosen).
    void SetDriveChosenHandler(std::function<void()> handler) { m_driveChosen = std::move(handler); }
    void SetAnalyzeHandler(std::function<void(char)> handler) { m_analyze = std::move(handler); }
    void SetBusyTest(std::function<bool()> busy) { m_busy = std::move(busy); }
    // Before a rebuild the controller drops its jobs.
    void SetDropJobsHandler(std::function<void()> handler) { m_dropJobs = std::move(handler); }

    // Rebuilds the tree from the eligible drives A..Z.
    void Fill();
    // Marks the drive 'A' + index as shown (image 2); the previous one returns to image 1.
    void MarkShown(int index);
    // The item of a drive letter, invalid when not listed.
    wxTreeItemId ItemOf(char letter) const;

    // --- control::DriveTree ---
    int SelectedDriveState() const override;
    char SelectedDriveLetter() const override;
    void SelectDrive(char letter) override;
    void SetDriveState(volume::DriveState state) override;
    void ClearDriveState() override;
    void AnalyzeSelectedDrive() override;
    void RebuildDriveList() override { Fill(); }

private:
    void OnSelectionChanged(wxTreeEvent& event);
    void OnItemMenu(wxTreeEvent& event);
    void OnActivated(wxTreeEvent& event);
    void ApplyImages();

    mutable std::mutex m_mutex;
    std::array<int, 26> m_states{};
    char m_selected = 0;
    char m_running = 0;
    char m_shown = 0;
    bool m_filling = false;
    std::function<void()> m_driveChosen;
    std::function<void(char)> m_analyze;
    std::function<bool()> m_busy;
    std::function<void()> m_dropJobs;
};

}  // namespace tarvo::ui
