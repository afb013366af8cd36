// CommandVolSim.cpp --- tarvoctl vol mksim|fault: making simulated volumes and setting their faults.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <map>

#include "platform/sim/SimGenerator.h"
#include "tools/tarvoctl/Command.h"
#include "tools/tarvoctl/VolOptions.h"

namespace tarvo::tools {

namespace {
using namespace platform;

constexpr const char* kFaultUsage =
    "[--write-protected|--writable] [--unopenable PATH]... [--race AFTER:LCN:COUNT]... [--pending-every N] "
    "[--bitmap-overflow N|all] [--free-space-fails|--free-space-works] [--clear]";

// Applies one fault option; false with a message when it is not one or is malformed.
bool FaultOption(const Arguments& args, size_t& i, SimFaults& faults, std::string& error) {
    const std::string& arg = args[i];
    auto value = [&]() -> const std::string* {
        if (i + 1 >= args.size()) {
            error = arg + " needs a value";
            return nullptr;
        }
        return &args[++i];
    };
    uint64_t n = 0;
    if (arg == "--write-protected" || arg == "--writable") {
        faults.writeProtected = arg == "--write-protected";
    } else if (arg == "--free-space-fails" || arg == "--free-space-works") {
        faults.freeSpaceFails = arg == "--free-space-fails";
    } else if (arg == "--clear") {
        faults = SimFaults{};
    } else if (arg == "--unopenable") {
        const std::string* path = value();
        if (path == nullptr) {
            return false;
        }
        faults.unopenable.push_back(*path);
    } else if (arg == "--pending-every") {
        const std::string* text = value();
        if (text == nullptr || !ParseCount(*text, n) || n > 0xFFFFFFFFu) {
            error = "--pending-every takes a count (0 turns it off)";
            return false;
        }
        faults.pendingEvery = static_cast<uint32_t>(n);
    } else if (arg == "--bitmap-overflow") {
        const std::string* text = value();
        if (text != nullptr && *text == "all") {
            faults.bitmapOverflowReads = ~0u;
        } else if (text == nullptr || !ParseCount(*text, n) || n >= 0xFFFFFFFFu) {
            error = "--bitmap-overflow takes a count of reads or \"all\"";
            return false;
        } else {
            faults.bitmapOverflowReads = static_cast<uint32_t>(n);
        }
    } else if (arg == "--race") {
        const std::string* text = value();
        SimRace race;
        size_t a = text ? text->find(':') : std::string::npos;
        size_t b = a == std::string::npos ? a : text->find(':', a + 1);
        if (b == std::string::npos || !ParseCount(text->substr(0, a), race.afterMove) ||
            !ParseCount(text->substr(a + 1, b - a - 1), race.lcn) || !ParseCount(text->substr(b + 1), race.count)) {
            error = "--race takes AFTER:LCN:COUNT (after the AFTER-th move, COUNT clusters from LCN are taken)";
            return false;
        }
        faults.races.push_back(race);
    } else {
        error = "unknown option " + arg;
        return false;
    }
    return true;
}

bool IsForeignFile(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    char magic[8] = {};
    ssize_t got = ::read(fd, magic, sizeof magic);
    ::close(fd);
    return !SimVolume::IsSimVolumeFile(magic, got > 0 ? static_cast<size_t>(got) : 0);
}

int MakeSim(const Arguments& args) {
    static const std::string usage =
        "usage: tarvoctl vol mksim FILE --fs NTFS|FAT|FAT32 --clusters N --cluster-size B --files N [--dirs N] "
        "[--fragmented 0.3] [--max-fragments 40] [--compressed 0.02] [--free 0.25] [--mft-zone-percent 12.5] "
        "[--drive-type fixed|removable|cdrom|network|ramdisk] [--seed S] [--many-extents N] [--no-page-file] ";
    SimGenerateOptions options;
    SimFaults faults;
    std::string file, error;
    bool haveFs = false, haveClusters = false, haveFiles = false;
    static const std::map<std::string, UINT> kTypes{{"fixed", DRIVE_FIXED},     {"removable", DRIVE_REMOVABLE},
                                                    {"cdrom", DRIVE_CDROM},     {"network", DRIVE_REMOTE},
                                                    {"ramdisk", DRIVE_RAMDISK}};
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        bool hasValue = i + 1 < args.size();
        const std::string next = hasValue ? args[i + 1] : std::string();
        uint64_t n = 0;
        double x = 0;
        auto count = [&](uint64_t& into) {
            if (!hasValue || !ParseCount(next, into)) {
                error = arg + " takes a whole number";
                return false;
            }
            ++i;
            return true;
        };
        auto fraction = [&](double& into) {
            if (!hasValue || !ParseFraction(next, into)) {
                error = arg + " takes a number";
                return false;
            }
            ++i;
            return true;
        };
        bool ok = true;
        if (!arg.starts_with("--") && file.empty()) {
            file = arg;
        } else if (arg == "--fs") {
            ok = hasValue && (next == "NTFS" || next == "FAT" || next == "FAT32");
            options.fileSystem = next == "NTFS" ? SimFileSystem::Ntfs : next == "FAT" ? SimFileSystem::Fat : SimFileSystem::Fat32;
            haveFs = ok;
            error = ok ? "" : "--fs takes NTFS, FAT or FAT32";
            ++i;
        } else if (arg == "--clusters") {
            ok = haveClusters = count(options.clusters);
        } else if (arg == "--cluster-size") {
            ok = count(n) && n <= 65536;
            options.bytesPerCluster = static_cast<uint32_t>(n);
        } else if (arg == "--files") {
            ok = haveFiles = count(options.files);
        } else if (arg == "--dirs") {
            ok = count(options.dirs);
        } else if (arg == "--fragmented") {
            ok = fraction(options.fragmented);
        } else if (arg == "--max-fragments") {
            ok = count(n) && n >= 1 && n <= 1000000;
            options.maxFragments = static_cast<uint32_t>(n);
        } else if (arg == "--compressed") {
            ok = fraction(options.compressed);
        } else if (arg == "--free") {
            ok = fraction(options.free);
        } else if (arg == "--mft-zone-percent") {
            ok = fraction(x) && x >= 0 && x <= 50;
            options.mftZonePercent = x;
        } else if (arg == "--drive-type") {
            auto it = kTypes.find(next);
            ok = hasValue && it != kTypes.end();
            options.driveType = ok ? it->second : DRIVE_FIXED;
            error = ok ? "" : "--drive-type takes fixed, removable, cdrom, network or ramdisk";
            ++i;
        } else if (arg == "--seed") {
            ok = count(options.seed);
        } else if (arg == "--many-extents") {
            ok = count(options.manyExtents) && options.manyExtents <= 10000000;
        } else if (arg == "--no-page-file") {
            options.pageFile = false;
        } else {
            ok = FaultOption(args, i, faults, error);
        }
        if (!ok) {
            std::fprintf(stderr, "tarvoctl vol mksim: %s\n%s%s\n", error.empty() ? ("bad value for " + arg).c_str() : error.c_str(),
                         usage.c_str(), kFaultUsage);
            return 2;
        }
    }
    if (file.empty() || !haveFs || !haveClusters || !haveFiles || options.bytesPerCluster == 0) {
        std::fprintf(stderr, "%s%s\n", usage.c_str(), kFaultUsage);
        return 2;
    }
    if (options.fileSystem == SimFileSystem::Fat && options.clusters > 65524) {
        options.fileSystem = SimFileSystem::Fat32;  // FAT16 ends at 65,524 clusters
    }
    if (IsForeignFile(file)) {
        std::fprintf(stderr, "tarvoctl vol mksim: %s exists and is not a simulated volume; not overwritten\n", file.c_str());
        return 1;
    }
    SimGenerateSummary summary;
    auto volume = GenerateSimVolume(options, summary, error);
    if (!volume) {
        std::fprintf(stderr, "tarvoctl vol mksim: %s\n", error.c_str());
        return 1;
    }
    volume->SetFaults(faults);
    if (!volume->SaveAs(file, error)) {
        std::fprintf(stderr, "tarvoctl vol mksim: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s: %s, %llu clusters of %u bytes, %llu files (%llu fragmented, %llu compressed), %llu directories, "
                "%llu clusters free\n",
                file.c_str(), SimFileSystemName(volume->FileSystem()), static_cast<unsigned long long>(volume->TotalClusters()),
                volume->BytesPerCluster(), static_cast<unsigned long long>(summary.files),
                static_cast<unsigned long long>(summary.fragmentedFiles),
                static_cast<unsigned long long>(summary.compressedFiles),
                static_cast<unsigned long long>(summary.directories),
                static_cast<unsigned long long>(volume->FreeClusters()));
    return 0;
}

int Fault(const Arguments& args) {
    if (args.empty() || args[0].starts_with("--")) {
        std::fprintf(stderr, "usage: tarvoctl vol fault FILE %s\n", kFaultUsage);
        return 2;
    }
    std::string error;
    auto volume = SimVolume::Open(args[0], SimAccess::ReadWrite, error);
    if (!volume) {
        std::fprintf(stderr, "tarvoctl vol fault: %s\n", error.c_str());
        return 1;
    }
    if (volume->IsReadOnly()) {
        std::fprintf(stderr, "tarvoctl vol fault: %s is read-only or in use by another process\n", args[0].c_str());
        return 1;
    }
    SimFaults faults = volume->Faults();
    for (size_t i = 1; i < args.size(); ++i) {
        if (!FaultOption(args, i, faults, error)) {
            std::fprintf(stderr, "tarvoctl vol fault: %s\nusage: tarvoctl vol fault FILE %s\n", error.c_str(), kFaultUsage);
            return 2;
        }
    }
    volume->SetFaults(faults);
    if (!volume->Compact(error)) {
        std::fprintf(stderr, "tarvoctl vol fault: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

CommandRegistration g_mksim{{"vol mksim", "vol mksim FILE --fs NTFS|FAT --clusters N --cluster-size B --files N ...",
                             "make a simulated volume (deterministic for a seed)", MakeSim}};
CommandRegistration g_fault{{"vol fault", "vol fault FILE [--write-protected] [--race A:L:C] ...",
                             "set the injected faults of a simulated volume", Fault}};
}  // namespace

}  // namespace tarvo::tools
