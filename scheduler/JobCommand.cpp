// JobCommand.cpp --- building and parsing the defragmenter's job command line.
#include "scheduler/JobCommand.h"

#include <cctype>
#include <cstdlib>

#include "platform/registry/Registry.h"

namespace tarvo::scheduler {

using namespace tarvo::platform;

std::string UpperCase(std::string text) {
    for (auto& c : text) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

std::string DefragmenterPath() {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kDefragmenterAppPathKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return {};
    }
    std::string path;
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key, "", nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ) && size > 0) {
        std::string data(size, '\0');
        if (RegQueryValueExA(key, "", nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) ==
            ERROR_SUCCESS) {
            path = data.substr(0, data.find('\0'));
        }
    }
    RegCloseKey(key);
    path = UpperCase(path);
    while (!path.empty() && path.back() == ' ') {
        path.pop_back();
    }
    if (path.size() >= 4) {
        path.resize(path.size() - 4);
    }
    return path;
}

std::optional<std::string> BuildCommand(const Job& job, const std::string& defragmenterPath) {
    std::string command = defragmenterPath + " ";
    if (job.method == MethodSpace) {
        command += "/SPACE:";
    } else if (job.method == MethodComplete) {
        command += "/COMPLETE:";
    } else {
        return std::nullopt;
    }
    command += job.drive != 0 ? std::string(1, static_cast<char>('A' + job.drive)) : std::string("ALL");
    if (job.sort != SortBySettings) {
        command += std::string(" /SORT:") + (job.sort == SortLastModified ? "LASTMODIFIED" : "NAME");
    }
    if (job.logging) {
        command += " /LOG:" + std::to_string(job.logLevel);
    }
    return command;
}

namespace {
// The text after `word` up to the first character of `delimiters`.
std::string TokenAfter(const std::string& command, size_t position, const std::string& word,
                       const char* delimiters) {
    size_t start = position + word.size();
    size_t end = command.find_first_of(delimiters, start);
    return command.substr(start, end == std::string::npos ? std::string::npos : end - start);
}
}  // namespace

bool ParseCommand(Job& job) {
    std::string command = UpperCase(job.command);
    if (size_t at = command.find("/LOG:"); at != std::string::npos) {
        int level = std::atoi(TokenAfter(command, at, "/LOG:", " ").c_str());
        if (level <= 0) {
            return false;
        }
        job.logging = true;
        job.logLevel = level;
    }
    std::string word = "/COMPLETE:";
    size_t at = command.find(word);
    if (at != std::string::npos) {
        job.method = MethodComplete;
    } else {
        word = "/SPACE:";
        at = command.find(word);
        if (at == std::string::npos) {
            return false;
        }
        job.method = MethodSpace;
    }
    std::string drive = TokenAfter(command, at, word, " ,");
    if (drive == "ALL") {
        job.drive = 0;
    } else if (drive.size() == 1 && drive[0] >= 'A' && drive[0] <= 'Z') {
        job.drive = static_cast<int16_t>(drive[0] - 'A');
    } else {
        return false;
    }
    if (size_t sortAt = command.find("/SORT:"); sortAt != std::string::npos) {
        std::string sort = TokenAfter(command, sortAt, "/SORT:", " ");
        if (sort == "NAME") {
            job.sort = SortName;
        } else if (sort == "LASTMODIFIED") {
            job.sort = SortLastModified;
        } else {
            return false;
        }
    }
    return true;
}

bool BelongsToDefragmenter(const std::string& command, const std::string& defragmenterPath) {
    size_t start = command.find_first_not_of(' ');
    std::string text = start == std::string::npos ? std::string() : UpperCase(command.substr(start));
    if (text.size() < defragmenterPath.size()) {
        return false;
    }
    return text.compare(0, defragmenterPath.size(), defragmenterPath) == 0;
}

}  // namespace tarvo::scheduler
