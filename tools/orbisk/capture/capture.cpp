#include "capture/capture.h"

#include <cmath>
#include <optional>
#include <random>

#include "commands/commands.h"
#include "common/text.h"
#include "receiver/frame_cutter.h"

namespace orbisk::tool {
namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
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
    // The older forms: address and command of NEC, RC-5 and Sony SIRC-12.
    struct AddressForm {
        const char* name;
        IrProtocol protocol;
        long long maxAddress;
        long long maxCommand;
        int addressShift;
    };
    static constexpr AddressForm kAddressForms[] = {
        {"nec", IrProtocol::Nec, 255, 255, 8},
        {"rc5", IrProtocol::Rc5, 31, 127, 8},
        {"sirc", IrProtocol::Sony12, 31, 127, 16},
    };
    std::vector<std::string_view> fields;
    for (std::string_view rest = text;;) {
        const std::size_t colon = rest.find(':');
        fields.push_back(rest.substr(0, colon));
        if (colon == std::string_view::npos) break;
        rest.remove_prefix(colon + 1);
    }
    const std::string key(text);
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
    const AddressForm* addressForm = nullptr;
    for (const AddressForm& l : kAddressForms)
        if (EqualsIgnoreCase(fields[0], l.name)) addressForm = &l;
    const std::optional<IrProtocol> protocol = FindIrProtocol(fields[0]);
    KeyPress press = out;
    press.holdMs = 0;
    if (addressForm != nullptr && (fields.size() == 3 || fields.size() == 4)) {
        std::uint32_t address = 0, command = 0;
        if (!number(fields[1], "address", addressForm->maxAddress, address) ||
            !number(fields[2], "command", addressForm->maxCommand, command) ||
            (fields.size() == 4 && !number(fields[3], "hold time", 3600000, press.holdMs)))
            return false;
        press.frame = {addressForm->protocol, address << addressForm->addressShift | command, false};
    } else if (protocol && (fields.size() == 2 || fields.size() == 3)) {
        const IrProtocolInfo& info = ProtocolInfo(*protocol);
        press.frame = {*protocol, 0, false};
        IrDurations check;
        if (!number(fields[1], "scancode", info.scancodeMask, press.frame.scancode) ||
            (fields.size() == 3 && !number(fields[2], "hold time", 3600000, press.holdMs)))
            return false;
        if (!EncodeIrFrame(press.frame, check)) {
            error = "'" + key + "': " + std::string(info.name) + " cannot send scancode " + std::string(fields[1]);
            return false;
        }
    } else if (addressForm == nullptr && !protocol) {
        std::string names;
        for (int p = 1; p < IrProtocolCount; ++p) names += std::string(ProtocolInfo(static_cast<IrProtocol>(p)).name) + ", ";
        error = "'" + key + "': unknown protocol '" + std::string(fields[0]) + "' (" + names + "or sirc)";
        return false;
    } else {
        error = "'" + key + "' is not a key: write PROTOCOL:SCANCODE[:HOLD_MS] or, for nec, rc5 and sirc, "
                "PROTOCOL:ADDRESS:COMMAND[:HOLD_MS]";
        return false;
    }
    out = press;
    return true;
}

namespace {

class BurstWriter {
public:
    BurstWriter(const GeneratorOptions& options, std::vector<TimedBurst>& out)
        : options_(options), random_(options.seed), out_(out) {}

    // Adds a frame that starts at startMicros; returns the time it ends.
    double Add(const IrFrame& frame, IrForm form, double startMicros) {
        IrDurations durations;
        EncodeIrFrame(frame, durations, form);
        const double tick = ProtocolInfo(frame.protocol).tickMicros;
        TimedBurst burst;
        burst.durations.resize(static_cast<std::size_t>(durations.count));
        // mt19937 is the same everywhere, unlike the standard distributions,
        // so a seed gives the same capture on every platform.
        const auto deviation = [this] {
            const double spread = static_cast<double>(random_()) / 4294967296.0 * 2.0 - 1.0;
            return spread * options_.jitterPercent / 100.0;
        };
        RenderIrDurations(durations, tick, options_.unitMicros, options_.biasMicros, deviation,
                          burst.durations.data());
        double micros = 0;
        for (int i = 0; i < durations.count; ++i) micros += durations.ticks[static_cast<std::size_t>(i)] * tick;
        const double end = startMicros + micros;
        burst.atMs = static_cast<std::uint32_t>(std::llround((end + ReceiverGapMicros) / 1000.0));
        out_.push_back(std::move(burst));
        return end;
    }

private:
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
    bool toggle = false;
    for (const KeyPress& press : presses) {
        IrFrame frame = press.frame;
        const IrProtocolInfo& info = ProtocolInfo(frame.protocol);
        if (info.hasToggle) {
            frame.toggle = toggle;
            toggle = !toggle;
        }
        const double start = now;
        const double holdMicros = press.holdMs * 1000.0;
        const double period = info.periodMicros;
        double end = writer.Add(frame, IrForm::Frame, start);
        IrDurations followUp;
        const bool hasFollowUp = EncodeIrFrame(frame, followUp, IrForm::FollowUp);
        if (info.echoMicros > 0) {
            // Every frame is followed by its echo; a held key sends the pair again.
            for (int k = 0;; ++k) {
                if (k > 0) end = writer.Add(frame, IrForm::Frame, end + info.echoMicros);
                end = writer.Add(frame, IrForm::FollowUp, end + info.echoMicros);
                if (end - start >= holdMicros) break;
            }
        } else {
            for (int k = 1; k < info.leastFrames || k * period < holdMicros; ++k)
                end = writer.Add(frame, hasFollowUp ? IrForm::FollowUp : IrForm::Frame, start + k * period);
        }
        now = end + press.gapMs * 1000.0;
    }
    return bursts;
}

}  // namespace orbisk::tool
