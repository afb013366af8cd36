// Presenter.h --- where the logger's boxes, ask box, status report and Message Log appear.
//
// The logger decides what to show; a presenter shows it. The console presenter
// writes to standard error; the windows install their own. A presenter is
// called on the reporting thread and answers when the user has closed the box.
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "app/MessageIds.h"
#include "platform/core/NtTypes.h"

namespace tarvo::app {

using platform::DWORD;
using platform::UINT;

// Message-box styles and button identifiers, as the platform spells them.
constexpr UINT MB_OK = 0x00000000;
constexpr UINT MB_OKCANCEL = 0x00000001;
constexpr UINT MB_YESNO = 0x00000004;
constexpr UINT MB_ICONHAND = 0x00000010;
constexpr UINT MB_ICONQUESTION = 0x00000020;
constexpr UINT MB_ICONEXCLAMATION = 0x00000030;
constexpr UINT MB_ICONINFORMATION = 0x00000040;
constexpr UINT MB_DEFBUTTON2 = 0x00000100;
constexpr UINT MB_TYPEMASK = 0x0000000F;
constexpr UINT MB_ICONMASK = 0x000000F0;
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

struct MessageBoxRequest {
    MessageId id = 0;
    std::string text;  // formatted, may hold "\n"
    UINT style = 0;
    DWORD helpId = 0;
};

struct AskBoxRequest {
    MessageId id = 0;
    std::string text;
    UINT style = 0;
    DWORD helpId = 0;
    std::string checkText;  // "Do not display this message again during this session."
};

// The five insertion strings of a completion message, in the report's order.
struct StatusReportRequest {
    MessageId id = 0;
    std::string text;
    std::string drive;
    std::string fileSystem;
    std::string totalFiles;
    std::string fragmentedBefore;
    std::string fragmentedNow;
};

// One record of the message log.
struct MessageLogRecord {
    std::time_t time = 0;  // whole seconds
    char drive = 0;        // drive letter current at the report, 0 when none
    std::string text;      // every "\n" replaced by a blank
    UINT style = 0;
    DWORD helpId = 0;
};

// The "% fragmented files" figure of the status report: now / total as
// "%d.%02d%%" (100.00% when total is 0) and the bar position on 0..10000.
struct FragmentedShare {
    std::string percentText;
    int barPosition = 0;
};
FragmentedShare ComputeFragmentedShare(const std::string& totalFiles, const std::string& fragmentedNow);

// The Message Log dialog's time column: "%4d-%02d-%02d %02d:%02d:%02d" in local time.
std::string FormatLogTime(std::time_t time);

class MessagePresenter {
public:
    virtual ~MessagePresenter() = default;

    // A modal message box with the style's icon and buttons; answers the button pressed.
    virtual int ShowMessageBox(const MessageBoxRequest& request) = 0;

    // The ask box; answers the button pressed and sets `checked` when the user
    // ticked the check box.
    virtual int ShowAskBox(const AskBoxRequest& request, bool& checked) = 0;

    // The status report of a completed run; answers the button pressed.
    virtual int ShowStatusReport(const StatusReportRequest& request) = 0;

    // The Message Log dialog, modal, with the records newest first. Its "Clear"
    // button calls ClearLog() of the logger.
    virtual void ShowMessageLog(const std::vector<MessageLogRecord>& records) = 0;
};

}  // namespace tarvo::app
