// MD5 throughput: the program's own implementation against OpenSSL's on the same 256 MiB
// buffer, in one run. Run: build/bench/md5_bench --benchmark_repetitions=5
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdint>
#include <random>
#include <vector>

#include "catalog/Md5.h"

namespace {

const std::vector<unsigned char>& buffer()
{
    static const std::vector<unsigned char> data = [] {
        std::vector<unsigned char> bytes(256u << 20);
        std::mt19937_64 random(1);
        for (std::size_t i = 0; i + 8 <= bytes.size(); i += 8) {
            const std::uint64_t v = random();
            for (int k = 0; k < 8; ++k)
                bytes[i + k] = static_cast<unsigned char>(v >> (8 * k));
        }
        return bytes;
    }();
    return data;
}

void Torvinel_Md5(benchmark::State& state)
{
    const auto& data = buffer();
    for (auto _ : state) {
        auto digest = torvinel::md5(data.data(), data.size());
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(data.size()));
}

void OpenSSL_Md5(benchmark::State& state)
{
    const auto& data = buffer();
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    for (auto _ : state) {
        EVP_Digest(data.data(), data.size(), digest, &length, EVP_md5(), nullptr);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(data.size()));
}

} // namespace

BENCHMARK(Torvinel_Md5)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(OpenSSL_Md5)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK_MAIN();
