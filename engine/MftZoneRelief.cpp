// MftZoneRelief.cpp --- planning again without the MFT zone when the plan finds no room outside it.
#include "engine/MftZoneRelief.h"

#include "engine/EngineReport.h"
#include "engine/MoveFile.h"
#include "engine/PlacementPlan.h"
#include "volume/FileTable.h"

namespace tarvo::engine {

bool GiveUpMftZone(volume::CDefragJob& job, const char* why) {
    if (!job.IsNtfs() || job.m_mftReservedEnd == 0 || job.m_mftReservedStart > job.m_mftReservedEnd) return false;
    EngineReport(app::MSG_DIAG_INFO, why);
    job.m_mftReservedStart = 0;
    job.m_mftReservedEnd = 0;
    RefreshClusterBitmap(job);
    return true;
}

int PlanPlacementWithMftZone(volume::CDefragJob& job) {
    const int planned = PlanPlacement(job);
    const volume::Lcn start = job.m_mftReservedStart;
    const volume::Lcn end = job.m_mftReservedEnd;
    if (planned != 0 || !job.IsNtfs() || !job.m_fileTable || end == 0 || start > end) return planned;

    EngineReport(app::MSG_DIAG_INFO, "MFT zone given up for the plan");
    // A zone of no clusters is no zone: both bounds 0, as on a volume without one.
    job.m_mftReservedStart = 0;
    job.m_mftReservedEnd = 0;
    // The failed plan's places are dropped, so that every file is planned again.
    volume::FileTable& table = *job.m_fileTable;
    for (int64_t i = 0; i <= table.LastIndex(); ++i) table.Item(i)->SetPlannedLcn(0);
    if (PlanPlacement(job) != 0) return 1;

    job.m_mftReservedStart = start;
    job.m_mftReservedEnd = end;
    RefreshClusterBitmap(job);  // the map's colours follow the zone again
    return 0;
}

}  // namespace tarvo::engine
