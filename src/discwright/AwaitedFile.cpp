#include "discwright/AwaitedFile.h"

#include <filesystem>
#include <map>
#include <mutex>

namespace torvinel {

namespace {

std::mutex& registryLock()
{
    static std::mutex lock;
    return lock;
}

std::map<std::string, AwaitedFile>& registry()
{
    static std::map<std::string, AwaitedFile> files;
    return files;
}

// The burn walks its folder by absolute names; a registration may come by another spelling.
std::string keyOf(const std::string& path)
{
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return (error ? std::filesystem::path(path) : absolute).lexically_normal().string();
}

} // namespace

AwaitedFileRegistration::AwaitedFileRegistration(const std::string& path, AwaitedFile file) : m_key(keyOf(path))
{
    const std::lock_guard lock(registryLock());
    registry()[m_key] = std::move(file);
}

AwaitedFileRegistration::~AwaitedFileRegistration()
{
    const std::lock_guard lock(registryLock());
    registry().erase(m_key);
}

std::optional<AwaitedFile> awaitedFile(const std::string& path)
{
    const std::lock_guard lock(registryLock());
    const auto found = registry().find(keyOf(path));
    if (found == registry().end())
        return std::nullopt;
    return found->second;
}

} // namespace torvinel
