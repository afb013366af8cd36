// FatImageMaker.cpp --- building fragmented FAT images with mkfs.fat and mtools, and manifests of them.
#include "platform/fat/FatImageMaker.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/blockio/BlockDevice.h"
#include "platform/fat/FatEndian.h"
#include "platform/fat/FatVolume.h"
#include "platform/fat/FatTools.h"
#include "platform/core/Sha256.h"

namespace tarvo::platform {

namespace fs = std::filesystem;

namespace {

struct Random {
    uint64_t state;
    explicit Random(uint64_t seed) : state(seed * 0x9E3779B97F4A7C15ull + 0xD1B54A32D192ED03ull) { Next(); }
    uint64_t Next() {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    }
    uint64_t Below(uint64_t n) { return n == 0 ? 0 : Next() % n; }
};

// A temporary folder removed with everything in it when the object goes.
struct Staging {
    fs::path path;
    Staging() {
        char name[] = "/tmp/tarvo-fat-XXXXXX";
        if (::mkdtemp(name) != nullptr) {
            path = name;
        }
    }
    ~Staging() {
        std::error_code ec;
        if (!path.empty()) {
            fs::remove_all(path, ec);
        }
    }
};

bool WriteContent(const fs::path& file, uint64_t size, uint64_t seed, int64_t mtime, std::string& error) {
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary);
    Random r(seed);
    std::vector<char> block(64 * 1024);
    for (uint64_t done = 0; done < size;) {
        size_t n = static_cast<size_t>(std::min<uint64_t>(block.size(), size - done));
        for (size_t i = 0; i < n; i += 8) {
            uint64_t v = r.Next();
            for (size_t k = 0; k < 8 && i + k < n; ++k) {
                block[i + k] = static_cast<char>(v >> (8 * k));
            }
        }
        out.write(block.data(), static_cast<std::streamsize>(n));
        done += n;
    }
    out.close();
    if (!out) {
        error = "cannot write " + file.string();
        return false;
    }
    struct timespec times[2] = {{mtime, 0}, {mtime, 0}};
    ::utimensat(AT_FDCWD, file.c_str(), times, 0);
    return true;
}

bool Run(const std::vector<std::string>& argv, std::string& error) {
    std::string output;
    int rc = RunTool(argv, output);
    if (rc != 0) {
        error = argv[0] + " failed (exit " + std::to_string(rc) + "): " + output;
        return false;
    }
    return true;
}

// mtools (like the kernel) take the FAT32 next-free hint as the place to start allocating:
// pointing it back at the start makes new files fill the holes.
bool ResetNextFreeHint(const std::string& image, std::string& error) {
    std::fstream f(image, std::ios::in | std::ios::out | std::ios::binary);
    uint8_t boot[512];
    f.read(reinterpret_cast<char*>(boot), sizeof boot);
    if (!f || fat::Le16(boot + 22) != 0) {
        return static_cast<bool>(f) || (error = "cannot read " + image, false);
    }
    uint64_t info = uint64_t{fat::Le16(boot + 48)} * fat::Le16(boot + 11);
    uint8_t hint[4];
    fat::Put32(hint, 2);
    f.seekp(static_cast<std::streamoff>(info + 492));
    f.write(reinterpret_cast<const char*>(hint), 4);
    if (!f) {
        error = "cannot write the FSInfo sector of " + image;
        return false;
    }
    return true;
}

// Copies the top-level entries of a staging folder into the image's root in one mcopy call.
bool CopyTree(const std::string& image, const fs::path& from, std::string& error) {
    std::vector<std::string> argv{"mcopy", "-s", "-m", "-Q", "-i", image};
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(from)) {
        names.push_back(entry.path().string());
    }
    if (names.empty()) {
        return true;
    }
    std::sort(names.begin(), names.end());
    argv.insert(argv.end(), names.begin(), names.end());
    argv.push_back("::/");
    return Run(argv, error);
}

bool ManifestOfFolder(const fs::path& root, std::vector<FatManifestEntry>& manifest, std::string& error) {
    manifest.clear();
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file()) {
            continue;
        }
        FatManifestEntry m;
        m.path = fs::relative(entry.path(), root).generic_string();
        m.size = entry.file_size();
        m.sha256 = Sha256OfFile(entry.path().string());
        if (m.sha256.empty()) {
            error = "cannot read " + entry.path().string();
            return false;
        }
        manifest.push_back(std::move(m));
    }
    std::sort(manifest.begin(), manifest.end(), [](const auto& a, const auto& b) { return a.path < b.path; });
    return true;
}

// The i-th of `count` filler files; many go into folders of a thousand, which mdel searches quickly.
std::string FillerName(uint32_t i, uint32_t count) {
    char name[40];
    if (count > 2000) {
        std::snprintf(name, sizeof name, "FILL/G%03u/F%05u.DAT", i / 1000, i);
    } else {
        std::snprintf(name, sizeof name, "FILL/F%05u.DAT", i);
    }
    return name;
}

std::string RealFileName(uint32_t i) {
    static const char* const kFolders[] = {"", "DOCS/", "Long Folder Name/", "DOCS/Nested Reports/"};
    char name[96];
    switch (i % 3) {
        case 0: std::snprintf(name, sizeof name, "F%04u.DAT", i); break;
        case 1: std::snprintf(name, sizeof name, "report %04u.txt", i); break;
        default: std::snprintf(name, sizeof name, "Photo-%04u with a long name.jpeg", i); break;
    }
    std::string folder = kFolders[i % 4];
    // Large images spread their files over folders of a thousand, so that mtools never
    // searches a long directory for a free 8.3 name (a cost that grows with the cube of its length).
    if (i >= 1000) {
        folder += "Set " + std::to_string(i / 1000) + "/";
    }
    return folder + name;
}

// Deletes kept (contiguous) filler files, spread evenly, until the wanted share of
// the files with data is fragmented, or no kept filler is left.
bool DeleteFillersForShare(const std::string& image, uint32_t fillers, uint32_t percent, std::string& error) {
    FatVolume volume;
    {
        auto device = OpenBlockDevice(image, DeviceAccess::ReadOnly, error);
        if (!device || !volume.Load(*device, nullptr, error)) {
            return false;
        }
    }
    uint64_t files = 0, fragmented = 0;
    for (const FatNode& node : volume.nodes) {
        if (node.isDirectory || node.chain.empty()) {
            continue;
        }
        ++files;
        for (size_t i = 1; i < node.chain.size(); ++i) {
            if (node.chain[i] != node.chain[i - 1] + 1) {
                ++fragmented;
                break;
            }
        }
    }
    const uint32_t kept = fillers / 2;
    const uint64_t wantedFiles = fragmented * 100 / percent;
    const uint64_t remove = std::min<uint64_t>(kept, files > wantedFiles ? files - wantedFiles : 0);
    if (remove == 0) {
        return true;
    }
    std::vector<std::string> mdel{"mdel", "-i", image};
    for (uint64_t j = 0; j < kept; ++j) {
        if ((j + 1) * remove / kept > j * remove / kept) {
            mdel.push_back("::/" + FillerName(static_cast<uint32_t>(2 * j), fillers));
        }
    }
    return Run(mdel, error);
}

}  // namespace

bool MakeFatImage(const FatImageRecipe& recipe, std::vector<FatManifestEntry>& manifest, std::string& error) {
    if (fs::exists(recipe.path)) {
        error = recipe.path + " already exists; choose a new file name";
        return false;
    }
    if (recipe.sizeBytes < (1u << 20) || recipe.sizeBytes > (64ull << 30)) {
        error = "the size must lie between 1M and 64G";
        return false;
    }
    if (recipe.fatBits != 0 && recipe.fatBits != 12 && recipe.fatBits != 16 && recipe.fatBits != 32) {
        error = "the FAT type must be 12, 16 or 32";
        return false;
    }
    const uint32_t cb = recipe.clusterBytes;
    if (cb != 0 && (cb < 512 || cb > 65536 || (cb & (cb - 1)) != 0)) {
        error = "the cluster size must be a power of two from 512 to 65536 bytes";
        return false;
    }
    Staging staging;
    if (staging.path.empty()) {
        error = "cannot create a temporary folder";
        return false;
    }
    char serial[16];
    std::snprintf(serial, sizeof serial, "%08X", static_cast<unsigned>(Random(recipe.seed).Next()));
    std::vector<std::string> mkfs{"mkfs.fat", "-C", "-i", serial, "-n", "TARVO"};
    if (recipe.fatBits != 0) {
        mkfs.insert(mkfs.end(), {"-F", std::to_string(recipe.fatBits)});
    }
    if (cb != 0) {
        mkfs.insert(mkfs.end(), {"-S", "512", "-s", std::to_string(cb / 512)});
    }
    mkfs.insert(mkfs.end(), {recipe.path, std::to_string(recipe.sizeBytes / 1024)});
    if (!Run(mkfs, error)) {
        std::error_code ec;
        fs::remove(recipe.path, ec);
        return false;
    }
    uint8_t boot[512] = {};
    std::ifstream(recipe.path, std::ios::binary).read(reinterpret_cast<char*>(boot), sizeof boot);
    const uint64_t clusterSize = uint64_t{fat::Le16(boot + 11)} * boot[13];
    auto roundUp = [&](uint64_t v) { return (v + clusterSize - 1) / clusterSize * clusterSize; };
    const uint32_t files = std::max<uint32_t>(recipe.files, 1);
    Random random(recipe.seed);
    const int64_t baseTime = 978307200;  // 2001-01-01
    uint64_t fillerSize = 0;
    if (recipe.fragment) {
        const uint32_t fillers = std::max<uint32_t>(2 * files, 8);
        fillerSize = std::max<uint64_t>(clusterSize, recipe.sizeBytes / 2 / fillers / clusterSize * clusterSize);
        fs::path fill = staging.path / "fill";
        for (uint32_t i = 0; i < fillers; ++i) {
            const std::string name = FillerName(i, fillers);
            if (!WriteContent(fill / name, fillerSize, recipe.seed * 1000003 + i, baseTime + i * 3600, error)) {
                return false;
            }
        }
        if (!CopyTree(recipe.path, fill, error)) {
            return false;
        }
        std::vector<std::string> mdel{"mdel", "-i", recipe.path};
        for (uint32_t i = 1; i < fillers; i += 2) {
            mdel.push_back("::/" + FillerName(i, fillers));
        }
        if (!Run(mdel, error) || !ResetNextFreeHint(recipe.path, error)) {
            return false;
        }
    }
    // The files: half the volume on average, some empty, larger than the holes when fragmenting.
    const uint64_t average = std::max<uint64_t>(1, recipe.sizeBytes / 2 / files);
    fs::path real = staging.path / "real";
    fs::create_directories(real);
    for (uint32_t i = 0; i < files; ++i) {
        uint64_t size = 0;
        if (i % 11 != 5) {
            size = recipe.fragment ? fillerSize + 1 + random.Below(roundUp(2 * fillerSize))
                                   : 1 + random.Below(2 * average);
        }
        int64_t mtime = baseTime + static_cast<int64_t>(random.Below(3650)) * 86400 + 2 * random.Below(43200);
        if (!WriteContent(real / RealFileName(i), size, recipe.seed * 7919 + i, mtime, error)) {
            return false;
        }
    }
    if (!CopyTree(recipe.path, real, error)) {
        return false;
    }
    if (recipe.fragment && recipe.fragmentPercent != 0 &&
        !DeleteFillersForShare(recipe.path, std::max<uint32_t>(2 * files, 8), recipe.fragmentPercent, error)) {
        return false;
    }
    return ManifestWithMtools(recipe.path, manifest, error);
}

bool ManifestWithMtools(const std::string& image, std::vector<FatManifestEntry>& manifest, std::string& error) {
    Staging staging;
    if (staging.path.empty()) {
        error = "cannot create a temporary folder";
        return false;
    }
    std::string output;
    int rc = RunTool({"mdir", "-i", image, "-b", "::/"}, output);
    if (rc == 0 && output.find_first_not_of(" \n") != std::string::npos &&
        !Run({"mcopy", "-s", "-n", "-m", "-Q", "-i", image, "::/*", staging.path.string() + "/"}, error)) {
        return false;
    }
    return ManifestOfFolder(staging.path, manifest, error);
}

std::string FormatFatManifest(const std::vector<FatManifestEntry>& manifest) {
    std::string text;
    for (const auto& m : manifest) {
        text += m.sha256 + "  " + std::to_string(m.size) + "  " + m.path + "\n";
    }
    return text;
}

}  // namespace tarvo::platform
