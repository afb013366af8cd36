// WorkingFile.h --- the move procedure's frame around one file: marked as worked on, snapshot of its old place.
//
// Begin marks the file (state 50), has the view redraw it, keeps a snapshot
// record of its pairs so that the old place can be redrawn, and sends its path
// as the status text. End resets both, redraws both and drops the snapshot.
// The destructor ends a frame still open, so no early return leaves a file marked.
#pragma once

#include <memory>

#include "volume/DefragJob.h"
#include "volume/FileRecord.h"

namespace tarvo::engine {

class WorkingFile {
public:
    explicit WorkingFile(volume::CDefragJob& job) : m_job(job) {}
    ~WorkingFile() { End(); }
    WorkingFile(const WorkingFile&) = delete;
    WorkingFile& operator=(const WorkingFile&) = delete;

    // Opens the frame for file (ending an open one first); sends the path unless told not to.
    enum class SendPath { No, Yes };
    void Begin(volume::FileRecord& file, SendPath send = SendPath::Yes);
    // ClearWorking on file and snapshot, redraw both, discard the snapshot. No-op when closed.
    void End();
    bool IsOpen() const { return m_file != nullptr; }
    volume::FileRecord* File() const { return m_file; }

private:
    volume::CDefragJob& m_job;
    volume::FileRecord* m_file = nullptr;
    std::unique_ptr<volume::FileRecord> m_snapshot;
};

}  // namespace tarvo::engine
