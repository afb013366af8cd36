// Analysis.cpp --- drive analysis: bitmap, counting pass, reading pass, progress and end messages.
#include "engine/Analysis.h"

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

#include "app/ExclusionList.h"
#include "app/Settings.h"
#include "engine/EngineReport.h"
#include "engine/RunTexts.h"
#include "platform/drives/Win32Files.h"
#include "volume/ClusterBitmap.h"
#include "volume/ExtentReader.h"
#include "volume/FileTable.h"
#include "volume/ViewSink.h"
#include "volume/VolumeOps.h"

namespace tarvo::engine {

using namespace tarvo::platform;
using volume::FileRecord;
using volume::FileTable;

namespace {

bool IsDotEntry(const char* name) { return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)); }

// The state of one reading pass: the drive part of the paths, the counters and
// the names of the directories being walked (both names of each).
struct Walk {
    CDefragJob& job;
    std::string drive;
    std::vector<app::PathName> names;
    uint64_t total = 0;
    uint64_t& filesMet;
};

// Reads one file's extents, falling back to its 8.3 name; a file that cannot be
// read is listed as system-used. Answers kWalkIndexCorrupt when registering it
// found the extent start index corrupt.
int ReadOneFile(Walk& walk, const std::string& directory, const WIN32_FIND_DATAA& entry) {
    CDefragJob& job = walk.job;
    // The listing's time is the file's own: asking the platform again would cost a lookup per file.
    const time_t written = FileTimeToUnixTime(entry.ftLastWriteTime);
    const uint32_t modified = written > 0 ? static_cast<uint32_t>(written) : 0;
    auto record = std::make_unique<FileRecord>(directory + "\\" + entry.cFileName, modified);
    bool read = volume::ReadExtents(job, *record) != 0;
    if (!read && entry.cAlternateFileName[0] != 0) {
        record = std::make_unique<FileRecord>(directory + "\\" + entry.cAlternateFileName, modified);
        read = volume::ReadExtents(job, *record) != 0;
    }
    if (job.m_indexCorrupt) return kWalkIndexCorrupt;
    if (!read) {
        job.m_systemUsedFiles.push_back(record->Path());
        return kWalkDone;
    }
    if (record->IsFragmented()) {
        ++job.m_fragmentedFiles;
        SendFragCount(job);
    }
    job.m_fileTable->Add(std::move(record));
    return kWalkDone;
}

int WalkDirectory(Walk& walk, const std::string& directory) {
    CDefragJob& job = walk.job;
    WIN32_FIND_DATAA entry{};
    HANDLE find = FindFirstFileA((directory + "\\*.*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return kWalkListingFailed;
    int lastPercent = 0;  // per directory: the first step below a directory always sends
    int result = kWalkDone;
    do {
        if (!job.KeepGoing()) {
            result = kWalkStopped;
            break;
        }
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (IsDotEntry(entry.cFileName)) continue;
            walk.names.push_back({entry.cFileName, entry.cAlternateFileName});
            int sub = WalkDirectory(walk, directory + "\\" + entry.cFileName);
            if (sub == kWalkListingFailed && entry.cAlternateFileName[0] != 0)
                sub = WalkDirectory(walk, directory + "\\" + entry.cAlternateFileName);
            walk.names.pop_back();
            if (sub == kWalkStopped || sub == kWalkIndexCorrupt) {
                result = sub;
                break;
            }
            continue;
        }
        walk.names.push_back({entry.cFileName, entry.cAlternateFileName});
        const bool excluded = app::IsExcluded(walk.drive, walk.names);
        walk.names.pop_back();
        if (!excluded && ReadOneFile(walk, directory, entry) == kWalkIndexCorrupt) {
            result = kWalkIndexCorrupt;
            break;
        }
        ++walk.filesMet;
        if (walk.filesMet % 100 == 0 && walk.total > 0) {
            // Files added since the counting pass must not push the figure past 100.
            const double share = static_cast<double>(walk.filesMet) * (100.0 / static_cast<double>(walk.total));
            const int percent = static_cast<int>(std::min(share, 100.0));
            if (percent != lastPercent) {
                SendPercent(job, percent);
                SendStatus(job, AnalyzingText(job));
                lastPercent = percent;
            }
        }
    } while (FindNextFileA(find, &entry));
    FindClose(find);
    return result;
}

void ClearWorker(CDefragJob& job, WorkerMark mark) {
    if (mark == WorkerMark::Clear) job.m_workerActive.store(false);
}

// Ends a run that was stopped: no end messages, but the view draws from the file
// table again.
int Stopped(CDefragJob& job, WorkerMark mark) {
    job.m_analysisInProgress.store(false);
    ClearWorker(job, mark);
    return 1;
}

int Analyse(CDefragJob& job, WorkerMark mark) {
    if (!job.m_view) {
        EngineReport(app::MSG_DIAG_ERROR, "Error: No View available.");
        ClearWorker(job, mark);
        return 1;
    }
    if (!job.KeepGoing()) return Stopped(job, mark);
    if (!volume::ClusterSizeSupported(job)) {
        job.SetDriveState(volume::DriveState::NotAnalysed);
        job.m_totalClusters = 0;
        if (!app::Settings().AllDrives()) {
            EngineReport(app::MSG_ERR_CLUSTER_TOO_LARGE, job.m_rootPath.c_str());
            ClearWorker(job, mark);
            job.m_view->PostRunFinished();
            return 1;
        }
        // In all-drives mode the controller moves on by itself; the worker still ends here.
        ClearWorker(job, mark);
        return 1;
    }
    job.SetDriveState(volume::DriveState::Analysed);
    SendStatus(job, AnalyzingText(job));
    job.m_view->SetFragCount(0);
    SendPercent(job, 0);

    job.m_clusterBitmap.reset();
    auto bitmap = std::make_unique<volume::CClusterBitmap>();
    if (!bitmap->Init(job)) {
        job.m_clusterBitmap.reset();
        ClearWorker(job, mark);
        EngineReport(app::MSG_DIAG_ERROR, "5000");
        return 1;
    }
    job.m_clusterBitmap = std::move(bitmap);
    job.m_indexCorrupt = false;

    if (!job.KeepGoing()) return Stopped(job, mark);
    EngineReport(app::MSG_INF_ANALYSIS, job.m_rootPath.c_str(), job.m_fileSystemName.c_str());
    job.m_analysisInProgress.store(true);
    if (job.IsNtfs()) volume::ReadMftFigures(job);
    job.m_clusterBitmap->Refresh();
    if (!job.KeepGoing()) return Stopped(job, mark);
    job.m_view->RedrawAll();
    if (!job.KeepGoing()) return Stopped(job, mark);

    if (!job.m_drive.empty()) {
        const std::string top = job.m_drive.substr(0, 1) + app::LoadString(app::IDS_COLON);
        uint64_t counted = 0;
        CountFiles(job, top, counted);
        if (!job.KeepGoing()) return Stopped(job, mark);
        if (!job.m_fileTable) job.m_fileTable = std::make_unique<FileTable>(static_cast<size_t>(counted * 0.9));
        job.m_clusterBitmap->SetIndexSize(ExtentIndexSize(counted));
        if (!job.KeepGoing()) return Stopped(job, mark);

        app::ExclusionList exclusions;
        app::LoadExclusionList(&exclusions);
        app::SetActiveExclusions(exclusions);

        if (!job.m_fileTable->IsEmpty()) job.m_fileTable->Clear();
        job.m_fragmentedFiles = 0;
        uint64_t filesMet = 0;
        if (WalkFiles(job, top, counted, filesMet) == kWalkIndexCorrupt) {
            job.m_analysisInProgress.store(false);
            ClearWorker(job, mark);
            EngineReport(app::MSG_DIAG_ERROR, "1113");
            return 0;
        }
        if (!job.KeepGoing()) return Stopped(job, mark);
    }

    job.m_analysisInProgress.store(false);
    if (!job.KeepGoing()) return Stopped(job, mark);
    job.m_view->RedrawAll();
    SendPercent(job, 100);
    SendFragCount(job);
    SendStatus(job, app::LoadString(app::IDS_READY));
    SendPercent(job, -1);
    ClearWorker(job, mark);
    return 1;
}

}  // namespace

int RunAnalysis(CDefragJob& job, WorkerMark mark) {
    try {
        return Analyse(job, mark);
    } catch (const std::exception&) {
        // Running out of memory for the table or the maps ends the analysis like a corrupt index.
        job.m_analysisInProgress.store(false);
        ClearWorker(job, mark);
        EngineReport(app::MSG_DIAG_ERROR, "1113");
        return 0;
    }
}

int CountFiles(CDefragJob& job, const std::string& directory, uint64_t& count) {
    WIN32_FIND_DATAA entry{};
    HANDLE find = FindFirstFileA((directory + "\\*.*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return kCountListingFailed;
    int result = kWalkDone;
    do {
        if (!job.KeepGoing()) {
            result = kWalkStopped;
            break;
        }
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            ++count;
        } else if (!IsDotEntry(entry.cFileName)) {
            const char* name = entry.cAlternateFileName[0] != 0 ? entry.cAlternateFileName : entry.cFileName;
            if (CountFiles(job, directory + "\\" + name, count) == kWalkStopped) {
                result = kWalkStopped;
                break;
            }
        }
    } while (FindNextFileA(find, &entry));
    FindClose(find);
    return result;
}

int WalkFiles(CDefragJob& job, const std::string& directory, uint64_t total, uint64_t& filesMet) {
    Walk walk{job, {}, {}, total, filesMet};
    // The drive part and any directories above the start, which have only the names given.
    size_t start = 0;
    for (;;) {
        const size_t end = directory.find('\\', start);
        const std::string part = directory.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (start == 0) walk.drive = part;
        else walk.names.push_back({part, {}});
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return WalkDirectory(walk, directory);
}

uint64_t LargestPrimeAtMost(uint64_t n) {
    if (n <= 3) return 0;
    // Sieve over the odd numbers: index k stands for 2k + 1.
    std::vector<bool> composite(n / 2 + 1, false);
    uint64_t i = 3;
    for (; i * i <= n; i += 2) {
        if (composite[i / 2]) continue;
        for (uint64_t m = i * i; m <= n; m += 2 * i) composite[m / 2] = true;
    }
    const uint64_t top = (n % 2 == 0) ? n - 1 : n;
    for (uint64_t candidate = top; candidate >= i && candidate >= 3; candidate -= 2)
        if (!composite[candidate / 2]) return candidate;
    return 0;
}

uint64_t ExtentIndexSize(uint64_t n) {
    const uint64_t t = static_cast<uint64_t>(1.2 * static_cast<double>(n) + 1.0);
    const uint64_t p = LargestPrimeAtMost(t);
    return p >= n ? p : t;
}

}  // namespace tarvo::engine
