// FatFuzzReplayTest.cpp --- the fuzzing harness run on real images and seeded mutations of them (any compiler).
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/fat/FatImageMaker.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace fs = std::filesystem;

TEST(FatFuzzReplay, MutatedImagesNeverCrashHangOrWrite) {
    fs::path dir = fs::temp_directory_path() / ("tarvo-fuzzreplay-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "home");
    setenv("TARVO_HOME", (dir / "home").c_str(), 1);
    const int rounds = std::getenv("TARVO_STRESS") != nullptr && std::string(std::getenv("TARVO_STRESS")) == "full"
                           ? 2000 : 150;
    for (int bits : {12, 16, 32}) {
        tarvo::platform::FatImageRecipe recipe;
        recipe.path = (dir / ("seed" + std::to_string(bits) + ".img")).string();
        recipe.fatBits = bits;
        recipe.sizeBytes = bits == 32 ? 34u << 20 : bits == 16 ? 5u << 20 : 1u << 20;
        recipe.clusterBytes = 512;
        recipe.files = 8;
        recipe.fragment = true;
        std::vector<tarvo::platform::FatManifestEntry> manifest;
        std::string error;
        ASSERT_TRUE(tarvo::platform::MakeFatImage(recipe, manifest, error)) << error;
        std::ifstream in(recipe.path, std::ios::binary);
        std::vector<uint8_t> image{std::istreambuf_iterator<char>(in), {}};
        LLVMFuzzerTestOneInput(image.data(), image.size());
        // Mutations aimed where the parser looks: boot sector, FATs, the first directory clusters.
        uint64_t state = 0x9E3779B97F4A7C15ull * static_cast<uint64_t>(bits);
        auto next = [&] { return state ^= state << 13, state ^= state >> 7, state ^= state << 17; };
        const size_t hot = std::min<size_t>(image.size(), bits == 32 ? 1200 * 1024 : 64 * 1024);
        const int count = bits == 32 ? rounds / 5 : rounds;  // a FAT32 seed is 34 MB: fewer copies of it
        for (int round = 0; round < count; ++round) {
            std::vector<uint8_t> mutated = image;
            int flips = 1 + static_cast<int>(next() % 8);
            for (int i = 0; i < flips; ++i) {
                size_t at = next() % (round % 4 == 0 ? 512 : hot);
                mutated[at] = static_cast<uint8_t>(next());
            }
            if (round % 10 == 9) {
                mutated.resize(next() % mutated.size());
            }
            LLVMFuzzerTestOneInput(mutated.data(), mutated.size());
        }
    }
    fs::remove_all(dir);
}
