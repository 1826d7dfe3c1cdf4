// The selection's two walks: expanding a ticked folder into files (file system bound; the
// tree is generated once in the temporary folder, so the figures are warm-cache) and
// collecting the ticks of a large tree.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "backup/Selection.h"

#include "QuietView.h"

namespace {

namespace fs = std::filesystem;

// folders x files empty files under a fresh folder.
std::string makeTree(int folders, int files)
{
    const fs::path root = fs::temp_directory_path() / ("torvinel-selection-bench-" + std::to_string(folders * files));
    if (!fs::exists(root / "done")) {
        fs::remove_all(root);
        for (int d = 0; d < folders; ++d) {
            const fs::path folder = root / "tree" / ("folder" + std::to_string(d % 10)) / ("sub" + std::to_string(d));
            fs::create_directories(folder);
            for (int f = 0; f < files; ++f)
                std::ofstream(folder / ("file" + std::to_string(f) + ".txt"));
        }
        std::ofstream(root / "done");
    }
    return (root / "tree").string();
}

void ExpandTickedFolder(benchmark::State& state)
{
    const std::string tree = makeTree(static_cast<int>(state.range(0)) / 100, 100);
    torvinel::RunState run;
    QuietView view;
    int64_t files = 0;
    for (auto _ : state) {
        run.FQList = {tree};
        torvinel::getFQFullList(run, view, [&files](const std::string&) { ++files; });
    }
    state.counters["files/s"] = benchmark::Counter(static_cast<double>(files), benchmark::Counter::kIsRate);
}
BENCHMARK(ExpandTickedFolder)->Arg(20000)->Unit(benchmark::kMillisecond);

void CollectTicks(benchmark::State& state)
{
    QuietView view;
    auto& tree = view.backupMemoryTree();
    const int count = static_cast<int>(state.range(0));
    for (int i = 0; i < count; ++i)
        tree.addPath("/home/u/folder" + std::to_string(i / 100) + "/file" + std::to_string(i % 100));
    // Every other file ticked: every folder is mixed, so the walk visits every node.
    for (int i = 0; i < count; i += 2)
        tree.setCheckState(tree.find("/home/u/folder" + std::to_string(i / 100) + "/file" + std::to_string(i % 100)),
                           torvinel::CheckState::Checked);
    for (auto _ : state) {
        std::vector<std::string> list;
        torvinel::FQRunNodes(tree, list, tree.firstTopLevel(), true);
        benchmark::DoNotOptimize(list.data());
    }
}
BENCHMARK(CollectTicks)->Arg(100000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
