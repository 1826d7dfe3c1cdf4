#pragma once
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

// A fresh folder per test, removed afterwards (with rights restored first, so that tests
// that take them away cannot leave it behind).
class Scratch {
public:
    Scratch()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "torvinel-platform-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            std::abort();
        m_root = pattern;
    }
    ~Scratch()
    {
        std::error_code error;
        for (auto it = std::filesystem::recursive_directory_iterator(m_root, error);
             it != std::filesystem::recursive_directory_iterator(); it.increment(error))
            if (it->is_directory(error) && !it->is_symlink(error))
                chmod(it->path().c_str(), 0700);
        std::filesystem::remove_all(m_root, error);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    const std::string& root() const { return m_root; }
    std::string path(const std::string& name) const { return m_root + "/" + name; }

    std::string write(const std::string& name, const std::string& content = "x") const
    {
        const std::string full = path(name);
        std::filesystem::create_directories(std::filesystem::path(full).parent_path());
        std::ofstream(full, std::ios::binary) << content;
        return full;
    }
    std::string folder(const std::string& name) const
    {
        const std::string full = path(name);
        std::filesystem::create_directories(full);
        return full;
    }

private:
    std::string m_root;
};

inline std::string readAll(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Root may read and delete anything, so permission cases are run, when the tests run as
// root, in a child process that has become the unprivileged user "nobody" (65534). Returns
// what fn returned (0..99), or -1 when the child could not be run that way.
constexpr uid_t nobody = 65534;
inline int asNobody(const std::function<int()>& fn)
{
    const pid_t child = fork();
    if (child == 0) {
        if (setgid(nobody) != 0 || setuid(nobody) != 0)
            _exit(100);
        _exit(fn());
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) >= 100)
        return -1;
    return WEXITSTATUS(status);
}
