#include "backup/SelectionSize.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "backup/Selection.h"
#include "catalog/CatalogLine.h"
#include "platform/Platform.h"

namespace torvinel {

namespace fs = std::filesystem;

namespace {

class SizeWalk {
public:
    SizeWalk(const SizeRequest& request, std::stop_token stop, const SizeWalkHooks& hooks)
        : m_unticked(request.unticked),
          m_excluded(request.excluded),
          m_stop(std::move(stop)),
          m_hooks(hooks),
          m_lastReport(std::chrono::steady_clock::now())
    {
        std::sort(m_unticked.begin(), m_unticked.end(), before);
    }

    // False once a stop was requested.
    bool countTicked(const std::string& path)
    {
        if (!visit(path))
            return false;
        std::error_code error;
        const fs::file_status status = fs::symlink_status(fs::path(path), error);
        if (error || !fs::exists(status) || isUnticked(path) || insideExcluded(path) || !catalogCanCarry(path))
            return true;
        fs::file_type type = status.type();
        std::string file = path;
        if (type == fs::file_type::symlink) {
            // Followed, as the user ticked it by name; a folder keeps the link's path.
            const fs::path target = fs::canonical(fs::path(path), error);
            if (error || insideExcluded(target.string()))
                return true;
            type = fs::status(target, error).type();
            if (error)
                return true;
            if (type == fs::file_type::regular)
                file = target.string();
        }
        if (type == fs::file_type::directory)
            return countFolder(path);
        if (type == fs::file_type::regular)
            countFile(file);
        return true;
    }

    const SelectionSize& total() const { return m_total; }

private:
    static bool before(const std::string& a, const std::string& b) { return platform::comparePaths(a, b) < 0; }

    bool isUnticked(const std::string& path) const
    {
        return std::binary_search(m_unticked.begin(), m_unticked.end(), path, before);
    }

    bool insideExcluded(const std::string& path) const
    {
        return std::any_of(m_excluded.begin(), m_excluded.end(),
                           [&path](const std::string& folder) { return within(path, folder); });
    }

    bool isExcluded(const std::string& path) const
    {
        return std::any_of(m_excluded.begin(), m_excluded.end(),
                           [&path](const std::string& folder) { return platform::samePath(path, folder); });
    }

    // False once a stop was requested; reports the totals when the interval has passed.
    bool visit(const std::string& path)
    {
        if (m_stop.stop_requested())
            return false;
        if (m_hooks.visiting)
            m_hooks.visiting(path);
        if (m_hooks.progress) {
            const auto now = std::chrono::steady_clock::now();
            if (now - m_lastReport >= m_hooks.interval) {
                m_lastReport = now;
                m_hooks.progress(m_total);
            }
        }
        return !m_stop.stop_requested();
    }

    void countFile(const std::string& path)
    {
        // What the run could not open it leaves out, so it is not counted either.
        const platform::FileAccess access = platform::testFileAccess(path);
        if (access != platform::FileAccess::Free && access != platform::FileAccess::InUse)
            return;
        std::error_code error;
        const auto bytes = fs::file_size(fs::path(path), error);
        if (error)
            return;
        ++m_total.files;
        m_total.bytes += static_cast<int64_t>(bytes);
    }

    bool countFolder(const std::string& folder)
    {
        std::error_code error;
        fs::directory_iterator it(fs::path(folder), fs::directory_options::none, error);
        for (; !error && it != fs::directory_iterator(); it.increment(error)) {
            const std::string path = platform::joinPath(folder, it->path().filename().string());
            if (!visit(path))
                return false;
            std::error_code typeError;
            const fs::file_type type = it->symlink_status(typeError).type();
            if (typeError || !catalogCanCarry(path) || isUnticked(path))
                continue;
            if (type == fs::file_type::directory) {
                if (!isExcluded(path) && !countFolder(path))
                    return false;
            } else if (type == fs::file_type::regular) {
                countFile(path);
            }
            // Links are not followed inside folders; FIFOs, sockets and devices hold nothing.
        }
        return true;
    }

    std::vector<std::string> m_unticked;
    const std::vector<std::string>& m_excluded;
    std::stop_token m_stop;
    const SizeWalkHooks& m_hooks;
    std::chrono::steady_clock::time_point m_lastReport;
    SelectionSize m_total;
};

} // namespace

std::optional<SelectionSize> countSelection(const SizeRequest& request, std::stop_token stop,
                                            const SizeWalkHooks& hooks)
{
    SizeWalk walk(request, std::move(stop), hooks);
    for (const auto& path : request.ticked)
        if (!walk.countTicked(path))
            return std::nullopt;
    return walk.total();
}

} // namespace torvinel
