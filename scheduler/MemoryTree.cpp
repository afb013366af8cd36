// MemoryTree.cpp --- the in-memory tree control.
#include <algorithm>

#include "scheduler/TreeControl.h"

namespace tarvo::scheduler {

void CMemoryTree::DeleteAllItems() {
    m_nodes.clear();
    m_root = m_selected = kNoItem;
}

TreeItem CMemoryTree::InsertItem(TreeItem parent, const std::string& text, int image, uint32_t data) {
    const TreeItem item = m_next++;
    m_nodes[item] = Node{parent, text, image, data, false, {}};
    if (parent == kNoItem) {
        m_root = item;
    } else {
        m_nodes.at(parent).children.push_back(item);
    }
    return item;
}

void CMemoryTree::SetItem(TreeItem item, const std::string& text, int image) {
    Node& node = m_nodes.at(item);
    node.text = text;
    node.image = image;
}

void CMemoryTree::DeleteItem(TreeItem item) {
    const Node node = m_nodes.at(item);
    for (TreeItem child : node.children) {
        DeleteItem(child);
    }
    if (node.parent != kNoItem) {
        auto& siblings = m_nodes.at(node.parent).children;
        siblings.erase(std::find(siblings.begin(), siblings.end(), item));
    }
    if (m_root == item)
        m_root = kNoItem;
    if (m_selected == item)
        m_selected = kNoItem;
    m_nodes.erase(item);
}

TreeItem CMemoryTree::FirstChild(TreeItem item) const {
    const auto& children = m_nodes.at(item).children;
    return children.empty() ? kNoItem : children.front();
}

TreeItem CMemoryTree::NextSibling(TreeItem item) const {
    const TreeItem parent = m_nodes.at(item).parent;
    if (parent == kNoItem)
        return kNoItem;
    const auto& siblings = m_nodes.at(parent).children;
    auto it = std::find(siblings.begin(), siblings.end(), item);
    return ++it == siblings.end() ? kNoItem : *it;
}

}  // namespace tarvo::scheduler
