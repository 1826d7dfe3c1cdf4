// Adding and deleting lines one at a time in a sorted list. The figures for 100k and 1M
// lines show the growth: n log n, not n squared.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "app/SortedList.h"

namespace {

std::vector<std::string> catalogLines(std::size_t count)
{
    std::vector<std::string> lines;
    lines.reserve(count);
    std::mt19937_64 random(42);
    for (std::size_t i = 0; i < count; ++i)
        lines.push_back("\"/home/user/Documents/folder" + std::to_string(random() % 1000) + "/file"
                        + std::to_string(random()) + ".txt\",20240305140326,12345,");
    return lines;
}

void AddOneByOne(benchmark::State& state)
{
    const auto lines = catalogLines(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        torvinel::SortedList list;
        for (const auto& line : lines)
            list.add(line);
        benchmark::DoNotOptimize(list.size());
    }
    state.SetComplexityN(state.range(0));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(AddOneByOne)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oNLogN);

void DeleteOneByOne(benchmark::State& state)
{
    const auto lines = catalogLines(static_cast<std::size_t>(state.range(0)));
    torvinel::SortedList full;
    for (const auto& line : lines)
        full.add(line);
    for (auto _ : state) {
        state.PauseTiming();
        torvinel::SortedList list = full;
        state.ResumeTiming();
        // Delete in random order: look each line up, then delete at its position.
        for (const auto& line : lines) {
            std::size_t position = 0;
            if (list.find(line, position))
                list.erase(position);
        }
        benchmark::DoNotOptimize(list.size());
    }
    state.SetComplexityN(state.range(0));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(DeleteOneByOne)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oNLogN);

// The naive alternative (one vector, inserts in the middle) for comparison: ten times the
// lines cost about a hundred times as much; at a million lines it takes minutes.
void VectorInsertOneByOne(benchmark::State& state)
{
    const auto lines = catalogLines(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        std::vector<std::string> list;
        for (const auto& line : lines)
            list.insert(std::lower_bound(list.begin(), list.end(), line), line);
        benchmark::DoNotOptimize(list.size());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(VectorInsertOneByOne)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

BENCHMARK_MAIN();
