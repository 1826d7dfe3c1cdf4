#pragma once
#include <memory>
#include <optional>
#include <string>

namespace torvinel {

// Where AddDiskClick reads a disc from. The disc holds one folder named by its DiscId, with
// the archives, their catalogs and status.ini.
class DiscSource {
public:
    virtual ~DiscSource() = default;
    // The first entry of the top level whose name begins with "2", when it is a folder;
    // nothing when there is no disc or no such folder.
    virtual std::optional<std::string> discFolderName() = 0;
    // Copies every ".csv" file of the disc's folder into targetFolder; false when any copy
    // failed (what was copied stays).
    virtual bool copyCatalogs(const std::string& discId, const std::string& targetFolder) = 0;
    // Copies the disc's status.ini (any letter case) into targetFolder as status.ini,
    // replacing one there; false when there is none or the copy failed.
    virtual bool copyStatusIni(const std::string& discId, const std::string& targetFolder) = 0;
};

// A drive as a folder: a mounted disc, or a disc copied to a folder.
class FolderDiscSource : public DiscSource {
public:
    explicit FolderDiscSource(std::string root) : m_root(std::move(root)) {}
    std::optional<std::string> discFolderName() override;
    bool copyCatalogs(const std::string& discId, const std::string& targetFolder) override;
    bool copyStatusIni(const std::string& discId, const std::string& targetFolder) override;

private:
    std::string m_root;
};

// The source behind an entry of cbAddDisks.
std::unique_ptr<DiscSource> openDiscSource(const std::string& drive);

} // namespace torvinel
