// NtfsImageBuilder.cpp --- building fragmented NTFS test images with ordinary, compressed and sparse files.
#include "platform/ntfs/NtfsImageBuilder.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/blockio/BlockDevice.h"
#include "platform/ntfs/NtfsDevice.h"
#include "platform/ntfs/NtfsExternalCheck.h"
#include "platform/ntfs/NtfsLib.h"
#include "platform/core/Sha256.h"

namespace tarvo::platform {

namespace {

// splitmix64: small, seedable, the same on every platform.
class Random {
public:
    explicit Random(uint64_t seed) : m_state(seed) {}
    uint64_t Next() {
        uint64_t z = (m_state += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }
    uint64_t Below(uint64_t n) { return n == 0 ? 0 : Next() % n; }

private:
    uint64_t m_state;
};

enum class Content { Random, Text };

void Fill(std::vector<uint8_t>& bytes, Content content, Random& random) {
    if (content == Content::Random) {
        for (size_t i = 0; i < bytes.size(); i += 8) {
            uint64_t v = random.Next();
            std::memcpy(bytes.data() + i, &v, std::min<size_t>(8, bytes.size() - i));
        }
        return;
    }
    static const char* words[] = {"cluster ", "volume ", "extent ", "record ", "bitmap ", "sector ", "file ", "move "};
    size_t i = 0;
    while (i < bytes.size()) {
        const char* w = words[random.Below(8)];
        for (size_t k = 0; w[k] != 0 && i < bytes.size(); ++k) {
            bytes[i++] = static_cast<uint8_t>(w[k]);
        }
        if (random.Below(12) == 0 && i < bytes.size()) {
            bytes[i++] = '\n';
        }
    }
}

// A mounted volume being filled; every call is made under the library lock.
class Filler {
public:
    Filler(ntfs_volume* vol, std::string& error) : m_vol(vol), m_error(error) {}

    ntfs_inode* Create(uint64_t dirRecord, const std::string& name, mode_t type) {
        ntfs_inode* dir = ntfs_inode_open(m_vol, dirRecord);
        if (dir == nullptr) {
            return Fail("cannot open a directory"), nullptr;
        }
        ntfschar* uname = nullptr;
        int length = ntfs_mbstoucs(name.c_str(), &uname);
        ntfs_inode* ni = length > 0 ? ntfs_create(dir, const_cpu_to_le32(0), uname, static_cast<u8>(length), type) : nullptr;
        std::free(uname);
        if (ni == nullptr) {
            Fail("cannot create " + name);
        }
        ntfs_inode_close(dir);
        return ni;
    }

    bool Write(ntfs_inode* ni, const std::vector<std::pair<uint64_t, std::vector<uint8_t>>>& pieces, uint64_t size) {
        ntfs_attr* na = ntfs_attr_open(ni, AT_DATA, AT_UNNAMED, 0);
        if (na == nullptr) {
            return Fail("cannot open file data");
        }
        bool ok = true;
        if (size > 0 && pieces.size() > 1) {
            ok = ntfs_attr_truncate(na, static_cast<s64>(size)) == 0;  // the gaps stay holes
        }
        for (const auto& [offset, bytes] : pieces) {
            size_t done = 0;
            while (ok && done < bytes.size()) {
                size_t n = std::min<size_t>(bytes.size() - done, 1 << 16);
                ok = ntfs_attr_pwrite(na, static_cast<s64>(offset + done), static_cast<s64>(n), bytes.data() + done) ==
                     static_cast<s64>(n);
                done += n;
            }
        }
        if (ok && na->data_flags & ATTR_COMPRESSION_MASK) {
            ok = ntfs_attr_pclose(na) == 0;
        }
        ntfs_attr_close(na);
        return ok ? true : Fail(std::string("cannot write file data: ") + std::strerror(errno));
    }

    bool Fail(const std::string& message) {
        if (m_error.empty()) {
            m_error = message;
        }
        return false;
    }

    ntfs_volume* m_vol;
    std::string& m_error;
};

// Spreads a share of `percent` evenly over the file numbers (61 is prime to 100).
bool ChosenForFragments(uint32_t index, uint32_t percent) { return (uint64_t{index} * 61) % 100 < percent; }

}  // namespace

bool BuildNtfsImage(const NtfsImageRecipe& recipe, std::vector<ManifestEntry>& manifest, std::string& error) {
    manifest.clear();
    if (recipe.size < (8ULL << 20) || recipe.clusterSize < 512 || recipe.clusterSize > 65536 ||
        (recipe.clusterSize & (recipe.clusterSize - 1)) != 0) {
        error = "the size must be at least 8M and the cluster size a power of two from 512 to 65536";
        return false;
    }
    int fd = ::open(recipe.path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || ::ftruncate(fd, static_cast<off_t>(recipe.size)) != 0) {
        error = recipe.path + ": " + std::strerror(errno);
        if (fd >= 0) {
            ::close(fd);
        }
        return false;
    }
    ::close(fd);
    std::string output;
    int rc = RunCapturing({"mkntfs", "-F", "-f", "-q", "-c", std::to_string(recipe.clusterSize), "-L", "TARVO", recipe.path},
                          output);
    if (rc != 0) {
        error = rc < 0 ? "mkntfs is not installed (package ntfs-3g)" : "mkntfs failed: " + output;
        return false;
    }
    auto device = OpenBlockDevice(recipe.path, DeviceAccess::ReadWrite, error);
    if (!device) {
        return false;
    }
    std::lock_guard<std::recursive_mutex> lock(NtfsLibraryMutex());
    QuietNtfsLibrary();
    NtfsDeviceState state;
    state.device = device.get();
    struct ntfs_device* dev = NewNtfsDevice(state);
    ntfs_volume* vol = dev != nullptr ? ntfs_device_mount(dev, NTFS_MNT_NONE) : nullptr;
    if (vol == nullptr) {
        if (dev != nullptr) {
            ntfs_device_free(dev);
        }
        error = recipe.path + ": cannot mount the new volume";
        return false;
    }
    ntfs_volume_get_free_space(vol);
    NVolSetCompression(vol);
    Filler filler(vol, error);
    Random random(recipe.seed);
    const uint64_t cluster = vol->cluster_size;
    bool ok = true;

    auto makeDirectory = [&](const std::string& name, le32 extraFlags) -> uint64_t {
        ntfs_inode* ni = filler.Create(FILE_root, name, S_IFDIR);
        if (ni == nullptr) {
            return 0;
        }
        if (extraFlags) {
            ni->flags = static_cast<FILE_ATTR_FLAGS>(ni->flags | extraFlags);
            ntfs_inode_mark_dirty(ni);
        }
        uint64_t record = ni->mft_no;
        ntfs_inode_close(ni);
        return record;
    };
    uint64_t dataDir = makeDirectory("DATA", 0);
    uint64_t packedDir = recipe.compressed > 0 ? makeDirectory("PACKED", FILE_ATTR_COMPRESSED) : 0;
    ok = dataDir != 0 && (recipe.compressed == 0 || packedDir != 0);

    // The files to write: name, directory, content kind, size, sparse.
    struct Planned {
        std::string name;
        uint64_t dir;
        Content content;
        uint64_t size;
        bool sparse;
        uint64_t record = 0;
        bool inTurn = false;  // written a few clusters at a time, in turn with the others
    };
    std::vector<Planned> planned;
    const uint64_t budget = recipe.size / 4;
    const uint64_t count = std::max<uint64_t>(1, recipe.files + recipe.compressed + recipe.sparse);
    const uint64_t average = std::max<uint64_t>(cluster, budget / count);
    char name[32];
    for (uint32_t i = 0; i < recipe.files; ++i) {
        std::snprintf(name, sizeof(name), "F%04u.BIN", i);
        uint64_t size = i % 10 == 9 ? 200 + random.Below(300) : average / 4 + random.Below(average * 3 / 2);
        const bool chosen = recipe.fragmentedPercent < 100 && ChosenForFragments(i, recipe.fragmentedPercent);
        if (chosen) {
            size = std::max<uint64_t>(size, 2 * cluster + random.Below(2 * cluster));
        }
        planned.push_back({name, dataDir, Content::Random, size, false});
        planned.back().inTurn = recipe.fragmentedPercent >= 100 || chosen;
    }
    for (uint32_t i = 0; i < recipe.compressed; ++i) {
        std::snprintf(name, sizeof(name), "C%04u.TXT", i);
        planned.push_back({name, packedDir, Content::Text, average / 2 + random.Below(average), false});
    }
    for (uint32_t i = 0; i < recipe.sparse; ++i) {
        std::snprintf(name, sizeof(name), "S%04u.DAT", i);
        planned.push_back({name, dataDir, Content::Random, 64 * cluster + random.Below(average), true});
    }
    // Every file exists (its MFT record taken) before the volume is filled.
    for (Planned& p : planned) {
        ntfs_inode* ni = ok ? filler.Create(p.dir, p.name, S_IFREG) : nullptr;
        ok = ni != nullptr;
        if (ok) {
            p.record = ni->mft_no;
            ntfs_inode_close(ni);
        }
    }

    // Content first, so that the manifest does not depend on the order of writing.
    std::vector<std::vector<std::pair<uint64_t, std::vector<uint8_t>>>> contents(planned.size());
    for (size_t i = 0; i < planned.size(); ++i) {
        Planned& p = planned[i];
        std::vector<uint8_t> whole(p.size, 0);
        if (p.sparse) {
            // Three stretches of data with holes between them.
            uint64_t stretch = std::max<uint64_t>(cluster, p.size / 8) & ~(cluster - 1);
            for (uint64_t offset : {uint64_t{0}, (p.size / 2) & ~(cluster - 1), p.size - stretch}) {
                std::vector<uint8_t> bytes(stretch);
                Fill(bytes, p.content, random);
                std::memcpy(whole.data() + offset, bytes.data(), bytes.size());
                contents[i].push_back({offset, std::move(bytes)});
            }
        } else {
            Fill(whole, p.content, random);
            contents[i].push_back({0, whole});
        }
        Sha256 sha;
        sha.Update(whole.data(), whole.size());
        std::string dirName = p.dir == dataDir ? "DATA" : "PACKED";
        manifest.push_back({"\\" + dirName + "\\" + p.name, p.size, sha.HexDigest()});
    }
    // Deliberate fragmentation: the ordinary files grow a few clusters at a
    // time in turn, so the allocator lays their pieces out interleaved.
    std::vector<uint64_t> written(planned.size(), 0);
    bool interleave = recipe.fragmentation == Fragmentation::Deliberate;
    bool progress = interleave;
    while (ok && progress) {
        progress = false;
        for (size_t i = 0; ok && i < planned.size(); ++i) {
            const Planned& p = planned[i];
            if (!p.inTurn || p.sparse || p.content == Content::Text || p.size < 2 * cluster || written[i] >= p.size) {
                continue;
            }
            uint64_t most = cluster * 6;
            if (recipe.fragmentedPercent < 100) {
                most = std::max<uint64_t>(cluster, (p.size / cluster / 2) * cluster);  // two pieces at least
            }
            uint64_t piece = std::min<uint64_t>(p.size - written[i], cluster * (1 + random.Below(most / cluster)));
            std::vector<uint8_t> bytes(contents[i][0].second.begin() + static_cast<long>(written[i]),
                                       contents[i][0].second.begin() + static_cast<long>(written[i] + piece));
            ntfs_inode* ni = ntfs_inode_open(vol, p.record);
            ok = ni != nullptr && filler.Write(ni, {{written[i], std::move(bytes)}}, 0);
            if (ni != nullptr) {
                ntfs_inode_close(ni);
            }
            written[i] += piece;
            progress = true;
        }
    }
    for (size_t i = 0; ok && i < planned.size(); ++i) {
        if (interleave && written[i] > 0) {
            continue;
        }
        ntfs_inode* ni = ntfs_inode_open(vol, planned[i].record);
        ok = ni != nullptr && filler.Write(ni, contents[i], planned[i].size);
        if (ni != nullptr) {
            ntfs_inode_close(ni);
        }
    }
    if (ntfs_umount(vol, ::FALSE) != 0 && ok) {
        ok = filler.Fail("cannot close the volume");
    }
    if (ok && device->Flush() != 0) {
        ok = filler.Fail("cannot flush the image");
    }
    return ok;
}

std::string FormatManifest(const std::vector<ManifestEntry>& manifest) {
    std::string text;
    for (const ManifestEntry& e : manifest) {
        text += e.sha256 + "  " + std::to_string(e.size) + "  " + e.path + "\n";
    }
    return text;
}

}  // namespace tarvo::platform
