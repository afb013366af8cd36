// TreeControl.h --- the tree control operations the job tree needs; the window's tree and an in-memory tree
// answer them.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tarvo::scheduler {

// An item handle; kNoItem for none.
using TreeItem = uintptr_t;
inline constexpr TreeItem kNoItem = 0;

class CTreeControl {
public:
    virtual ~CTreeControl() = default;
    virtual void DeleteAllItems() = 0;
    // Inserts the item as the last child of parent (kNoItem: the root item).
    virtual TreeItem InsertItem(TreeItem parent, const std::string& text, int image, uint32_t data) = 0;
    // Sets the text and both images of an item.
    virtual void SetItem(TreeItem item, const std::string& text, int image) = 0;
    virtual void DeleteItem(TreeItem item) = 0;
    virtual void Expand(TreeItem item) = 0;
    virtual void SelectItem(TreeItem item) = 0;

    virtual TreeItem RootItem() const = 0;
    virtual TreeItem SelectedItem() const = 0;
    virtual TreeItem ParentItem(TreeItem item) const = 0;
    virtual TreeItem FirstChild(TreeItem item) const = 0;
    virtual TreeItem NextSibling(TreeItem item) const = 0;
    virtual uint32_t ItemData(TreeItem item) const = 0;
    virtual std::string ItemText(TreeItem item) const = 0;
    virtual int ItemImage(TreeItem item) const = 0;
    virtual bool IsExpanded(TreeItem item) const = 0;
};

// A tree control kept in memory: the job tree without a display.
class CMemoryTree : public CTreeControl {
public:
    void DeleteAllItems() override;
    TreeItem InsertItem(TreeItem parent, const std::string& text, int image, uint32_t data) override;
    void SetItem(TreeItem item, const std::string& text, int image) override;
    void DeleteItem(TreeItem item) override;
    void Expand(TreeItem item) override { m_nodes.at(item).expanded = true; }
    void SelectItem(TreeItem item) override { m_selected = item; }

    TreeItem RootItem() const override { return m_root; }
    TreeItem SelectedItem() const override { return m_selected; }
    TreeItem ParentItem(TreeItem item) const override { return m_nodes.at(item).parent; }
    TreeItem FirstChild(TreeItem item) const override;
    TreeItem NextSibling(TreeItem item) const override;
    uint32_t ItemData(TreeItem item) const override { return m_nodes.at(item).data; }
    std::string ItemText(TreeItem item) const override { return m_nodes.at(item).text; }
    int ItemImage(TreeItem item) const override { return m_nodes.at(item).image; }
    bool IsExpanded(TreeItem item) const override { return m_nodes.at(item).expanded; }

private:
    struct Node {
        TreeItem parent = kNoItem;
        std::string text;
        int image = 0;
        uint32_t data = 0;
        bool expanded = false;
        std::vector<TreeItem> children;
    };
    std::map<TreeItem, Node> m_nodes;
    TreeItem m_root = kNoItem;
    TreeItem m_selected = kNoItem;
    TreeItem m_next = 1;
};

}  // namespace tarvo::scheduler
