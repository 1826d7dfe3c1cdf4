#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "app/SortedList.h"

namespace torvinel {

// One file of an archive on a disc: "<DiscId>/<fileName>".
struct ArchiveVolume {
    std::string disc;
    std::string fileName; // "2024030500013rn.zip", a split's earlier volumes "..._001.zip"
};

// An archive of the database, with every volume it needs, first to last; the last one is
// <ArchiveName>.zip (an ordinary archive is that one volume).
struct ArchiveCopy {
    std::string name; // the ArchiveName
    std::vector<ArchiveVolume> volumes;
    char group() const { return name.size() > 13 ? name[13] : 'r'; }
    bool split() const { return volumes.size() > 1; }
};

// A wanted line's copy: the archive, and the MD5 the restored file must have (the wanted
// line's, else the copy's catalog line's; empty when neither has one).
struct LineCopy {
    std::size_t archive = 0;
    std::string digest;
};

// Where every version asked for is kept. A catalog line holds the wanted version when path,
// stamp and size are the same and, where both lines carry a digest, the digests too. Every
// archive catalog of every disc given counts (discs newer than a backup set hold rotation
// copies of its files); deleted-files catalogs hold no archive. A split archive counts only
// when its last volume and all volumes before it, numbered 1 on without a gap, are in the
// database with the same line: an unfinished split is no copy.
class CopyIndex {
public:
    CopyIndex(const std::string& databaseFolder, const SortedList& discs, const std::vector<std::string>& wanted);

    const std::vector<ArchiveCopy>& archives() const { return m_archives; }
    // The copies of wanted[line], in DiscId order of their last volumes, oldest first.
    const std::vector<LineCopy>& copiesOf(std::size_t line) const { return m_copies[line]; }

private:
    std::vector<ArchiveCopy> m_archives;
    std::vector<std::vector<LineCopy>> m_copies;
};

// A catalog line without its digest: the version it names ("\"/a\",20240305140326,5,").
std::string versionOf(const std::string& line);
// The digest field of a catalog line ("" when there is none).
std::string digestOf(const std::string& line);

} // namespace torvinel
