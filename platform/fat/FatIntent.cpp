// FatIntent.cpp --- the intent record as a small text file, replaced atomically.
#include "platform/fat/FatIntent.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/core/TarvoHome.h"

namespace tarvo::platform {

namespace {

constexpr const char* kMagic = "tarvo-fat-intent 1";

bool SyncPath(const std::string& path, int flags) {
    int fd = ::open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

std::string Folder() { return TarvoHomePath("fat-intent"); }

}  // namespace

std::string FatIntentPath(const std::string& deviceName) {
    char resolved[PATH_MAX];
    std::string key = ::realpath(deviceName.c_str(), resolved) != nullptr ? resolved : deviceName;
    uint64_t hash = 0xcbf29ce484222325ull;
    for (unsigned char c : key) {
        hash = (hash ^ c) * 0x100000001b3ull;
    }
    char name[40];
    std::snprintf(name, sizeof name, "%016llx.intent", static_cast<unsigned long long>(hash));
    return Folder() + "/" + name;
}

bool WriteFatIntent(const std::string& path, const FatIntent& intent, std::string& error) {
    std::error_code ec;
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    std::filesystem::create_directories(folder, ec);
    std::ostringstream text;
    text << kMagic << "\n"
         << "volume " << intent.volumeSerial << " " << intent.totalSectors << " " << intent.clusterCount << "\n";
    if (intent.moveActive) {
        text << "move " << (intent.fromEntry ? "entry " : "cluster ")
             << (intent.fromEntry ? intent.entryOffset : intent.previousCluster) << " " << intent.target << " "
             << intent.successor << " " << intent.oldClusters.size() << "\n";
        for (uint32_t c : intent.oldClusters) {
            text << c << "\n";
        }
    } else {
        text << "idle\n";
    }
    text << "end\n";
    std::string temp = path + ".tmp";
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = "cannot write the move record " + temp + ": " + std::strerror(errno);
        return false;
    }
    std::string data = text.str();
    bool ok = ::write(fd, data.data(), data.size()) == static_cast<ssize_t>(data.size()) && ::fsync(fd) == 0;
    int e = errno;
    ::close(fd);
    if (!ok || ::rename(temp.c_str(), path.c_str()) != 0 || !SyncPath(folder.string(), O_RDONLY | O_DIRECTORY)) {
        error = "cannot write the move record " + path + ": " + std::strerror(ok ? errno : e);
        return false;
    }
    return true;
}

bool ReadFatIntent(const std::string& path, FatIntent& out, std::string& error) {
    error.clear();
    out = FatIntent{};
    std::ifstream in(path);
    if (!in) {
        return false;
    }
    std::string magic;
    std::getline(in, magic);
    std::string word;
    in >> word >> out.volumeSerial >> out.totalSectors >> out.clusterCount;
    bool ok = magic == kMagic && word == "volume" && static_cast<bool>(in);
    in >> word;
    if (ok && word == "move") {
        std::string kind;
        uint64_t where = 0;
        size_t count = 0;
        in >> kind >> where >> out.target >> out.successor >> count;
        ok = static_cast<bool>(in) && (kind == "entry" || kind == "cluster") && count > 0 &&
             count <= out.clusterCount;
        out.moveActive = true;
        out.fromEntry = kind == "entry";
        if (out.fromEntry) {
            out.entryOffset = where;
        } else {
            out.previousCluster = static_cast<uint32_t>(where);
        }
        for (size_t i = 0; ok && i < count; ++i) {
            uint32_t c = 0;
            ok = static_cast<bool>(in >> c);
            out.oldClusters.push_back(c);
        }
        in >> word;
    } else if (ok && word == "idle") {
        in >> word;
    }
    if (!ok || word != "end") {
        error = "the move record " + path + " is damaged";
        return false;
    }
    return true;
}

bool RemoveFatIntent(const std::string& path, std::string& error) {
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
        error = "cannot remove the move record " + path + ": " + std::strerror(errno);
        return false;
    }
    SyncPath(std::filesystem::path(path).parent_path().string(), O_RDONLY | O_DIRECTORY);
    return true;
}

}  // namespace tarvo::platform
