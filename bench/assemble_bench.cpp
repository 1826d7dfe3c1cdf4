// AssembleBackupState over a generated database, against `LC_ALL=C sort -u` of the same
// lines in the same run. Sizes: 100,000 lines in 1,000 catalogs, 300,000 in 3,000 and
// 1,000,000 in 10,000 (100 lines a catalog, 100 catalogs a disc), to show the growth.
// Each size is timed in rounds of one assembly and one sort -u back to back, so both see the
// same load; the table gives medians and their ratio, then the growth from 100k to 1M
// (n log n would be about x12).
// Run: build/bench/assemble_bench [rounds, at least 3; default 5]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
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

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

struct Timing {
    int lines = 0;
    std::size_t kept = 0;
    double assembleSeconds = 0; // wall, median
    double assembleCpuSeconds = 0;
    double sortSeconds = 0;
};

Timing measure(int lines, int rounds)
{
    const Database db = generate(lines);
    QuietView view;
    torvinel::RunState run;
    run.AppFolder = db.root.string();
    run.DatabaseFolder = (db.root / "Database").string();
    std::vector<double> wall, cpu, sort;
    Timing timing;
    timing.lines = lines;
    for (int round = 0; round < rounds; ++round) {
        std::string newest, oldest;
        const auto start = std::chrono::steady_clock::now();
        const std::clock_t cpuStart = std::clock();
        torvinel::AssembleBackupState(run, view, newest, oldest, true);
        cpu.push_back(static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC);
        wall.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        timing.kept = run.BackupState.size();
        sort.push_back(sortUniqueSeconds(db));
    }
    fs::remove_all(db.root);
    timing.assembleSeconds = median(wall);
    timing.assembleCpuSeconds = median(cpu);
    timing.sortSeconds = median(sort);
    return timing;
}

} // namespace

int main(int argc, char** argv)
{
    const int rounds = std::max(3, argc > 1 ? std::atoi(argv[1]) : 5);
    std::printf("AssembleBackupState against LC_ALL=C sort -u, medians of %d rounds\n", rounds);
    std::printf("%9s %11s %12s %12s %11s %8s\n", "lines", "state lines", "assemble s", "assemble cpu", "sort -u s",
                "ratio");
    std::vector<Timing> timings;
    for (const int lines : {100000, 300000, 1000000}) {
        const Timing t = measure(lines, rounds);
        if (t.sortSeconds <= 0) {
            std::fprintf(stderr, "sort -u failed\n");
            return 1;
        }
        std::printf("%9d %11zu %12.3f %12.3f %11.3f %8.2f\n", t.lines, t.kept, t.assembleSeconds, t.assembleCpuSeconds,
                    t.sortSeconds, t.assembleSeconds / t.sortSeconds);
        std::fflush(stdout);
        timings.push_back(t);
    }
    const Timing& small = timings.front();
    const Timing& large = timings.back();
    const double size = static_cast<double>(large.lines) / small.lines;
    std::printf("growth 100k -> 1M: assemble x%.1f wall, x%.1f cpu; sort -u x%.1f; n log n x%.1f\n",
                large.assembleSeconds / small.assembleSeconds, large.assembleCpuSeconds / small.assembleCpuSeconds,
                large.sortSeconds / small.sortSeconds,
                size * std::log(static_cast<double>(large.lines)) / std::log(static_cast<double>(small.lines)));
    return 0;
}
