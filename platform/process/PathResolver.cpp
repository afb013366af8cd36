// PathResolver.cpp --- Windows-style path resolution over the Linux file tree.
#include "platform/process/PathResolver.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <vector>

#include "platform/core/TarvoHome.h"
#include "platform/registry/Registry.h"

namespace tarvo::platform {

bool EqualsIgnoreCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

namespace {

bool EndsWithExe(const std::string& name) {
    return name.size() > 4 && EqualsIgnoreCase(name.substr(name.size() - 4), ".exe");
}

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsExecutableFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

std::string Join(const std::string& folder, const std::string& name) {
    return folder == "/" ? "/" + name : folder + "/" + name;
}

// The entry of a folder matching a name: exact first, else the first
// case-insensitive match in sorted order (so the answer is stable).
std::optional<std::string> FindEntry(const std::string& folder, const std::string& name) {
    struct stat st {};
    std::string exact = Join(folder, name);
    if (::lstat(exact.c_str(), &st) == 0) {
        return exact;
    }
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return std::nullopt;
    }
    std::vector<std::string> matches;
    while (dirent* entry = ::readdir(dir)) {
        if (EqualsIgnoreCase(entry->d_name, name)) {
            matches.emplace_back(entry->d_name);
        }
    }
    ::closedir(dir);
    if (matches.empty()) {
        return std::nullopt;
    }
    std::sort(matches.begin(), matches.end());
    return Join(folder, matches.front());
}

struct SplitPath {
    std::string root;                     // a Linux folder, empty when unresolvable
    std::vector<std::string> components;  // the names below it
};

std::string Trim(const std::string& text) {
    size_t b = text.find_first_not_of(" \t");
    if (b == std::string::npos) {
        return {};
    }
    size_t e = text.find_last_not_of(" \t");
    std::string out = text.substr(b, e - b + 1);
    if (out.size() >= 2 && out.front() == '"' && out.back() == '"') {
        out = out.substr(1, out.size() - 2);
    }
    return out;
}

// Splits a path into its Linux root folder and its components; nothing for
// refused forms (UNC, unknown drive letters).
std::optional<SplitPath> Split(const std::string& raw) {
    std::string path = Trim(raw);
    std::replace(path.begin(), path.end(), '\\', '/');
    if (path.empty() || path.find('\0') != std::string::npos) {
        return std::nullopt;
    }
    SplitPath out;
    std::string rest;
    if (path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]))) {
        char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(path[0])));
        if (letter == 'z') {
            out.root = "/";
        } else {
            std::string link = TarvoHomePath("dosdevices") + "/" + letter + ":";
            if (!IsDirectory(link)) {
                return std::nullopt;
            }
            out.root = link;
        }
        rest = path.substr(2);
    } else if (path.rfind("//", 0) == 0) {
        return std::nullopt;
    } else if (path[0] == '/') {
        out.root = "/";
        rest = path;
    } else {
        char cwd[4096];
        if (::getcwd(cwd, sizeof cwd) == nullptr) {
            return std::nullopt;
        }
        out.root = cwd;
        rest = path;
    }
    size_t i = 0;
    while (i <= rest.size()) {
        size_t j = rest.find('/', i);
        if (j == std::string::npos) {
            j = rest.size();
        }
        std::string part = rest.substr(i, j - i);
        if (part == "..") {
            if (!out.components.empty()) {
                out.components.pop_back();
            }
        } else if (!part.empty() && part != ".") {
            out.components.push_back(part);
        }
        i = j + 1;
    }
    return out;
}

// Walks all but the last `keep` components case-insensitively from the root.
std::optional<std::string> WalkFolders(const SplitPath& split, size_t keep) {
    std::string folder = split.root;
    for (size_t k = 0; k + keep < split.components.size(); ++k) {
        auto next = FindEntry(folder, split.components[k]);
        if (!next || !IsDirectory(*next)) {
            return std::nullopt;
        }
        folder = *next;
    }
    return folder;
}

// The program file in one folder: the name, the name without ".exe", the name with ".exe".
std::optional<std::string> FindProgramIn(const std::string& folder, const std::string& name) {
    std::vector<std::string> candidates{name};
    if (EndsWithExe(name)) {
        candidates.push_back(name.substr(0, name.size() - 4));
    } else {
        candidates.push_back(name + ".exe");
    }
    for (const auto& candidate : candidates) {
        if (auto found = FindEntry(folder, candidate); found && IsExecutableFile(*found)) {
            return found;
        }
    }
    return std::nullopt;
}

std::optional<std::string> ResolveProgramDirect(const std::string& program) {
    std::string trimmed = Trim(program);
    bool bare = trimmed.find_first_of("/\\:") == std::string::npos;
    if (bare) {
        if (trimmed.empty()) {
            return std::nullopt;
        }
        std::vector<std::string> folders;
        char cwd[4096];
        if (::getcwd(cwd, sizeof cwd) != nullptr) {
            folders.emplace_back(cwd);
        }
        if (const char* env = std::getenv("PATH")) {
            std::string list = env;
            size_t i = 0;
            while (i <= list.size()) {
                size_t j = list.find(':', i);
                if (j == std::string::npos) {
                    j = list.size();
                }
                if (j > i) {
                    folders.push_back(list.substr(i, j - i));
                }
                i = j + 1;
            }
        }
        for (const auto& folder : folders) {
            if (auto found = FindProgramIn(folder, trimmed)) {
                return found;
            }
        }
        return std::nullopt;
    }
    auto split = Split(trimmed);
    if (!split || split->components.empty()) {
        return std::nullopt;
    }
    auto folder = WalkFolders(*split, 1);
    if (!folder) {
        return std::nullopt;
    }
    return FindProgramIn(*folder, split->components.back());
}

std::string ReadAppPathValue(HKEY key, const char* valueName) {
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key, valueName, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ) || size == 0) {
        return {};
    }
    std::string data(size, '\0');
    if (RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) !=
        ERROR_SUCCESS) {
        return {};
    }
    data.resize(std::min<size_t>(size, data.size()));
    if (size_t nul = data.find('\0'); nul != std::string::npos) {
        data.resize(nul);
    }
    return data;
}

std::optional<std::string> ResolveThroughAppPaths(const std::string& program) {
    std::string name = Trim(program);
    if (size_t cut = name.find_last_of("/\\:"); cut != std::string::npos) {
        name = name.substr(cut + 1);
    }
    if (name.empty() || name == "." || name == "..") {
        return std::nullopt;
    }
    std::string keyName = EndsWithExe(name) ? name : name + ".exe";
    HKEY key = nullptr;
    std::string subKey = std::string(kAppPathsKey) + "\\" + keyName;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, subKey.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    std::string full = ReadAppPathValue(key, "");
    std::string folder = ReadAppPathValue(key, "Path");
    RegCloseKey(key);
    if (!full.empty()) {
        if (auto found = ResolveProgramDirect(full)) {
            return found;
        }
    }
    if (!folder.empty()) {
        if (auto dir = ResolveWindowsPath(folder); dir && IsDirectory(*dir)) {
            return FindProgramIn(*dir, name);
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> ResolveWindowsPath(const std::string& path) {
    auto split = Split(path);
    if (!split) {
        return std::nullopt;
    }
    if (split->components.empty()) {
        return split->root;
    }
    auto folder = WalkFolders(*split, 1);
    if (!folder) {
        return std::nullopt;
    }
    return FindEntry(*folder, split->components.back());
}

std::optional<std::string> ResolveProgramPath(const std::string& program) {
    if (auto found = ResolveProgramDirect(program)) {
        return found;
    }
    return ResolveThroughAppPaths(program);
}

}  // namespace tarvo::platform
