// DriveTreePane.cpp --- filling the drive tree, its images and its notifications.
#include "ui/DriveTreePane.h"

#include <wx/artprov.h>
#include <wx/imaglist.h>
#include <wx/menu.h>

#include "app/Settings.h"
#include "control/OrdexDoc.h"
#include "platform/drives/Win32Files.h"
#include "ui/MenuIds.h"
#include "volume/VolumeOps.h"

namespace tarvo::ui {

namespace {

constexpr const char* kMyComputer = "My Computer";  // string 33207

// Item data: 1 for a drive item, none for the root.
class DriveItemData : public wxTreeItemData {
public:
    explicit DriveItemData(char letter) : letter(letter) {}
    char letter;
};

}  // namespace

CDriveTree::CDriveTree(wxWindow* parent)
    : wxTreeCtrl(parent, wxID_ANY, wxDefaultPosition, wxSize(200, 200),
                 wxTR_HAS_BUTTONS | wxTR_LINES_AT_ROOT | wxTR_SINGLE) {
    auto* images = new wxImageList(16, 16, true);
    const wxSize size(16, 16);
    images->Add(wxArtProvider::GetBitmap(wxART_FOLDER, wxART_OTHER, size));        // 0 the computer
    images->Add(wxArtProvider::GetBitmap(wxART_HARDDISK, wxART_OTHER, size));      // 1 a drive
    images->Add(wxArtProvider::GetBitmap(wxART_GO_FORWARD, wxART_OTHER, size));    // 2 the drive shown
    images->Add(wxArtProvider::GetBitmap(wxART_EXECUTABLE_FILE, wxART_OTHER, size));  // 3 SPACE started
    images->Add(wxArtProvider::GetBitmap(wxART_TICK_MARK, wxART_OTHER, size));     // 4 COMPLETE started
    AssignImageList(images);
    Bind(wxEVT_TREE_SEL_CHANGED, &CDriveTree::OnSelectionChanged, this);
    Bind(wxEVT_TREE_ITEM_MENU, &CDriveTree::OnItemMenu, this);
    Bind(wxEVT_TREE_ITEM_ACTIVATED, &CDriveTree::OnActivated, this);
}

void CDriveTree::Fill() {
    m_filling = true;
    if (m_dropJobs) m_dropJobs();
    {
        std::lock_guard lock(m_mutex);
        m_states.fill(0);
        m_selected = m_running = m_shown = 0;
    }
    DeleteAllItems();
    const wxTreeItemId root = AddRoot(kMyComputer, 0, 0);
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        if (!volume::IsDriveEligible(letter)) continue;
        const std::string rootPath = std::string(1, letter) + ":\\";
        char volumeName[256] = {}, fileSystem[64] = {};
        platform::DWORD serial = 0, maxComponent = 0, flags = 0;
        if (!platform::GetVolumeInformationA(rootPath.c_str(), volumeName, sizeof volumeName, &serial, &maxComponent,
                                             &flags, fileSystem, sizeof fileSystem))
            continue;
        AppendItem(root, rootPath + "    (" + fileSystem + ")", 1, 1, new DriveItemData(letter));
        std::lock_guard lock(m_mutex);
        m_states[static_cast<size_t>(letter - 'A')] = 1;
    }
    Expand(root);
    m_filling = false;
}

wxTreeItemId CDriveTree::ItemOf(char letter) const {
    if (!GetRootItem().IsOk()) return {};
    wxTreeItemIdValue cookie;
    for (wxTreeItemId item = GetFirstChild(GetRootItem(), cookie); item.IsOk();
         item = GetNextChild(GetRootItem(), cookie)) {
        auto* data = static_cast<DriveItemData*>(GetItemData(item));
        if (data && data->letter == letter) return item;
    }
    return {};
}

void CDriveTree::MarkShown(int index) {
    const char letter = static_cast<char>('A' + index);
    if (m_shown && m_shown != letter) {
        if (const wxTreeItemId old = ItemOf(m_shown); old.IsOk()) SetItemImage(old, 1);
    }
    if (const wxTreeItemId item = ItemOf(letter); item.IsOk()) SetItemImage(item, 2);
    m_shown = letter;
}

int CDriveTree::SelectedDriveState() const {
    std::lock_guard lock(m_mutex);
    return m_selected ? m_states[static_cast<size_t>(m_selected - 'A')] : 0;
}

char CDriveTree::SelectedDriveLetter() const {
    std::lock_guard lock(m_mutex);
    return m_selected;
}

void CDriveTree::SelectDrive(char letter) {
    const wxTreeItemId item = ItemOf(letter);
    if (item.IsOk()) SelectItem(item);
}

void CDriveTree::SetDriveState(volume::DriveState state) {
    {
        std::lock_guard lock(m_mutex);
        if (!m_running) m_running = m_selected;
        if (m_running) m_states[static_cast<size_t>(m_running - 'A')] = static_cast<int>(state);
    }
    CallAfter([this] { ApplyImages(); });
}

void CDriveTree::ClearDriveState() {
    {
        std::lock_guard lock(m_mutex);
        if (m_running) m_states[static_cast<size_t>(m_running - 'A')] = 1;
        m_running = 0;
    }
    CallAfter([this] { ApplyImages(); });
}

void CDriveTree::ApplyImages() {
    std::array<int, 26> states;
    char running = 0;
    {
        std::lock_guard lock(m_mutex);
        states = m_states;
        running = m_running;
    }
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        const wxTreeItemId item = ItemOf(letter);
        if (!item.IsOk()) continue;
        const int state = states[static_cast<size_t>(letter - 'A')];
        int image = letter == m_shown ? 2 : 1;
        if (letter == running && (state == 3 || state == 4)) image = state;
        SetItemImage(item, image);
    }
}

void CDriveTree::AnalyzeSelectedDrive() {
    const char letter = SelectedDriveLetter();
    if (letter == 0 || !m_analyze) return;
    MarkShown(letter - 'A');
    m_analyze(letter);
}

void CDriveTree::OnSelectionChanged(wxTreeEvent& event) {
    if (m_filling) return;
    auto* data = event.GetItem().IsOk() ? static_cast<DriveItemData*>(GetItemData(event.GetItem())) : nullptr;
    {
        std::lock_guard lock(m_mutex);
        m_selected = data ? data->letter : 0;
    }
    if (data && m_driveChosen) m_driveChosen();
}

void CDriveTree::OnActivated(wxTreeEvent& event) {
    auto* data = event.GetItem().IsOk() ? static_cast<DriveItemData*>(GetItemData(event.GetItem())) : nullptr;
    if (data == nullptr || (m_busy && m_busy())) return;
    if (m_driveChosen) m_driveChosen();
}

void CDriveTree::OnItemMenu(wxTreeEvent& event) {
    auto* data = event.GetItem().IsOk() ? static_cast<DriveItemData*>(GetItemData(event.GetItem())) : nullptr;
    SelectItem(event.GetItem());
    if (data == nullptr) return;
    wxMenu menu;  // menu 130
    menu.Append(WxIdOf(static_cast<int>(control::CommandId::Analyze)), "&Analyze Drive");
    menu.AppendSeparator();
    menu.Append(WxIdOf(static_cast<int>(control::CommandId::StartSpace)), "Start &SPACE");
    menu.Append(WxIdOf(static_cast<int>(control::CommandId::StartComplete)), "Start &COMPLETE");
    wxWindow* top = wxGetTopLevelParent(this);
    top->PopupMenu(&menu, top->ScreenToClient(wxGetMousePosition()));
}

}  // namespace tarvo::ui
