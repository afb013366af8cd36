// WxTreeControl.cpp --- tree items with their data (the drive code or job key) in a toolkit tree.
#include "ui/scheduler/WxTreeControl.h"

namespace tarvo::ui::scheduler {

namespace {
class TreeItemValue : public wxTreeItemData {
public:
    explicit TreeItemValue(uint32_t value) : value(value) {}
    uint32_t value;
};
}  // namespace

CWxTreeControl::TreeItem CWxTreeControl::InsertItem(TreeItem parent, const std::string& text, int image,
                                                    uint32_t data) {
    const wxString label = wxString::FromUTF8(text);
    if (parent == tarvo::scheduler::kNoItem)
        return Handle(m_tree.AddRoot(label, image, image, new TreeItemValue(data)));
    return Handle(m_tree.AppendItem(Id(parent), label, image, image, new TreeItemValue(data)));
}

void CWxTreeControl::SetItem(TreeItem item, const std::string& text, int image) {
    m_tree.SetItemText(Id(item), wxString::FromUTF8(text));
    m_tree.SetItemImage(Id(item), image, wxTreeItemIcon_Normal);
    m_tree.SetItemImage(Id(item), image, wxTreeItemIcon_Selected);
}

CWxTreeControl::TreeItem CWxTreeControl::FirstChild(TreeItem item) const {
    wxTreeItemIdValue cookie;
    return Handle(m_tree.GetFirstChild(Id(item), cookie));
}

uint32_t CWxTreeControl::ItemData(TreeItem item) const {
    auto* data = static_cast<TreeItemValue*>(m_tree.GetItemData(Id(item)));
    return data ? data->value : 0;
}

}  // namespace tarvo::ui::scheduler
