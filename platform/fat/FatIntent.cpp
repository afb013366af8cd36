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

constexpr const char* kMagic = "tarvo-fat-intent 3";
constexpr const char* kMagicTwo = "tarvo-fat-intent 2";
constexpr const char* kMagicOne = "tarvo-fat-intent 1";

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
    for (const FatMoveRecord& move : intent.moves) {
        // The old clusters as runs of consecutive numbers: a fragmented file has few.
        std::vector<std::pair<uint32_t, uint32_t>> runs;
        for (uint32_t c : move.oldClusters) {
            if (!runs.empty() && runs.back().first + runs.back().second == c) {
                ++runs.back().second;
            } else {
                runs.emplace_back(c, 1);
            }
        }
        text << "move " << (move.fromEntry ? "entry " : "cluster ")
             << (move.fromEntry ? move.entryOffset : move.previousCluster) << " " << move.target << " "
             << move.successor << " " << move.oldClusters.size() << " " << runs.size() << " " << move.generation << " "
             << (move.hasDataHash ? 1 : 0) << " " << move.dataHash << "\n";
        for (const auto& [first, length] : runs) {
            text << first << " " << length << "\n";
        }
    }
    text << "end\n";
    std::string temp = path + ".tmp";
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = "cannot write the move record " + temp + ": " + std::strerror(errno);
        return false;
    }
    std::string data = text.str();
    bool ok = ::write(fd, data.data(), data.size()) == static_cast<ssize_t>(data.size()) && ::fdatasync(fd) == 0;
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
    // Version 1 records hold at most one move with one cluster per line; version 2
    // adds runs; version 3 the generation and the data fingerprint of each move.
    const bool three = magic == kMagic;
    const bool runs = three || magic == kMagicTwo;
    std::string word;
    in >> word >> out.volumeSerial >> out.totalSectors >> out.clusterCount;
    bool ok = (runs || magic == kMagicOne) && word == "volume" && static_cast<bool>(in);
    uint64_t total = 0;
    for (in >> word; ok && word == "move"; in >> word) {
        FatMoveRecord move;
        std::string kind;
        uint64_t where = 0;
        size_t count = 0, lines = 0;
        in >> kind >> where >> move.target >> move.successor >> count;
        if (runs) {
            in >> lines;
        }
        int hashed = 0;
        if (three) {
            in >> move.generation >> hashed >> move.dataHash;
            move.hasDataHash = hashed == 1;
        }
        total += count;
        ok = static_cast<bool>(in) && (kind == "entry" || kind == "cluster") && count > 0 && total <= out.clusterCount &&
             (hashed == 0 || hashed == 1) && move.generation <= out.clusterCount &&
             (runs ? lines > 0 && lines <= count : !(magic == kMagicOne && !out.moves.empty()));
        move.fromEntry = kind == "entry";
        if (move.fromEntry) {
            move.entryOffset = where;
        } else {
            move.previousCluster = static_cast<uint32_t>(where);
        }
        for (size_t i = 0; ok && i < (runs ? lines : count); ++i) {
            uint32_t first = 0, length = 1;
            ok = static_cast<bool>(in >> first) && (!runs || static_cast<bool>(in >> length)) && length > 0 &&
                 move.oldClusters.size() + length <= count;
            for (uint32_t k = 0; ok && k < length; ++k) {
                move.oldClusters.push_back(first + k);
            }
        }
        ok = ok && move.oldClusters.size() == count;
        out.moves.push_back(std::move(move));
    }
    if (ok && out.moves.empty() && word == "idle") {
        in >> word;  // version 1 wrote the idle state as a word of its own
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
