#include "restore/CopyIndex.h"

#include <cstdio>
#include <map>
#include <unordered_map>

#include "app/TextFile.h"
#include "catalog/DiscListing.h"
#include "catalog/DiscNames.h"
#include "platform/Platform.h"

namespace torvinel {

namespace {

constexpr std::size_t volumeCatalogLength = archiveNameLength + 8; // ArchiveName_kkk.csv

struct Volume {
    std::string disc;
    std::string version; // the version its catalog names
};

// A last volume (or ordinary archive) found in the database, before its volumes are known.
struct Found {
    std::string disc;
    std::string name;
    std::vector<std::pair<std::size_t, std::string>> lines; // wanted line, the catalog's line
    std::string onlyVersion; // when the catalog has exactly one line: its version
};

} // namespace

std::string versionOf(const std::string& line)
{
    const std::size_t comma = line.find_last_of(',');
    return comma == std::string::npos ? line : line.substr(0, comma + 1);
}

std::string digestOf(const std::string& line)
{
    const std::size_t comma = line.find_last_of(',');
    return comma == std::string::npos ? std::string() : line.substr(comma + 1);
}

CopyIndex::CopyIndex(const std::string& databaseFolder, const SortedList& discs, const std::vector<std::string>& wanted)
    : m_copies(wanted.size())
{
    std::unordered_map<std::string, std::size_t> byVersion;
    for (std::size_t i = 0; i < wanted.size(); ++i)
        byVersion.emplace(versionOf(wanted[i]), i);

    std::vector<Found> found;
    std::map<std::string, std::map<int, Volume>> volumes; // ArchiveName -> number -> volume
    for (std::size_t d = 0; d < discs.size(); ++d) {
        const std::string& disc = discs[d];
        const std::string folder = platform::joinPath(databaseFolder, disc);
        SortedList catalogs;
        ListFiles(platform::joinPath(folder, "2*.csv"), catalogs);
        for (std::size_t c = 0; c < catalogs.size(); ++c) {
            const std::string& catalog = catalogs[c];
            if (!isCatalogName(catalog))
                continue;
            const char kind = catalog[archiveNameLength - 1];
            if (kind == 'd' || kind == 'D')
                continue; // a deleted-files catalog: no archive behind it
            const std::vector<std::string> lines = readLines(platform::joinPath(folder, catalog));
            const std::string name = catalog.substr(0, archiveNameLength);
            if (catalog.size() == volumeCatalogLength) {
                if (lines.size() == 1)
                    volumes[name][decimalField(catalog.substr(archiveNameLength + 1, 3))] = {disc, versionOf(lines[0])};
                continue;
            }
            Found archive{disc, name, {}, lines.size() == 1 ? versionOf(lines[0]) : std::string()};
            for (const std::string& line : lines)
                if (const auto it = byVersion.find(versionOf(line)); it != byVersion.end())
                    archive.lines.emplace_back(it->second, line);
            if (!archive.lines.empty())
                found.push_back(std::move(archive));
        }
    }

    for (Found& archive : found) {
        ArchiveCopy copy{archive.name, {}};
        if (const auto split = volumes.find(archive.name); split != volumes.end()) {
            const std::map<int, Volume>& before = split->second;
            // Numbered 1 to n-1 without a gap, all of the same version as the last.
            bool complete = !archive.onlyVersion.empty() && before.begin()->first == 1
                && before.rbegin()->first == static_cast<int>(before.size());
            for (const auto& [number, volume] : before) {
                complete = complete && volume.version == archive.onlyVersion;
                char suffix[16];
                std::snprintf(suffix, sizeof suffix, "_%03d.zip", number);
                copy.volumes.push_back({volume.disc, archive.name + suffix});
            }
            if (!complete)
                continue;
        }
        copy.volumes.push_back({archive.disc, archive.name + ".zip"});
        for (const auto& [line, catalogLine] : archive.lines) {
            const std::string wantedDigest = digestOf(wanted[line]);
            const std::string copyDigest = digestOf(catalogLine);
            if (!wantedDigest.empty() && !copyDigest.empty() && wantedDigest != copyDigest)
                continue; // the same stamp and size, another content
            m_copies[line].push_back({m_archives.size(), wantedDigest.empty() ? copyDigest : wantedDigest});
        }
        m_archives.push_back(std::move(copy));
    }
}

} // namespace torvinel
