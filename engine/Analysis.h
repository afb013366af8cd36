// Analysis.h --- drive analysis: a counting pass and a reading pass over the directory tree.
//
// The analysis builds a fresh cluster bitmap, fills the file table with one
// record per readable file (excluded files skipped, unreadable ones listed as
// system-used), counts the fragmented files and reports progress to the view.
// It runs on the job's worker thread; the methods call it before they move.
#pragma once

#include <cstdint>
#include <string>

#include "volume/DefragJob.h"

namespace tarvo::engine {

using volume::CDefragJob;

// Answers of the two directory passes.
constexpr int kWalkDone = 0;
constexpr int kCountListingFailed = -1;
constexpr int kWalkListingFailed = -2;
constexpr int kWalkStopped = 10;
// The extent start index was found corrupt while registering a file.
constexpr int kWalkIndexCorrupt = -3;

// Whether RunAnalysis clears the job's worker mark at its end (a method that
// analyses first keeps it).
enum class WorkerMark { Clear, Keep };

// The analysis entry. 1, or 0 when an internal error ended it ("1113" logged).
// A cleared keep-going flag ends it at once with 1 and no end messages.
int RunAnalysis(CDefragJob& job, WorkerMark mark = WorkerMark::Clear);

// First pass: adds the files below directory (e.g. "C:") to count, entering
// subdirectories under their 8.3 names where they have one. kWalkDone,
// kCountListingFailed or kWalkStopped.
int CountFiles(CDefragJob& job, const std::string& directory, uint64_t& count);

// Second pass: reads every file below directory into the file table, counting
// every file entry into filesMet and sending progress every 100 files against
// total. kWalkDone, kWalkListingFailed, kWalkStopped or kWalkIndexCorrupt.
int WalkFiles(CDefragJob& job, const std::string& directory, uint64_t total, uint64_t& filesMet);

// The largest odd prime not above n; 0 for n <= 3 or when there is none.
uint64_t LargestPrimeAtMost(uint64_t n);

// The extent start index size for n counted files: the largest prime at most
// 1.2 n + 1 when that is at least n, else 1.2 n + 1 itself.
uint64_t ExtentIndexSize(uint64_t n);

}  // namespace tarvo::engine
