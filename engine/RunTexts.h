// RunTexts.h --- the status texts and drive names the analysis and the methods send and log.
#pragma once

#include <string>

#include "app/StringTable.h"
#include "volume/DefragJob.h"
#include "volume/ViewSink.h"

namespace tarvo::engine {

// "Analyzing drive C:\ ..." for the job's root path.
inline std::string AnalyzingText(const volume::CDefragJob& job) {
    return app::LoadString(app::IDS_ANALYZING_DRIVE) + " " + job.m_rootPath + " " + app::LoadString(app::IDS_ELLIPSIS);
}

// The root path without its trailing backslash ("C:"), as the run events name the drive.
inline std::string DriveName(const volume::CDefragJob& job) {
    std::string name = job.m_rootPath;
    if (!name.empty() && name.back() == '\\') name.pop_back();
    return name;
}

// Sends a status text to the main pane of the job's view, when it has one.
inline void SendStatus(volume::CDefragJob& job, std::string text) {
    if (job.m_view) job.m_view->SetStatusText(volume::kStatusPaneMain, std::move(text));
}

inline void SendPercent(volume::CDefragJob& job, int percent) {
    if (job.m_view) job.m_view->SetPercent(percent);
}

inline void SendFragCount(volume::CDefragJob& job) {
    if (job.m_view) job.m_view->SetFragCount(job.m_fragmentedFiles);
}

}  // namespace tarvo::engine
