#pragma once
#include <string>

#include "archive/ZipArchive.h"
#include "support/FuzzFiles.h"

namespace torvinel::fuzz {

// Does with the archive at path what a restore does: opens it, names every entry and
// extracts them all into outFolder. A failure of one entry is ignored so that the entries
// after it are read too; a failure of the archive as a whole is the expected ZipError.
inline void readWholeArchive(const std::string& path, const std::string& outFolder)
{
    ZipArchive zip;
    zip.fileName = path;
    zip.baseDir = outFolder;
    zip.onProcessFileFailure = [](ZipArchive&, const std::string&, ZipOperation, int, int, const std::string&,
                                  ZipFailureAction& action) { action = ZipFailureAction::Ignore; };
    try {
        zip.open();
        for (const ZipEntry& entry : zip.entries())
            (void)zip.displayName(entry);
        (void)zip.fileCount();
        (void)zip.extractFiles("*.*");
        zip.close();
    } catch (const ZipError&) {
    }
}

} // namespace torvinel::fuzz
