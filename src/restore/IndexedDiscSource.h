#pragma once
#include <memory>
#include <string>
#include <vector>

#include "app/RunState.h"
#include "app/View.h"
#include "catalog/DiscMaintenance.h"
#include "catalog/DiscSource.h"

namespace torvinel {

// The discs a disc's index records (the catalogs and STATUS.INI of every disc filed before
// it, extracted into a folder), together with the discs the source itself holds: adding them
// all rebuilds the database from the newest disc alone. A disc the source holds is read from
// the source, not from the record of it. A recorded disc's files are those its STATUS.INI
// lists, so the checks of an add see the disc as it was written.
class IndexedDiscSource : public DiscSource {
public:
    IndexedDiscSource(std::unique_ptr<DiscSource> source, std::string indexFolder);
    std::string location() const override { return m_source->location(); }
    std::vector<std::string> discFolderNames() override;
    std::vector<std::string> fileNames(const std::string& discId) override;
    bool copyCatalogs(const std::string& discId, const std::string& targetFolder) override;
    bool copyStatusIni(const std::string& discId, const std::string& targetFolder) override;

private:
    bool onSource(const std::string& discId);
    std::string recorded(const std::string& discId) const;

    std::unique_ptr<DiscSource> m_source;
    std::string m_indexFolder;
    std::vector<std::string> m_onSource;
};

// The newest disc of drive (a drive's mount point, a folder, a .iso or the image drive's
// shelf) with the discs its index records; the index is extracted into workFolder, which is
// made. Raises Error "There is no disc of Torvinel in <drive>." or "Disc <DiscId> carries no
// index of earlier discs; add its discs one by one." (discs written before the index was).
std::unique_ptr<DiscSource> openIndexedDiscSource(const std::string& drive, const std::string& workFolder);

// Rebuilding the database from the newest disc of drive: that disc and every disc its index
// records are filed by addDisc, which tells the user what was added. The index is read into
// the folder "indexread" of AppFolder and deleted there afterwards, whatever happened.
// Raises what openIndexedDiscSource and addDisc raise.
AddDiskResult addIndexedDiscs(RunState& state, View& view, const std::string& drive,
                              const RestoreRefresh& refreshRestore);

} // namespace torvinel
