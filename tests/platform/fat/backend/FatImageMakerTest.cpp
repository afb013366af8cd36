// FatImageMakerTest.cpp --- the image maker's fragmented share: today's default, and a share asked for.
#include "FatTestSupport.h"

namespace tarvo::platform::testing {

namespace {

struct Share {
    size_t withData = 0;
    size_t fragmented = 0;
    double Percent() const { return withData == 0 ? 0 : 100.0 * static_cast<double>(fragmented) / static_cast<double>(withData); }
};

Share ShareOf(const std::string& image) {
    Share share;
    std::string error;
    auto backend = OpenImage(image, error, DeviceAccess::ReadOnly);
    EXPECT_NE(backend, nullptr) << error;
    if (!backend) return share;
    for (const std::string& path : ListFiles(*backend)) {
        FileId id = 0;
        if (backend->OpenFile(path, {}, id) != STATUS_SUCCESS) continue;
        const size_t runs = Runs(*backend, id).size();
        share.withData += runs > 0 ? 1 : 0;
        share.fragmented += runs > 1 ? 1 : 0;
    }
    return share;
}

}  // namespace

// The default keeps the images tests and users made before; a share asked for is
// reached within a few files, and the image stays whole by the independent judges.
TEST_F(FatTest, MakerLeavesTheFragmentedShareAskedFor) {
    for (uint32_t percent : {0u, 30u}) {
        SCOPED_TRACE("share " + std::to_string(percent));
        FatImageRecipe recipe;
        recipe.path = (m_dir / ("share" + std::to_string(percent) + ".img")).string();
        recipe.sizeBytes = 16u << 20;
        recipe.fatBits = 16;
        recipe.clusterBytes = 512;
        recipe.files = 320;
        recipe.fragment = true;
        recipe.fragmentPercent = percent;
        std::vector<FatManifestEntry> manifest;
        std::string error;
        ASSERT_TRUE(MakeFatImage(recipe, manifest, error)) << error;
        const Share share = ShareOf(recipe.path);
        if (percent == 0) {
            EXPECT_GT(share.Percent(), 10.0);
            EXPECT_LT(share.Percent(), 25.0);
        } else {
            EXPECT_NEAR(share.Percent(), percent, 2.0) << share.fragmented << " of " << share.withData;
        }
        std::string output;
        EXPECT_EQ(Fsck(recipe.path, output), 0) << output;
        EXPECT_EQ(MtoolsManifest(recipe.path), manifest);
    }
}

}  // namespace tarvo::platform::testing
