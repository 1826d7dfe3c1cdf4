#pragma once
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "app/RunState.h"
#include "restore/RestoreTree.h"
#include "restore/RestoreRun.h"
#include "support/ScriptedView.h"
#include "support/TempDir.h"
#include "support/TestDiscs.h"

namespace torvinel::test {

// A disc database with its discs as folders: each disc is DatabaseFolder/<DiscId> with its
// catalogs, and <drive>/<DiscId> with its archives, made by the archive engine from files
// staged under their own paths ("/home/u/a.txt" is the entry "home/u/a.txt").
class RestoreFixture : public ::testing::Test {
protected:
    using File = TestDiscs::File;

    void SetUp() override;

    std::string drive() const { return dir / "discs"; }
    // The discs in drive() with their catalogs in the database (see TestDiscs).
    TestDiscs discs() const { return {drive(), s.DatabaseFolder, dir / "work"}; }
    static std::string lineOf(const File& file) { return TestDiscs::lineOf(file); }
    void archive(const std::string& disc, const std::string& name, const std::vector<File>& files)
    {
        discs().archive(disc, name, files);
    }
    void deletedCatalog(const std::string& disc, const std::string& name, const std::vector<std::string>& paths,
                        const std::string& stamp = "20240305120000")
    {
        discs().deletedCatalog(disc, name, paths, stamp);
    }
    int splitArchive(const std::string& older, const std::string& newer, const std::string& name, const File& file,
                     int onOlder)
    {
        return discs().splitArchive(older, newer, name, file, onOlder);
    }

    // Picks a backup set as the user would (0: the newest) and ticks paths in the tree.
    void chooseSet(int index);
    void tick(const std::string& path);
    // Runs the restore through a reader of the chosen restore drive (drive() unless shelve()
    // moved the discs) that records the archives it gives ("<DiscId>/<file>"), copied or read
    // in place; failCopies makes every copy fail and every archive a copy.
    RestoreResult restore();
    // Makes each disc in drive() an image <DiscId>.iso on a shelf folder, as the image drive
    // keeps them, removes the disc folders and chooses the shelf as the restore drive. False
    // when no image could be made here.
    [[nodiscard]] bool shelve();
    // The content of a restored file ("" when it is missing).
    std::string restored(const RestoreResult& result, const std::string& path) const;
    std::vector<std::string> listFile(const std::string& name) const;

    TempDir dir;
    RunState s;
    ScriptedView view;
    RestoreTree tree;
    std::vector<std::string> copies; // every archive the drive gave
    std::vector<std::string> inPlace; // those of them read in place
    bool failCopies = false;
    bool readInPlace = true; // false: the reader cannot tell where a file lies
};

} // namespace torvinel::test
