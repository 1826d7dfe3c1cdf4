#include "restore/RestoreDrive.h"

#include <vector>

#include "discwriter/DeviceLists.h"
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

bool endsWithIso(const std::string& text)
{
    if (text.size() < 4)
        return false;
    std::string tail = text.substr(text.size() - 4);
    for (char& c : tail)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return tail == ".iso";
}

} // namespace

std::unique_ptr<DiscReader> openRestoreDrive(const std::string& drive)
{
    if (endsWithIso(drive) && platform::fileExists(drive))
        return makeIsoFileReader(drive);
    if (!platform::folderExists(drive))
        return OpenRestoreDrive(drive); // an optical device, mounted or not
    return std::make_unique<FolderOrShelfReader>(drive);
}

} // namespace torvinel
