#include "restore/DiscLossReport.h"

#include <algorithm>
#include <iterator>
#include <map>

#include "catalog/CatalogLine.h"
#include "restore/CopyIndex.h"

namespace torvinel {

namespace {

std::set<std::string> discsOf(const ArchiveCopy& archive)
{
    std::set<std::string> discs;
    for (const auto& volume : archive.volumes)
        discs.insert(volume.disc);
    return discs;
}

std::set<std::string> common(const std::set<std::string>& a, const std::set<std::string>& b)
{
    std::set<std::string> both;
    std::ranges::set_intersection(a, b, std::inserter(both, both.end()));
    return both;
}

} // namespace

LossReport discLossReport(const std::string& databaseFolder, const SortedList& discs, const SortedList& newestState,
                          const std::set<std::string>& damagedDiscs)
{
    const std::vector<std::string> wanted = newestState.lines();
    const CopyIndex index(databaseFolder, discs, wanted);

    LossReport report;
    std::map<std::string, DiscLoss> losses;
    for (std::size_t d = 0; d < discs.size(); ++d)
        losses[discs[d]].disc = discs[d];

    for (std::size_t line = 0; line < wanted.size(); ++line) {
        struct Usable {
            std::set<std::string> needs;
            std::string lastDisc;
        };
        std::vector<Usable> sound;
        std::vector<Usable> all;
        for (const LineCopy& copy : index.copiesOf(line)) {
            const ArchiveCopy& archive = index.archives()[copy.archive];
            Usable usable{discsOf(archive), archive.volumes.back().disc};
            if (std::ranges::none_of(usable.needs, [&](const std::string& disc) { return damagedDiscs.contains(disc); }))
                sound.push_back(usable);
            all.push_back(std::move(usable));
        }
        const std::string path = CatalogPath(wanted[line]);
        const int64_t bytes = CatalogSize(wanted[line]);
        if (all.empty()) {
            report.noCopy.push_back(path);
            continue;
        }
        const auto& usable = sound.empty() ? all : sound;
        std::set<std::string> needed = usable.front().needs;
        for (std::size_t c = 1; c < usable.size(); ++c)
            needed = common(needed, usable[c].needs);
        for (const auto& disc : needed) {
            DiscLoss& loss = losses[disc];
            ++loss.files;
            loss.bytes += bytes;
        }
        if (sound.size() == 1)
            report.singleCopies.push_back({path, bytes, sound.front().lastDisc});
    }
    for (std::size_t d = 0; d < discs.size(); ++d)
        report.discs.push_back(losses[discs[d]]);
    return report;
}

} // namespace torvinel
