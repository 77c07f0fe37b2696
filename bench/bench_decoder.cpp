// Decoder throughput against a plain table-driven CRC-32 over the same burst
// bytes.  The decoder hashes the packed cells, not the burst, so on a real
// key signal it hashes fewer bytes than the burst holds; on the longest
// bursts of short units it hashes up to 18 times as many.  The "x_crc32"
// counter is the decoder's time per burst over the yardstick's.
#include <benchmark/benchmark.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <vector>

#include "receiver/decoder.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// An NEC frame as a receiver counting in 50 us steps reports it: 9 ms mark,
// 4.5 ms space, 32 bits of 562.5 us marks and 562.5 or 1687.5 us spaces,
// stop mark.
Bytes NecBurst(std::uint8_t address, std::uint8_t command) {
    Bytes burst{180, 90};
    const std::uint32_t bits = address | (address ^ 0xFFu) << 8 | command << 16 | (command ^ 0xFFu) << 24;
    for (int i = 0; i < 32; ++i) {
        burst.push_back(11);
        burst.push_back((bits >> i) & 1 ? 34 : 11);
    }
    burst.push_back(11);
    return burst;
}

// The most cells a burst can give: 0xFF durations against a unit of 2.
Bytes WorstBurst() {
    Bytes burst(orbisk::MaxBurstLength, 0xFF);
    burst.back() = 2;
    return burst;
}

constexpr std::array<std::uint32_t, 256> MakeCrcTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        table[i] = c;
    }
    return table;
}
constexpr auto kCrcTable = MakeCrcTable();

std::uint32_t Crc32(const std::uint8_t* bytes, std::size_t count) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < count; ++i) crc = (crc >> 8) ^ kCrcTable[(crc ^ bytes[i]) & 0xFF];
    return ~crc;
}

// Nanoseconds per CRC-32 of the burst, measured the same way as the loop
// under test so that the two can be set against each other in one row.
double YardstickNanos(const Bytes& burst) {
    constexpr int kRounds = 200000;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kRounds; ++i) {
        benchmark::DoNotOptimize(Crc32(burst.data(), burst.size()));
        benchmark::ClobberMemory();
    }
    const std::chrono::duration<double, std::nano> elapsed = std::chrono::steady_clock::now() - start;
    return elapsed.count() / kRounds;
}

void ReportBursts(benchmark::State& state, double nanosPerBurst, double yardstickNanos) {
    state.counters["bursts/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["ns/burst"] = nanosPerBurst;
    state.counters["crc32_ns"] = yardstickNanos;
    state.counters["x_crc32"] = nanosPerBurst / yardstickNanos;
}

void DecodeBench(benchmark::State& state, const Bytes& burst, int skipBegin) {
    const double yardstick = YardstickNanos(burst);
    const int length = static_cast<int>(burst.size());
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        benchmark::DoNotOptimize(orbisk::DecodeBurst(burst.data(), length, skipBegin));
        benchmark::ClobberMemory();
    }
    const std::chrono::duration<double, std::nano> elapsed = std::chrono::steady_clock::now() - start;
    ReportBursts(state, elapsed.count() / static_cast<double>(state.iterations()), yardstick);
}

void Crc32Bench(benchmark::State& state, const Bytes& burst) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(Crc32(burst.data(), burst.size()));
        benchmark::ClobberMemory();
    }
    state.counters["bursts/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_DecodeNec(benchmark::State& state) { DecodeBench(state, NecBurst(0x04, 0x08), 4); }
void BM_Crc32Nec(benchmark::State& state) { Crc32Bench(state, NecBurst(0x04, 0x08)); }
void BM_DecodeWorst(benchmark::State& state) { DecodeBench(state, WorstBurst(), 0); }
void BM_Crc32Worst(benchmark::State& state) { Crc32Bench(state, WorstBurst()); }

// The whole path of one burst on the reader thread, publication included.
class NoWakeUp final : public orbisk::WakeUp {
public:
    void Set() override {}
};

void BM_ClassifyNec(benchmark::State& state) {
    const Bytes burst = NecBurst(0x04, 0x08);
    orbisk::PublishedState published;
    NoWakeUp wake;
    for (auto _ : state) {
        orbisk::ClassifyBurst(burst.data(), static_cast<int>(burst.size()), 3, 4, published, wake);
        benchmark::ClobberMemory();
    }
    state.counters["bursts/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK(BM_DecodeNec);
BENCHMARK(BM_Crc32Nec);
BENCHMARK(BM_DecodeWorst);
BENCHMARK(BM_Crc32Worst);
BENCHMARK(BM_ClassifyNec);

}  // namespace

BENCHMARK_MAIN();
