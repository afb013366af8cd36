#include "platform/core/Sha256.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

namespace tarvo::platform {
namespace {

std::string Digest(const std::string& text, size_t piece) {
    Sha256 sha;
    for (size_t at = 0; at < text.size(); at += piece) sha.Update(text.data() + at, std::min(piece, text.size() - at));
    return sha.HexDigest();
}

TEST(Sha256Test, KnownDigestsWhateverTheUpdateSizes) {
    EXPECT_EQ(Digest("", 1), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    const std::string twoBlocks = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    for (size_t piece : {1u, 7u, 55u, 56u, 64u, 100u})
        EXPECT_EQ(Digest(twoBlocks, piece), "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1") << piece;
    EXPECT_EQ(Digest(std::string(1000000, 'a'), 4096),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Sha256Test, FileDigestMatchesAndUnreadableFileGivesEmpty) {
    const auto path = std::filesystem::temp_directory_path() / ("tarvo-sha-" + std::to_string(::getpid()));
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("abc", f);
    std::fclose(f);
    EXPECT_EQ(Sha256OfFile(path.string()), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    std::filesystem::remove(path);
    EXPECT_EQ(Sha256OfFile(path.string()), "");
}

}  // namespace
}  // namespace tarvo::platform
