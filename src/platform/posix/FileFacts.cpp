// What the program asks about a file on POSIX. Symbolic links are never followed where the
// answer decides what a backup walks into; stamps and lengths are those of the file named.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <ctime>

#include "platform/Platform.h"

namespace torvinel::platform {

namespace {

bool lstatOf(const std::string& path, struct stat& facts) { return lstat(path.c_str(), &facts) == 0; }

constexpr Stamp earliestStamp{1980, 1, 1, 0, 0, 0};
constexpr Stamp latestStamp{2107, 12, 31, 23, 59, 58};

} // namespace

bool fileExists(const std::string& path)
{
    struct stat facts { };
    return lstatOf(path, facts) && S_ISREG(facts.st_mode);
}

bool folderExists(const std::string& path)
{
    struct stat facts { };
    return lstatOf(path, facts) && S_ISDIR(facts.st_mode);
}

bool isRegularFile(const std::string& path) { return fileExists(path); }

int64_t freeSpace(const std::string& path)
{
    struct statvfs facts { };
    if (path.empty() || statvfs(path.c_str(), &facts) != 0)
        return -1;
    // The room an ordinary user may fill, as a writer of that file system sees it.
    return static_cast<int64_t>(facts.f_bavail) * static_cast<int64_t>(facts.f_frsize);
}

int64_t driveFreeSpace(const std::string& path) { return freeSpace(path); }

Stamp localTime(std::time_t moment)
{
    std::tm parts{};
    if (localtime_r(&moment, &parts) == nullptr)
        return earliestStamp;
    return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec};
}

namespace {

Stamp stampOfSeconds(int64_t seconds)
{
    // Years outside the packed form are clamped instead of refused, so that a file dated
    // 1970 (a common default of archivers and build tools) is still backed up.
    if (seconds < 0)
        return earliestStamp;
    if (seconds > 100'000'000'000) // far past 2107, where local time may overflow
        return latestStamp;
    Stamp stamp = localTime(static_cast<std::time_t>(seconds));
    if (stamp.year < 1980)
        return earliestStamp;
    if (stamp.year > 2107)
        return latestStamp;
    // The packed form holds seconds halved; an odd second is rounded down, as packing does.
    stamp.second -= stamp.second % 2;
    return stamp;
}

} // namespace

std::optional<Stamp> lastWriteStamp(const std::string& path)
{
    struct stat facts { };
    if (stat(path.c_str(), &facts) != 0)
        return std::nullopt;
    return stampOfSeconds(facts.st_mtim.tv_sec);
}

Stamp lastWriteStamp(const FileIdentity& identity)
{
    constexpr int64_t billion = 1'000'000'000;
    // Rounded towards the past, as the seconds of a time stamp are.
    const int64_t seconds = identity.written / billion - (identity.written % billion < 0 ? 1 : 0);
    return stampOfSeconds(seconds);
}

bool setLastWriteStamp(const std::string& path, const Stamp& stamp)
{
    if (stamp.month < 1 || stamp.month > 12 || stamp.day < 1 || stamp.day > 31 || stamp.hour < 0 || stamp.hour > 23
        || stamp.minute < 0 || stamp.minute > 59 || stamp.second < 0 || stamp.second > 59)
        return false;
    std::tm parts = toTm(stamp); // whatever daylight-saving rule held on that day
    const std::time_t moment = std::mktime(&parts);
    if (moment == static_cast<std::time_t>(-1))
        return false;
    const timespec times[2] = {{0, UTIME_OMIT}, {moment, 0}};
    return utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

std::optional<int64_t> fileLength(const std::string& path)
{
    struct stat facts { };
    if (stat(path.c_str(), &facts) != 0 || !S_ISREG(facts.st_mode))
        return std::nullopt;
    return static_cast<int64_t>(facts.st_size);
}

std::optional<FileIdentity> fileIdentity(const std::string& path)
{
    struct stat facts { };
    if (stat(path.c_str(), &facts) != 0 || !S_ISREG(facts.st_mode))
        return std::nullopt;
    constexpr int64_t billion = 1'000'000'000;
    return FileIdentity{static_cast<int64_t>(facts.st_size),
                        static_cast<int64_t>(facts.st_mtim.tv_sec) * billion + facts.st_mtim.tv_nsec,
                        static_cast<int64_t>(facts.st_ctim.tv_sec) * billion + facts.st_ctim.tv_nsec};
}

} // namespace torvinel::platform
