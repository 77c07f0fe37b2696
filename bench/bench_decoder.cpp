// Decoder throughput against a plain table-driven CRC-32 over the same burst
// bytes.  The decoder hashes the packed cells, not the burst, so on a real
// key signal it hashes fewer bytes than the burst holds; on the longest
// bursts of short units it hashes up to 18 times as many.  The "x_crc32"
// counter is the decoder's time per burst over the yardstick's.
#include <benchmark/benchmark.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "common/code_text.h"
#include "receiver/published_state.h"
#include "receiver/analysis/ir_recognizer.h"
#include "support/engine_harness.h"

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

// Recognition and the stable code on the same NEC burst: what recognition
// adds on the reader thread to the decoding above (which still runs, for the
// burst's own code).  With the memo, as the reader runs it: the stable code
// is computed once for a key's frames; without, for every frame.
void RecognizeBench(benchmark::State& state, bool memo) {
    const Bytes burst = NecBurst(0x04, 0x08);
    const double yardstick = YardstickNanos(burst);
    const int length = static_cast<int>(burst.size());
    orbisk::StableCodeMemo stable;
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        orbisk::IrFrame frame;
        benchmark::DoNotOptimize(orbisk::RecognizeBurst(burst.data(), length, frame));
        benchmark::DoNotOptimize(memo ? stable.Get(frame, 4).first : orbisk::StableCode(frame));
        benchmark::ClobberMemory();
    }
    const std::chrono::duration<double, std::nano> elapsed = std::chrono::steady_clock::now() - start;
    ReportBursts(state, elapsed.count() / static_cast<double>(state.iterations()), yardstick);
}

void BM_RecognizeNec(benchmark::State& state) { RecognizeBench(state, false); }
void BM_RecognizeNecMemo(benchmark::State& state) { RecognizeBench(state, true); }

// The whole decoding of a burst with recognition: own code, recognition,
// stable code.
void BM_DecodeCodesNec(benchmark::State& state) {
    const Bytes burst = NecBurst(0x04, 0x08);
    const double yardstick = YardstickNanos(burst);
    const int length = static_cast<int>(burst.size());
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        benchmark::DoNotOptimize(orbisk::DecodeBurstCodes(burst.data(), length, 4, true));
        benchmark::ClobberMemory();
    }
    const std::chrono::duration<double, std::nano> elapsed = std::chrono::steady_clock::now() - start;
    ReportBursts(state, elapsed.count() / static_cast<double>(state.iterations()), yardstick);
}

// Jitter sweep: 10 keys of the protocol, 100 presses each, at the given
// jitter (percent of each duration, uniform) and every bias from -100 to
// +150 us in steps of 50, for a receiver counting in 50 us.  A press is its
// frame and, where the protocol has one, its follow-up (JVC without header,
// Sharp's echo); toggle bits flip at every press.  "wrong" counts frames
// whose code is not their key's stable code (the goal is 0); "own_codes"
// is how many different codes a key's frames give without recognition.
void BM_JitterSweep(benchmark::State& state) {
    using namespace orbisk;
    const auto protocol = static_cast<IrProtocol>(state.range(0));
    const double jitter = static_cast<double>(state.range(1)) / 100.0;
    const IrProtocolInfo& info = ProtocolInfo(protocol);
    std::mt19937 random(static_cast<std::uint32_t>(state.range(0) * 100 + state.range(1)));
    std::uniform_real_distribution<double> spread(-jitter, jitter);
    const auto deviation = [&] { return spread(random); };
    long frames = 0, wrong = 0;
    double shapeCodes = 0;
    for (auto _ : state) {
        for (int key = 0; key < 10; ++key) {
            IrFrame frame{protocol, static_cast<std::uint32_t>(random()) & info.scancodeMask, false};
            if (protocol == IrProtocol::Rc6Mce) frame.scancode = 0x800F0000u | (frame.scancode & 0x7FFF);
            if (protocol == IrProtocol::Rc6_6a32 && (frame.scancode >> 16) == 0x800F) frame.scancode ^= 1u << 16;
            const std::uint32_t stable = StableCode(frame);
            std::set<KeyCode> own;
            for (int press = 0; press < 100; ++press) {
                frame.toggle = info.hasToggle && press % 2 == 1;
                for (int bias = -100; bias <= 150; bias += 50) {
                    for (const IrForm form : {IrForm::Frame, IrForm::FollowUp}) {
                        IrDurations d;
                        if (!EncodeIrFrame(frame, d, form)) continue;
                        if (form == IrForm::FollowUp && info.unitTicks == 1 && d.count == 3) continue;  // NEC's repeat burst
                        std::uint8_t burst[MaxIrDurations];
                        RenderIrDurations(d, info.tickMicros, 50.0, bias, deviation, burst);
                        const BurstCodes codes = DecodeBurstCodes(burst, d.count, 4, true);
                        ++frames;
                        if (codes.code != stable) ++wrong;
                        if (form == IrForm::Frame) own.insert(codes.shapeCode);
                    }
                }
            }
            shapeCodes += static_cast<double>(own.size());
        }
    }
    state.SetLabel(std::string(info.name));
    state.counters["frames"] = static_cast<double>(frames);
    state.counters["wrong"] = static_cast<double>(wrong);
    state.counters["own_codes"] = shapeCodes / 10.0;
}

void SweepArguments(benchmark::internal::Benchmark* b) {
    for (int p = 1; p < orbisk::IrProtocolCount; ++p)
        if (!orbisk::IsLevelReading(static_cast<orbisk::IrProtocol>(p)))
            for (int jitter : {0, 5, 10, 15}) b->Args({p, jitter});
}

// Noise: a million bursts of random lengths (1 to 254) and random durations
// (1 to 0xFD); "recognised" is the share taken for a frame of some protocol.
void BM_NoiseRecognised(benchmark::State& state) {
    std::mt19937 random(11);
    long recognised = 0, bursts = 0;
    for (auto _ : state) {
        std::uint8_t burst[orbisk::MaxBurstLength];
        for (int i = 0; i < 1000000; ++i) {
            const int length = 1 + static_cast<int>(random() % orbisk::MaxBurstLength);
            for (int k = 0; k < length; ++k) burst[k] = static_cast<std::uint8_t>(1 + random() % 0xFD);
            orbisk::IrFrame frame;
            if (orbisk::RecognizeBurst(burst, length, frame)) ++recognised;
            ++bursts;
        }
    }
    state.counters["bursts"] = static_cast<double>(bursts);
    state.counters["recognised"] = static_cast<double>(recognised);
    state.counters["per_10000"] = 10000.0 * static_cast<double>(recognised) / static_cast<double>(bursts);
}

// Keys learned before frames were recognised, from noisy presses, hold those
// bursts' own codes.  Ten RC-5 keys, each learned under three codes of noisy
// presses at 10 % jitter (three that differ from a clean press's, for a
// receiver counting in state.range(0) us; the toggle flipping at every
// press, as ever), then pressed 300 times, each held
// for four frames, the toggle flipping at every press, through the engine:
// "by_name" is how many of a key's 300 presses reached the host under its
// name, "first_frame" how many would by their first frame alone (a lookup at
// the first frame of a hold only); both averaged over the keys.
void BM_NoisyLearnedKey(benchmark::State& state) {
    using namespace orbisk;
    const IrProtocolInfo& info = ProtocolInfo(IrProtocol::Rc5);
    std::mt19937 random(static_cast<std::uint32_t>(state.range(0)));
    std::uniform_real_distribution<double> spread(-0.10, 0.10);
    IrFrame frame{IrProtocol::Rc5, 0, false};
    double jitter = 0.0;
    const auto press = [&] {
        IrDurations d;
        EncodeIrFrame(frame, d);
        std::uint8_t burst[MaxIrDurations];
        RenderIrDurations(d, info.tickMicros, static_cast<double>(state.range(0)), 0.0,
                          [&] { return jitter * spread(random); }, burst);
        return DecodeBurstCodes(burst, d.count, 4, true);
    };
    constexpr int kKeys = 10;
    long byName = 0, firstFrame = 0;
    for (auto _ : state) {
        for (int key = 0; key < kKeys; ++key) {
            frame.scancode = static_cast<std::uint32_t>(random()) & info.scancodeMask;
            jitter = 0.0;
            std::set<KeyCode> learned, clean;
            for (const bool toggle : {false, true}) {
                frame.toggle = toggle;
                clean.insert(press().shapeCode);
            }
            jitter = 1.0;
            std::string file = "[TV]\n";
            for (int draw = 0; draw < 1000 && learned.size() < 3; ++draw) {
                frame.toggle = draw % 2 == 1;
                const KeyCode own = press().shapeCode;
                if (!clean.contains(own) && learned.insert(own).second) file += CodeText(own) + "=Key\n";
            }
            test::EngineHarness h(file);
            for (std::uint32_t n = 0; n < 300; ++n) {
                frame.toggle = n % 2 == 1;
                for (std::uint32_t f = 0; f < 4; ++f) {
                    const BurstCodes c = press();
                    if (f == 0 && (learned.contains(c.shapeCode) || learned.contains(c.olderCode))) ++firstFrame;
                    h.event.bursts.push_back(
                        {n * 1000 + f * info.periodMicros / 1000, c.code, c.frame, c.shapeCode, c.olderCode});
                }
            }
            h.Run(1000000);
            for (const test::KeyMessage& m : h.output.messages)
                if (m.value == ORBISK_KEY_PRESS && m.keyName == "Key") ++byName;
        }
    }
    state.counters["by_name"] = static_cast<double>(byName) / kKeys;
    state.counters["first_frame"] = static_cast<double>(firstFrame) / kKeys;
}

BENCHMARK(BM_RecognizeNec);
BENCHMARK(BM_RecognizeNecMemo);
BENCHMARK(BM_DecodeCodesNec);
BENCHMARK(BM_JitterSweep)->Apply(SweepArguments)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NoiseRecognised)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NoisyLearnedKey)->Arg(50)->Arg(64)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeNec);
BENCHMARK(BM_Crc32Nec);
BENCHMARK(BM_DecodeWorst);
BENCHMARK(BM_Crc32Worst);
BENCHMARK(BM_ClassifyNec);

}  // namespace

BENCHMARK_MAIN();
