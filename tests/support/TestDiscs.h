#pragma once
#include <string>
#include <vector>

namespace torvinel::test {

// Discs as a backup leaves them, built for tests: disc <DiscId> is the folder <drive>/<DiscId>
// with its archives, made by the archive engine from files staged under their own paths
// ("/home/u/a.txt" is the entry "home/u/a.txt"), and the archives' catalogs are in
// <database>/<DiscId>. Staging happens below work.
class TestDiscs {
public:
    struct File {
        std::string path; // as the catalog names it, "/home/u/a.txt"
        std::string content;
        std::string stamp = "20240305140326";
    };

    TestDiscs(std::string drive, std::string database, std::string work);

    // The catalog line of a file.
    static std::string lineOf(const File& file);
    // An archive of files: <name>.zip on the disc, <name>.csv in the database.
    void archive(const std::string& disc, const std::string& name, const std::vector<File>& files) const;
    // One file split into volumes of 64 KiB: the first onOlder volumes on older, the rest (the
    // last one named <name>.zip) on newer. Returns the number of volumes.
    int splitArchive(const std::string& older, const std::string& newer, const std::string& name, const File& file,
                     int onOlder) const;
    // A run's deleted-files catalog, written at the given local moment (yyyymmddhhnnss).
    void deletedCatalog(const std::string& disc, const std::string& name, const std::vector<std::string>& paths,
                        const std::string& stamp = "20240305120000") const;

private:
    std::string stage(const std::string& name, const File& file) const;

    std::string m_drive;
    std::string m_database;
    std::string m_work;
};

} // namespace torvinel::test
