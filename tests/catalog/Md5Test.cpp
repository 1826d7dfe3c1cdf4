#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "catalog/FileDigest.h"
#include "catalog/Md5.h"

namespace torvinel {
namespace {

std::string hexOf(const std::string& text) { return DigestHex(md5(text.data(), text.size())); }

TEST(Md5, KnownDigests)
{
    // The test suite of RFC 1321, plus inputs around the 55/56/64-byte padding edges.
    const std::pair<std::string, std::string> cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
        {std::string(55, 'a'), "ef1772b6dff9a122358552954ad0df65"},
        {std::string(56, 'a'), "3b0c8ac703f828b04c6c197006d17218"},
        {std::string(64, 'a'), "014842d480b571495a4a0363793f7367"},
    };
    for (const auto& [input, expected] : cases)
        EXPECT_EQ(hexOf(input), expected) << "input of " << input.size() << " bytes";
}

TEST(Md5, PiecesGiveTheSameDigestAsOneCall)
{
    std::string data(100000, '\0');
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = char(i * 7 + i / 251);
    const Md5Digest whole = md5(data.data(), data.size());
    for (std::size_t piece : {1u, 3u, 63u, 64u, 65u, 4096u}) {
        Md5 hash;
        for (std::size_t at = 0; at < data.size(); at += piece)
            hash.update(data.data() + at, std::min(piece, data.size() - at));
        EXPECT_EQ(hash.final(), whole) << "pieces of " << piece;
    }
}

TEST(FileDigest, FilesEmptyMissingAndLarge)
{
    const auto folder = std::filesystem::path(testing::TempDir()) / "md5file";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const auto write = [&](const char* name, const std::string& content) {
        const std::string path = (folder / name).string();
        std::FILE* f = std::fopen(path.c_str(), "wb");
        std::fwrite(content.data(), 1, content.size(), f);
        std::fclose(f);
        return path;
    };
    const std::string empty = "d41d8cd98f00b204e9800998ecf8427e";
    EXPECT_EQ(DigestHex(FileDigest(write("abc", "abc"))), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(DigestHex(FileDigest(write("empty", ""))), empty);
    EXPECT_EQ(DigestHex(FileDigest((folder / "missing").string())), empty);
    EXPECT_EQ(DigestHex(FileDigest(folder.string())), empty); // a folder cannot be read
    // Larger than one read block, not a multiple of it.
    std::string big(3 * (1 << 20) + 17, 'x');
    EXPECT_EQ(FileDigest(write("big", big)), md5(big.data(), big.size()));
}

} // namespace
} // namespace torvinel
