// NtfsBackend.cpp --- mounting an NTFS volume and the volume-wide queries: information, geometry, bitmap.
#include "platform/ntfs/NtfsBackend.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/blockio/ReadAheadDevice.h"
#include "platform/ntfs/NtfsVolume.h"

namespace tarvo::platform {

namespace {

uint64_t LittleEndian64(const uint8_t* p) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) {
        v = (v << 8) | p[i];
    }
    return v;
}

// The message for a mount the library refused, saying what the user can do.
std::string MountErrorText(const std::string& name, int error, bool readWrite) {
    switch (error) {
        case EPERM:
            return name + ": Windows is hibernated on this volume (or fast start-up left it in use). "
                          "Start Windows and shut it down fully (not hibernate), then try again.";
        case EOPNOTSUPP:
            return name + ": the volume was not closed cleanly and its journal holds unfinished changes. "
                          "Start Windows, let it check the volume (chkdsk /f), shut it down, then try again.";
        case EINVAL:
            return name + ": not an NTFS volume the library can read.";
        case EIO:
            return name + ": the NTFS volume is damaged (" + std::strerror(error) +
                   "). Check it with chkdsk /f on Windows before defragmenting.";
        case EROFS:
        case EACCES:
            return name + ": " + std::strerror(error) + (readWrite ? " (open it read-only instead)." : ".");
        default:
            return name + ": cannot mount the NTFS volume: " + std::strerror(error) + ".";
    }
}

}  // namespace

std::unique_ptr<CNtfsBackend> CNtfsBackend::Open(std::unique_ptr<BlockDevice> device, std::string& error) {
    if (!device) {
        error = "no device";
        return nullptr;
    }
    const std::string name = device->Name();
    uint8_t boot[512];
    if (device->Size() < sizeof(boot) || device->Read(0, boot, sizeof(boot)) != 0) {
        error = name + ": cannot read the boot sector.";
        return nullptr;
    }
    if (!IsNtfsBootSector(boot, sizeof(boot))) {
        error = name + ": not an NTFS volume (no NTFS boot sector).";
        return nullptr;
    }
    std::unique_ptr<CNtfsBackend> backend(new CNtfsBackend());
    backend->m_serial = LittleEndian64(boot + 0x48);
    backend->m_numberSectors = LittleEndian64(boot + 0x28);
    backend->m_readOnly = device->IsReadOnly();
    // File records and index blocks come in small reads close together.
    auto readAhead = std::make_unique<ReadAheadDevice>(std::move(device));
    backend->m_medium = &readAhead->Medium();
    backend->m_readAhead = readAhead.get();
    backend->m_device = std::move(readAhead);
    backend->m_deviceState.device = backend->m_device.get();
    backend->m_intent = std::make_unique<NtfsIntentStore>(backend->m_serial);

    // A crashed run of ours left an intent record: put back any MFT record it
    // tore (or finish a batch an earlier version wrote at once) before the
    // library reads the volume.
    NtfsIntent intent;
    bool haveIntent = false;
    if (!backend->m_readOnly && backend->m_intent->Exists()) {
        int rc = backend->m_intent->Load(intent);
        if (rc != 0 || intent.serial != backend->m_serial) {
            error = name + ": the record of an interrupted run (" + backend->m_intent->Path() +
                    " and " + backend->m_intent->Path() + ".1) is damaged; check the volume with chkdsk /f, "
                    "then remove those files.";
            return nullptr;
        }
        haveIntent = true;
        rc = RepairRecords(*backend->m_device, intent);
        if (rc != 0) {
            error = name + ": cannot repair what an interrupted run left: " + std::strerror(rc) + ".";
            return nullptr;
        }
    }

    std::lock_guard<std::recursive_mutex> lock(NtfsLibraryMutex());
    QuietNtfsLibrary();
    struct ntfs_device* dev = NewNtfsDevice(backend->m_deviceState);
    if (dev == nullptr) {
        error = name + ": " + std::strerror(errno);
        return nullptr;
    }
    ntfs_volume* vol = ntfs_device_mount(dev, backend->m_readOnly ? NTFS_MNT_RDONLY : NTFS_MNT_NONE);
    if (vol == nullptr) {
        int rc = errno;
        ntfs_device_free(dev);
        error = MountErrorText(name, rc, !backend->m_readOnly);
        return nullptr;
    }
    backend->m_vol = vol;
    // A damaged boot sector or $MFT can claim more than the device holds.
    const uint64_t deviceBytes = backend->m_device->Size();
    if (vol->nr_clusters <= 0 || static_cast<uint64_t>(vol->nr_clusters) > deviceBytes / vol->cluster_size ||
        vol->mft_na == nullptr || vol->mft_na->initialized_size < 0 ||
        static_cast<uint64_t>(vol->mft_na->initialized_size) > deviceBytes) {
        error = name + ": the NTFS volume is damaged (it claims more space than its device has). "
                       "Check it with chkdsk /f on Windows before defragmenting.";
        return nullptr;
    }
    if (!backend->m_readOnly) {
        if (haveIntent) {
            if (backend->ReclaimLeakedClusters(intent, error) != STATUS_SUCCESS) {
                return nullptr;
            }
        } else if (vol->flags & VOLUME_IS_DIRTY) {
            error = name + ": the volume is marked dirty (it needs a check). Run chkdsk /f on Windows, "
                           "then try again, or open it read-only.";
            return nullptr;
        }
    }
    // $Bitmap is read once; from here on our moves keep the copy in step.
    if (!backend->LoadBitmap()) {
        error = name + ": cannot read the volume bitmap: " + std::strerror(errno) + ".";
        return nullptr;
    }
    return backend;
}

CNtfsBackend::~CNtfsBackend() {
    std::lock_guard<std::recursive_mutex> lock(NtfsLibraryMutex());
    if (m_vol == nullptr) {
        return;
    }
    if (m_runDirty && !m_broken && Commit() == STATUS_SUCCESS) {
        EndRun();
    }
    DropPending();  // only after a failure: a commit leaves nothing pending
    if (m_broken) {
        // Nothing more goes to a device that failed: the library would try to
        // write its dirty system records at unmount, fail, and keep them.
        for (ntfs_inode* ni : {m_vol->vol_ni, m_vol->mft_ni, m_vol->mftmirr_ni, m_vol->lcnbmp_ni}) {
            if (ni != nullptr) {
                NInoClearDirty(ni);
            }
        }
    }
    ntfs_umount(m_vol, ::FALSE);
    m_vol = nullptr;
}

NTSTATUS CNtfsBackend::GetVolumeInformation(VolumeInformation& out) {
    std::lock_guard<std::recursive_mutex> lock(NtfsLibraryMutex());
    out.volumeName = m_vol->vol_name != nullptr ? m_vol->vol_name : "";
    out.serialNumber = static_cast<DWORD>(m_serial);
    out.maximumComponentLength = 255;
    out.fileSystemFlags = FILE_CASE_SENSITIVE_SEARCH | FILE_CASE_PRESERVED_NAMES | FILE_UNICODE_ON_DISK |
                          FILE_PERSISTENT_ACLS | FILE_FILE_COMPRESSION;
    if (m_vol->major_ver >= 3) {
        out.fileSystemFlags |= FILE_SUPPORTS_SPARSE_FILES;
    }
    if (m_readOnly) {
        out.fileSystemFlags |= FILE_READ_ONLY_VOLUME;
    }
    out.fileSystemName = "NTFS";
    return STATUS_SUCCESS;
}

NTSTATUS CNtfsBackend::GetDiskFreeSpace(DiskFreeSpace& out) {
    std::lock_guard<std::recursive_mutex> lock(NtfsLibraryMutex());
    out.bytesPerSector = m_vol->sector_size;
    out.sectorsPerCluster = m_vol->cluster_size / m_vol->sector_size;
    out.numberOfFreeClusters = static_cast<DWORD>(std::min<int64_t>(std::max<int64_t>(m_freeClusters, 0), 0xFFFFFFFF));
    out.totalNumberOfClusters = static_cast<DWORD>(std::min<int64_t>(m_vol->nr_clusters, 0xFFFFFFFF));
    return STATUS_SUCCESS;
}

UINT CNtfsBackend::GetDriveType() { return m_device->IsRemovable() ? DRIVE_REMOVABLE : DRIVE_FIXED; }

FsctlResult CNtfsBackend::GetNtfsVolumeData(NTFS_VOLUME_DATA_BUFFER& out) {
    std::lock_guard<std::recursive_mutex> lock(NtfsLibraryMutex());
    std::memset(&out, 0, sizeof(out));
    out.VolumeSerialNumber.QuadPart = static_cast<LONGLONG>(m_serial);
    out.NumberSectors.QuadPart = static_cast<LONGLONG>(m_numberSectors);
    out.TotalClusters.QuadPart = m_vol->nr_clusters;
    out.FreeClusters.QuadPart = std::max<int64_t>(m_freeClusters, 0);
    out.TotalReserved.QuadPart = 0;
    out.BytesPerSector = m_vol->sector_size;
    out.BytesPerCluster = m_vol->cluster_size;
    out.BytesPerFileRecordSegment = m_vol->mft_record_size;
    out.ClustersPerFileRecordSegment = m_vol->mft_record_size / m_vol->cluster_size;
    out.MftValidDataLength.QuadPart = m_vol->mft_na != nullptr ? m_vol->mft_na->initialized_size : 0;
    out.MftStartLcn.QuadPart = m_vol->mft_lcn;
    out.Mft2StartLcn.QuadPart = m_vol->mftmirr_lcn;
    out.MftZoneStart.QuadPart = m_vol->mft_zone_start;
    out.MftZoneEnd.QuadPart = m_vol->mft_zone_end;
    return {STATUS_SUCCESS, sizeof(out), STATUS_SUCCESS};
}

FsctlResult CNtfsBackend::GetVolumeBitmap(Lcn startingLcn, void* out, size_t outLength) {
    std::lock_guard<std::recursive_mutex> lock(NtfsLibraryMutex());
    if (out == nullptr || outLength < kVolumeBitmapHeaderSize) {
        return {STATUS_BUFFER_TOO_SMALL, 0, STATUS_BUFFER_TOO_SMALL};
    }
    const uint64_t total = static_cast<uint64_t>(m_vol->nr_clusters);
    if (startingLcn >= total) {
        return {STATUS_INVALID_PARAMETER, 0, STATUS_INVALID_PARAMETER};
    }
    // The bitmap is delivered from a byte boundary, as NTFS does.
    const uint64_t start = startingLcn & ~uint64_t{7};
    const uint64_t bits = total - start;
    const uint64_t wanted = (bits + 7) / 8;
    const uint64_t room = outLength - kVolumeBitmapHeaderSize;
    const uint64_t give = std::min(wanted, room);
    auto* header = static_cast<uint8_t*>(out);
    LARGE_INTEGER field;
    field.QuadPart = static_cast<LONGLONG>(start);
    std::memcpy(header, &field, 8);
    field.QuadPart = static_cast<LONGLONG>(bits);
    std::memcpy(header + 8, &field, 8);
    uint8_t* buffer = header + kVolumeBitmapHeaderSize;
    if (give > 0) {
        // Our copy of $Bitmap, with the moves of the batch not yet on the medium.
        std::memcpy(buffer, m_bitmap.data() + start / 8, static_cast<size_t>(give));
        // Bits past the last cluster say nothing about the volume: deliver them clear.
        if (give == wanted && bits % 8 != 0) {
            buffer[give - 1] &= static_cast<uint8_t>((1u << (bits % 8)) - 1);
        }
    }
    NTSTATUS status = give < wanted ? STATUS_BUFFER_OVERFLOW : STATUS_SUCCESS;
    return {status, static_cast<size_t>(kVolumeBitmapHeaderSize + give), status};
}

NTSTATUS CNtfsBackend::Flush() {
    std::lock_guard<std::recursive_mutex> lock(NtfsLibraryMutex());
    if (m_readOnly) {
        return STATUS_SUCCESS;
    }
    if (m_broken) {
        // A write failed: the moves since the last commit never reached the medium.
        FlushDevice();
        return STATUS_IO_DEVICE_ERROR;
    }
    NTSTATUS status = Commit();
    if (status != STATUS_SUCCESS) {
        return status;
    }
    if (m_runDirty) {
        return EndRun();  // its flush makes every earlier write durable too
    }
    // A volume nothing was written to since the last flush needs none (every
    // analysis closes its volume handle, and a flush of an image may be slow).
    const bool written = m_unflushedData || NDevDirty(m_vol->dev);
    if (written && FlushDevice() != 0) {
        return STATUS_IO_DEVICE_ERROR;
    }
    return STATUS_SUCCESS;
}

int CNtfsBackend::FlushDevice() {
    DrainCopies();  // a failed copy is answered where its batch is committed or dropped
    if (m_flusher != nullptr) {
        m_flusher->Wait();  // flushes stay in the order they were asked for
    }
    int rc = m_device->Flush();
    if (rc == 0) {
        m_unflushedData = false;
        m_unflushedFrees.clear();
        if (m_vol != nullptr) {
            NDevClearDirty(m_vol->dev);
        }
    }
    return rc;
}

std::unique_ptr<VolumeBackend> OpenNtfsBackend(std::unique_ptr<BlockDevice> device, std::string& error) {
    return CNtfsBackend::Open(std::move(device), error);
}

std::unique_ptr<VolumeBackend> OpenNtfsBackend(const std::string& path, DeviceAccess access, std::string& error) {
    auto device = OpenBlockDevice(path, access, error);
    if (!device) {
        return nullptr;
    }
    return CNtfsBackend::Open(std::move(device), error);
}

}  // namespace tarvo::platform
