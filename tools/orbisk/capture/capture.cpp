#include "capture/capture.h"

#include <cmath>
#include <random>

#include "commands/commands.h"
#include "common/text.h"
#include "receiver/frame_cutter.h"

namespace orbisk::tool {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The next blank-separated word of line, or an empty view at its end.
std::string_view NextWord(std::string_view& line) {
    std::size_t start = 0;
    while (start < line.size() && IsBlank(line[start])) ++start;
    std::size_t end = start;
    while (end < line.size() && !IsBlank(line[end])) ++end;
    const std::string_view word = line.substr(start, end - start);
    line.remove_prefix(end);
    return word;
}

bool ParseMilliseconds(std::string_view digits, std::uint32_t& out) {
    if (digits.empty() || digits.size() > 10) return false;
    std::uint64_t value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (value > 0xFFFFFFFFu) return false;
    out = static_cast<std::uint32_t>(value);
    return true;
}

void AppendHexByte(std::string& out, std::uint8_t byte) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0xF];
}

}  // namespace

bool ParseHexByte(std::string_view token, std::uint8_t& out) {
    if (token.size() > 2 && token[0] == '0' && (token[1] == 'x' || token[1] == 'X')) token.remove_prefix(2);
    if (token.empty() || token.size() > 2) return false;
    int value = 0;
    for (char c : token) {
        const int digit = HexDigit(c);
        if (digit < 0) return false;
        value = value * 16 + digit;
    }
    out = static_cast<std::uint8_t>(value);
    return true;
}

bool ParseCapture(std::string_view text, std::vector<TimedBurst>& out, std::string& error) {
    std::vector<TimedBurst> bursts;
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const std::size_t lineEnd = text.find('\n');
        std::string_view line = text.substr(0, lineEnd);
        text.remove_prefix(lineEnd == std::string_view::npos ? text.size() : lineEnd + 1);
        line = line.substr(0, line.find('#'));

        const auto fail = [&](const std::string& reason) {
            error = "line " + std::to_string(lineNumber) + ": " + reason;
            return false;
        };
        const std::string_view head = NextWord(line);
        if (head.empty()) continue;
        TimedBurst burst;
        if (head[0] != '@' || !ParseMilliseconds(head.substr(1), burst.atMs))
            return fail("expected '@' and a time in milliseconds, found '" + std::string(head) + "'");
        if (!bursts.empty() && burst.atMs < bursts.back().atMs)
            return fail("time " + std::to_string(burst.atMs) + " ms comes before the previous burst's " +
                        std::to_string(bursts.back().atMs) + " ms");
        for (std::string_view word = NextWord(line); !word.empty(); word = NextWord(line)) {
            std::uint8_t byte = 0;
            if (!ParseHexByte(word, byte))
                return fail("'" + std::string(word) + "' is not a hexadecimal byte value");
            if (byte == BurstTerminator)
                return fail("'" + std::string(word) + "' is the burst terminator, not a duration");
            burst.durations.push_back(byte);
        }
        bursts.push_back(std::move(burst));
    }
    out = std::move(bursts);
    return true;
}

std::string FormatCapture(const std::vector<TimedBurst>& bursts) {
    std::string text;
    for (const TimedBurst& burst : bursts) {
        text += '@';
        text += std::to_string(burst.atMs);
        for (std::uint8_t d : burst.durations) {
            text += ' ';
            AppendHexByte(text, d);
        }
        text += '\n';
    }
    return text;
}

std::vector<std::uint8_t> WireBytes(const std::vector<TimedBurst>& bursts) {
    std::vector<std::uint8_t> bytes;
    for (const TimedBurst& burst : bursts) {
        bytes.insert(bytes.end(), burst.durations.begin(), burst.durations.end());
        bytes.push_back(BurstTerminator);
    }
    return bytes;
}

std::string FormatWireHex(const std::vector<TimedBurst>& bursts) {
    std::string text;
    for (const TimedBurst& burst : bursts) {
        for (std::uint8_t d : burst.durations) {
            AppendHexByte(text, d);
            text += ' ';
        }
        AppendHexByte(text, BurstTerminator);
        text += '\n';
    }
    return text;
}

bool ParseKeyPress(std::string_view text, KeyPress& out, std::string& error) {
    struct Protocol {
        const char* name;
        IrProtocol protocol;
        long long maxAddress;
        long long maxCommand;
    };
    static constexpr Protocol kProtocols[] = {
        {"nec", IrProtocol::Nec, 255, 255},
        {"rc5", IrProtocol::Rc5, 31, 127},
        {"sirc", IrProtocol::Sirc12, 31, 127},
    };
    std::vector<std::string_view> fields;
    for (std::string_view rest = text;;) {
        const std::size_t colon = rest.find(':');
        fields.push_back(rest.substr(0, colon));
        if (colon == std::string_view::npos) break;
        rest.remove_prefix(colon + 1);
    }
    const std::string key(text);
    if (fields.size() < 3 || fields.size() > 4) {
        error = "'" + key + "' is not a key: write PROTOCOL:ADDRESS:COMMAND[:HOLD_MS]";
        return false;
    }
    const Protocol* protocol = nullptr;
    for (const Protocol& p : kProtocols)
        if (EqualsIgnoreCase(fields[0], p.name)) protocol = &p;
    if (protocol == nullptr) {
        error = "'" + key + "': unknown protocol '" + std::string(fields[0]) + "' (nec, rc5 or sirc)";
        return false;
    }
    const auto number = [&](std::string_view field, const char* what, long long max, std::uint32_t& value) {
        long long parsed = 0;
        if (ParseNumber(field, 0, max, parsed)) {
            value = static_cast<std::uint32_t>(parsed);
            return true;
        }
        error = "'" + key + "': " + what + " '" + std::string(field) + "' is not a number from 0 to " +
                std::to_string(max);
        return false;
    };
    KeyPress press = out;
    press.protocol = protocol->protocol;
    press.holdMs = 0;
    if (!number(fields[1], "address", protocol->maxAddress, press.address) ||
        !number(fields[2], "command", protocol->maxCommand, press.command) ||
        (fields.size() == 4 && !number(fields[3], "hold time", 3600000, press.holdMs)))
        return false;
    out = press;
    return true;
}

namespace {

// Nominal lengths of marks and spaces in microseconds, starting and ending
// with a mark: the receiver only sees what lies between the first and the
// last flash.
using Frame = std::vector<double>;

constexpr double kNecUnit = 562.5;
constexpr double kNecPeriodMs = 108.0;
constexpr double kRc5HalfBit = 889.0;
constexpr double kRc5PeriodMs = 113.8;
constexpr double kSircUnit = 600.0;
constexpr double kSircPeriodMs = 45.0;
constexpr int kSircLeastFrames = 3;

Frame NecFrame(std::uint32_t address, std::uint32_t command) {
    const std::uint32_t a = address & 0xFF;
    const std::uint32_t c = command & 0xFF;
    const std::uint32_t bits = a | (a ^ 0xFF) << 8 | c << 16 | (c ^ 0xFF) << 24;
    Frame frame{16 * kNecUnit, 8 * kNecUnit};
    for (int i = 0; i < 32; ++i) {
        frame.push_back(kNecUnit);
        frame.push_back((bits >> i) & 1 ? 3 * kNecUnit : kNecUnit);
    }
    frame.push_back(kNecUnit);
    return frame;
}

Frame NecRepeatFrame() { return {16 * kNecUnit, 4 * kNecUnit, kNecUnit}; }

Frame Rc5Frame(std::uint32_t address, std::uint32_t command, bool toggle) {
    // Start bit, field bit (inverted command bit 6), toggle, then 5 address
    // and 6 command bits, most significant first.
    const std::uint32_t word = 1u << 13 | ((command & 0x40) ? 0u : 1u) << 12 | (toggle ? 1u : 0u) << 11 |
                               (address & 0x1F) << 6 | (command & 0x3F);
    // Manchester half-bits: 1 is space then mark, 0 is mark then space.
    std::vector<bool> halves;
    for (int i = 13; i >= 0; --i) {
        const bool one = (word >> i) & 1;
        halves.push_back(!one);
        halves.push_back(one);
    }
    // The receiver sees neither the leading nor the trailing space; equal
    // neighbouring half-bits merge into one mark or space.
    std::size_t first = 0;
    while (!halves[first]) ++first;
    std::size_t last = halves.size() - 1;
    while (!halves[last]) --last;
    Frame frame;
    for (std::size_t i = first; i <= last; ++i) {
        if (i > first && halves[i] == halves[i - 1]) {
            frame.back() += kRc5HalfBit;
        } else {
            frame.push_back(kRc5HalfBit);
        }
    }
    return frame;
}

Frame SircFrame(std::uint32_t address, std::uint32_t command) {
    const std::uint32_t bits = (command & 0x7F) | (address & 0x1F) << 7;
    Frame frame{4 * kSircUnit, kSircUnit};
    for (int i = 0; i < 12; ++i) {
        frame.push_back((bits >> i) & 1 ? 2 * kSircUnit : kSircUnit);
        frame.push_back(kSircUnit);
    }
    frame.pop_back();  // the last space ends in silence
    return frame;
}

double FrameMicros(const Frame& frame) {
    double total = 0;
    for (double d : frame) total += d;
    return total;
}

class BurstWriter {
public:
    BurstWriter(const GeneratorOptions& options, std::vector<TimedBurst>& out)
        : options_(options), random_(options.seed), out_(out) {}

    // Adds a frame that starts at startMicros; returns the time it ends.
    double Add(const Frame& frame, double startMicros) {
        TimedBurst burst;
        for (double nominal : frame) burst.durations.push_back(Units(nominal));
        const double end = startMicros + FrameMicros(frame);
        burst.atMs = static_cast<std::uint32_t>(std::llround((end + ReceiverGapMicros) / 1000.0));
        out_.push_back(std::move(burst));
        return end;
    }

private:
    // Whole units, with the jitter, kept within 1..0xFD: a real receiver
    // saturates long durations below the terminator and reports at least 1.
    std::uint8_t Units(double micros) {
        // mt19937 is the same everywhere, unlike the standard distributions,
        // so a seed gives the same capture on every platform.
        const double spread = static_cast<double>(random_()) / 4294967296.0 * 2.0 - 1.0;
        const double units = micros * (1.0 + spread * options_.jitterPercent / 100.0) / options_.unitMicros;
        const long long rounded = std::llround(units);
        return static_cast<std::uint8_t>(rounded < 1 ? 1 : rounded > 0xFD ? 0xFD : rounded);
    }

    const GeneratorOptions& options_;
    std::mt19937 random_;
    std::vector<TimedBurst>& out_;
};

}  // namespace

std::vector<TimedBurst> GenerateKeyPresses(const std::vector<KeyPress>& presses,
                                           const GeneratorOptions& options) {
    std::vector<TimedBurst> bursts;
    BurstWriter writer(options, bursts);
    double now = 0;  // microseconds: the start of the next press
    bool rc5Toggle = false;
    for (const KeyPress& press : presses) {
        const double start = now;
        const double holdMicros = press.holdMs * 1000.0;
        double end = start;
        switch (press.protocol) {
        case IrProtocol::Nec: {
            end = writer.Add(NecFrame(press.address, press.command), start);
            const Frame repeat = NecRepeatFrame();
            for (int k = 1; k * kNecPeriodMs * 1000.0 < holdMicros; ++k)
                end = writer.Add(repeat, start + k * kNecPeriodMs * 1000.0);
            break;
        }
        case IrProtocol::Rc5: {
            const Frame frame = Rc5Frame(press.address, press.command, rc5Toggle);
            rc5Toggle = !rc5Toggle;
            for (int k = 0; k == 0 || k * kRc5PeriodMs * 1000.0 < holdMicros; ++k)
                end = writer.Add(frame, start + k * kRc5PeriodMs * 1000.0);
            break;
        }
        case IrProtocol::Sirc12: {
            const Frame frame = SircFrame(press.address, press.command);
            for (int k = 0; k < kSircLeastFrames || k * kSircPeriodMs * 1000.0 < holdMicros; ++k)
                end = writer.Add(frame, start + k * kSircPeriodMs * 1000.0);
            break;
        }
        }
        now = end + press.gapMs * 1000.0;
    }
    return bursts;
}

}  // namespace orbisk::tool
