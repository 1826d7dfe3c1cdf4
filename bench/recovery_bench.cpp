// Recovery data: encoding the parity of 256 MiB at the default share (12 %), and repairing
// the same data after 5 % of its blocks were lost, in MB/s of data; MD5 of the same buffer
// (the cost a backup already pays per byte) as the yardstick in the same run.
// Run: build/bench/recovery_bench --benchmark_repetitions=3
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "catalog/Md5.h"
#include "recovery/BlockRepair.h"
#include "recovery/RecoveryEncoder.h"

namespace {

using namespace torvinel;

const std::vector<uint8_t>& buffer()
{
    static const std::vector<uint8_t> data = [] {
        std::vector<uint8_t> bytes(256u << 20);
        std::mt19937_64 random(1);
        for (std::size_t i = 0; i + 8 <= bytes.size(); i += 8) {
            const uint64_t v = random();
            std::memcpy(&bytes[i], &v, 8);
        }
        return bytes;
    }();
    return data;
}

uint64_t blocks() { return buffer().size() / RecoveryBlockSize; }

std::vector<uint8_t> encode(const RecoveryShape& shape, unsigned threads)
{
    std::vector<uint8_t> parity(shape.parityBlocks(blocks()) * RecoveryBlockSize);
    RecoveryEncoder(shape, blocks())
        .encode(
            [] {
                return [](uint64_t first, std::size_t count, uint8_t* out) {
                    std::memcpy(out, buffer().data() + first * RecoveryBlockSize, count * RecoveryBlockSize);
                };
            },
            [&](uint64_t first, std::size_t count, const uint8_t* p) {
                std::memcpy(parity.data() + first * RecoveryBlockSize, p, count * RecoveryBlockSize);
            },
            threads);
    return parity;
}

// Arguments: threads, and 1 for the widest stripes a full DVD has (the buffer then fills the
// first rows of its stripe), 0 for the shape fitted to the buffer.
void Encode(benchmark::State& state)
{
    const uint64_t dvdBlocks = 4'700'000'000 / RecoveryBlockSize;
    const RecoveryShape shape = recoveryShape(state.range(1) ? dvdBlocks : blocks(), 12);
    state.SetLabel("width " + std::to_string(shape.width));
    for (auto _ : state) {
        auto parity = encode(shape, static_cast<unsigned>(state.range(0)));
        benchmark::DoNotOptimize(parity.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(buffer().size()));
}

class LossyBlocks : public RecoveryBlocks {
public:
    explicit LossyBlocks(const std::vector<uint8_t>& parity) : m_parity(parity) { }
    bool data(uint64_t index, uint8_t* out) override
    {
        if (index % 20 == 7)
            return false; // every twentieth block: 5 %
        std::memcpy(out, buffer().data() + index * RecoveryBlockSize, RecoveryBlockSize);
        return true;
    }
    bool parity(uint64_t index, uint8_t* out) override
    {
        std::memcpy(out, m_parity.data() + index * RecoveryBlockSize, RecoveryBlockSize);
        return true;
    }
    void rebuilt(uint64_t, const uint8_t* block) override { benchmark::DoNotOptimize(block); }

private:
    const std::vector<uint8_t>& m_parity;
};

void Repair(benchmark::State& state)
{
    const RecoveryShape shape = recoveryShape(blocks(), 12);
    const std::vector<uint8_t> parity = encode(shape, 2);
    for (auto _ : state) {
        LossyBlocks lossy(parity);
        auto count = repairBlocks(shape, blocks(), lossy);
        benchmark::DoNotOptimize(count);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(buffer().size()));
}

void DigestMd5(benchmark::State& state)
{
    for (auto _ : state) {
        auto digest = md5(buffer().data(), buffer().size());
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(buffer().size()));
}

} // namespace

BENCHMARK(Encode)->Unit(benchmark::kMillisecond)->ArgsProduct({{1, 2}, {0, 1}})->UseRealTime();
BENCHMARK(Repair)->Unit(benchmark::kMillisecond);
BENCHMARK(DigestMd5)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
