// Creating, deleting and copying on POSIX, every system call checked. Deletion never
// follows a symbolic link: a link inside a folder is removed, its target stays untouched.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/Platform.h"

namespace torvinel::platform {

namespace {

bool removeTree(const std::string& path);

// A folder we may not write or search (a tree copied from a disc keeps mode 0555) cannot
// be emptied; it is ours to delete, so we give ourselves the rights first.
bool grantOwnerAccess(const std::string& folder)
{
    struct stat facts { };
    return lstat(folder.c_str(), &facts) == 0 && S_ISDIR(facts.st_mode)
        && chmod(folder.c_str(), (facts.st_mode & 07777) | S_IRWXU) == 0;
}

std::optional<std::vector<std::string>> namesIn(const std::string& folder)
{
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr && (errno == EACCES || errno == EPERM) && grantOwnerAccess(folder))
        dir = opendir(folder.c_str());
    if (dir == nullptr)
        return std::nullopt;
    // Names first, deletion after: removing entries while reading the folder may skip some.
    std::vector<std::string> names;
    errno = 0;
    while (const dirent* entry = readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..")
            names.emplace_back(name);
    }
    const bool complete = errno == 0;
    closedir(dir);
    if (!complete)
        return std::nullopt;
    return names;
}

bool removeContents(const std::string& folder)
{
    const auto names = namesIn(folder);
    if (!names)
        return false;
    bool allGone = true;
    bool accessGranted = false;
    for (const std::string& name : *names) {
        const std::string path = joinPath(folder, name);
        bool gone = removeTree(path);
        if (!gone && !accessGranted && (errno == EACCES || errno == EPERM)) {
            accessGranted = grantOwnerAccess(folder);
            gone = accessGranted && removeTree(path);
        }
        allGone = allGone && gone; // keep going: delete whatever can be deleted
    }
    return allGone;
}

bool removeTree(const std::string& path)
{
    struct stat facts { };
    if (lstat(path.c_str(), &facts) != 0)
        return errno == ENOENT; // gone already
    if (!S_ISDIR(facts.st_mode))
        return unlink(path.c_str()) == 0 || errno == ENOENT;
    return removeContents(path) && (rmdir(path.c_str()) == 0 || errno == ENOENT);
}

} // namespace

bool createFolder(const std::string& path)
{
    if (mkdir(path.c_str(), 0777) == 0)
        return true;
    struct stat facts { };
    return errno == EEXIST && stat(path.c_str(), &facts) == 0 && S_ISDIR(facts.st_mode);
}

bool deleteFolderContents(const std::string& folder)
{
    // The folder the caller names may be a link (a temporary folder placed on another
    // disc); what lies inside is never followed.
    struct stat facts { };
    return stat(folder.c_str(), &facts) == 0 && S_ISDIR(facts.st_mode) && removeContents(folder);
}

bool deleteFolder(const std::string& folder) { return folderExists(folder) && removeTree(folder); }

bool deleteFile(const std::string& path)
{
    struct stat facts { };
    return lstat(path.c_str(), &facts) == 0 && !S_ISDIR(facts.st_mode) && unlink(path.c_str()) == 0;
}

bool copyFile(const std::string& source, const std::string& target)
{
    const int in = open(source.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (in < 0)
        return false;
    struct stat facts { };
    if (fstat(in, &facts) != 0 || !S_ISREG(facts.st_mode)) {
        close(in);
        return false;
    }
    // The copy is made under a temporary name and renamed at the end, so an interrupted copy
    // never leaves a short file under the target's name.
    // It is made with no more rights than the source's, so a private file is never readable
    // by others meanwhile.
    const std::string temporary = target + ".copy-" + std::to_string(getpid()) + ".tmp";
    const mode_t mode = facts.st_mode & 0777;
    int out = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (out < 0 && errno == EEXIST && unlink(temporary.c_str()) == 0)
        out = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (out < 0) {
        close(in);
        return false;
    }
    std::vector<char> buffer(1 << 20);
    bool ok = true;
    while (ok) {
        const ssize_t got = read(in, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            ok = got == 0;
            break;
        }
        for (ssize_t done = 0; ok && done < got;) {
            const ssize_t put = write(out, buffer.data() + done, static_cast<std::size_t>(got - done));
            if (put < 0 && errno == EINTR)
                continue;
            ok = put > 0;
            done += put > 0 ? put : 0;
        }
    }
    close(in);
    // The creation mask may have taken bits away; the copy gets exactly the source's.
    const timespec times[2] = {facts.st_atim, facts.st_mtim};
    ok = ok && fchmod(out, mode) == 0 && futimens(out, times) == 0;
    ok = fsync(out) == 0 && ok;
    ok = close(out) == 0 && ok;
    if (!ok || !replaceFile(temporary, target)) {
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

bool renameFolder(const std::string& from, const std::string& to)
{
    // rename() would replace an empty folder of that name; a folder already there is left.
    struct stat facts { };
    if (lstat(to.c_str(), &facts) == 0 || errno != ENOENT)
        return false;
    return lstat(from.c_str(), &facts) == 0 && S_ISDIR(facts.st_mode) && std::rename(from.c_str(), to.c_str()) == 0;
}

bool syncFolder(const std::string& folder)
{
    const int descriptor = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0)
        return false;
    const bool synced = fsync(descriptor) == 0;
    return close(descriptor) == 0 && synced;
}

} // namespace torvinel::platform
