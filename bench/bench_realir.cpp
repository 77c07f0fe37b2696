// Codes of real remote controls: the key frames of the Flipper-IRDB captures
// (../shared/realir/flipper-irdb.jsonl.gz beside the source tree or one
// folder up, or the file
// named by ORBISK_REALIR), pressed again and again through a simulated
// receiver.  The captures are read at run time and never copied; without
// them the bench says so and ends.
//
// A capture is cut into bursts at spaces over 10 ms; a burst of 9 durations
// or more is a key frame, and frames that give the same bytes at 50 us are
// one.  A press: each duration times 1 + U(-J, J) (J 5 % or 10 %), or
// moved by U(-60, 60) us whatever its length (a demodulating receiver's
// edges, a carrier cycle or two off), marks longer and spaces shorter by
// one bias per press from U(-60, 120) us, in receiver units, rounded and
// kept within 1..0xFD.
//
//   [ORBISK_REALIR_DUMP=N] bench_realir [PRESSES [categories|cost]]   ("categories": a row per category;
//   "cost": the cost figures alone; ORBISK_REALIR_CHECKSUM=1: a checksum of every press's codes and frame,
//   which a change meant to keep every code must keep)
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "receiver/analysis/burst_codes.h"
#include "receiver/analysis/ir_recognizer.h"
#include "receiver/analysis/level_reading.h"

namespace {

using namespace orbisk;

struct Capture {
    std::string category, file, name;
    std::vector<int> micros;
};

// The value of "key":"..." in a JSON line, escapes kept as they are: names
// are only compared.
std::string StringField(const std::string& line, const char* key) {
    const std::string tag = std::string("\"") + key + "\":\"";
    const std::size_t at = line.find(tag);
    if (at == std::string::npos) return {};
    std::string value;
    for (std::size_t i = at + tag.size(); i < line.size() && line[i] != '"'; ++i) {
        if (line[i] == '\\' && i + 1 < line.size()) value += line[i++];
        value += line[i];
    }
    return value;
}

std::vector<Capture> ReadCaptures(const std::string& path) {
    std::vector<Capture> captures;
    FILE* pipe = popen(("gzip -dc '" + path + "' 2>/dev/null").c_str(), "r");
    if (pipe == nullptr) return captures;
    std::string line;
    char chunk[65536];
    while (std::fgets(chunk, sizeof chunk, pipe) != nullptr) {
        line += chunk;
        if (line.empty() || line.back() != '\n') continue;
        const std::size_t d = line.find("\"d\":[");
        if (d != std::string::npos) {
            Capture c{StringField(line, "c"), StringField(line, "f"), StringField(line, "n"), {}};
            const char* p = line.c_str() + d + 5;
            while (*p != ']' && *p != '\0') {
                char* end = nullptr;
                c.micros.push_back(static_cast<int>(std::strtol(p, &end, 10)));
                p = end;
                while (*p == ',' || *p == ' ') ++p;
            }
            captures.push_back(std::move(c));
        }
        line.clear();
    }
    pclose(pipe);
    return captures;
}

std::uint8_t ToUnits(double micros, double unit) {
    const double units = micros / unit + 0.5;
    return static_cast<std::uint8_t>(units < 1 ? 1 : units >= 0xFD ? 0xFD : static_cast<int>(units));
}

struct Frame {
    std::vector<int> micros;
    std::string category;
    std::string file;
};

struct Occurrence {
    std::string file, name;
    int frame;
};

// Frames that differ: another length, or some duration off by more than a quarter.
bool Differ(const std::vector<int>& a, const std::vector<int>& b) {
    if (a.size() != b.size()) return true;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (4 * std::abs(a[i] - b[i]) > std::max(a[i], b[i])) return true;
    return false;
}

enum Kind { kProtocol, kLevels, kShape, kKinds };
Kind KindOf(const IrFrame& frame) {
    if (frame.protocol == IrProtocol::None) return kShape;
    return IsLevelReading(frame.protocol) ? kLevels : kProtocol;
}

// How a press moves each duration: by a share of it up to `relative`
// either way, or by up to `absolute` us whatever its length.
struct Jitter {
    double relative = 0, absolute = 0;
    // In the seed of each frame's presses: 50 or 100 for 5 or 10 %, as
    // earlier figures drew them.
    int tag() const { return static_cast<int>(relative * 1000 + absolute * 10); }
    std::string text() const {
        char buffer[64];
        if (absolute > 0)
            std::snprintf(buffer, sizeof buffer, "edges +-%.0f us", absolute);
        else
            std::snprintf(buffer, sizeof buffer, "jitter %.0f %%", relative * 100);
        return buffer;
    }
    bool operator==(const Jitter&) const = default;
};
constexpr Jitter kJitters[] = {{0.05, 0}, {0.10, 0}, {0, 60}};

std::vector<std::uint8_t> PressBytes(const std::vector<int>& micros, double unit, Jitter jitter, double bias,
                                     std::mt19937& random) {
    std::uniform_real_distribution<double> spread(-jitter.relative, jitter.relative);
    std::uniform_real_distribution<double> edge(-jitter.absolute, jitter.absolute);
    std::vector<std::uint8_t> bytes(micros.size());
    for (std::size_t i = 0; i < micros.size(); ++i) {
        const double moved = jitter.absolute > 0 ? micros[i] + edge(random) : micros[i] * (1.0 + spread(random));
        bytes[i] = ToUnits(moved + (i % 2 == 0 ? bias : -bias), unit);
    }
    // The reader drops what it has collected at every 255th byte: a longer
    // burst arrives as its last bytes.
    if (bytes.size() > MaxBurstLength) bytes.erase(bytes.begin(), bytes.end() - bytes.size() % 255);
    return bytes;
}

struct CategoryCount {
    int frames = 0, stable = 0, close = 0, closeStable = 0;
    int kinds[kKinds] = {}, kindsStable[kKinds] = {};
};

// Calls near(a, b) for every two neighbouring lengths of one kind, a the
// longest duration of the shorter and b the shortest of the longer, until
// it returns true.  The capture's marks (or spaces) are cut into lengths
// where neighbours differ by more than a tenth, or by more than 100 us and
// 4 % (a capture's durations of one length lie far closer: nine neighbours
// in ten within 0.4 %, but pulse-position remotes send steps of 136 to
// 500 us on lengths of several ms).  ORBISK_REALIR_TENTH=1 cuts at a tenth
// only, as earlier figures did.
template <typename Near>
bool AnyNeighbouringLengths(const std::vector<int>& micros, Near&& near) {
    static const bool tenthOnly = std::getenv("ORBISK_REALIR_TENTH") != nullptr;
    for (std::size_t kind = 0; kind < 2; ++kind) {
        std::vector<int> v;
        for (std::size_t i = kind; i < micros.size(); i += 2) v.push_back(micros[i]);
        std::sort(v.begin(), v.end());
        for (std::size_t i = 1; i < v.size(); ++i) {
            const bool apart = v[i] > v[i - 1] * 1.1 || (!tenthOnly && v[i] - v[i - 1] > 100 && v[i] > v[i - 1] * 1.04);
            if (apart && near(static_cast<double>(v[i - 1]), static_cast<double>(v[i]))) return true;
        }
    }
    return false;
}

// Frames whose own lengths of one kind lie closer together than jitter and
// rounding can move them: two neighbouring lengths that jitter can bring
// within two receiver units of each other, or both past the longest
// duration the receiver reports.  No reading can keep such a frame at one
// code and its neighbour key apart.
bool CloseLevels(const std::vector<int>& micros, double unit, Jitter jitter) {
    // The receiver reports at most 0xFD units: lengths past it are one.
    const double most = 0xFD * unit, moved = jitter.absolute;
    return AnyNeighbouringLengths(micros, [&](double a, double b) {
        return std::min(b * (1 - jitter.relative) - moved, most) - std::min(a * (1 + jitter.relative) + moved, most) <
               2 * unit;
    });
}

// Frames with two neighbouring lengths that one press cannot tell from one
// length: a duration of each can lie closer together, less a unit of
// rounding, than two durations of one length can lie apart under the
// jitter (a ratio of (1 + J) / (1 - J), or twice the absolute error).  A
// reading that sees one duration of each must cut between them somewhere,
// and jitter puts them on either side of it from press to press.
bool LengthsOnePressCanConfuse(const std::vector<int>& micros, double unit, Jitter jitter) {
    const double most = 0xFD * unit, apart = (1 + jitter.relative) / (1 - jitter.relative),
                 moved = 2 * jitter.absolute;
    return AnyNeighbouringLengths(micros, [&](double a, double b) {
        return std::min(b / apart - moved, most) - unit < std::min(a * apart + moved, most);
    });
}

}  // namespace

int main(int argc, char** argv) {
    // Beside the source tree, or beside the folder of worktrees that holds it.
    const char* env = std::getenv("ORBISK_REALIR");
    std::string path = env != nullptr ? env : ORBISK_SOURCE_DIR "/../shared/realir/flipper-irdb.jsonl.gz";
    if (FILE* probe = std::fopen(path.c_str(), "r"); probe != nullptr)
        std::fclose(probe);
    else if (env == nullptr)
        path = ORBISK_SOURCE_DIR "/../../shared/realir/flipper-irdb.jsonl.gz";
    const int presses = argc > 1 ? std::atoi(argv[1]) : 10;
    const bool perCategory = argc > 2 && std::string(argv[2]) == "categories";
    // "cost": the cost figures alone, for a profiler.
    const bool costOnly = argc > 2 && std::string(argv[2]) == "cost";
    // ORBISK_REALIR_DUMP=N: the first N frames that change their code at 50 us and 5 %, press by press, and
    // the shared codes.  ORBISK_REALIR_QUICK=1 measures that unit alone.
    const char* dumpText = std::getenv("ORBISK_REALIR_DUMP");
    int dumps = dumpText != nullptr ? std::atoi(dumpText) : 0;
    // ORBISK_REALIR_DUMP_JITTER=10: those at 10 % instead; =60: with edges moved by up to 60 us.
    const char* dumpJitterText = std::getenv("ORBISK_REALIR_DUMP_JITTER");
    const int dumpJitterTag = dumpJitterText != nullptr ? std::atoi(dumpJitterText) : 5;
    const Jitter dumpJitter = dumpJitterTag == 10 ? kJitters[1] : dumpJitterTag == 60 ? kJitters[2] : kJitters[0];
    // ORBISK_REALIR_DUMP_UNIT=32 (or 64): at that unit instead of 50 us.
    const char* dumpUnitText = std::getenv("ORBISK_REALIR_DUMP_UNIT");
    const double dumpUnit = dumpUnitText != nullptr ? std::atof(dumpUnitText) : 50.0;
    const std::vector<Capture> captures = ReadCaptures(path);
    if (captures.empty()) {
        std::printf("no captures at %s: skipped\n", path.c_str());
        return 0;
    }

    // Distinct key frames by their bytes at 50 us.
    std::vector<Frame> frames;
    std::vector<Occurrence> occurrences;
    std::map<std::string, int> byBytes;
    for (const Capture& c : captures) {
        std::vector<int> burst;
        for (std::size_t i = 0; i <= c.micros.size(); ++i) {
            const bool end = i == c.micros.size() || (i % 2 == 1 && c.micros[i] > 10000);
            if (!end) {
                burst.push_back(c.micros[i]);
                continue;
            }
            if (burst.size() % 2 == 0 && !burst.empty()) burst.pop_back();
            if (burst.size() >= 9) {
                std::string bytes;
                for (int d : burst) bytes.push_back(static_cast<char>(ToUnits(d, 50)));
                auto [it, fresh] = byBytes.emplace(bytes, static_cast<int>(frames.size()));
                if (fresh) frames.push_back({burst, c.category, c.file});
                occurrences.push_back({c.file, c.name, it->second});
            }
            burst.clear();
        }
    }
    std::vector<std::vector<const Occurrence*>> occurrencesOf(frames.size());
    for (const Occurrence& o : occurrences) occurrencesOf[static_cast<std::size_t>(o.frame)].push_back(&o);
    std::printf("%zu captures, %zu distinct key frames, %d presses each\n", captures.size(), frames.size(),
                presses);

    std::unordered_set<KeyCode> keyCodes;  // at 50 us and 5 %
    // The absolute jitter's presses have their own, so that the first stays
    // comparable with figures taken before it was measured.
    std::uint64_t checksum = 0, edgeChecksum = 0;
    const auto addToChecksum = [&](const BurstCodes& c, std::uint64_t& checksum) {
        for (const std::uint64_t v : {c.code, std::uint64_t{c.shapeCode}, std::uint64_t{c.olderCode},
                                      static_cast<std::uint64_t>(c.frame.protocol), std::uint64_t{c.frame.scancode},
                                      std::uint64_t{c.frame.toggle}, std::uint64_t{c.frame.bits}})
            checksum = MixBits(checksum ^ v);
    };
    const bool quick = std::getenv("ORBISK_REALIR_QUICK") != nullptr;
    for (const double unit : {50.0, 32.0, 64.0}) {
        if (costOnly || (quick && unit != dumpUnit)) continue;
        for (const Jitter jitter : kJitters) {
            std::map<std::string, CategoryCount> byCategory;
            int clear = 0, clearStable = 0;  // frames without close or confusable lengths
            // Frames of one protocol and scancode (with and without a header,
            // a frame and its inverted echo) are one key: not a merge.
            std::vector<IrFrame> clean(frames.size());
            // The key a clean press of each frame teaches, by remote and code.
            std::map<std::pair<std::string, KeyCode>, std::vector<const Occurrence*>> learned;
            for (std::size_t f = 0; f < frames.size(); ++f) {
                std::mt19937 none(1);
                const auto bytes = PressBytes(frames[f].micros, unit, Jitter{}, 0, none);
                const BurstCodes c = DecodeBurstCodes(bytes.data(), static_cast<int>(bytes.size()), 4, true);
                if (KindOf(c.frame) == kProtocol) clean[f] = c.frame;
                for (const Occurrence* o : occurrencesOf[f]) learned[{o->file, static_cast<KeyCode>(c.code)}].push_back(o);
            }
            const auto oneKey = [&](int a, int b) {
                const IrFrame &x = clean[static_cast<std::size_t>(a)], &y = clean[static_cast<std::size_t>(b)];
                return x.protocol != IrProtocol::None && x.protocol == y.protocol && x.scancode == y.scancode;
            };
            // The other key of its remote, whose frame differs, whose learned
            // code a press of frame f gives; null where none.
            const auto anotherKey = [&](std::size_t f, KeyCode code) -> const Occurrence* {
                for (const Occurrence* o : occurrencesOf[f]) {
                    const auto it = learned.find({o->file, code});
                    if (it == learned.end()) continue;
                    for (const Occurrence* q : it->second)
                        if (q->name != o->name && Differ(frames[static_cast<std::size_t>(q->frame)].micros, frames[f].micros) &&
                            !oneKey(q->frame, static_cast<int>(f)))
                            return q;
                }
                return nullptr;
            };
            // ORBISK_REALIR_WRONG=1: each such press, with the frame it was
            // taken for.
            static const bool showWrong = std::getenv("ORBISK_REALIR_WRONG") != nullptr;
            long wrongKeys = 0, wrongByKind[kKinds] = {}, wrongClear = 0;
            // Frames without close levels and without lengths one press can confuse.
            const auto clearFrame = [&](std::size_t f) {
                return !CloseLevels(frames[f].micros, unit, jitter) &&
                       !LengthsOnePressCanConfuse(frames[f].micros, unit, jitter);
            };
            std::vector<std::vector<KeyCode>> codes(frames.size());
            for (std::size_t f = 0; f < frames.size(); ++f) {
                std::mt19937 random(static_cast<std::uint32_t>(f * 7919 + unit * 13 + jitter.tag()));
                std::uniform_real_distribution<double> biasOf(-60.0, 120.0);
                std::set<KeyCode> seen;
                int kindCount[kKinds] = {};
                for (int p = 0; p < presses; ++p) {
                    const auto bytes = PressBytes(frames[f].micros, unit, jitter, biasOf(random), random);
                    const BurstCodes c = DecodeBurstCodes(bytes.data(), static_cast<int>(bytes.size()), 4, true);
                    addToChecksum(c, jitter.absolute > 0 ? edgeChecksum : checksum);
                    seen.insert(static_cast<KeyCode>(c.code));
                    if (const Occurrence* other = anotherKey(f, static_cast<KeyCode>(c.code))) {
                        ++wrongKeys;
                        ++wrongByKind[KindOf(c.frame)];
                        wrongClear += clearFrame(f) && clearFrame(static_cast<std::size_t>(other->frame));
                        if (showWrong && unit == dumpUnit && jitter == dumpJitter) {
                            std::printf("wrong key%s: frame %zu (%s) as frame %d (%s) of %s: %s:",
                                        clearFrame(f) && clearFrame(static_cast<std::size_t>(other->frame)) ? " (clear)" : "",
                                        f, occurrencesOf[f][0]->name.c_str(), other->frame, other->name.c_str(),
                                        other->file.c_str(), DescribeIrFrame(c.frame).c_str());
                            for (std::uint8_t b : bytes) std::printf(" %02X", b);
                            std::printf("\n");
                        }
                    }
                    ++kindCount[KindOf(c.frame)];
                }
                codes[f].assign(seen.begin(), seen.end());
                if (seen.size() > 1 && dumps > 0 && unit == dumpUnit && jitter == dumpJitter) {
                    --dumps;  // what a developer looks at: the capture and each press's reading
                    std::printf("unstable frame %zu (%s%s) %s:", f, frames[f].category.c_str(),
                                CloseLevels(frames[f].micros, unit, jitter) ? ", close" : "", frames[f].file.c_str());
                    for (int d : frames[f].micros) std::printf(" %d", d);
                    std::printf("\n");
                    std::mt19937 again(static_cast<std::uint32_t>(f * 7919 + unit * 13 + jitter.tag()));
                    std::uniform_real_distribution<double> biasAgain(-60.0, 120.0);
                    for (int p = 0; p < presses; ++p) {
                        const auto bytes = PressBytes(frames[f].micros, unit, jitter, biasAgain(again), again);
                        const BurstCodes c = DecodeBurstCodes(bytes.data(), static_cast<int>(bytes.size()), 4, true);
                        std::printf("  %08X %s:", static_cast<unsigned>(c.code), DescribeIrFrame(c.frame).c_str());
                        for (std::uint8_t b : bytes) std::printf(" %d", b);
                        std::printf("\n");
                    }
                }
                if (unit == 50.0 && jitter == kJitters[0]) keyCodes.insert(seen.begin(), seen.end());
                const Kind kind = kindCount[kProtocol] == presses ? kProtocol
                                  : kindCount[kShape] == presses ? kShape
                                                                 : kLevels;
                const bool stable = seen.size() == 1;
                const bool close = CloseLevels(frames[f].micros, unit, jitter);
                if (clearFrame(f)) {
                    ++clear;
                    clearStable += stable;
                }
                for (CategoryCount* count : {&byCategory[frames[f].category], &byCategory["(all)"]}) {
                    ++count->frames;
                    count->stable += stable;
                    count->close += close;
                    count->closeStable += close && stable;
                    ++count->kinds[kind];
                    count->kindsStable[kind] += stable;
                }
            }
            // Codes shared within one remote by different buttons with differing frames.
            std::map<std::pair<std::string, KeyCode>, std::vector<const Occurrence*>> byCode;
            for (const Occurrence& o : occurrences)
                for (KeyCode code : codes[static_cast<std::size_t>(o.frame)]) byCode[{o.file, code}].push_back(&o);
            std::map<std::string, int> sharedByCategory;
            int shared = 0, sharedClear = 0;
            for (const auto& [key, list] : byCode) {
                bool found = false, clear = false;
                for (std::size_t i = 0; i < list.size(); ++i)
                    for (std::size_t j = i + 1; j < list.size(); ++j) {
                        const auto& a = frames[static_cast<std::size_t>(list[i]->frame)].micros;
                        const auto& b = frames[static_cast<std::size_t>(list[j]->frame)].micros;
                        if (list[i]->name == list[j]->name || !Differ(a, b) || oneKey(list[i]->frame, list[j]->frame))
                            continue;
                        found = true;
                        clear = clear || (!CloseLevels(a, unit, jitter) && !CloseLevels(b, unit, jitter));
                    }
                sharedClear += clear;
                if (found) {
                    if (dumps != 0 && unit == dumpUnit && jitter == dumpJitter)
                        std::printf("shared %08X in %s: frames %d and %d%s\n", static_cast<unsigned>(key.second),
                                    key.first.c_str(), list[0]->frame, list[list.size() - 1]->frame,
                                    clear ? " (without close levels)" : "");
                    ++shared;
                    ++sharedByCategory[frames[static_cast<std::size_t>(list[0]->frame)].category];
                }
            }
            std::printf("\n### %.0f us, %s: one code over %d presses; codes shared in a remote: %d "
                        "(%d between frames without close levels)\n\n",
                        unit, jitter.text().c_str(), presses, shared, sharedClear);
            std::printf("| category | frames | one code | without close levels | protocol | levels | shape | shared |\n");
            std::printf("|---|---|---|---|---|---|---|---|\n");
            for (const auto& [name, c] : byCategory) {
                if (!perCategory && name != "(all)") continue;
                const auto pct = [](int a, int b) { return b == 0 ? 100.0 : 100.0 * a / b; };
                std::printf("| %s | %d | %.1f %% | %.1f %% (%d close, %d of them one code) | %d/%d | %d/%d | %d/%d | %d |\n",
                            name.c_str(), c.frames, pct(c.stable, c.frames),
                            pct(c.stable - c.closeStable, c.frames - c.close), c.close, c.closeStable,
                            c.kindsStable[kProtocol], c.kinds[kProtocol], c.kindsStable[kLevels], c.kinds[kLevels],
                            c.kindsStable[kShape], c.kinds[kShape],
                            name == "(all)" ? shared : sharedByCategory[name]);
            }
            std::printf("\nwithout close levels and without lengths one press can confuse: %d frames, %.1f %% one code\n",
                        clear, 100.0 * clearStable / clear);
            std::printf("presses that give the code of another key of their remote: %ld of %ld (read as a protocol %ld, "
                        "as levels %ld, by shape %ld; %ld between two frames without close or confusable lengths)\n",
                        wrongKeys, static_cast<long>(frames.size()) * presses, wrongByKind[kProtocol],
                        wrongByKind[kLevels], wrongByKind[kShape], wrongClear);
        }
    }

    // Phantom keys: random bursts that hit a captured key's code.
    if (!costOnly) {
        std::mt19937 random(12345);
        long hits = 0, recognised = 0, levels = 0;
        const long count = 1000000;
        std::uint8_t burst[MaxBurstLength];
        for (long i = 0; i < count; ++i) {
            const int length = 9 + static_cast<int>(random() % (MaxBurstLength - 8));
            for (int k = 0; k < length; ++k) burst[k] = static_cast<std::uint8_t>(1 + random() % 0xFD);
            const BurstCodes c = DecodeBurstCodes(burst, length, 4, true);
            addToChecksum(c, checksum);
            const bool hit = keyCodes.count(static_cast<KeyCode>(c.code)) != 0;
            hits += hit;
            if (hit && dumps != 0) std::printf("phantom: %d durations, %s\n", length, DescribeIrFrame(c.frame).c_str());
            const Kind kind = KindOf(c.frame);
            recognised += kind == kProtocol;
            levels += kind == kLevels;
        }
        std::printf("\nphantom keys: %ld random bursts (9 to 254 durations): %ld hit one of %zu key codes "
                    "(%.1f expected of random codes), %ld recognised as a protocol, %ld read as levels\n",
                    count, hits, keyCodes.size(), count * static_cast<double>(keyCodes.size()) / 4294967296.0,
                    recognised, levels);
        // Bursts of 9 to 12 durations have few ranks to tell them by: their
        // own figure, over enough of them to show it.
        long shortHits = 0;
        const long shortCount = 100000;
        for (long i = 0; i < shortCount; ++i) {
            const int length = 9 + static_cast<int>(random() % 4);
            for (int k = 0; k < length; ++k) burst[k] = static_cast<std::uint8_t>(1 + random() % 0xFD);
            shortHits += keyCodes.count(static_cast<KeyCode>(DecodeBurstCodes(burst, length, 4, true).code));
        }
        std::printf("of %ld random bursts of 9 to 12 durations, %ld hit a key code (%.2f expected of random codes)\n",
                    shortCount, shortHits, shortCount * static_cast<double>(keyCodes.size()) / 4294967296.0);
    }

    if (std::getenv("ORBISK_REALIR_CHECKSUM") != nullptr)
        std::printf("\nchecksum of every press's codes and frame: %016llx (edges moved: %016llx)\n",
                    static_cast<unsigned long long>(checksum), static_cast<unsigned long long>(edgeChecksum));

    // Cost: every frame's first press decoded afresh, against a table CRC-32
    // of the same bytes.
    {
        std::vector<std::vector<std::uint8_t>> bursts;
        std::mt19937 random(7);
        for (const Frame& f : frames) bursts.push_back(PressBytes(f.micros, 50, kJitters[0], 30, random));
        std::uint32_t table[256];
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
            table[i] = c;
        }
        volatile std::uint32_t sink = 0;
        const auto time = [&](auto&& body) {
            double best = 1e300;
            for (int round = 0; round < 5; ++round) {
                const auto start = std::chrono::steady_clock::now();
                for (const auto& b : bursts) body(b);
                best = std::min(best, std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count());
            }
            return best / static_cast<double>(bursts.size());
        };
        const double crc = time([&](const std::vector<std::uint8_t>& b) {
            std::uint32_t r = 0xFFFFFFFFu;
            for (std::uint8_t byte : b) r = (r >> 8) ^ table[(r ^ byte) & 0xFF];
            sink = sink + ~r;
        });
        const double decode = time([&](const std::vector<std::uint8_t>& b) {
            sink = sink + static_cast<std::uint32_t>(DecodeBurstCodes(b.data(), static_cast<int>(b.size()), 4, true).code);
        });
        const double own = time([&](const std::vector<std::uint8_t>& b) {
            sink = sink + static_cast<std::uint32_t>(DecodeBurst(b.data(), static_cast<int>(b.size()), 4));
        });
        const double recognize = time([&](const std::vector<std::uint8_t>& b) {
            IrFrame frame;
            sink = sink + RecognizeBurst(b.data(), static_cast<int>(b.size()), frame);
        });
        const double levels = time([&](const std::vector<std::uint8_t>& b) {
            LevelReading reading;
            sink = sink + ReadLevels(b.data(), static_cast<int>(b.size()), reading);
        });
        std::printf("\nrecognition alone %.0f ns, level reading alone %.0f ns", recognize, levels);
        std::printf("\ncost per fresh key frame (best of 5 rounds over %zu frames): whole analysis %.0f ns, "
                    "shape code alone %.0f ns, table CRC-32 %.0f ns: %.2fx the CRC-32\n",
                    bursts.size(), decode, own, crc, decode / crc);
    }
    return 0;
}
