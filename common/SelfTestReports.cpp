// SelfTestReports.cpp --- the self-tests' output lines and the toolkit's reports routed into them.
#include "common/SelfTestReports.h"

#include <wx/log.h>

#include <atomic>
#include <cstdio>
#include <mutex>

namespace tarvo::common {

namespace {

std::atomic<int> g_toolkitReports{0};
std::mutex g_printMutex;

void OnToolkitAssert(const wxString& file, int line, const wxString& func, const wxString& cond,
                     const wxString& msg) {
    ++g_toolkitReports;
    PrintSelfTestLine(wxString::Format("FAIL toolkit assertion %s:%d %s: %s %s", file, line, func, cond, msg)
                          .utf8_string());
}

// Errors, warnings and debug reports of the toolkit (an unreadable accelerator,
// say) count as failures; the rest is printed only.
class SelfTestLog : public wxLog {
protected:
    void DoLogRecord(wxLogLevel level, const wxString& message, const wxLogRecordInfo&) override {
        if (level > wxLOG_Debug)
            return;
        const bool fails = level <= wxLOG_Warning || level == wxLOG_Debug;
        if (fails)
            ++g_toolkitReports;
        PrintSelfTestLine(std::string(fails ? "FAIL toolkit report: " : "toolkit report: ") +
                          message.utf8_string());
    }
};

}  // namespace

void TakeToolkitReports() {
    wxSetAssertHandler(&OnToolkitAssert);
    delete wxLog::SetActiveTarget(new SelfTestLog);
    wxLog::SetLogLevel(wxLOG_Debug);
}

int ToolkitReports() {
    return g_toolkitReports.load();
}

void PrintSelfTestLine(const std::string& line) {
    std::lock_guard lock(g_printMutex);
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

}  // namespace tarvo::common
