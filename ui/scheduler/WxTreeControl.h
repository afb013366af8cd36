// WxTreeControl.h --- the job tree's operations answered by a toolkit tree control.
#pragma once

#include "ui/NtFirst.h"

#include <wx/treectrl.h>

#include "scheduler/TreeControl.h"

namespace tarvo::ui::scheduler {

class CWxTreeControl : public tarvo::scheduler::CTreeControl {
public:
    using TreeItem = tarvo::scheduler::TreeItem;
    explicit CWxTreeControl(wxTreeCtrl& tree) : m_tree(tree) {}

    void DeleteAllItems() override { m_tree.DeleteAllItems(); }
    TreeItem InsertItem(TreeItem parent, const std::string& text, int image, uint32_t data) override;
    void SetItem(TreeItem item, const std::string& text, int image) override;
    void DeleteItem(TreeItem item) override { m_tree.Delete(Id(item)); }
    void Expand(TreeItem item) override { m_tree.Expand(Id(item)); }
    void SelectItem(TreeItem item) override { m_tree.SelectItem(Id(item)); }

    TreeItem RootItem() const override { return Handle(m_tree.GetRootItem()); }
    TreeItem SelectedItem() const override { return Handle(m_tree.GetSelection()); }
    TreeItem ParentItem(TreeItem item) const override { return Handle(m_tree.GetItemParent(Id(item))); }
    TreeItem FirstChild(TreeItem item) const override;
    TreeItem NextSibling(TreeItem item) const override { return Handle(m_tree.GetNextSibling(Id(item))); }
    uint32_t ItemData(TreeItem item) const override;
    std::string ItemText(TreeItem item) const override { return m_tree.GetItemText(Id(item)).utf8_string(); }
    int ItemImage(TreeItem item) const override { return m_tree.GetItemImage(Id(item)); }
    bool IsExpanded(TreeItem item) const override { return m_tree.IsExpanded(Id(item)); }

    static wxTreeItemId Id(TreeItem item) { return wxTreeItemId(reinterpret_cast<void*>(item)); }
    static TreeItem Handle(const wxTreeItemId& id) {
        return id.IsOk() ? reinterpret_cast<TreeItem>(id.GetID()) : tarvo::scheduler::kNoItem;
    }

private:
    wxTreeCtrl& m_tree;
};

}  // namespace tarvo::ui::scheduler
