// JobTree.h --- the tree of "My Computer", the drives and the jobs, kept in step with the job list.
//
// Item data tells the kind of an item: 0 the root, 1..25 a drive (its drive
// code), kFirstJobKey and above a job (its key). Images: 0 the computer,
// 1 a drive, 2 a SPACE job, 3 a COMPLETE job.
#pragma once

#include <functional>
#include <list>
#include <optional>
#include <string>

#include "scheduler/Job.h"
#include "scheduler/TreeControl.h"

namespace tarvo::scheduler {

enum class TreeItemKind { None, Root, Drive, Job };

enum TreeImage : int { ImageComputer = 0, ImageDrive = 1, ImageSpaceJob = 2, ImageCompleteJob = 3 };

// The file-system name of a drive (code 2..25) when the tree shows it, else nothing.
using DriveProbe = std::function<std::optional<std::string>(int16_t driveCode)>;

// The drive is shown when its volume opens for reading (unbuffered, shared)
// and it is fixed, or removable while the defragmenter's RemovableDrives
// setting is on; answers the file-system name of its volume information.
std::optional<std::string> ProbeScheduledDrive(int16_t driveCode);

class CJobTree {
public:
    explicit CJobTree(CTreeControl& tree, DriveProbe probe = ProbeScheduledDrive)
        : m_tree(tree), m_probe(std::move(probe)) {}

    // Rebuilds the tree: the root, the jobs for all drives, then each shown
    // drive C..Z with its jobs, all expanded; the first item is selected.
    void Fill(const std::list<Job>& jobs);

    // Appends the job below the item of its drive (the root for all drives)
    // and expands that item; false when its drive is not shown.
    bool AddJobItem(const Job& job);
    // New text and image for the job's item; false when it has none.
    bool UpdateJobItem(const Job& job);
    void RemoveJobItem(uint32_t key);
    // Removes the job items of one drive, or every job item for code 0.
    void RemoveJobItems(int16_t drive);

    TreeItem FindJobItem(uint32_t key) const;
    // The root for code 0, else the drive's item; kNoItem when not shown.
    TreeItem FindDriveItem(int16_t drive) const;

    TreeItemKind SelectedKind() const;
    uint32_t SelectedData() const;
    // The drive code of the selected item; for a job item, its parent's.
    int16_t SelectedDrive() const;

    static std::string DriveText(int16_t drive, const std::string& fileSystem);
    static std::string JobText(const Job& job);
    static int JobImage(const Job& job) { return ImageSpaceJob + (job.method == MethodComplete ? 1 : 0); }

private:
    void InsertJob(TreeItem parent, const Job& job);

    CTreeControl& m_tree;
    DriveProbe m_probe;
};

TreeItemKind KindOfData(uint32_t data);

}  // namespace tarvo::scheduler
