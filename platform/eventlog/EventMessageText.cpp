// EventMessageText.cpp --- locating a source's message file and formatting event records with it.
#include "platform/eventlog/EventMessageText.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <vector>

#include "platform/eventlog/MessageFile.h"
#include "platform/registry/Registry.h"
#include "platform/registry/RegistryDetail.h"

namespace tarvo::platform {

namespace {

bool IsRegularFile(const std::string& path) {
    struct stat info {};
    return !path.empty() && stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// Replaces %NAME% by the environment variable's value; unknown names stay as written.
std::string ExpandEnvironment(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        size_t close = text[i] == '%' ? text.find('%', i + 1) : std::string::npos;
        if (close != std::string::npos && close > i + 1) {
            std::string name = text.substr(i + 1, close - i - 1);
            if (const char* value = std::getenv(name.c_str()); value != nullptr) {
                out += value;
                i = close;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

std::string ReadEventMessageFileValue(const std::string& source) {
    if (source.empty() || source.find('\\') != std::string::npos) {
        return {};
    }
    std::string keyName = std::string(kEventLogApplicationKey) + "\\" + source;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyName.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return {};
    }
    DWORD type = 0;
    DWORD size = 0;
    std::string value;
    if (RegQueryValueExA(key, "EventMessageFile", nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ)) {
        value.resize(size);
        if (RegQueryValueExA(key, "EventMessageFile", nullptr, &type, reinterpret_cast<BYTE*>(value.data()),
                             &size) != ERROR_SUCCESS) {
            value.clear();
        }
        value = value.substr(0, value.find('\0'));
    }
    RegCloseKey(key);
    return type == REG_EXPAND_SZ ? ExpandEnvironment(value) : value;
}

std::string ExecutableDirectory() {
    char path[4096];
    ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (length <= 0) {
        return {};
    }
    std::string exe(path, static_cast<size_t>(length));
    return exe.substr(0, exe.rfind('/'));
}

// Loaded message files by path, reloaded when the file changes.
struct CachedFile {
    time_t modified = 0;
    off_t size = 0;
    bool ok = false;
    MessageFile file;
};

std::mutex g_cacheMutex;

const MessageFile* LoadCached(const std::string& path) {
    static std::map<std::string, CachedFile> cache;
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        return nullptr;
    }
    CachedFile& entry = cache[path];
    if (entry.modified != info.st_mtime || entry.size != info.st_size || (!entry.ok && entry.modified == 0)) {
        std::string error;
        entry.ok = entry.file.Load(path, error);
        entry.modified = info.st_mtime;
        entry.size = info.st_size;
    }
    return entry.ok ? &entry.file : nullptr;
}

std::string Hex(DWORD id) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08X", id);
    return text;
}

}  // namespace

std::string FindMessageFile(const std::string& source) {
    std::string value = ReadEventMessageFileValue(source);
    size_t start = 0;
    while (start <= value.size() && !value.empty()) {
        size_t end = value.find(';', start);
        std::string path = value.substr(start, end == std::string::npos ? end : end - start);
        for (char& c : path) {
            c = c == '\\' ? '/' : c;
        }
        if (IsRegularFile(path)) {
            return path;
        }
        if (path.size() > 4 && RegistryFold(path.substr(path.size() - 4)) == ".dll") {
            std::string mc = path.substr(0, path.size() - 4) + ".mc";
            if (IsRegularFile(mc)) {
                return mc;
            }
        }
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    std::string beside = ExecutableDirectory() + "/Messages.mc";
    return IsRegularFile(beside) ? beside : std::string();
}

std::string FormatEventRecord(const EventRecord& record) {
    std::string path = FindMessageFile(record.source);
    if (!path.empty()) {
        std::lock_guard lock(g_cacheMutex);
        if (const MessageFile* file = LoadCached(path); file != nullptr) {
            if (const MessageEntry* entry = file->Find(record.eventId); entry != nullptr) {
                return FormatMessageText(entry->Text(), record.strings);
            }
        }
    }
    std::string text = "No description found for event " + std::to_string(record.eventId & 0xFFFF) + " (" +
                       Hex(record.eventId) + ") of source \"" + record.source + "\".";
    if (!record.strings.empty()) {
        text += " Insertion strings:";
        for (const auto& s : record.strings) {
            text += " \"" + s + "\"";
        }
    }
    return text;
}

}  // namespace tarvo::platform
