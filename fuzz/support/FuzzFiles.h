#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

// Files for the fuzz targets: the readers under test read real files, as they do from a disc.
namespace torvinel::fuzz {

namespace fs = std::filesystem;

// A folder of this process below $TMPDIR (or /tmp), made on first use. Fuzz runs may be
// parallel, so each process has its own.
inline const std::string& scratchFolder()
{
    static const std::string folder = [] {
        const char* tmp = std::getenv("TMPDIR");
        std::string root = (tmp && *tmp) ? tmp : "/tmp";
        root += "/torvinel-fuzz-" + std::to_string(::getpid());
        fs::create_directories(root);
        return root;
    }();
    return folder;
}

// Empties folder; read-only files and folders an input made must not stop that.
inline void clearFolder(const std::string& folder)
{
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(folder, error); it != fs::recursive_directory_iterator();
         it.increment(error))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, error);
    for (const auto& entry : fs::directory_iterator(folder, error))
        fs::remove_all(entry.path(), error);
}

// A fresh, empty folder below the scratch folder.
inline std::string freshFolder(const std::string& name)
{
    const std::string folder = scratchFolder() + "/" + name;
    fs::create_directories(folder);
    clearFolder(folder);
    return folder;
}

inline void writeFile(const std::string& path, std::string_view bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush())
        std::abort(); // the harness itself failed, not the code under test
}

inline std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Text inputs made of several files hold them one after the other, separated by this line.
inline constexpr std::string_view PartSeparator = "\n--8<--\n";

// Splits input at PartSeparator into exactly count parts (missing parts are empty; the last
// part takes the rest).
inline std::vector<std::string> splitParts(const uint8_t* data, std::size_t size, std::size_t count)
{
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> parts;
    while (parts.size() + 1 < count) {
        const std::size_t at = rest.find(PartSeparator);
        if (at == std::string_view::npos)
            break;
        parts.emplace_back(rest.substr(0, at));
        rest.remove_prefix(at + PartSeparator.size());
    }
    parts.emplace_back(rest);
    parts.resize(count);
    return parts;
}

// Ends the process with a message when an invariant of the code under test does not hold;
// libFuzzer keeps the input that did it.
#define TORVINEL_FUZZ_CHECK(condition)                                                                                 \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);                         \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (false)

} // namespace torvinel::fuzz
