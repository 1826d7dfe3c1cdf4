#include "catalog/FileDigest.h"

#include <charconv>
#include <cstdio>
#include <memory>

namespace torvinel {

namespace {
constexpr std::size_t blockSize = 1 << 20;
}

Md5Digest FileDigest(const std::string& path)
{
    Md5 hash;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return hash.final();
    std::setvbuf(file, nullptr, _IONBF, 0); // our blocks are large; skip the stdio copy
    auto buffer = std::make_unique<unsigned char[]>(blockSize);
    bool failed = false;
    for (;;) {
        const std::size_t got = std::fread(buffer.get(), 1, blockSize, file);
        hash.update(buffer.get(), got);
        if (got < blockSize) {
            failed = std::ferror(file) != 0;
            break;
        }
    }
    std::fclose(file);
    if (failed)
        hash.reset();
    return hash.final();
}

std::string DigestHex(const Md5Digest& digest)
{
    static const char digits[] = "0123456789abcdef";
    std::string text(32, '0');
    for (std::size_t i = 0; i < digest.size(); ++i) {
        text[2 * i] = digits[digest[i] >> 4];
        text[2 * i + 1] = digits[digest[i] & 0x0f];
    }
    return text;
}

std::optional<Md5Digest> DigestFromHex(std::string_view hex)
{
    if (hex.size() != 32)
        return std::nullopt;
    Md5Digest digest{};
    for (std::size_t i = 0; i < digest.size(); ++i) {
        const auto [end, error] = std::from_chars(hex.data() + 2 * i, hex.data() + 2 * i + 2, digest[i], 16);
        if (error != std::errc() || end != hex.data() + 2 * i + 2)
            return std::nullopt;
    }
    return digest;
}

} // namespace torvinel
