// Logger.cpp --- Report and the logger's state: event source, display, buffering, message log, ask rows.
#include "app/Logger.h"

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "app/ConsolePresenter.h"
#include "app/MessageFormat.h"
#include "app/MessageTable.h"
#include "app/RegistryValues.h"
#include "app/Settings.h"
#include "app/StringTable.h"
#include "platform/eventlog/EventLog.h"
#include "platform/registry/Registry.h"

namespace tarvo::app {
namespace {

using namespace tarvo::platform;

constexpr int kMaxInserts = 6;

// The five event-log limits and their event types, in the same order.
constexpr uint32_t kLimits[] = {0x1000, 0x2000, 0x3000, 0x4000, 0xFFFF};
constexpr WORD kEventTypes[] = {EVENTLOG_ERROR_TYPE, EVENTLOG_WARNING_TYPE, EVENTLOG_INFORMATION_TYPE,
                                EVENTLOG_INFORMATION_TYPE, EVENTLOG_INFORMATION_TYPE};

constexpr const char* kEventLogKeyPrefix = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\";
constexpr DWORD kTypesSupported = 7;

struct LoggerState {
    std::mutex lock;  // guards every field below
    HEVENTLOG source = nullptr;
    PSID userSid = nullptr;
    bool display = true;
    bool buffering = false;
    char drive = 0;
    std::optional<std::deque<MessageLogRecord>> log;  // newest first; absent until its first record
    std::set<MessageId> suppressed;                   // ask rows silenced by their check box
    bool logDialogShown = false;
    bool exitHookInstalled = false;
};

// Never destroyed, so that a report during process exit finds its state.
LoggerState& State() {
    static LoggerState* state = new LoggerState();
    return *state;
}

std::atomic<MessagePresenter*> g_presenter{nullptr};

MessagePresenter& Presenter() {
    static ConsolePresenter* console = new ConsolePresenter();
    MessagePresenter* installed = g_presenter.load();
    return installed ? *installed : *console;
}

// The threshold of the LogLevel setting: 0 and 1 log errors only, 4 up to program events.
uint32_t ThresholdFor(int logLevel) {
    int position = logLevel <= 0 ? 0 : logLevel - 1;
    if (position > 3)
        position = 3;
    return kLimits[position];
}

void WriteEvent(MessageId id, const std::vector<std::string>& inserts) {
    CSettings& settings = Settings();
    if (!settings.Enabled())
        return;
    uint32_t code = MessageCode(id);
    if (code > ThresholdFor(settings.LogLevel()))
        return;
    WORD type = EVENTLOG_INFORMATION_TYPE;
    for (size_t i = 0; i < std::size(kLimits); ++i) {
        if (kLimits[i] >= code) {
            type = kEventTypes[i];
            break;
        }
    }
    const char* strings[kMaxInserts] = {};
    for (size_t i = 0; i < inserts.size(); ++i) strings[i] = inserts[i].c_str();
    LoggerState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    if (state.source == nullptr)
        return;
    ReportEventA(state.source, type, 0, id, state.userSid, static_cast<WORD>(inserts.size()), 0,
                 inserts.empty() ? nullptr : strings, nullptr);
}

std::string WithoutLineBreaks(std::string text) {
    for (char& c : text)
        if (c == '\n')
            c = ' ';
    return text;
}

std::string InsertAt(const std::vector<std::string>& inserts, size_t index) {
    return index < inserts.size() ? inserts[index] : std::string();
}

StatusReportRequest StatusReportOf(MessageId id, const std::string& text,
                                   const std::vector<std::string>& inserts) {
    StatusReportRequest request;
    request.id = id;
    request.text = text;
    request.drive = InsertAt(inserts, 0);
    request.fileSystem = InsertAt(inserts, 1);
    request.totalFiles = InsertAt(inserts, 2);
    request.fragmentedBefore = InsertAt(inserts, 3);
    request.fragmentedNow = InsertAt(inserts, 4);
    return request;
}

void CloseSourceAtExit() {
    DeregisterSource();
}

}  // namespace

int Report(MessageId id, const char* s1, const char* s2, const char* s3, const char* s4, const char* s5,
           const char* s6) {
    // The insertion strings count up to the first absent one.
    std::vector<std::string> inserts;
    for (const char* s : {s1, s2, s3, s4, s5, s6}) {
        if (s == nullptr)
            break;
        inserts.emplace_back(s);
    }

    WriteEvent(id, inserts);

    LoggerState& state = State();
    {
        std::lock_guard<std::mutex> guard(state.lock);
        if (!state.display)
            return 0;
    }
    if (Settings().QuietMode())
        return 0;

    const MessageRow* row = FindMessageRow(id);
    if (row == nullptr)
        return -1;
    if (row->textId == 0)
        return 0;
    std::string text = FormatMessageText(LoadString(row->textId), inserts);

    bool statusReport = IsStatusReportMessage(id);
    {
        std::unique_lock<std::mutex> guard(state.lock);
        if (row->ask && state.suppressed.count(id) != 0)
            return 0;
        if (state.buffering && !state.log)
            state.log.emplace();
        if (state.log) {
            MessageLogRecord record;
            record.time = std::time(nullptr);
            record.drive = state.drive;
            record.text = WithoutLineBreaks(text);
            record.style = row->style;
            record.helpId = row->helpId;
            state.log->push_front(std::move(record));
            guard.unlock();
            if (statusReport)
                Presenter().ShowStatusReport(StatusReportOf(id, text, inserts));
            return row->loggedReturn;
        }
    }

    if (Settings().AllDrives())
        return 0;
    if (row->ask) {
        AskBoxRequest request{id, text, row->style, row->helpId, LoadString(row->checkTextId)};
        bool checked = false;
        int result = Presenter().ShowAskBox(request, checked);
        if (checked) {
            std::lock_guard<std::mutex> guard(state.lock);
            state.suppressed.insert(id);
        }
        return result;
    }
    if (statusReport)
        return Presenter().ShowStatusReport(StatusReportOf(id, text, inserts));
    return Presenter().ShowMessageBox(MessageBoxRequest{id, text, row->style, row->helpId});
}

BOOL RegisterSource(void* userSid, const char* sourceName) {
    std::string name = sourceName ? std::string(sourceName) : LoadString(IDS_PROGRAM_NAME);
    HEVENTLOG source = RegisterEventSourceA(nullptr, name.c_str());
    LoggerState& state = State();
    HEVENTLOG previous = nullptr;
    bool installHook = false;
    {
        std::lock_guard<std::mutex> guard(state.lock);
        previous = state.source;
        state.source = source;
        state.userSid = userSid;
        if (source != nullptr && !state.exitHookInstalled) {
            state.exitHookInstalled = true;
            installHook = true;
        }
    }
    if (previous != nullptr)
        DeregisterEventSource(previous);
    // Registered after the event log opened its store, so it runs before that store goes away.
    if (installHook)
        std::atexit(CloseSourceAtExit);
    return source != nullptr ? TRUE : FALSE;
}

void DeregisterSource() {
    LoggerState& state = State();
    HEVENTLOG source = nullptr;
    {
        std::lock_guard<std::mutex> guard(state.lock);
        source = state.source;
        state.source = nullptr;
    }
    if (source != nullptr)
        DeregisterEventSource(source);
}

void RegisterMessageFile() {
    std::string keyName = kEventLogKeyPrefix + LoadString(IDS_PROGRAM_NAME);
    std::string path = ReadString(HKEY_LOCAL_MACHINE, LoadString(IDS_MESSAGE_FILE_KEY).c_str(),
                                  LoadString(IDS_MESSAGE_FILE_PATH_VALUE).c_str());
    if (!path.empty()) {
        if (path.back() != '\\')
            path += '\\';
        path += LoadString(IDS_MESSAGE_FILE_NAME);
    }
    HKEY key = nullptr;
    if (RegCreateKeyA(HKEY_LOCAL_MACHINE, keyName.c_str(), &key) != static_cast<LSTATUS>(ERROR_SUCCESS))
        return;
    LSTATUS written =
        RegSetValueExA(key, "EventMessageFile", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                       static_cast<DWORD>(path.size() + 1));
    if (written == static_cast<LSTATUS>(ERROR_SUCCESS)) {
        DWORD types = kTypesSupported;
        RegSetValueExA(key, "TypesSupported", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&types),
                       sizeof(types));
    }
    RegCloseKey(key);
}

void SetDisplay(Display display) {
    LoggerState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    state.display = display == Display::On;
}

void BeginRunMessages(char driveLetter) {
    bool buffer = Settings().BufferMessages() != 0;
    LoggerState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    state.drive = driveLetter;
    state.buffering = buffer;
}

void ClearLog() {
    LoggerState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    state.buffering = false;
    state.log.reset();
}

BOOL HasLoggedMessages() {
    LoggerState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    return state.log && !state.log->empty() ? TRUE : FALSE;
}

std::vector<MessageLogRecord> MessageLogRecords() {
    LoggerState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    if (!state.log)
        return {};
    return std::vector<MessageLogRecord>(state.log->begin(), state.log->end());
}

void ShowLog() {
    LoggerState& state = State();
    std::vector<MessageLogRecord> records;
    {
        std::lock_guard<std::mutex> guard(state.lock);
        if (!state.log || state.log->empty() || state.logDialogShown)
            return;
        state.logDialogShown = true;
        records.assign(state.log->begin(), state.log->end());
    }
    Presenter().ShowMessageLog(records);
    std::lock_guard<std::mutex> guard(state.lock);
    state.logDialogShown = false;
}

MessagePresenter* SetPresenter(MessagePresenter* presenter) {
    return g_presenter.exchange(presenter);
}

}  // namespace tarvo::app
