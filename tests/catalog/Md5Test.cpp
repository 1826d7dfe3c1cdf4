#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "catalog/BackgroundMd5.h"
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

// Large pieces go to the worker, small ones are digested at once: mixed, they must still be
// digested in order, from a copy (the caller overwrites its buffer right after each update),
// and a reset or a final must not lose or keep a piece the worker still holds.
TEST(BackgroundMd5, SameDigestsAsMd5WhateverThePieces)
{
    constexpr std::size_t large = BackgroundMd5::LargePiece;
    std::string data(3 * 1048576 + 12345, '\0');
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = char(i * 13 + i / 4093);
    const std::vector<std::vector<std::size_t>> cuts = {
        {large},                                 // large pieces only
        {large - 1},                             // small pieces only
        {1048576, 100, large, 7, 2 * large + 1}, // mixed, in turn
        {5, 1048576},
    };
    BackgroundMd5 hash;
    hash.update(data.data(), 2 * large); // dropped by the reset
    hash.reset();
    for (const auto& cut : cuts) {
        std::vector<char> buffer;
        std::size_t at = 0;
        for (std::size_t i = 0; at < data.size(); ++i) {
            const std::size_t n = std::min(cut[i % cut.size()], data.size() - at);
            buffer.assign(data.begin() + static_cast<std::ptrdiff_t>(at),
                          data.begin() + static_cast<std::ptrdiff_t>(at + n));
            hash.update(buffer.data(), n);
            std::fill(buffer.begin(), buffer.end(), 'x');
            at += n;
        }
        EXPECT_EQ(hash.final(), md5(data.data(), data.size())) << "cut " << cut.front();
        EXPECT_EQ(hash.final(), md5("", 0)); // final starts over
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

// STATUS.INI's digests are read back as written, in either letter case; anything else is no
// digest rather than a wrong one.
TEST(DigestFromHex, ReadsBackWhatDigestHexWrites)
{
    const Md5Digest abc = md5("abc", 3);
    EXPECT_EQ(DigestFromHex(DigestHex(abc)), abc);
    EXPECT_EQ(DigestFromHex("900150983CD24FB0D6963F7D28E17F72"), abc);
    for (const char* bad : {"", "900150983cd24fb0d6963f7d28e17f7", "900150983cd24fb0d6963f7d28e17f72 ",
                            "+00150983cd24fb0d6963f7d28e17f72", "9001509 3cd24fb0d6963f7d28e17f72",
                            "g00150983cd24fb0d6963f7d28e17f72"})
        EXPECT_EQ(DigestFromHex(bad), std::nullopt) << '"' << bad << '"';
}

} // namespace
} // namespace torvinel
