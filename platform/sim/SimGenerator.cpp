// SimGenerator.cpp --- laying out directories and files with realistic names, sizes and fragmentation.
#include "platform/sim/SimGenerator.h"

#include <algorithm>
#include <cmath>

namespace tarvo::platform {

namespace {
// splitmix64: the same sequence on every platform, unlike the standard distributions.
class Random {
public:
    explicit Random(uint64_t seed) : m_state(seed * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E019ull) {}
    uint64_t Next() {
        uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    uint64_t Below(uint64_t n) { return n == 0 ? 0 : Next() % n; }
    double Unit() { return static_cast<double>(Next() >> 11) / 9007199254740992.0; }
    bool Chance(double p) { return Unit() < p; }

private:
    uint64_t m_state;
};

constexpr const char* kWords[] = {"Annual", "Report", "Budget", "Letter", "Invoice", "Photo", "Holiday", "Meeting",
                                  "Notes", "Draft", "Final", "Project", "Summary", "Backup", "Customer", "Order",
                                  "Music", "Sales", "Plan", "Minutes", "Contract", "Memo", "Old", "New", "Copy of",
                                  "Travel", "Family", "Web", "Scan", "Presentation", "Quarterly", "Review"};
constexpr const char* kExtensions[] = {".doc", ".xls", ".txt", ".jpg", ".dll", ".exe", ".mp3", ".zip",
                                       ".ini", ".log", ".bmp", ".htm", ".pdf", ".ppt", ".dat", ".hlp"};
constexpr const char* kShortNames[] = {"SETUP", "README", "CONFIG", "INSTALL", "AUTOEXEC", "DATA", "LOG", "INDEX"};
constexpr const char* kFolders[] = {"Program Files", "Documents", "My Pictures", "Projects", "Windows", "System32",
                                    "Temp", "Archive", "Games", "Drivers", "Fonts", "Help", "Music", "Work",
                                    "Letters", "Accounts", "Source Code", "Downloads"};

std::string FileName(Random& random) {
    if (random.Chance(0.15)) {
        std::string ext = kExtensions[random.Below(std::size(kExtensions))];
        for (char& c : ext) {
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
        return kShortNames[random.Below(std::size(kShortNames))] + std::to_string(random.Below(100)) + ext;
    }
    std::string name = kWords[random.Below(std::size(kWords))];
    for (uint64_t words = random.Below(3); words > 0; --words) {
        name += std::string(" ") + kWords[random.Below(std::size(kWords))];
    }
    if (random.Chance(0.5)) {
        name += " " + std::to_string(1990 + random.Below(10));
    }
    return name + kExtensions[random.Below(std::size(kExtensions))];
}

std::string FolderName(Random& random) {
    std::string name = kFolders[random.Below(std::size(kFolders))];
    if (random.Chance(0.6)) {
        name += " " + std::string(kWords[random.Below(std::size(kWords))]);
    }
    return name;
}

// Many small files, some medium, a few large: clusters of one file.
uint64_t FileClusters(Random& random) {
    double u = random.Unit();
    if (u < 0.70) {
        return 1 + random.Below(4);
    }
    if (u < 0.93) {
        return 4 + random.Below(60);
    }
    if (u < 0.99) {
        return 64 + random.Below(1000);
    }
    return 1024 + random.Below(16000);
}

struct Item {
    uint32_t parentIndex;  // index into the directory list
    bool directory;
    SimFileKind kind;
    uint64_t clusters;  // real clusters
    uint64_t units;     // compressed: 16-cluster units
    uint32_t pieces;
    std::vector<SimRun> runs;
};

struct Piece {
    uint32_t item;
    uint64_t length;
};

// Finds free runs in the generator's own copy of the allocation, skipping the MFT zone.
struct Placer {
    SimBitmap& used;
    const SimNtfsLayout& ntfs;
    bool zone;

    bool Place(uint64_t length, Lcn& cursor, Lcn& at) {
        uint64_t total = used.Size();
        while (cursor < total && length <= total - cursor) {
            if (zone && cursor + length > ntfs.mftZoneStart && cursor <= ntfs.mftZoneEnd) {
                cursor = ntfs.mftZoneEnd + 1;
                continue;
            }
            if (used.AllClear(cursor, length)) {
                at = cursor;
                used.Set(at, length);
                cursor += length;
                return true;
            }
            Lcn last = cursor + length - 1;  // skip past the last allocated cluster of the window
            while (!used.Test(last)) {
                --last;
            }
            cursor = last + 1;
        }
        return false;
    }
};
}  // namespace

std::shared_ptr<SimVolume> GenerateSimVolume(const SimGenerateOptions& options, SimGenerateSummary& summary,
                                             std::string& error) {
    summary = {};
    bool ntfs = options.fileSystem == SimFileSystem::Ntfs;
    if (options.fragmented < 0 || options.fragmented > 1 || options.compressed < 0 || options.compressed > 1 ||
        options.free < 0 || options.free >= 1 || options.maxFragments < 1) {
        error = "--fragmented and --compressed lie between 0 and 1, --free below 1, --max-fragments at least 1";
        return nullptr;
    }
    if (options.files > 50000000 || options.dirs > 5000000) {
        error = "at most 50,000,000 files and 5,000,000 directories";
        return nullptr;
    }
    Random random(options.seed);
    uint64_t dirCount = options.dirs != 0 ? options.dirs : options.files / 20 + 1;
    SimVolumeShape shape;
    shape.fileSystem = options.fileSystem;
    shape.totalClusters = options.clusters;
    shape.bytesPerCluster = options.bytesPerCluster;
    shape.driveType = options.driveType;
    shape.mftZonePercent = ntfs ? options.mftZonePercent : 0;
    shape.serialNumber = static_cast<DWORD>(random.Next());
    shape.volumeName = ntfs ? "SIMULATED NTFS" : "SIMULATED";
    if (ntfs) {
        shape.mftClusters = ((options.files + dirCount + 64) * 1024 + options.bytesPerCluster - 1) / options.bytesPerCluster;
    }
    auto volume = SimVolume::Create(shape, error);
    if (!volume) {
        return nullptr;
    }
    SimNtfsLayout layout = volume->NtfsLayout();

    // The tree: each directory under a random earlier one, at most 8 deep.
    std::vector<Item> items;
    std::vector<uint32_t> depth{0};
    std::vector<uint32_t> directoryItems{0};  // directory list index -> item index (0: the root, not an item)
    items.reserve(options.files + dirCount + 2);
    for (uint64_t d = 0; d < dirCount; ++d) {
        uint32_t parent = static_cast<uint32_t>(random.Below(directoryItems.size()));
        while (depth[parent] >= 8) {
            parent = static_cast<uint32_t>(random.Below(directoryItems.size()));
        }
        items.push_back({parent, true, SimFileKind::Normal, 1, 0, 1, {}});
        depth.push_back(depth[parent] + 1);
        directoryItems.push_back(static_cast<uint32_t>(items.size() - 1));
    }
    uint64_t budget = static_cast<uint64_t>(static_cast<double>(volume->FreeClusters()) * (1.0 - options.free));
    uint64_t wanted = 0;
    std::vector<Item> files;
    files.reserve(options.files + 2);
    if (options.pageFile && options.clusters >= 4096) {
        files.push_back({0, false, SimFileKind::PageFile, options.clusters / 100, 0, 1, {}});
    }
    if (options.manyExtents > 0) {
        files.push_back({0, false, SimFileKind::Normal, options.manyExtents, 0, static_cast<uint32_t>(options.manyExtents), {}});
    }
    for (uint64_t f = 0; f < options.files; ++f) {
        Item item{static_cast<uint32_t>(random.Below(directoryItems.size())), false, SimFileKind::Normal,
                  FileClusters(random), 0, 1, {}};
        if (ntfs && random.Chance(options.compressed)) {
            item.kind = SimFileKind::Compressed;
            item.units = (item.clusters + 15) / 16;
            item.clusters = 0;
        } else if (item.clusters > 1 && random.Chance(options.fragmented)) {
            item.pieces = static_cast<uint32_t>(
                std::min<uint64_t>(item.clusters, 2 + random.Below(std::max<uint32_t>(options.maxFragments, 2) - 1)));
        }
        files.push_back(item);
    }
    // Real clusters of compressed units, then scale the sizes to the budget.
    for (Item& item : files) {
        if (item.kind == SimFileKind::Compressed) {
            item.clusters = 0;
            item.runs.reserve(item.units * 2);
            for (uint64_t u = 0; u < item.units; ++u) {
                item.runs.push_back({random.Below(13) + 4, 0});  // real clusters of the unit, kept in nextVcn for now
                item.clusters += item.runs.back().nextVcn;
            }
        }
        wanted += item.clusters;
    }
    wanted += dirCount;
    double scale = wanted > budget && wanted > 0 ? static_cast<double>(budget) / static_cast<double>(wanted) : 1.0;
    if (scale < 1.0) {
        for (Item& item : files) {
            if (item.kind == SimFileKind::Normal && (options.manyExtents == 0 || item.pieces != options.manyExtents)) {
                item.clusters = std::max<uint64_t>(item.pieces,
                                                   static_cast<uint64_t>(static_cast<double>(item.clusters) * scale));
            }
        }
    }
    size_t firstFile = items.size();
    for (Item& item : files) {
        items.push_back(std::move(item));
    }
    files.clear();

    // Pieces in volume order: whole files in creation order, the pieces of
    // fragmented files scattered among them.
    std::vector<Piece> pieces;
    pieces.reserve(items.size() + options.files);
    std::vector<Piece> scattered;
    for (uint32_t i = 0; i < items.size(); ++i) {
        const Item& item = items[i];
        if (item.pieces <= 1) {
            pieces.push_back({i, item.clusters});
            continue;
        }
        uint64_t left = item.clusters;
        for (uint32_t p = 0; p < item.pieces; ++p) {
            uint64_t length = p + 1 == item.pieces ? left : std::max<uint64_t>(1, left / (item.pieces - p));
            length = std::min(length, left - (item.pieces - p - 1));
            scattered.push_back({i, length});
            left -= length;
        }
    }
    std::vector<Piece> order;
    order.reserve(pieces.size() + scattered.size());
    {
        size_t s = 0;
        double ratio = pieces.empty() ? 1.0 : static_cast<double>(scattered.size()) / static_cast<double>(pieces.size());
        for (const Piece& piece : pieces) {
            order.push_back(piece);
            while (s < scattered.size() && random.Unit() < ratio / (1.0 + ratio) * 2.0) {
                order.push_back(scattered[s++]);
                if (random.Chance(0.5)) {
                    break;
                }
            }
        }
        while (s < scattered.size()) {
            order.push_back(scattered[s++]);
        }
    }
    uint64_t placed = dirCount;
    for (size_t i = firstFile; i < items.size(); ++i) {
        placed += items[i].clusters;
    }
    uint64_t freeAfter = volume->FreeClusters() > placed ? volume->FreeClusters() - placed : 0;
    bool zone = ntfs && layout.mftZoneEnd > layout.mftZoneStart;
    if (zone) {
        uint64_t zoneSize = layout.mftZoneEnd - layout.mftZoneStart + 1;
        freeAfter = freeAfter > zoneSize ? freeAfter - zoneSize : 0;
    }
    uint64_t meanGap = order.empty() ? 0 : freeAfter / 10 * 9 / order.size();  // spread most free space as gaps
    SimBitmap used;
    if (!volume->CopyAllocation(used)) {
        error = "not enough memory for the cluster bitmap";
        return nullptr;
    }
    Placer placer{used, layout, zone};
    Lcn cursor = 0, wrapped = 0;
    bool atEnd = false;
    std::vector<uint8_t> dropped(items.size(), 0);
    for (const Piece& piece : order) {
        Item& item = items[piece.item];
        if (dropped[piece.item] || piece.length == 0) {
            continue;
        }
        if (meanGap > 0 && !atEnd && random.Chance(0.3)) {
            cursor += random.Below(meanGap * 20 / 3 + 1);  // 0.3 x uniform(0, 2 x mean / 0.3): mean per piece
        }
        Lcn at = 0;
        if (!atEnd && !placer.Place(piece.length, cursor, at)) {
            atEnd = true;
        }
        if (atEnd && !placer.Place(piece.length, wrapped, at)) {
            dropped[piece.item] = 1;  // the volume is full: leave the file out
            continue;
        }
        if (item.kind == SimFileKind::Compressed) {
            std::vector<SimRun> runs;
            Vcn vcn = 0;
            Lcn lcn = at;
            for (const SimRun& unit : item.runs) {
                uint64_t real = unit.nextVcn;
                runs.push_back({vcn + real, lcn});
                if (real < 16) {
                    runs.push_back({vcn + 16, kVirtualLcn});
                }
                lcn += real;
                vcn += 16;
            }
            item.runs = std::move(runs);
        } else {
            Vcn start = item.runs.empty() ? 0 : item.runs.back().nextVcn;
            item.runs.push_back({start + piece.length, at});
        }
    }
    if (options.manyExtents > 0) {  // every other free cluster, so that no two runs touch
        Item& many = items[firstFile + (options.pageFile && options.clusters >= 4096 ? 1 : 0)];
        many.runs.clear();
        Lcn lcn = 0;
        for (uint64_t n = 0; n < options.manyExtents && lcn + 1 < options.clusters; ++lcn) {
            if (!used.Test(lcn) && !used.Test(lcn + 1) && !(zone && lcn >= layout.mftZoneStart && lcn <= layout.mftZoneEnd)) {
                used.Set(lcn, 1);
                many.runs.push_back({++n, lcn});
                ++lcn;
            }
        }
        dropped[firstFile + (options.pageFile && options.clusters >= 4096 ? 1 : 0)] = many.runs.size() < options.manyExtents;
    }

    // Pieces that landed back to back are one run, as a file system would record them.
    for (Item& item : items) {
        std::vector<SimRun> merged;
        for (const SimRun& run : item.runs) {
            if (!merged.empty() && run.lcn != kVirtualLcn && merged.back().lcn != kVirtualLcn) {
                Vcn lastStart = merged.size() == 1 ? 0 : merged[merged.size() - 2].nextVcn;
                if (merged.back().lcn + (merged.back().nextVcn - lastStart) == run.lcn) {
                    merged.back().nextVcn = run.nextVcn;
                    continue;
                }
            }
            merged.push_back(run);
        }
        item.runs = std::move(merged);
    }

    // Now the tree itself, parents before children.
    std::vector<FileId> directoryIds(directoryItems.size(), SimVolume::kRootId);
    auto add = [&](const Item& item, uint32_t index, const std::string& base) -> FileId {
        FileId parent = directoryIds[item.parentIndex];
        FileId id = 0;
        for (unsigned attempt = 0; attempt < 50; ++attempt) {
            std::string name = base;
            if (attempt > 0) {
                size_t dot = base.rfind('.');
                std::string suffix = " (" + std::to_string(attempt + 1) + ")";
                name = dot == std::string::npos || item.directory ? base + suffix : base.substr(0, dot) + suffix + base.substr(dot);
            }
            time_t mtime = static_cast<time_t>(631152000 + random.Below(315360000));  // 1990 to 2000
            NTSTATUS status = item.directory
                                  ? volume->AddDirectory(parent, name, mtime, id)
                                  : volume->AddFile(parent, name, mtime,
                                                    item.runs.empty() ? 0 : item.runs.back().nextVcn * options.bytesPerCluster -
                                                                                random.Below(options.bytesPerCluster),
                                                    item.kind, item.runs, id);
            if (status == STATUS_SUCCESS) {
                return id;
            }
            if (status != STATUS_OBJECT_NAME_INVALID) {
                break;
            }
        }
        (void)index;
        return kSimNoNode;
    };
    for (uint32_t i = 0; i < firstFile; ++i) {
        FileId id = add(items[i], i, FolderName(random));
        if (id == kSimNoNode) {
            error = "could not make a directory";
            return nullptr;
        }
        directoryIds[i + 1] = id;
        if (!items[i].runs.empty()) {
            volume->SetDirectoryRuns(id, items[i].runs);
        }
        ++summary.directories;
    }
    for (size_t i = firstFile; i < items.size(); ++i) {
        const Item& item = items[i];
        if (dropped[i]) {
            continue;
        }
        std::string name = item.kind == SimFileKind::PageFile ? "pagefile.sys"
                           : (options.manyExtents > 0 && i == firstFile + (options.pageFile && options.clusters >= 4096 ? 1 : 0))
                               ? "Many Extents.dat"
                               : FileName(random);
        if (add(item, static_cast<uint32_t>(i), name) == kSimNoNode) {
            continue;
        }
        if (item.kind == SimFileKind::PageFile) {
            continue;
        }
        ++summary.files;
        summary.fragmentedFiles += item.kind == SimFileKind::Normal && item.runs.size() > 1 ? 1 : 0;
        summary.compressedFiles += item.kind == SimFileKind::Compressed ? 1 : 0;
    }
    error.clear();
    return volume;
}

}  // namespace tarvo::platform
