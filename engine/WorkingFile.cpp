// WorkingFile.cpp --- the move procedure's frame around one file.
#include "engine/WorkingFile.h"

#include "volume/ViewSink.h"

namespace tarvo::engine {

void WorkingFile::Begin(volume::FileRecord& file, SendPath send) {
    End();
    m_file = &file;
    file.MarkWorking();
    if (m_job.m_view) m_job.m_view->RedrawFile(file);
    // A record with no path: made as a directory record so that no file status is asked for "".
    m_snapshot = std::make_unique<volume::FileRecord>(std::string(), volume::RecordKind::Directory);
    m_snapshot->CopyPairs(file);
    if (send == SendPath::Yes && m_job.m_view) m_job.m_view->SetStatusText(volume::kStatusPaneMain, file.Path());
}

void WorkingFile::End() {
    if (!m_file) return;
    m_file->ClearWorking();
    m_snapshot->ClearWorking();
    if (m_job.m_view) {
        m_job.m_view->RedrawFile(*m_snapshot);
        m_job.m_view->RedrawFile(*m_file);
    }
    m_snapshot.reset();
    m_file = nullptr;
}

}  // namespace tarvo::engine
