#pragma once
// Helpers of the platform tests: whole-file reads and running a case as an unprivileged user.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

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
