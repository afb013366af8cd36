// DefragJob.cpp --- lifetime of the job's volume handle and owned objects.
#include "volume/DefragJob.h"

#include "platform/drives/Win32Files.h"
#include "volume/ClusterBitmap.h"
#include "volume/FileTable.h"

namespace tarvo::volume {

CDefragJob::CDefragJob() = default;

CDefragJob::~CDefragJob() {
    m_clusterBitmap.reset();
    m_fileTable.reset();
    CloseVolume();
}

void CDefragJob::CloseVolume() {
    if (m_volume != platform::INVALID_HANDLE_VALUE && m_volume != nullptr) platform::CloseHandle(m_volume);
    m_volume = platform::INVALID_HANDLE_VALUE;
}

}  // namespace tarvo::volume
