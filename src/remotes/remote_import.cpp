#include "remotes/remote_import.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <random>
#include <unordered_map>
#include <utility>

#include "common/text.h"
#include "engine/key_table.h"
#include "platform/file_io.h"
#include "receiver/analysis/burst_codes.h"
#include "receiver/published_state.h"
#include "receiver/frame_cutter.h"
#include "remotes/flipper_ir.h"
#include "remotes/keymap.h"
#include "remotes/lircd_conf.h"
#include "remotes/remote_text.h"
#include "settings/ini_file.h"

namespace orbisk {

namespace {

// A space longer than this ends a burst: the receiver's quiet time.
constexpr std::uint32_t kBurstEndMicros = 10000;
// A space longer than this ends a frame: the longest inside published key
// frames are headers' (4.5 ms; Dish's 6.1 ms).  A held key's frames may
// follow each other closer than a burst's end.
constexpr std::uint32_t kFrameEndMicros = 8000;

// The replays that tell whether every press gives a key's code: receivers
// count in any of these units and lengthen marks by a constant of their own
// (from -60 to 120 us), and each press jitters anew: every unit with the
// bias at both ends and between, two jitter draws each.
constexpr double kReplayUnits[] = {32, 50, 64};
constexpr double kReplayBiases[] = {-60, 0, 60, 120};
constexpr int kReplayDraws = 3;
constexpr double kReplayJitter = 0.05;

class NoWake final : public WakeUp {
public:
    void Set() override {}
};

// A button as read, before its codes are known.
struct Button {
    Button(std::string remote_, std::string name_, std::string source_, std::size_t line_)
        : remote(std::move(remote_)), name(std::move(name_)), source(std::move(source_)), line(line_) {}
    std::string remote, name, source;
    std::size_t line = 0;
    bool parsed = false;
    IrFrame frame;                                   // parsed
    std::vector<std::vector<std::uint32_t>> frames;  // timings: each frame a press sends
    std::string skipped;                             // why it gives no key
};

// A button's codes: each with the frame read in it.
struct ButtonCodes {
    std::vector<std::pair<std::uint32_t, IrFrame>> codes;
    bool stable = true;
    std::unordered_map<std::uint32_t, std::vector<std::uint32_t>> bursts{};  // timings: each code's burst
};

}  // namespace

std::vector<std::uint32_t> IdealMicros(const IrFrame& frame) {
    IrDurations ideal;
    std::vector<std::uint32_t> micros;
    if (!EncodeIrFrame(frame, ideal)) return micros;
    const double tick = ProtocolInfo(frame.protocol).tickMicros;
    for (int i = 0; i < ideal.count; ++i)
        micros.push_back(static_cast<std::uint32_t>(ideal.ticks[static_cast<std::size_t>(i)] * tick + 0.5));
    return micros;
}

namespace {

// The most durations between two spaces that end a frame.
std::size_t LongestFrame(const std::vector<std::uint32_t>& micros) {
    std::size_t longest = 0, run = 0;
    for (std::size_t i = 0; i < micros.size(); ++i) {
        run = i % 2 == 1 && micros[i] > kFrameEndMicros ? 0 : run + 1;
        longest = std::max(longest, run);
    }
    return longest;
}

// An air-conditioner's state frame (its whole setting at once) is no key.
std::string StateFrameReason(const std::vector<std::uint32_t>& micros) {
    const std::size_t longest = LongestFrame(micros);
    if (longest <= MaxKeyBurstDurations) return {};
    return "an air-conditioner state frame: " + std::to_string(longest) + " durations in one frame";
}

bool RemoteNameError(const std::string& name, const std::string& path, std::size_t line, std::string& error) {
    std::string problem = IniNameProblem(IniNamePlace::Section, name);
    if (problem.empty() && IsMainSection(IniSectionId(name))) problem = "is the settings section, not a remote";
    if (problem.empty()) return true;
    const std::string reason = "the remote's name " + problem + ": give another with --remote";
    if (line == 0) {
        error = path + ": " + reason;
        return false;
    }
    return RemoteLineError(path, line, reason, error);
}

std::string FileStem(const std::string& path) {
    std::string name = path.substr(path.find_last_of("/\\") + 1);
    if (const std::size_t dot = name.rfind('.'); dot != std::string::npos && dot > 0) name.resize(dot);
    return name;
}

std::string Source(std::string_view kind, std::size_t line) {
    return std::string(kind) + " line " + std::to_string(line);
}

bool ReadFlipper(std::string_view text, const std::string& path, const std::string& remote,
                 std::vector<Button>& out, std::string& error) {
    std::vector<FlipperButton> buttons;
    if (!ParseFlipperIr(text, path, buttons, error)) return false;
    for (FlipperButton& fb : buttons) {
        Button b{remote, fb.name, Source(fb.raw ? "raw" : "parsed", fb.line), fb.line};
        if (fb.raw) {
            b.skipped = StateFrameReason(fb.durations);
            b.frames.push_back(std::move(fb.durations));
        } else if (const std::optional<ProtocolKey> key = FlipperKey(fb, b.skipped)) {
            b.parsed = true;
            b.frame = IrFrame{*FindIrProtocol(key->protocol), key->scancode, false};
        }
        out.push_back(std::move(b));
    }
    return true;
}

bool ReadLircd(std::string_view text, const std::string& path, const std::string& remoteName,
               std::vector<Button>& out, std::vector<SkippedButton>& skipped, std::string& error) {
    LircFile file;
    if (!ParseLircdConf(text, path, file, error)) return false;
    const std::size_t remotes = file.remotes.size() + file.skipped.size();
    const auto named = [&](const std::string& name) {
        return remoteName.empty() ? name : remotes == 1 ? remoteName : remoteName + " " + name;
    };
    for (const LircSkipped& s : file.skipped)
        skipped.push_back({named(s.name), std::to_string(s.buttons) + " buttons", Source("remote", s.line), s.reason});
    for (const LircRemote& remote : file.remotes) {
        for (const LircButton& lb : remote.buttons) {
            const bool raw = !lb.durations.empty();
            Button b{named(remote.name), lb.name, Source(raw ? "raw_codes" : "codes", lb.line), lb.line};
            const std::size_t count = raw ? 1 : lb.codes.size();
            // A toggling remote alternates its frames: both are the key.
            for (int toggled = 0; toggled < (remote.toggleBitMask != 0 ? 2 : 1); ++toggled)
                for (std::size_t i = 0; i < count && b.skipped.empty(); ++i) {
                    LircFrame frame;
                    if (BuildLircFrame(remote, lb, i, toggled != 0, frame, b.skipped))
                        b.frames.push_back(std::move(frame.durations));
                }
            if (b.skipped.empty()) b.skipped = StateFrameReason(b.frames.front());
            out.push_back(std::move(b));
        }
    }
    return true;
}

std::int64_t Number(const KeymapTable& table, std::string_view field) {
    for (const auto& [name, value] : table.numbers)
        if (name == field) return value;
    return 0;
}

// A pulse_distance table's frame, as the kernel sends it: header, the bits
// most significant first (least with reverse) as a mark and a space for 0
// or 1, trailer; empty for timings it cannot be.
std::vector<std::uint32_t> PulseDistanceMicros(const KeymapTable& table, std::uint32_t scancode) {
    const std::int64_t bits = Number(table, "bits"), pulse = Number(table, "bit_pulse"),
                       zero = Number(table, "bit_0_space"), one = Number(table, "bit_1_space"),
                       headerPulse = Number(table, "header_pulse"), headerSpace = Number(table, "header_space"),
                       trailer = Number(table, "trailer_pulse");
    const auto fits = [](std::int64_t us) { return us >= 0 && us <= 100000; };
    std::vector<std::uint32_t> micros;
    if (bits < 1 || bits > 32 || pulse <= 0 || zero <= 0 || one <= 0 || !fits(pulse) || !fits(zero) ||
        !fits(one) || !fits(headerPulse) || !fits(headerSpace) || !fits(trailer))
        return micros;
    if (headerPulse > 0 && headerSpace > 0) micros = {static_cast<std::uint32_t>(headerPulse), static_cast<std::uint32_t>(headerSpace)};
    for (std::int64_t i = 0; i < bits; ++i) {
        const std::int64_t bit = Number(table, "reverse") != 0 ? i : bits - 1 - i;
        micros.push_back(static_cast<std::uint32_t>(pulse));
        micros.push_back(static_cast<std::uint32_t>((scancode >> bit) & 1u ? one : zero));
    }
    if (trailer > 0) micros.push_back(static_cast<std::uint32_t>(trailer));
    else micros.pop_back();
    return micros;
}

// The kernel's rc-5-sz (Streamzap): RC-5's bi-phase at 889 us with 15
// bits, a mark for the first start bit, then the scancode's 14 bits most
// significant first, the second start bit at 0x2000 and the toggle at
// 0x1000.  As a lircd remote would give it, with both toggles.
constexpr std::uint32_t kRc5SzScancodeMask = 0x2FFF;
LircRemote Rc5SzRemote() {
    LircRemote remote;
    remote.flags = LircRc5;
    remote.bits = 14;
    remote.one = remote.zero = {889, 889};
    remote.plead = 889;
    remote.toggleBitMask = 0x1000;
    return remote;
}

bool ReadKeymapButtons(std::string_view text, const std::string& path, std::string& remote,
                       std::vector<Button>& out, std::string& error) {
    std::vector<KeymapTable> tables;
    if (!ParseKeymap(text, path, tables, error)) return false;
    if (remote.empty()) remote = tables.front().name;
    if (remote.empty()) return RemoteLineError(path, tables.front().line, "the keymap has no name: give one with --remote", error);
    for (const KeymapTable& table : tables) {
        const bool pulseDistance = EqualsIgnoreCase(table.protocol, "pulse_distance");
        const bool rc5sz =
            FindIrProtocol(table.protocol) == std::nullopt && EqualsIgnoreCase(table.protocol, "rc-5-sz");
        const LircRemote sz = Rc5SzRemote();
        for (const auto& [scancode, name] : table.keys) {
            Button b{remote, name, Source(table.protocol, table.line), table.line};
            if (pulseDistance) {
                b.frames.push_back(PulseDistanceMicros(table, scancode));
                if (b.frames.back().empty()) b.skipped = "pulse_distance timings missing or out of range";
            } else if (rc5sz && (scancode & ~kRc5SzScancodeMask) == 0) {
                const LircButton lb{name, table.line, {scancode}, {}};
                for (const bool toggled : {false, true}) {
                    LircFrame frame;
                    if (BuildLircFrame(sz, lb, 0, toggled, frame, b.skipped))
                        b.frames.push_back(std::move(frame.durations));
                }
            } else if (const std::optional<IrFrame> frame = KeymapFrame(table, scancode)) {
                b.parsed = true;
                b.frame = *frame;
            } else {
                char hex[16];
                std::snprintf(hex, sizeof hex, "0x%08x", static_cast<unsigned>(scancode));
                b.skipped = "protocol " + Quoted(table.protocol) + " with scancode " + hex +
                            ": no frame Orbisk recognises";
            }
            out.push_back(std::move(b));
        }
    }
    return true;
}

std::optional<RemoteFormat> DetectFormat(std::string_view text) {
    bool first = true;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = TrimBlanks(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty() || line.front() == '#') continue;
        if (first && line.rfind("Filetype:", 0) == 0) return RemoteFormat::FlipperIr;
        first = false;
        if (line.rfind("begin", 0) == 0 && TrimBlanks(line.substr(5)) == "remote") return RemoteFormat::LircdConf;
        if (line.rfind("[[protocols]]", 0) == 0 || line.rfind("[[ protocols ]]", 0) == 0) return RemoteFormat::Keymap;
    }
    return std::nullopt;
}

// The codes that live bursts give for the durations, each scaled by 1 +
// deviation(its index): LiveCodes's reception.
template <typename Deviation>
std::vector<std::uint32_t> CodesHeard(const std::vector<std::uint32_t>& micros, const ImportDecoding& decoding,
                                      double unitMicros, double biasMicros, Deviation&& deviation,
                                      std::vector<IrFrame>* frames = nullptr,
                                      std::vector<std::vector<std::uint32_t>>* bursts = nullptr) {
    std::vector<std::uint8_t> wire;
    wire.reserve(micros.size() + 8);
    int position = 0;
    std::vector<std::size_t> ends;  // of each burst in micros
    for (std::size_t i = 0; i < micros.size(); ++i) {
        if (i % 2 == 1 && micros[i] > kBurstEndMicros) {
            ends.push_back(i);
            wire.push_back(BurstTerminator);
            position = 0;
            continue;
        }
        const double d = deviation(i);
        wire.push_back(ReceiverUnits(micros[i] * (1.0 + d), position++, unitMicros, biasMicros));
    }
    wire.push_back(BurstTerminator);
    ends.push_back(micros.size());
    std::size_t burst = 0;
    // As the frame reader and the decoder take them.
    std::vector<std::uint32_t> codes;
    PublishedState state;
    NoWake wake;
    StableCodeMemo memo;
    FrameCutter cutter;
    cutter.Feed(wire.data(), static_cast<int>(wire.size()), [&](const std::uint8_t* bytes, int length) {
        // Each terminator ends one burst of micros, and the next begins
        // after the long space.
        const std::size_t begin = burst == 0 ? 0 : ends[burst - 1] + 1, end = ends[burst];
        ++burst;
        if (ClassifyBurst(bytes, length, decoding.repeatLength, decoding.skipBegin, state, wake, decoding.recognize,
                          &memo) != BurstKind::Key)
            return;
        const BurstCodes c = ReadPublishedCodes(state);
        codes.push_back(static_cast<std::uint32_t>(c.code));
        if (frames != nullptr) frames->push_back(c.frame);
        if (bursts != nullptr) bursts->emplace_back(micros.begin() + begin, micros.begin() + end);
    });
    return codes;
}

// Whether every replay of the durations gives these codes: besides random
// draws, the jitter at its ends in the patterns that push neighbouring
// durations towards each other or apart (where a reading's thresholds are
// crossed first).
bool ReplaysGive(const std::vector<std::uint32_t>& micros, const std::vector<std::uint32_t>& codes,
                 const ImportDecoding& decoding) {
    // Signs by index: all longer, all shorter, marks or spaces longer, pairs.
    constexpr int kPatterns[][4] = {{1, 1, 1, 1}, {-1, -1, -1, -1}, {1, -1, 1, -1},
                                    {-1, 1, -1, 1}, {1, 1, -1, -1}, {-1, -1, 1, 1}};
    std::uint32_t seed = 1;
    for (const double unit : kReplayUnits)
        for (const double bias : kReplayBiases) {
            for (const auto& signs : kPatterns) {
                const auto deviation = [&](std::size_t i) { return kReplayJitter * signs[i % 4]; };
                if (CodesHeard(micros, decoding, unit, bias, deviation) != codes) return false;
            }
            for (int draw = 0; draw < kReplayDraws; ++draw)
                if (LiveCodes(micros, decoding, unit, kReplayJitter, bias, ++seed) != codes) return false;
        }
    return true;
}

// The verdicts already reached, per import: a remote's buttons often send
// the same frames (a toggle's two, a pre-frame, the same key twice), and a
// protocol's reading holds for all its frames alike.
struct ReplayMemo {
    std::map<std::vector<std::uint32_t>, bool> frames;
    std::unordered_map<int, bool> protocols;  // IrProtocol -> its frames read the same at every press
};

// Every code of a button given as timings, and whether replays give them.
ButtonCodes TimingCodes(const Button& b, const ImportDecoding& decoding, ReplayMemo& memo) {
    ButtonCodes out{{}, decoding.checkStable};
    for (const std::vector<std::uint32_t>& micros : b.frames) {
        std::vector<IrFrame> frames;
        std::vector<std::vector<std::uint32_t>> bursts;
        const std::vector<std::uint32_t> codes = LiveCodes(micros, decoding, 50, 0, 0, 1, &frames, &bursts);
        for (std::size_t i = 0; i < codes.size(); ++i) {
            out.bursts.try_emplace(codes[i], std::move(bursts[i]));
            // The key is every press of it, whatever its toggle.
            frames[i].toggle = false;
            if (std::none_of(out.codes.begin(), out.codes.end(), [&](const auto& c) { return c.first == codes[i]; }))
                out.codes.emplace_back(codes[i], frames[i]);
        }
        if (!out.stable) continue;
        const auto [it, added] = memo.frames.try_emplace(micros, true);
        if (added) it->second = ReplaysGive(micros, codes, decoding);
        out.stable = it->second;
    }
    return out;
}

// Whether jitter leaves the frame's reading as it is.
bool ReadsAlike(const IrFrame& frame, const ImportDecoding& decoding) {
    const std::vector<std::uint32_t> micros = IdealMicros(frame);
    return ReplaysGive(micros, LiveCodes(micros, decoding, 50, 0, 0, 1), decoding);
}

// A decoded button's code is its frame's.  Whether every press reads it so
// depends on the protocol's timing, not on the bits: a protocol whose frames
// of all zero and all one bits and the first key's read alike at every
// replay has its keys stable; otherwise each key is replayed.
ButtonCodes ParsedCodes(const Button& b, const ImportDecoding& decoding, ReplayMemo& memo) {
    ButtonCodes out{{}, decoding.checkStable};
    out.codes.emplace_back(StableCode(b.frame), b.frame);
    if (!out.stable) return out;
    const auto [it, added] = memo.protocols.try_emplace(static_cast<int>(b.frame.protocol), true);
    if (added) {
        const std::uint32_t mask = ProtocolInfo(b.frame.protocol).scancodeMask;
        for (const std::uint32_t scancode : {b.frame.scancode, b.frame.scancode & ~mask, b.frame.scancode | mask}) {
            const IrFrame probe{b.frame.protocol, scancode, false};
            if (CanEncodeIrFrame(probe) && !ReadsAlike(probe, decoding)) it->second = false;
        }
    }
    out.stable = it->second || ReplaysGive(IdealMicros(b.frame), {out.codes.front().first}, decoding);
    return out;
}

}  // namespace

std::vector<std::uint32_t> LiveCodes(const std::vector<std::uint32_t>& micros, const ImportDecoding& decoding,
                                     double unitMicros, double jitter, double biasMicros, std::uint32_t seed,
                                     std::vector<IrFrame>* frames,
                                     std::vector<std::vector<std::uint32_t>>* bursts) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> deviation(-jitter, jitter);
    return CodesHeard(micros, decoding, unitMicros, biasMicros,
                      [&](std::size_t) { return jitter > 0 ? deviation(random) : 0.0; }, frames, bursts);
}

bool PlanRemoteImport(std::string_view text, const std::string& path, const std::string& remoteName,
                      const ImportDecoding& decoding, RemoteImport& out, std::string& error) {
    const std::optional<RemoteFormat> format = DetectFormat(text);
    if (!format) {
        error = path + ": not a kernel keymap, Flipper .ir file or lircd.conf";
        return false;
    }
    RemoteImport plan;
    plan.format = *format;
    std::vector<Button> buttons;
    std::string remote = remoteName;
    bool read = false;
    switch (*format) {
    case RemoteFormat::FlipperIr:
        if (remote.empty()) remote = FileStem(path);
        read = ReadFlipper(text, path, remote, buttons, error);
        break;
    case RemoteFormat::LircdConf: read = ReadLircd(text, path, remoteName, buttons, plan.skipped, error); break;
    case RemoteFormat::Keymap: read = ReadKeymapButtons(text, path, remote, buttons, error); break;
    }
    if (!read) return false;
    if (*format != RemoteFormat::LircdConf && !RemoteNameError(remote, path, 0, error)) return false;
    for (Button& b : buttons) {
        // A name the settings file would not give back loses that button only.
        if (const std::string problem = IniNameProblem(IniNamePlace::Value, b.name);
            !problem.empty() && b.skipped.empty())
            b.skipped = "the key name " + problem;
        if (!RemoteNameError(b.remote, path, b.line, error)) return false;
        if (std::find(plan.remotes.begin(), plan.remotes.end(), b.remote) == plan.remotes.end())
            plan.remotes.push_back(b.remote);
    }

    std::vector<ButtonCodes> codes(buttons.size());
    // Per remote, how many of its buttons given as timings send each code.
    std::unordered_map<std::string, std::unordered_map<std::uint32_t, std::size_t>> senders;
    std::unordered_map<std::string, std::size_t> timed;
    ReplayMemo memo;
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        const Button& b = buttons[i];
        if (!b.skipped.empty()) continue;
        codes[i] = b.parsed ? ParsedCodes(b, decoding, memo) : TimingCodes(b, decoding, memo);
        if (b.parsed) continue;
        ++timed[b.remote];
        for (const auto& [code, frame] : codes[i].codes) ++senders[b.remote][code];
    }
    std::unordered_map<std::uint32_t, std::size_t> byCode;  // -> index in plan.keys
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        const Button& b = buttons[i];
        std::vector<std::pair<std::uint32_t, IrFrame>> keep = codes[i].codes;
        if (!b.parsed && b.skipped.empty()) {
            // What most buttons send alike (XMP's first half, a pre-frame)
            // tells no key apart: left out where the button sends more.
            const auto common = [&](const auto& c) {
                const std::size_t n = timed[b.remote];
                return n >= 2 && senders[b.remote][c.first] * 2 > n;
            };
            if (!std::all_of(keep.begin(), keep.end(), common))
                keep.erase(std::remove_if(keep.begin(), keep.end(), common), keep.end());
        }
        if (b.skipped.empty() && keep.empty()) {
            buttons[i].skipped = "no burst a receiver takes as a key";
        }
        if (!b.skipped.empty()) {
            plan.skipped.push_back({b.remote, b.name, b.source, b.skipped});
            continue;
        }
        for (const auto& [code, frame] : keep) {
            ImportedKey key{b.remote, b.name, b.source, frame, code, codes[i].stable};
            if (const auto burst = codes[i].bursts.find(code); burst != codes[i].bursts.end())
                key.micros = burst->second;
            const auto [it, added] = byCode.try_emplace(code, plan.keys.size());
            if (added)
                plan.keys.push_back(std::move(key));
            else if (plan.keys[it->second].name != b.name || plan.keys[it->second].remote != b.remote)
                plan.shared.emplace_back(std::move(key), plan.keys[it->second].name);
        }
    }
    out = std::move(plan);
    return true;
}

bool ReadRemoteFile(const std::string& path, std::string& text, std::string& error) {
    FileContents file = ReadWholeFile(path);
    switch (file.outcome) {
    case ReadOutcome::Ok: text = std::move(file.bytes); return true;
    case ReadOutcome::Missing: error = "no such file: " + path; return false;
    case ReadOutcome::TooLarge:
        // Its keys could not fit in a settings file.
        error = path + ": larger than " + std::to_string(MaxSettingsFileBytes >> 20) + " MiB";
        return false;
    case ReadOutcome::Failed: error = "cannot read " + path + ": " + file.error.message(); return false;
    }
    return false;
}

std::string NothingToImportText(const std::string& path) {
    return path + ": no key a receiver can tell apart; nothing imported";
}

}  // namespace orbisk
