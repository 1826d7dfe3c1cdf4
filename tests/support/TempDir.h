#pragma once
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

namespace torvinel::test {

// A fresh folder under the system's temporary folder, removed with everything in it when the
// object goes out of scope:
//     TempDir dir;  dir.write("a/b.txt", "text");  std::string p = dir.path() + "/a/b.txt";
class TempDir {
public:
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "torvinel-test-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("cannot create a temporary folder");
        m_path = pattern;
    }
    ~TempDir()
    {
        std::error_code ignored;
        // Tests may leave read-only folders behind; make them writable so removal succeeds.
        for (auto it = std::filesystem::recursive_directory_iterator(m_path, ignored);
             it != std::filesystem::recursive_directory_iterator(); it.increment(ignored))
            if (it->is_directory(ignored) && !it->is_symlink(ignored))
                std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                             std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(m_path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // Absolute path, without a trailing separator.
    const std::string& path() const { return m_path; }
    // path() + "/" + relative.
    std::string path(const std::string& relative) const { return m_path + "/" + relative; }
    std::string operator/(const std::string& relative) const { return path(relative); }

    // Writes a file (creating its folders) with exactly these bytes (by default a byte whose
    // value does not matter); returns its full path.
    std::string write(const std::string& relative, const std::string& bytes = "x") const
    {
        const std::filesystem::path file = std::filesystem::path(m_path) / relative;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out << bytes;
        if (!out.flush())
            throw std::runtime_error("cannot write " + file.string());
        return file.string();
    }
    // Creates a folder and its parents; returns its full path.
    std::string folder(const std::string& relative) const
    {
        const std::string full = path(relative);
        std::filesystem::create_directories(full);
        return full;
    }
    // The whole content of a file ("" when it cannot be read).
    std::string read(const std::string& relative) const
    {
        std::ifstream in(std::filesystem::path(m_path) / relative, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    std::string m_path;
};

} // namespace torvinel::test
