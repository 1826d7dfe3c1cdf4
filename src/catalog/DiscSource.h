#pragma once
#include <memory>
#include <string>
#include <vector>

#include "discwright/DiscReader.h"

namespace torvinel {

// Where addDisc reads discs from. A disc holds one folder named by its DiscId, with the
// archives, their catalogs and status.ini; the image drive's shelf holds one such folder per
// image on it.
class DiscSource {
public:
    virtual ~DiscSource() = default;
    // Where the discs are read from, for messages.
    virtual std::string location() const = 0;
    // The folders of the top level whose names begin with "2", by name (so oldest disc
    // first); none when there is no disc.
    virtual std::vector<std::string> discFolderNames() = 0;
    // The names of the files in a disc's folder.
    virtual std::vector<std::string> fileNames(const std::string& discId) = 0;
    // Copies every ".csv" file of the disc's folder into targetFolder; false when any copy
    // failed (what was copied stays).
    virtual bool copyCatalogs(const std::string& discId, const std::string& targetFolder) = 0;
    // Copies the disc's status.ini (any letter case) into targetFolder as status.ini,
    // replacing one there; false when there is none or the copy failed.
    virtual bool copyStatusIni(const std::string& discId, const std::string& targetFolder) = 0;
};

// A disc read through the disc library's readers: a mounted disc, a disc copied to a
// folder, a disc image, or the image drive's shelf.
class ReaderDiscSource : public DiscSource {
public:
    explicit ReaderDiscSource(std::unique_ptr<DiscReader> reader) : m_reader(std::move(reader)) { }
    std::string location() const override { return m_reader->location(); }
    std::vector<std::string> discFolderNames() override;
    std::vector<std::string> fileNames(const std::string& discId) override;
    bool copyCatalogs(const std::string& discId, const std::string& targetFolder) override;
    bool copyStatusIni(const std::string& discId, const std::string& targetFolder) override;

private:
    std::unique_ptr<DiscReader> m_reader;
};

// A drive as a folder: a mounted disc, or a disc copied to a folder.
class FolderDiscSource : public ReaderDiscSource {
public:
    explicit FolderDiscSource(const std::string& root) : ReaderDiscSource(makeFolderReader(root)) { }
};

// The source behind an entry of AddDiscDrive or a command line argument (see OpenRestoreDrive).
std::unique_ptr<DiscSource> openDiscSource(const std::string& drive);

} // namespace torvinel
