// JobTree.cpp --- filling the job tree and changing it item by item.
#include "scheduler/JobTree.h"

#include <vector>

#include "platform/drives/Win32Files.h"
#include "platform/registry/Registry.h"
#include "scheduler/JobText.h"
#include "scheduler/SchedulerTexts.h"
#include "volume/VolumeOps.h"

namespace tarvo::scheduler {

namespace {
constexpr int16_t kFirstShownDrive = 2;  // C: drives A and B are never listed
constexpr int16_t kLastShownDrive = 25;
}  // namespace

TreeItemKind KindOfData(uint32_t data) {
    if (data == 0)
        return TreeItemKind::Root;
    if (data >= kFirstJobKey)
        return TreeItemKind::Job;
    return TreeItemKind::Drive;
}

std::optional<std::string> ProbeScheduledDrive(int16_t driveCode) {
    // The profile is the defragmenter's: its setting decides about removable drives.
    const auto removable = platform::GetProfileInt("Settings", "RemovableDrives", 0) != 0
                               ? volume::RemovableDrives::Included
                               : volume::RemovableDrives::Excluded;
    if (!volume::IsDriveIndexEligible(driveCode, removable))
        return std::nullopt;
    const std::string root = std::string(1, static_cast<char>('A' + driveCode)) + ":\\";
    char volumeName[256] = {};
    char fileSystem[64] = {};
    platform::DWORD serial = 0, maxComponent = 0, flags = 0;
    platform::GetVolumeInformationA(root.c_str(), volumeName, sizeof volumeName, &serial, &maxComponent,
                                    &flags, fileSystem, sizeof fileSystem);
    return std::string(fileSystem);
}

std::string CJobTree::DriveText(int16_t drive, const std::string& fileSystem) {
    char root[8];
    std::snprintf(root, sizeof root, kDriveRootFormat, 'A' + drive);
    return std::string(root) + "    (" + fileSystem + ")";
}

std::string CJobTree::JobText(const Job& job) {
    return Describe(job, DescribeFor::Tree);
}

void CJobTree::InsertJob(TreeItem parent, const Job& job) {
    m_tree.InsertItem(parent, JobText(job), JobImage(job), job.key);
}

void CJobTree::Fill(const std::list<Job>& jobs) {
    m_tree.DeleteAllItems();
    const TreeItem root = m_tree.InsertItem(kNoItem, kMyComputerText, ImageComputer, 0);
    for (const Job& job : jobs) {
        if (job.drive == 0)
            InsertJob(root, job);
    }
    m_tree.Expand(root);
    for (int16_t drive = kFirstShownDrive; drive <= kLastShownDrive; ++drive) {
        const auto fileSystem = m_probe(drive);
        if (!fileSystem)
            continue;
        const TreeItem item = m_tree.InsertItem(root, DriveText(drive, *fileSystem), ImageDrive, drive);
        for (const Job& job : jobs) {
            if (job.drive == drive)
                InsertJob(item, job);
        }
        m_tree.Expand(item);
    }
    m_tree.Expand(root);
    m_tree.SelectItem(root);
}

TreeItem CJobTree::FindDriveItem(int16_t drive) const {
    const TreeItem root = m_tree.RootItem();
    if (root == kNoItem || drive == 0)
        return root;
    for (TreeItem item = m_tree.FirstChild(root); item != kNoItem; item = m_tree.NextSibling(item)) {
        if (m_tree.ItemData(item) == static_cast<uint32_t>(drive))
            return item;
    }
    return kNoItem;
}

TreeItem CJobTree::FindJobItem(uint32_t key) const {
    const TreeItem root = m_tree.RootItem();
    if (root == kNoItem || key < kFirstJobKey)
        return kNoItem;
    for (TreeItem item = m_tree.FirstChild(root); item != kNoItem; item = m_tree.NextSibling(item)) {
        if (m_tree.ItemData(item) == key)
            return item;
        for (TreeItem job = m_tree.FirstChild(item); job != kNoItem; job = m_tree.NextSibling(job)) {
            if (m_tree.ItemData(job) == key)
                return job;
        }
    }
    return kNoItem;
}

bool CJobTree::AddJobItem(const Job& job) {
    const TreeItem parent = FindDriveItem(job.drive);
    if (parent == kNoItem)
        return false;
    InsertJob(parent, job);
    m_tree.Expand(parent);
    return true;
}

bool CJobTree::UpdateJobItem(const Job& job) {
    const TreeItem item = FindJobItem(job.key);
    if (item == kNoItem)
        return false;
    m_tree.SetItem(item, JobText(job), JobImage(job));
    return true;
}

void CJobTree::RemoveJobItem(uint32_t key) {
    const TreeItem item = FindJobItem(key);
    if (item != kNoItem)
        m_tree.DeleteItem(item);
}

void CJobTree::RemoveJobItems(int16_t drive) {
    const TreeItem root = m_tree.RootItem();
    if (root == kNoItem)
        return;
    std::vector<TreeItem> doomed;
    auto collectJobs = [&](TreeItem parent) {
        for (TreeItem item = m_tree.FirstChild(parent); item != kNoItem; item = m_tree.NextSibling(item)) {
            if (KindOfData(m_tree.ItemData(item)) == TreeItemKind::Job)
                doomed.push_back(item);
        }
    };
    if (drive == 0) {
        collectJobs(root);
        for (TreeItem item = m_tree.FirstChild(root); item != kNoItem; item = m_tree.NextSibling(item)) {
            collectJobs(item);
        }
    } else if (const TreeItem item = FindDriveItem(drive); item != kNoItem) {
        collectJobs(item);
    }
    for (TreeItem item : doomed) {
        m_tree.DeleteItem(item);
    }
}

uint32_t CJobTree::SelectedData() const {
    const TreeItem item = m_tree.SelectedItem();
    return item == kNoItem ? 0 : m_tree.ItemData(item);
}

TreeItemKind CJobTree::SelectedKind() const {
    const TreeItem item = m_tree.SelectedItem();
    return item == kNoItem ? TreeItemKind::None : KindOfData(m_tree.ItemData(item));
}

int16_t CJobTree::SelectedDrive() const {
    const TreeItem item = m_tree.SelectedItem();
    if (item == kNoItem)
        return 0;
    const uint32_t data = m_tree.ItemData(item);
    if (KindOfData(data) != TreeItemKind::Job)
        return static_cast<int16_t>(data);
    return static_cast<int16_t>(m_tree.ItemData(m_tree.ParentItem(item)));
}

}  // namespace tarvo::scheduler
