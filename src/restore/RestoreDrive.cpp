#include "restore/RestoreDrive.h"

#include <vector>

#include "platform/Platform.h"

namespace torvinel {

namespace {

class FolderOrShelfReader : public DiscReader {
public:
    explicit FolderOrShelfReader(const std::string& folder)
        : m_folder(makeFolderReader(folder)), m_shelf(makeImageShelfReader(folder))
    {
    }

    std::string location() const override { return m_folder->location(); }
    bool exists(const std::string& path) override { return m_folder->exists(path) || m_shelf->exists(path); }
    bool copy(const std::string& path, const std::string& target) override
    {
        if (m_folder->exists(path))
            return m_folder->copy(path, target);
        return m_shelf->copy(path, target);
    }
    std::vector<Entry> list(const std::string& folder) override
    {
        std::vector<Entry> entries = m_folder->list(folder);
        if (entries.empty())
            entries = m_shelf->list(folder);
        return entries;
    }

private:
    std::unique_ptr<DiscReader> m_folder;
    std::unique_ptr<DiscReader> m_shelf;
};

} // namespace

std::unique_ptr<DiscReader> openRestoreDrive(const std::string& drive)
{
    if (platform::folderExists(drive))
        return std::make_unique<FolderOrShelfReader>(drive);
    return OpenRestoreDrive(drive); // a disc image, or an optical device mounted or not
}

} // namespace torvinel
