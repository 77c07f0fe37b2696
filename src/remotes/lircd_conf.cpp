#include "remotes/lircd_conf.h"

#include <algorithm>
#include <limits>

#include "common/text.h"
#include "remotes/remote_text.h"

namespace orbisk {

namespace {

// LIRC's own limit on a mark or space (its pulse mask): 16.7 s.
constexpr std::uint64_t kMaxMicros = 0xFFFFFF;
constexpr std::size_t kMaxNameLength = 255;

struct FlagName {
    std::string_view name;
    unsigned flag;  // 0: one LIRC knows and Orbisk does not build
};
constexpr FlagName kFlags[] = {
    {"RC5", LircRc5},           {"SHIFT_ENC", LircRc5},           {"RC6", LircRc6},
    {"SPACE_ENC", LircSpaceEnc}, {"SPACE_FIRST", LircSpaceFirst},  {"REVERSE", LircReverse},
    {"NO_HEAD_REP", LircNoHeadRep}, {"NO_FOOT_REP", LircNoFootRep}, {"CONST_LENGTH", LircConstLength},
    {"REPEAT_HEADER", LircRepeatHeader}, {"RAW_CODES", LircRawCodes}, {"RCMM", 0},
    {"XMP", 0},                 {"GOLDSTAR", 0},                  {"GRUNDIG", 0},
    {"BO", 0},                  {"SERIAL", 0},
};

enum class Value { Word, Flags, Pair, Micros, Gap, BitCount, Bits64, Number, ToggleBit };
struct ParameterInfo {
    std::string_view key;
    Value value;
};
// Every parameter of a remote LIRC reads; those that only tune LIRC's own
// decoding or sending are checked and left.
constexpr ParameterInfo kParameters[] = {
    {"name", Value::Word},           {"driver", Value::Word},         {"serial_mode", Value::Word},
    {"flags", Value::Flags},         {"bits", Value::BitCount},       {"pre_data_bits", Value::BitCount},
    {"post_data_bits", Value::BitCount}, {"pre_data", Value::Bits64}, {"post_data", Value::Bits64},
    {"toggle_bit_mask", Value::Bits64}, {"rc6_mask", Value::Bits64},  {"toggle_mask", Value::Bits64},
    {"repeat_mask", Value::Bits64},  {"ignore_mask", Value::Bits64},  {"header", Value::Pair},
    {"one", Value::Pair},            {"zero", Value::Pair},           {"two", Value::Pair},
    {"three", Value::Pair},          {"foot", Value::Pair},           {"repeat", Value::Pair},
    {"pre", Value::Pair},            {"post", Value::Pair},           {"plead", Value::Micros},
    {"ptrail", Value::Micros},       {"gap", Value::Gap},             {"repeat_gap", Value::Micros},
    {"toggle_bit", Value::ToggleBit}, {"repeat_bit", Value::ToggleBit}, {"frequency", Value::Number},
    {"duty_cycle", Value::Number},   {"eps", Value::Number},          {"aeps", Value::Number},
    {"min_repeat", Value::Number},   {"suppress_repeat", Value::Number}, {"min_code_repeat", Value::Number},
    {"manual_sort", Value::Number},  {"baud", Value::Number},
};

// A line's words up to a comment.
std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> words;
    for (std::string_view w = NextWord(line); !w.empty() && w[0] != '#'; w = NextWord(line))
        words.push_back(w);
    return words;
}

std::string Hex(std::uint64_t value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string digits;
    do {
        digits.insert(digits.begin(), kDigits[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    return "0x" + digits;
}

class RemoteReader {
public:
    RemoteReader(const std::string& path, std::string& error) : path_(path), error_(error) {}

    bool Fail(std::size_t line, std::string_view reason) { return RemoteLineError(path_, line, reason, error_); }

    bool Parameter(LircRemote& r, const std::vector<std::string_view>& words, std::size_t line) {
        const std::string_view key = words[0];
        const ParameterInfo* p = nullptr;
        for (const auto& candidate : kParameters)
            if (candidate.key == key) p = &candidate;
        if (p == nullptr) return Fail(line, "unknown parameter " + Quoted(key));
        const std::size_t values = words.size() - 1;
        const auto count = [&](std::size_t least, std::size_t most) {
            if (values >= least && values <= most) return true;
            return Fail(line, std::string(key) + " takes " + std::to_string(least) +
                                  (most > least ? " or " + std::to_string(most) : std::string()) +
                                  (most == 1 ? " value" : " values") + ", not " + std::to_string(values));
        };
        std::uint64_t n[2] = {0, 0};
        const auto numbers = [&](std::uint64_t max, std::string_view what) {
            for (std::size_t i = 1; i < words.size(); ++i)
                if (!ParseRemoteNumber(words[i], max, n[i - 1]))
                    return Fail(line, std::string(key) + ": " + Quoted(words[i]) + " is not " + std::string(what));
            return true;
        };
        const std::string micros = "a number of microseconds from 0 to " + std::to_string(kMaxMicros);
        switch (p->value) {
        case Value::Word:
            if (!count(1, 1)) return false;
            if (key == "name") {
                if (words[1].size() > kMaxNameLength) return Fail(line, "a remote name longer than 255 characters");
                r.name = words[1];
            }
            return true;
        case Value::Flags:
            if (!count(1, 32)) return false;
            for (std::size_t i = 1; i < words.size(); ++i)
                if (!Flags(r, words[i], line)) return false;
            return true;
        case Value::Pair: {
            if (!count(2, 2) || !numbers(kMaxMicros, micros)) return false;
            const LircPair pair{static_cast<std::uint32_t>(n[0]), static_cast<std::uint32_t>(n[1])};
            (key == "header"   ? r.header
             : key == "one"    ? r.one
             : key == "zero"   ? r.zero
             : key == "foot"   ? r.foot
             : key == "repeat" ? r.repeat
             : key == "pre"    ? r.pre
             : key == "post"   ? r.post
                               : unused_) = pair;  // two, three: RC-MM's, which is not built
            return true;
        }
        case Value::Micros:
        case Value::Gap:
            if (!count(1, p->value == Value::Gap ? 2 : 1) || !numbers(kMaxMicros, micros)) return false;
            if (key == "plead") r.plead = static_cast<std::uint32_t>(n[0]);
            if (key == "ptrail") r.ptrail = static_cast<std::uint32_t>(n[0]);
            if (key == "repeat_gap") r.repeatGap = static_cast<std::uint32_t>(n[0]);
            // A second gap is LIRC's longer one: the first is what a sender waits.
            if (key == "gap") r.gap = static_cast<std::uint32_t>(values == 2 ? std::min(n[0], n[1]) : n[0]);
            return true;
        case Value::BitCount:
            if (!count(1, 1) || !numbers(64, "a number of bits from 0 to 64")) return false;
            (key == "bits" ? r.bits : key == "pre_data_bits" ? r.preDataBits : r.postDataBits) = static_cast<int>(n[0]);
            return true;
        case Value::Bits64:
            if (!count(1, 1) || !numbers(std::numeric_limits<std::uint64_t>::max(), "a number of at most 64 bits"))
                return false;
            if (key == "pre_data") r.preData = n[0];
            if (key == "post_data") r.postData = n[0];
            if (key == "toggle_bit_mask") r.toggleBitMask = n[0];
            if (key == "rc6_mask") r.rc6Mask = n[0];
            return true;
        case Value::ToggleBit:
            if (!count(1, 1) || !numbers(64, "a bit number from 0 to 64")) return false;
            toggleBit_ = static_cast<int>(n[0]);
            toggleBitLine_ = line;
            return true;
        case Value::Number:
            if (!count(1, 1) || !numbers(0xFFFFFFFFu, "a number from 0 to 4294967295")) return false;
            if (key == "frequency") r.frequency = static_cast<std::uint32_t>(n[0]);
            return true;
        }
        return true;
    }

    // "SPACE_ENC|CONST_LENGTH", possibly with blanks around the bars.
    bool Flags(LircRemote& r, std::string_view word, std::size_t line) {
        while (!word.empty()) {
            const std::size_t bar = word.find('|');
            const std::string_view name = word.substr(0, bar);
            word.remove_prefix(bar == std::string_view::npos ? word.size() : bar + 1);
            if (name.empty()) continue;
            const FlagName* f = nullptr;
            for (const FlagName& candidate : kFlags)
                if (EqualsIgnoreCase(candidate.name, name)) f = &candidate;
            if (f == nullptr) return Fail(line, "unknown flag " + Quoted(name));
            if (f->flag == 0 && unsupported_.empty()) unsupported_ = "flag " + std::string(f->name) + " is not built";
            r.flags |= f->flag;
        }
        return true;
    }

    // Checks a remote at its end remote; an empty reason when its frames can be built.
    bool Finish(LircRemote& r, bool raw, std::size_t endLine, std::string& skip) {
        if (r.name.empty()) return Fail(r.line, "a remote without a name");
        const int total = r.preDataBits + r.bits + r.postDataBits;
        if (total > 64) return Fail(r.line, "remote " + Quoted(r.name) + " has more than 64 bits in all");
        if (toggleBit_ > 0) {
            if (toggleBit_ > total)
                return Fail(toggleBitLine_, "toggle bit " + std::to_string(toggleBit_) + " of a frame of " +
                                                std::to_string(total) + " bits");
            if (r.toggleBitMask == 0) r.toggleBitMask = std::uint64_t{1} << (total - toggleBit_);
        }
        const auto fits = [](std::uint64_t value, int bits) { return bits >= 64 || (value >> bits) == 0; };
        if (!fits(r.preData, r.preDataBits) || !fits(r.postData, r.postDataBits))
            return Fail(r.line, "remote " + Quoted(r.name) + ": pre_data or post_data wider than its bits");
        for (const LircButton& b : r.buttons)
            for (const std::uint64_t code : b.codes)
                if (!fits(code, r.bits))
                    return Fail(b.line, "code " + Hex(code) + " is wider than the remote's " + std::to_string(r.bits) +
                                            " bits");
        const bool biphase = (r.flags & (LircRc5 | LircRc6)) != 0;
        const auto timed = [](const LircPair& p) { return p.pulse > 0 || p.space > 0; };
        if (!unsupported_.empty()) {
            skip = unsupported_;
        } else if (!raw && (!timed(r.one) || !timed(r.zero))) {
            skip = "no timing: a receiver that decodes this remote itself";
        } else if (!raw && biphase && (!r.one.Present() || !r.zero.Present())) {
            skip = "a bi-phase remote without marks and spaces for its bits";
        } else if (!raw && r.bits == 0 && !r.buttons.empty()) {
            return Fail(endLine, "remote " + Quoted(r.name) + " has codes but no bits");
        }
        return true;
    }

    void Reset() {
        toggleBit_ = 0;
        unsupported_.clear();
    }

private:
    const std::string& path_;
    std::string& error_;
    LircPair unused_;
    int toggleBit_ = 0;
    std::size_t toggleBitLine_ = 0;
    std::string unsupported_;
};

}  // namespace

bool ParseLircdConf(std::string_view text, const std::string& path, LircFile& out, std::string& error) {
    std::vector<std::string_view> lines;
    if (!SplitRemoteLines(text, path, lines, error)) return false;
    RemoteReader reader(path, error);
    LircFile file;
    enum class In { File, Remote, Codes, RawCodes } in = In::File;
    LircRemote remote;
    bool raw = false, listed = false;  // raw_codes; a list of codes read
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::size_t line = i + 1;
        const std::vector<std::string_view> w = Words(lines[i]);
        if (w.empty()) continue;
        const bool begin = w.size() == 2 && w[0] == "begin", end = w.size() == 2 && w[0] == "end";
        switch (in) {
        case In::File:
            if (begin && w[1] == "remote") {
                remote = LircRemote{};
                remote.line = line;
                raw = listed = false;
                reader.Reset();
                in = In::Remote;
            } else if (w[0] == "include") {
                file.skipped.push_back({std::string(lines[i]), line, 0, "an include of other files is not followed"});
            } else {
                return reader.Fail(line, "expected 'begin remote', found " + Quoted(lines[i]));
            }
            break;
        case In::Remote:
            if (end && w[1] == "remote") {
                std::string skip;
                if (!reader.Finish(remote, raw, line, skip)) return false;
                if (raw) remote.flags |= LircRawCodes;
                if ((remote.flags & (LircRc5 | LircRc6 | LircSpaceEnc | LircRawCodes)) == 0)
                    remote.flags |= LircSpaceEnc;  // as LIRC assumes
                if (skip.empty())
                    file.remotes.push_back(std::move(remote));
                else
                    file.skipped.push_back({remote.name, remote.line, remote.buttons.size(), skip});
                in = In::File;
            } else if (begin && (w[1] == "codes" || w[1] == "raw_codes")) {
                if (listed) return reader.Fail(line, "a second list of codes in remote " + Quoted(remote.name));
                raw = w[1] == "raw_codes";
                listed = true;
                in = raw ? In::RawCodes : In::Codes;
            } else if (w[0] == "begin" || w[0] == "end") {
                return reader.Fail(line, "unexpected " + Quoted(lines[i]) + " in remote " + Quoted(remote.name));
            } else if (!reader.Parameter(remote, w, line)) {
                return false;
            }
            break;
        case In::Codes:
            if (end && w[1] == "codes") {
                in = In::Remote;
                break;
            }
            if (w.size() < 2) return reader.Fail(line, "button " + Quoted(w[0]) + " without a code");
            if (w[0].size() > kMaxNameLength) return reader.Fail(line, "a button name longer than 255 characters");
            {
                LircButton& b = remote.buttons.emplace_back();
                b.name = w[0];
                b.line = line;
                for (std::size_t k = 1; k < w.size(); ++k) {
                    std::uint64_t code = 0;
                    if (!ParseRemoteNumber(w[k], std::numeric_limits<std::uint64_t>::max(), code))
                        return reader.Fail(line, Quoted(w[k]) + " is not a code of at most 64 bits");
                    b.codes.push_back(code);
                }
            }
            break;
        case In::RawCodes:
            if (end && w[1] == "raw_codes") {
                in = In::Remote;
                break;
            }
            if (w[0] == "name") {
                if (w.size() != 2) return reader.Fail(line, "expected 'name BUTTON', found " + Quoted(lines[i]));
                if (w[1].size() > kMaxNameLength) return reader.Fail(line, "a button name longer than 255 characters");
                LircButton& b = remote.buttons.emplace_back();
                b.name = w[1];
                b.line = line;
                break;
            }
            if (remote.buttons.empty()) return reader.Fail(line, "durations before the first 'name'");
            for (const std::string_view word : w) {
                std::vector<std::uint32_t>& d = remote.buttons.back().durations;
                std::uint64_t micros = 0;
                if (!ParseRemoteNumber(word, kMaxMicros, micros) || micros == 0)
                    return reader.Fail(line, Quoted(word) + " is not a duration in microseconds from 1 to " +
                                                 std::to_string(kMaxMicros));
                if (d.size() == MaxLircDurations)
                    return reader.Fail(line, "button " + Quoted(remote.buttons.back().name) + " has more than " +
                                                 std::to_string(MaxLircDurations) + " durations");
                d.push_back(static_cast<std::uint32_t>(micros));
            }
            break;
        }
    }
    if (in != In::File)
        return reader.Fail(lines.size(),
                           "the file ends inside the remote begun at line " + std::to_string(remote.line));
    for (const LircRemote& r : file.remotes)
        for (const LircButton& b : r.buttons)
            if ((r.flags & LircRawCodes) != 0 && b.durations.empty())
                return reader.Fail(b.line, "button " + Quoted(b.name) + " has no durations");
    out = std::move(file);
    return true;
}

namespace {

// Appends marks and spaces as a transmitter sends them: neighbours of one
// kind merge, a space before the first mark is never seen, and the space
// after the last one is kept apart, as it only lengthens the gap.
class DurationWriter {
public:
    explicit DurationWriter(std::vector<std::uint32_t>& out) : out_(out) { out_.clear(); }

    void Pulse(std::uint64_t micros) { Add(true, micros); }
    void Space(std::uint64_t micros) { Add(false, micros); }
    void Pair(const LircPair& p) {
        Pulse(p.pulse);
        Space(p.space);
    }
    // The space after the last mark, taken off the durations.
    std::uint32_t Finish() {
        std::uint32_t trailing = 0;
        if (!out_.empty() && !lastPulse_) {
            trailing = out_.back();
            out_.pop_back();
        }
        return trailing;
    }

private:
    void Add(bool pulse, std::uint64_t micros) {
        if (micros == 0 || (out_.empty() && !pulse)) return;
        const std::uint64_t cap = 0xFFFFFFFFu;
        if (!out_.empty() && pulse == lastPulse_) {
            out_.back() = static_cast<std::uint32_t>(std::min(cap, out_.back() + micros));
            return;
        }
        out_.push_back(static_cast<std::uint32_t>(std::min(cap, micros)));
        lastPulse_ = pulse;
    }

    std::vector<std::uint32_t>& out_;
    bool lastPulse_ = false;
};

std::uint64_t Reversed(std::uint64_t value, int bits) {
    std::uint64_t out = 0;
    for (int i = 0; i < bits; ++i) out |= (value >> i & 1) << (bits - 1 - i);
    return out;
}

class FrameBuilder {
public:
    FrameBuilder(const LircRemote& r, bool toggled) : r_(r), toggled_(toggled) {
        total_ = r.preDataBits + r.bits + r.postDataBits;
        for (std::uint64_t m = r.toggleBitMask; m != 0; m &= m - 1) ++toggleBits_;
    }

    // header, plead, pre_data, pre, the code, post, post_data, ptrail, foot.
    void Frame(DurationWriter& w, std::uint64_t code, bool header, bool foot) {
        if (header && r_.header.Present()) w.Pair(r_.header);
        w.Pulse(r_.plead);
        int done = 0;
        if (r_.preDataBits > 0) {
            Bits(w, r_.preData, r_.preDataBits, done);
            if (r_.pre.Present()) w.Pair(r_.pre);
        }
        Bits(w, code, r_.bits, done);
        if (r_.postDataBits > 0) {
            if (r_.post.Present()) w.Pair(r_.post);
            Bits(w, r_.postData, r_.postDataBits, done);
        }
        w.Pulse(r_.ptrail);
        if (foot && r_.foot.Present()) {
            w.Space(r_.foot.space);
            w.Pulse(r_.foot.pulse);
        }
    }

    // The repeat code in place of everything from plead to ptrail.
    void Repeat(DurationWriter& w) {
        if ((r_.flags & LircRepeatHeader) != 0 && r_.header.Present()) w.Pair(r_.header);
        w.Pulse(r_.plead);
        w.Pair(r_.repeat);
        w.Pulse(r_.ptrail);
    }

private:
    // count bits of value, the first the most significant (the least with
    // REVERSE); done bits of the frame went before them.
    void Bits(DurationWriter& w, std::uint64_t value, int count, int& done) {
        if ((r_.flags & LircReverse) != 0) value = Reversed(value, count);
        const bool biphase = (r_.flags & (LircRc5 | LircRc6)) != 0;
        const bool spaceFirst = (r_.flags & LircSpaceFirst) != 0;
        for (int i = count - 1; i >= 0; --i, ++done) {
            const std::uint64_t position = std::uint64_t{1} << (total_ - 1 - done);
            bool one = (value >> i & 1) != 0;
            if ((r_.toggleBitMask & position) != 0) one = toggleBits_ == 1 ? toggled_ : one != toggled_;
            const std::uint64_t times = biphase && (r_.rc6Mask & position) != 0 ? 2 : 1;
            const LircPair& p = one ? r_.one : r_.zero;
            // Bi-phase: a one is a space then a mark, a zero a mark then a space.
            if ((biphase && one) || (!biphase && spaceFirst)) {
                w.Space(times * p.space);
                w.Pulse(times * p.pulse);
            } else {
                w.Pulse(times * p.pulse);
                w.Space(times * p.space);
            }
        }
    }

    const LircRemote& r_;
    bool toggled_;
    int total_ = 0;
    int toggleBits_ = 0;
};

// The space after a frame until the next: gap itself, or with
// CONST_LENGTH what the frame leaves of it.
std::uint32_t GapAfter(const LircRemote& r, const std::vector<std::uint32_t>& frame, std::uint32_t trailing,
                       std::uint32_t gap) {
    if ((r.flags & LircConstLength) == 0)
        return static_cast<std::uint32_t>(std::min<std::uint64_t>(0xFFFFFFFFu, std::uint64_t{trailing} + gap));
    std::uint64_t length = 0;
    for (const std::uint32_t d : frame) length += d;
    return static_cast<std::uint32_t>(std::max<std::uint64_t>(length < gap ? gap - length : 0, trailing));
}

}  // namespace

bool BuildLircFrame(const LircRemote& remote, const LircButton& button, std::size_t index, bool toggled,
                    LircFrame& out, std::string& reason) {
    const bool raw = !button.durations.empty();
    if (raw ? index != 0 : index >= button.codes.size()) {
        reason = "button " + Quoted(button.name) + " has no code number " + std::to_string(index + 1);
        return false;
    }
    FrameBuilder builder(remote, toggled);
    LircFrame frame;
    DurationWriter w(frame.durations);
    if (raw) {
        for (std::size_t i = 0; i < button.durations.size(); ++i)
            (i % 2 == 0) ? w.Pulse(button.durations[i]) : w.Space(button.durations[i]);
    } else {
        builder.Frame(w, button.codes[index], true, true);
    }
    const std::uint32_t trailing = w.Finish();
    frame.gap = GapAfter(remote, frame.durations, trailing, remote.gap);
    DurationWriter rw(frame.repeat);
    if (raw)
        frame.repeat = frame.durations;
    else if (remote.repeat.Present())
        builder.Repeat(rw);
    else
        builder.Frame(rw, button.codes[index], (remote.flags & LircNoHeadRep) == 0,
                      (remote.flags & LircNoFootRep) == 0);
    const std::uint32_t repeatTrailing = raw ? trailing : rw.Finish();
    frame.repeatGap =
        GapAfter(remote, frame.repeat, repeatTrailing, remote.repeatGap > 0 ? remote.repeatGap : remote.gap);
    if (frame.durations.empty()) {
        reason = "button " + Quoted(button.name) + " sends no mark";
        return false;
    }
    if (frame.durations.size() > MaxLircDurations || frame.repeat.size() > MaxLircDurations) {
        reason = "button " + Quoted(button.name) + " sends more than " + std::to_string(MaxLircDurations) +
                 " durations";
        return false;
    }
    out = std::move(frame);
    return true;
}

}  // namespace orbisk
