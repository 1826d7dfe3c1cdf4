// AssembleBackupState over a generated database, against `LC_ALL=C sort -u` of the same
// lines in the same run. Sizes: 100,000 lines in 1,000 catalogs, 300,000 in 3,000 and
// 1,000,000 in 10,000 (100 lines a catalog, 100 catalogs a disc), to show the growth.
// Run: build/bench/assemble_bench
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "app/RunState.h"
#include "catalog/AssembleBackupState.h"
#include "platform/Platform.h"

#include "QuietView.h"

namespace fs = std::filesystem;

namespace {

constexpr int linesPerCatalog = 100;
constexpr int catalogsPerDisc = 100;

struct Database {
    fs::path root;
    fs::path allLines; // every catalog line, one file, for sort -u
};

// Discs of consecutive days; in each disc a deletion record and catalogs of kind n, every
// tenth of kind f. Paths come from a pool smaller than the line count, so newer versions
// and deletions of the same files meet in the walk.
Database generate(int lines)
{
    Database db;
    db.root = fs::temp_directory_path() / ("torvinel-assemble-bench-" + std::to_string(lines));
    fs::remove_all(db.root);
    fs::create_directories(db.root / "Database");
    db.allLines = db.root / "lines.txt";
    std::ofstream all(db.allLines, std::ios::binary);

    std::mt19937 random(7);
    std::uniform_int_distribution<int> pathOf(0, lines * 4 / 5);
    const int catalogs = lines / linesPerCatalog;
    std::vector<std::string> catalog;
    for (int c = 0; c < catalogs; ++c) {
        const int disc = c / catalogsPerDisc;
        char day[16], discId[40], name[48];
        std::snprintf(day, sizeof day, "2024%02d%02d", 1 + disc / 28 % 12, 1 + disc % 28);
        std::snprintf(discId, sizeof discId, "%s%03d", day, 1 + disc / 336);
        const int sequence = c % catalogsPerDisc + 1;
        const char kind = sequence == 1 ? 'd' : (sequence % 10 == 0 ? 'f' : 'n');
        std::snprintf(name, sizeof name, "%s%05d%c%c.csv", day, sequence, kind == 'd' ? 'd' : 'r', kind);
        catalog.clear();
        for (int l = 0; l < linesPerCatalog; ++l) {
            const int id = pathOf(random);
            char text[160];
            std::snprintf(text, sizeof text, "\"/home/user/Documents/folder%04d/file%07d.dat\",%s1200%02d,%d,",
                          id % 5000, id, day, (l % 30) * 2, 1000 + id % 100000);
            catalog.emplace_back(text);
        }
        std::sort(catalog.begin(), catalog.end());
        const fs::path folder = db.root / "Database" / discId;
        fs::create_directories(folder);
        std::ofstream out(folder / name, std::ios::binary);
        for (const auto& line : catalog) {
            out << line << "\r\n";
            all << line << "\n";
        }
    }
    return db;
}

double sortUniqueSeconds(const Database& db)
{
    const std::string command = "LC_ALL=C sort -u '" + db.allLines.string() + "' -o /dev/null";
    const auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0)
        return -1;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void AssembleBackupState(benchmark::State& state)
{
    const Database db = generate(static_cast<int>(state.range(0)));
    QuietView view;
    torvinel::RunState run;
    run.AppFolder = db.root.string();
    run.DatabaseFolder = (db.root / "Database").string();
    std::size_t kept = 0;
    double assembleSeconds = 0;
    for (auto _ : state) {
        std::string newest, oldest;
        const auto start = std::chrono::steady_clock::now();
        torvinel::AssembleBackupState(run, view, newest, oldest, true);
        assembleSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        kept = run.BackupState.size();
    }
    assembleSeconds /= static_cast<double>(state.iterations());
    double sortSeconds = 0;
    for (int i = 0; i < 3; ++i)
        sortSeconds += sortUniqueSeconds(db) / 3;
    state.counters["state_lines"] = static_cast<double>(kept);
    state.counters["sort_u_s"] = sortSeconds;
    // Wall seconds of one assembly per wall second of sort -u.
    state.counters["ratio_to_sort_u"] = assembleSeconds / sortSeconds;
    fs::remove_all(db.root);
}

} // namespace

BENCHMARK(AssembleBackupState)
    ->Arg(100000)
    ->Arg(300000)
    ->Arg(1000000)
    ->Unit(benchmark::kSecond)
    ->Iterations(3)
    ->UseRealTime();
BENCHMARK_MAIN();
