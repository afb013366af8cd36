// ExtentReader.h --- reading a file's extents from the volume into its FileRecord.
//
// Three entries share one reading loop over FSCTL_GET_RETRIEVAL_POINTERS; they
// differ in how the file is opened and how the cluster bitmap is updated.
// Worker thread only; one read at a time in the whole program (one buffer).
#pragma once

#include "volume/DefragJob.h"
#include "volume/FileRecord.h"

namespace tarvo::volume {

// Analysis: device-form open, falling back to the plain form (share read) with
// warning 0x80021011; RegisterFile after reading. 1 when read, 0 on failure
// (the caller keeps the system-used files list).
int ReadExtents(CDefragJob& job, FileRecord& file);

// After moves: UnregisterFile, plain-form open (share read and write), read,
// RegisterMovedFile. A failed open logs 0x80021011 and lists the path as
// system-used. 1 when read, 0 on failure.
int RefreshExtents(CDefragJob& job, FileRecord& file);

// As RefreshExtents without touching the cluster bitmap.
int RereadExtents(CDefragJob& job, FileRecord& file);

}  // namespace tarvo::volume
