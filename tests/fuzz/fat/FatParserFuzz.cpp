// FatParserFuzz.cpp --- the FAT parser under arbitrary images: no crash, no hang, never a write.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/blockio/FaultInjectingDevice.h"
#include "platform/blockio/MemoryBlockDevice.h"
#include "platform/fat/FatBackend.h"

using namespace tarvo::platform;

namespace {

void Walk(VolumeBackend& backend, const std::string& dir, int depth) {
    std::vector<DirectoryEntry> entries;
    if (depth > 8 || backend.ListDirectory(dir, entries) != STATUS_SUCCESS) {
        return;
    }
    std::vector<uint8_t> buffer(kRetrievalPointersHeaderSize + 64 * sizeof(RETRIEVAL_POINTERS_EXTENT));
    for (const auto& e : entries) {
        std::string path = dir.empty() ? e.name : dir + "\\" + e.name;
        FileId id = 0;
        if (backend.OpenFile(path, {}, id) == STATUS_SUCCESS) {
            backend.GetRetrievalPointers(id, 0, buffer.data(), buffer.size());
        }
        if (e.attributes & FILE_ATTRIBUTE_DIRECTORY) {
            Walk(backend, path, depth + 1);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool home = [] {
        std::string dir = std::filesystem::temp_directory_path() / ("tarvo-fuzz-" + std::to_string(::getpid()));
        setenv("TARVO_HOME", dir.c_str(), 1);
        return true;
    }();
    (void)home;
    auto record = std::make_shared<FaultRecord>();
    auto device = std::make_unique<FaultInjectingDevice>(
        std::make_unique<MemoryBlockDevice>(std::vector<uint8_t>(data, data + size), DeviceAccess::ReadWrite, "fuzz"),
        FaultPlan{}, record);
    std::string report;
    CheckFatVolume(*device, report);
    std::string error;
    auto backend = OpenFatBackend(std::move(device), error);
    if (backend) {
        VolumeInformation info;
        backend->GetVolumeInformation(info);
        Walk(*backend, "", 0);
        std::vector<uint8_t> bitmap(kVolumeBitmapHeaderSize + 512);
        backend->GetVolumeBitmap(0, bitmap.data(), bitmap.size());
        backend->CheckConsistency(report);
        backend.reset();
    }
    if (record->writes != 0) {
        std::abort();  // reading a volume, damaged or not, must never write to it
    }
    return 0;
}
