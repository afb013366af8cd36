// DeferredPass.h --- a pass over the deferred list: each file moves to the lowest free run below its first extent.
//
// SPACE and COMPLETE put aside the files they could not place; these passes
// retry them with a first fit from LCN 0, taken only when it lies below the
// file's first extent, so a file never moves further up the volume.
#pragma once

#include <cstdint>

#include "engine/PassEnd.h"
#include "engine/WorkingFile.h"
#include "volume/DefragJob.h"

namespace tarvo::engine {

// Whether a file given up on (11) leaves the list or stays for a later pass.
enum class GivenUpFiles { Stay, Leave };
// Whether the attempt counter is kept: above 200 a file is passed over for good.
enum class AttemptCount { No, Yes };
// Whether "Searching..." is sent before each file.
enum class SearchingText { OnlyWhenNoRun, BeforeEachFile };

struct DeferredPassOptions {
    // The pass goes on only while the list holds at least this many files.
    int64_t minimumFiles = 0;
    AttemptCount attempts = AttemptCount::No;
    GivenUpFiles givenUp = GivenUpFiles::Leave;
    SearchingText searching = SearchingText::BeforeEachFile;
};

// Goes once through the job's deferred list by position. A file without
// clusters leaves it; a file moved (1) or that cannot be opened (13) is marked
// done and leaves it; a file given up (11) is marked done and logged with
// 0x8002100D. Other results leave the file listed. Worker thread only.
PassEnd RunDeferredPass(volume::CDefragJob& job, WorkingFile& working, const DeferredPassOptions& options);

}  // namespace tarvo::engine
