// CommandEventlog.cpp --- tarvoctl eventlog: the application event log with its message texts.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "platform/eventlog/EventLog.h"
#include "platform/eventlog/EventLogReader.h"
#include "platform/eventlog/EventMessageText.h"
#include "platform/registry/RegistryDetail.h"
#include "tools/tarvoctl/Command.h"

namespace tarvo::tools {

using namespace tarvo::platform;

namespace {

constexpr const char* kUsage = "eventlog [--source S] [--type error|warning|information] [--last N] [--json]";

const char* TypeName(WORD type) {
    switch (type) {
        case EVENTLOG_ERROR_TYPE:
            return "Error";
        case EVENTLOG_WARNING_TYPE:
            return "Warning";
        case EVENTLOG_INFORMATION_TYPE:
            return "Information";
        case EVENTLOG_SUCCESS:
            return "Success";
        default:
            return "Unknown";
    }
}

std::string FormatTime(int64_t seconds, bool utcIso) {
    time_t time = static_cast<time_t>(seconds);
    struct tm parts {};
    char text[40];
    if (utcIso) {
        gmtime_r(&time, &parts);
        std::strftime(text, sizeof(text), "%Y-%m-%dT%H:%M:%SZ", &parts);
    } else {
        localtime_r(&time, &parts);
        std::strftime(text, sizeof(text), "%Y-%m-%d %H:%M:%S", &parts);
    }
    return text;
}

// Length of the valid UTF-8 sequence at text[i], or 0.
size_t Utf8Length(const std::string& text, size_t i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (length == 0 || i + length > text.size()) {
        return 0;
    }
    for (size_t k = 1; k < length; ++k) {
        if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
            return 0;
        }
    }
    return length;
}

// Texts come from other programs: control characters other than line breaks
// and tabs are shown as '?', so no text can drive the terminal.
std::string ForTerminal(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\r') {
            if (i + 1 < text.size() && text[i + 1] == '\n') {
                continue;
            }
            out += '\n';
        } else if ((c < 0x20 && c != '\n' && c != '\t') || c == 0x7F) {
            out += '?';
        } else {
            out += static_cast<char>(c);
        }
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) {
        out.pop_back();
    }
    return out;
}

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        size_t length = Utf8Length(text, i);
        if (length == 0) {
            out += "\\ufffd";
            ++i;
            continue;
        }
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof(escape), "\\u%04x", c);
            out += escape;
        } else {
            out += text.substr(i, length);
        }
        i += length;
    }
    return out + "\"";
}

std::string Hex(DWORD id) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08X", id);
    return text;
}

void PrintList(const std::vector<EventRecord>& records) {
    if (records.empty()) {
        std::printf("No events.\n");
        return;
    }
    for (const auto& record : records) {
        std::printf("%-6u %s  %-11s %s  Event ID %u (%s)\n", record.recordNumber,
                    FormatTime(record.timeGenerated, false).c_str(), TypeName(record.eventType),
                    ForTerminal(record.source).c_str(), record.eventId & 0xFFFF, Hex(record.eventId).c_str());
        std::string text = ForTerminal(FormatEventRecord(record));
        size_t start = 0;
        while (start <= text.size()) {
            size_t end = text.find('\n', start);
            std::printf("       %s\n",
                        text.substr(start, end == std::string::npos ? end : end - start).c_str());
            if (end == std::string::npos) {
                break;
            }
            start = end + 1;
        }
    }
}

void PrintJson(const std::vector<EventRecord>& records) {
    std::printf("[");
    for (size_t i = 0; i < records.size(); ++i) {
        const auto& r = records[i];
        std::string strings = "[";
        for (size_t s = 0; s < r.strings.size(); ++s) {
            strings += (s ? ", " : "") + JsonString(r.strings[s]);
        }
        strings += "]";
        std::string message = FormatEventRecord(r);
        while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
            message.pop_back();
        }
        std::printf(
            "%s\n  {\"record\": %u, \"timeGenerated\": \"%s\", \"timeWritten\": \"%s\", \"type\": \"%s\", "
            "\"source\": %s, \"eventId\": %u, \"fullEventId\": \"%s\", \"category\": %u, \"user\": %s, "
            "\"computer\": %s, \"strings\": %s, \"message\": %s}",
            i ? "," : "", r.recordNumber, FormatTime(r.timeGenerated, true).c_str(),
            FormatTime(r.timeWritten, true).c_str(), TypeName(r.eventType), JsonString(r.source).c_str(),
            r.eventId & 0xFFFF, Hex(r.eventId).c_str(), r.category, JsonString(r.userSid).c_str(),
            JsonString(r.computerName).c_str(), strings.c_str(), JsonString(message).c_str());
    }
    std::printf("%s]\n", records.empty() ? "" : "\n");
}

int Usage(const std::string& problem) {
    std::fprintf(stderr, "tarvoctl eventlog: %s\nusage: tarvoctl %s\n", problem.c_str(), kUsage);
    return 1;
}

int RunEventlog(const Arguments& args) {
    EventFilter filter;
    bool json = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        bool needsValue = word == "--source" || word == "--type" || word == "--last";
        if (needsValue && i + 1 >= args.size()) {
            return Usage(word + " needs a value");
        }
        if (word == "--json") {
            json = true;
        } else if (word == "--source") {
            filter.source = args[++i];
        } else if (word == "--type") {
            std::string type = RegistryFold(args[++i]);
            if (type == "error") {
                filter.eventType = EVENTLOG_ERROR_TYPE;
            } else if (type == "warning") {
                filter.eventType = EVENTLOG_WARNING_TYPE;
            } else if (type == "information") {
                filter.eventType = EVENTLOG_INFORMATION_TYPE;
            } else {
                return Usage("unknown type '" + args[i] + "' (error, warning or information)");
            }
        } else if (word == "--last") {
            const std::string& count = args[++i];
            errno = 0;
            char* end = nullptr;
            unsigned long long n = std::strtoull(count.c_str(), &end, 10);
            if (count.empty() || count[0] == '-' || *end != '\0' || errno != 0 || n == 0) {
                return Usage("--last takes a positive number, not '" + count + "'");
            }
            filter.last = static_cast<size_t>(n);
        } else if (word == "--help" || word == "-h") {
            std::printf("usage: tarvoctl %s\n", kUsage);
            return 0;
        } else {
            return Usage("unknown argument '" + word + "'");
        }
    }
    std::vector<EventRecord> records;
    std::string error;
    if (!ReadEventLog(filter, records, error)) {
        std::fprintf(stderr, "tarvoctl eventlog: %s\n", error.c_str());
        return 1;
    }
    if (json) {
        PrintJson(records);
    } else {
        PrintList(records);
    }
    return 0;
}

CommandRegistration g_eventlog{
    {"eventlog", kUsage, "show the application event log with its message texts", RunEventlog}};

}  // namespace

}  // namespace tarvo::tools
