// DefragJob.h --- CDefragJob: one drive carried through one analysis and one method.
//
// The run controller creates and owns the job; OpenDrive fills its volume data;
// the analysis and the methods fill and use the cluster bitmap and file table
// on the worker thread. The UI thread touches only the run gate, the drive
// state hook and (while no worker runs) the figures.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/FsctlBuffers.h"
#include "volume/RunGate.h"
#include "volume/VolumeTypes.h"

namespace tarvo::volume {

class CClusterBitmap;
class FileTable;
class ViewSink;

// The drive-tree image of the drive being run.
enum class DriveState : int { None = 0, NotAnalysed = 1, Analysed = 2, SpaceStarted = 3, CompleteStarted = 4 };

class CDefragJob {
public:
    CDefragJob();
    // Closes the volume handle; destroys the bitmap and the file table.
    ~CDefragJob();
    CDefragJob(const CDefragJob&) = delete;
    CDefragJob& operator=(const CDefragJob&) = delete;

    // True exactly when the file-system name is "NTFS".
    bool IsNtfs() const { return m_fileSystemName == "NTFS"; }

    // The keep-going test of every long loop: blocks while the run is paused,
    // then answers whether the run may go on. Worker thread only.
    bool KeepGoing() { return m_gate.Pass(); }

    // Calls the drive-state hook, when one is set (the controller sets it).
    void SetDriveState(DriveState state) {
        if (m_driveStateHook) m_driveStateHook(state);
    }

    // Closes the volume handle if one is open.
    void CloseVolume();

    // --- job parameter block ---
    ViewSink* m_view = nullptr;
    platform::HANDLE m_volume = platform::INVALID_HANDLE_VALUE;
    uint64_t m_totalClusters = 0;  // high half 0: volumes up to 2^32 clusters
    std::string m_drive;           // one letter
    std::atomic<bool> m_workerActive{false};  // a worker runs; it clears this as its last step
    RunGate m_gate;                // keep-going flag and pause gate
    uint32_t m_fragmentedFiles = 0;
    std::vector<std::string> m_systemUsedFiles;  // paths whose extents could not be read
    std::unique_ptr<FileTable> m_fileTable;
    int m_pendingMode = 0;  // 1 analysis, 2 SPACE, 3 COMPLETE; 0 once running

    // --- volume data ---
    std::string m_rootPath;  // "C:\"
    std::string m_volumeName;
    platform::DWORD m_serialNumber = 0;
    platform::DWORD m_maximumComponentLength = 0;
    platform::DWORD m_fileSystemFlags = 0;
    std::string m_fileSystemName;
    uint64_t m_bytesPerCluster = 0;
    uint64_t m_sectorsPerCluster = 0;
    uint64_t m_bytesPerSector = 0;
    uint64_t m_freeClusters = 0;

    // --- MFT figures (NTFS only, 0 otherwise) ---
    uint64_t m_mftValidDataLength = 0;  // bytes
    uint64_t m_mftClusters = 0;
    Lcn m_mftStart = 0;
    Lcn m_mftReservedStart = 0;  // MFT zone, inclusive bounds
    Lcn m_mftReservedEnd = 0;

    std::unique_ptr<CClusterBitmap> m_clusterBitmap;
    // Set when registering a file found the extent start index corrupt; the
    // analysis then ends with its internal-error report ("1113").
    bool m_indexCorrupt = false;

    // --- map geometry and run state ---
    int m_blockSize = 9;         // block edge in pixels (BlockSize setting)
    int m_clustersPerBlock = 0;  // set by the view; 0 while the window is too small
    // Set while the analysis runs and the file table is not complete: the view
    // then draws from the volume map alone.
    std::atomic<bool> m_analysisInProgress{false};
    // Set by the run controller: shows the drive's state in the drive tree.
    std::function<void(DriveState)> m_driveStateHook;
};

}  // namespace tarvo::volume
