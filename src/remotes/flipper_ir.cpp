#include "remotes/flipper_ir.h"

#include <cstdio>
#include <cstdlib>

#include "common/text.h"
#include "receiver/analysis/protocol_table.h"
#include "remotes/remote_text.h"

namespace orbisk {

namespace {

constexpr std::size_t kMaxNameLength = 255;
// Flipper's own carrier limits.
constexpr std::uint64_t kMinFrequency = 10000, kMaxFrequency = 56000;

// The fields of a button after its name:, each at most once.
enum Field : unsigned { Type = 1, Protocol = 2, Address = 4, Command = 8, Frequency = 16, DutyCycle = 32, Data = 64 };
enum class Needs { Any, Parsed, Raw };
struct FieldInfo {
    std::string_view key;
    Field field;
    Needs needs;
};
constexpr FieldInfo kFields[] = {
    {"type", Type, Needs::Any},           {"protocol", Protocol, Needs::Parsed},
    {"address", Address, Needs::Parsed},  {"command", Command, Needs::Parsed},
    {"frequency", Frequency, Needs::Raw}, {"duty_cycle", DutyCycle, Needs::Raw},
    {"data", Data, Needs::Raw},
};

// "04 00 00 00": hexadecimal bytes, least significant first; false for
// anything else.  How many there are is left to the caller: a button with
// another count than four is damaged, not the file.
bool ParseBytes(std::string_view value, std::uint32_t& out, int& count) {
    std::uint32_t result = 0;
    count = 0;
    for (std::string_view word = NextWord(value); !word.empty(); word = NextWord(value), ++count) {
        std::uint64_t byte = 0;
        if (word.size() != 2 || !ParseRemoteNumber("0x" + std::string(word), 0xFF, byte)) return false;
        if (count < 4) result |= static_cast<std::uint32_t>(byte) << (8 * count);
    }
    out = result;
    return count > 0;
}

// "0.330000": a fraction above 0 and at most 1.
bool ParseDutyCycle(std::string_view value) {
    const std::size_t dot = value.find('.');
    const std::string_view whole = value.substr(0, dot);
    const std::string_view fraction = dot == std::string_view::npos ? std::string_view{} : value.substr(dot + 1);
    const auto digits = [](std::string_view s) {
        for (const char c : s)
            if (c < '0' || c > '9') return false;
        return true;
    };
    if (whole.empty() || whole.size() > 8 || fraction.size() > 16 || !digits(whole) || !digits(fraction) ||
        (dot != std::string_view::npos && fraction.empty()))
        return false;
    const double d = std::strtod(std::string(value).c_str(), nullptr);
    return d > 0 && d <= 1;
}

bool ParseDurations(std::string_view value, std::vector<std::uint32_t>& out, std::string& reason) {
    out.clear();
    for (std::string_view word = NextWord(value); !word.empty(); word = NextWord(value)) {
        if (out.size() == MaxFlipperDurations) {
            reason = "more than " + std::to_string(MaxFlipperDurations) + " durations";
            return false;
        }
        std::uint64_t micros = 0;
        if (!ParseRemoteNumber(word, 0xFFFFFFFFu, micros) || micros == 0) {
            reason = Quoted(word) + " is not a duration in microseconds from 1 to 4294967295";
            return false;
        }
        out.push_back(static_cast<std::uint32_t>(micros));
    }
    if (out.empty()) reason = "no durations";
    return !out.empty();
}

}  // namespace

bool ParseFlipperIr(std::string_view text, const std::string& path, std::vector<FlipperButton>& out,
                    std::string& error) {
    std::vector<std::string_view> lines;
    if (!SplitRemoteLines(text, path, lines, error)) return false;
    const auto fail = [&](std::size_t line, std::string_view reason) {
        return RemoteLineError(path, line, reason, error);
    };
    std::vector<FlipperButton> buttons;
    unsigned seen = 0;
    // The last button has every field its type needs.
    const auto complete = [&]() {
        if (buttons.empty()) return true;
        const FlipperButton& b = buttons.back();
        const unsigned needed = (seen & Type) == 0 ? Type
                                : b.raw             ? Frequency | DutyCycle | Data
                                                    : Protocol | Address | Command;
        for (const FieldInfo& f : kFields)
            if ((needed & f.field) != 0 && (seen & f.field) == 0)
                return fail(b.line, "button " + Quoted(b.name) + " has no '" + std::string(f.key) + ":'");
        return true;
    };
    int header = 0;  // Filetype and Version read
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        const std::size_t number = i + 1;
        if (line.empty() || line[0] == '#') continue;  // separators and comments
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) return fail(number, "expected 'key: value', found " + Quoted(line));
        const std::string_view key = TrimBlanks(line.substr(0, colon));
        const std::string_view value = TrimBlanks(line.substr(colon + 1));
        if (header == 0) {
            if (key != "Filetype" || (value != "IR signals file" && value != "IR library file"))
                return fail(number, "not a Flipper IR file: expected 'Filetype: IR signals file' or "
                                    "'Filetype: IR library file'");
            header = 1;
            continue;
        }
        if (header == 1) {
            if (key != "Version" || value != "1") return fail(number, "expected 'Version: 1', found " + Quoted(line));
            header = 2;
            continue;
        }
        if (key == "name") {
            if (!complete()) return false;
            if (value.empty()) return fail(number, "a button without a name");
            // A tab would reach the settings file and terminals in the name.
            if (value.find('\t') != std::string_view::npos) return fail(number, "a tab in the name");
            if (value.size() > kMaxNameLength)
                return fail(number, "a name longer than " + std::to_string(kMaxNameLength) + " characters");
            FlipperButton& b = buttons.emplace_back();
            b.name = value;
            b.line = number;
            seen = 0;
            continue;
        }
        const FieldInfo* info = nullptr;
        for (const FieldInfo& f : kFields)
            if (f.key == key) info = &f;
        if (info == nullptr) return fail(number, "unknown key " + Quoted(key));
        if (buttons.empty()) return fail(number, "'" + std::string(key) + ":' before the first 'name:'");
        FlipperButton& b = buttons.back();
        if ((seen & info->field) != 0)
            return fail(number, "a second '" + std::string(key) + ":' in button " + Quoted(b.name));
        if (info->field != Type && (seen & Type) == 0)
            return fail(number, "'" + std::string(key) + ":' before 'type:' in button " + Quoted(b.name));
        if ((info->needs == Needs::Parsed && b.raw) || (info->needs == Needs::Raw && !b.raw))
            return fail(number, "'" + std::string(key) + ":' in a button of type " + (b.raw ? "raw" : "parsed"));
        seen |= info->field;
        std::uint64_t n = 0;
        std::string reason;
        switch (info->field) {
        case Type:
            if (value != "parsed" && value != "raw")
                return fail(number, "type " + Quoted(value) + " is neither 'parsed' nor 'raw'");
            b.raw = value == "raw";
            break;
        case Protocol:
            if (value.empty() || value.size() > 32 || value.find_first_of(" \t") != std::string_view::npos)
                return fail(number, Quoted(value) + " is not a protocol name");
            b.protocol = value;
            break;
        case Address:
        case Command: {
            int count = 0;
            if (!ParseBytes(value, info->field == Address ? b.address : b.command, count))
                return fail(number, "the " + std::string(key) + " " + Quoted(value) +
                                        " is not four hexadecimal bytes such as '04 00 00 00'");
            // Bytes, but not four: that button is damaged, not the file.
            if (count != 4 && b.damaged.empty())
                b.damaged = "line " + std::to_string(number) + ": the " + std::string(key) + " " + Quoted(value) +
                            " is " + std::to_string(count) + " bytes, not four";
            break;
        }
        case Frequency:
            if (!ParseRemoteNumber(value, kMaxFrequency, n) || n < kMinFrequency)
                return fail(number, "the frequency " + Quoted(value) + " is not a number of Hz from " +
                                        std::to_string(kMinFrequency) + " to " + std::to_string(kMaxFrequency));
            b.frequency = static_cast<std::uint32_t>(n);
            break;
        case DutyCycle:
            if (!ParseDutyCycle(value))
                return fail(number, "the duty cycle " + Quoted(value) + " is not a fraction above 0 and at most 1");
            break;
        case Data:
            if (!ParseDurations(value, b.durations, reason)) return fail(number, reason);
            break;
        }
    }
    if (header < 2)
        return fail(lines.size() + (lines.empty() ? 1 : 0),
                    "not a Flipper IR file: it ends before 'Filetype:' and 'Version: 1'");
    if (!complete()) return false;
    out = std::move(buttons);
    return true;
}

std::string ProtocolKeyText(const ProtocolKey& key) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*s:0x%04x", static_cast<int>(key.protocol.size()), key.protocol.data(),
                  static_cast<unsigned>(key.scancode));
    return text;
}

namespace {

enum class Kind {
    Nec, NecExt, Nec42, Nec42Ext, Samsung32, Rc5, Rc5x, Rc6, Sirc, Sirc15, Sirc20, Kaseikyo, Rca, Pioneer
};

struct FlipperProtocol {
    std::string_view name;
    Kind kind;
    int addressBits;
    int commandBits;
};

// Flipper's protocols and the widths it gives their address and command.
constexpr FlipperProtocol kProtocols[] = {
    {"NEC", Kind::Nec, 8, 8},          {"NECext", Kind::NecExt, 16, 16},     {"NEC42", Kind::Nec42, 13, 8},
    {"NEC42ext", Kind::Nec42Ext, 26, 16}, {"Samsung32", Kind::Samsung32, 8, 8}, {"RC5", Kind::Rc5, 5, 6},
    {"RC5X", Kind::Rc5x, 5, 7},        {"RC6", Kind::Rc6, 8, 8},             {"SIRC", Kind::Sirc, 5, 7},
    {"SIRC15", Kind::Sirc15, 8, 7},    {"SIRC20", Kind::Sirc20, 13, 7},      {"Kaseikyo", Kind::Kaseikyo, 26, 10},
    {"RCA", Kind::Rca, 4, 8},          {"Pioneer", Kind::Pioneer, 8, 8},
};

std::uint32_t Reversed(std::uint32_t value, int bits) {
    std::uint32_t out = 0;
    for (int i = 0; i < bits; ++i) out |= (value >> i & 1) << (bits - 1 - i);
    return out;
}

std::string Hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(value));
    return text;
}

// Kaseikyo's 48 bits as Flipper sends them, read as Orbisk's one protocol
// per vendor reads them: the device nibble and the third and fourth bytes,
// Sharp-K's 4 more bits from the check byte, whose other nibble must then
// be what Sharp-K's check gives.
std::optional<ProtocolKey> KaseikyoKey(std::uint32_t a, std::uint32_t c, std::string& reason) {
    const std::uint32_t id = a >> 24 & 3, vendor = a >> 8 & 0xFFFF, genre1 = a >> 4 & 0xF, genre2 = a & 0xF;
    const std::uint32_t parity = (vendor ^ vendor >> 4 ^ vendor >> 8 ^ vendor >> 12) & 0xF;
    const std::uint32_t b2 = parity | genre1 << 4, b3 = genre2 | (c & 0xF) << 4, b4 = (c >> 4 & 0x3F) | id << 6;
    const std::uint32_t b5 = b2 ^ b3 ^ b4;
    std::uint32_t scancode = genre1 << 16 | b3 << 8 | b4;
    switch (vendor) {
    case 0x2002: return ProtocolKey{"panasonic", scancode};
    case 0x3254: return ProtocolKey{"denon_k", scancode};
    case 0x0103: return ProtocolKey{"jvc48", scancode};
    case 0x5AAA: {
        const std::uint32_t extra = b5 & 0xF;
        const std::uint32_t check = (genre1 ^ b3 ^ b3 >> 4 ^ b4 ^ b4 >> 4 ^ extra) & 0xF;
        if (check != b5 >> 4) {
            reason = "its check byte is not Sharp-K's";
            return std::nullopt;
        }
        scancode |= extra << 20;
        return ProtocolKey{"sharp_k", scancode};
    }
    default:
        reason = "Kaseikyo of vendor " + Hex(vendor) + " has no Orbisk key";
        return std::nullopt;
    }
}

}  // namespace

std::optional<ProtocolKey> FlipperKey(const FlipperButton& button, std::string& reason) {
    if (button.raw) {
        reason = "a raw capture has no protocol";
        return std::nullopt;
    }
    if (!button.damaged.empty()) {
        reason = button.damaged;
        return std::nullopt;
    }
    const FlipperProtocol* p = nullptr;
    for (const FlipperProtocol& candidate : kProtocols)
        if (EqualsIgnoreCase(candidate.name, button.protocol)) p = &candidate;
    if (p == nullptr) {
        reason = "Flipper protocol " + Quoted(button.protocol) + " has no Orbisk key";
        return std::nullopt;
    }
    const std::uint32_t a = button.address, c = button.command;
    if ((a >> p->addressBits) != 0 || (c >> p->commandBits) != 0) {
        reason = std::string(p->name) + " carries " + std::to_string(p->addressBits) + " address and " +
                 std::to_string(p->commandBits) + " command bits: address " + Hex(a) + ", command " + Hex(c);
        return std::nullopt;
    }
    switch (p->kind) {
    case Kind::Nec:
    case Kind::Pioneer:  // real Pioneer remotes send plain NEC
        return ProtocolKey{"nec", a << 8 | c};
    case Kind::NecExt: {
        // The bytes as sent: address low and high, command low and high.
        const std::uint32_t b0 = a & 0xFF, b1 = a >> 8, b2 = c & 0xFF, b3 = c >> 8;
        if (b3 != (b2 ^ 0xFF)) return ProtocolKey{"nec32", b1 << 24 | b0 << 16 | b3 << 8 | b2};
        if (b1 != (b0 ^ 0xFF)) return ProtocolKey{"necx", b0 << 16 | b1 << 8 | b2};
        return ProtocolKey{"nec", b0 << 8 | b2};
    }
    case Kind::Nec42:
        return ProtocolKey{"sanyo", a << 8 | c};
    case Kind::Nec42Ext:
        if ((a >> 13) != (~a & 0x1FFF) || (c >> 8) != (~c & 0xFF)) {
            reason = "NEC42ext whose second address and command are not the first inverted has no Orbisk key";
            return std::nullopt;
        }
        return ProtocolKey{"sanyo", (a & 0x1FFF) << 8 | (c & 0xFF)};
    case Kind::Samsung32:
        return ProtocolKey{"samsung32", a << 8 | c};
    case Kind::Rc5:
        return ProtocolKey{"rc5", a << 8 | c};
    case Kind::Rc5x:  // the field bit clear: command bit 6 set
        return ProtocolKey{"rc5", a << 8 | 0x40 | (c & 0x3F)};
    case Kind::Rc6:
        return ProtocolKey{"rc6_0", a << 8 | c};
    case Kind::Sirc:
        return ProtocolKey{"sony12", a << 16 | c};
    case Kind::Sirc15:
        return ProtocolKey{"sony15", a << 16 | c};
    case Kind::Sirc20:  // 5 device bits, then 8 extended ones
        return ProtocolKey{"sony20", (a & 0x1F) << 16 | (a >> 5) << 8 | c};
    case Kind::Kaseikyo:
        return KaseikyoKey(a, c, reason);
    case Kind::Rca:  // Flipper keeps RCA's fields least significant bit first
        return ProtocolKey{"rca", Reversed(a, 4) << 8 | Reversed(c, 8)};
    }
    return std::nullopt;
}

std::optional<FlipperButton> FlipperParsed(const ProtocolKey& key) {
    const std::uint32_t s = key.scancode;
    FlipperButton b;
    const auto set = [&](std::string_view protocol, std::uint32_t address, std::uint32_t command) {
        b.protocol = protocol;
        b.address = address;
        b.command = command;
    };
    const auto kaseikyo = [&](std::uint32_t vendor) {
        // genre1 << 16 | b3 << 8 | b4, where b3 = genre2 | command's low
        // nibble << 4 and b4 = command's high 6 bits | id << 6.
        const std::uint32_t genre1 = s >> 16 & 0xF, b3 = s >> 8 & 0xFF, b4 = s & 0xFF;
        set("Kaseikyo", (b4 >> 6) << 24 | vendor << 8 | genre1 << 4 | (b3 & 0xF), (b3 >> 4) | (b4 & 0x3F) << 4);
    };
    const std::uint32_t hi = s >> 8 & 0xFF, lo = s & 0xFF;
    const std::optional<IrProtocol> protocol = FindIrProtocol(key.protocol);
    switch (protocol.value_or(IrProtocol::None)) {
    case IrProtocol::Nec: set("NEC", s >> 8, lo); break;
    case IrProtocol::Necx: set("NECext", (s >> 16) | hi << 8, lo | (~lo & 0xFF) << 8); break;
    case IrProtocol::Nec32: set("NECext", (s >> 16 & 0xFF) | (s >> 24) << 8, lo | hi << 8); break;
    case IrProtocol::Sanyo: set("NEC42", s >> 8, lo); break;
    case IrProtocol::Samsung32: set("Samsung32", s >> 8, lo); break;
    case IrProtocol::Rc5: set(lo & 0x40 ? "RC5X" : "RC5", s >> 8, lo & 0x3F); break;  // RC5X: bit 6 implied
    case IrProtocol::Rc6_0: set("RC6", s >> 8, lo); break;
    case IrProtocol::Sony12: set("SIRC", s >> 16, lo); break;
    case IrProtocol::Sony15: set("SIRC15", s >> 16, lo); break;
    case IrProtocol::Sony20: set("SIRC20", (s >> 16 & 0x1F) | hi << 5, lo); break;
    case IrProtocol::Rca: set("RCA", Reversed(s >> 8 & 0xF, 4), Reversed(lo, 8)); break;
    case IrProtocol::Panasonic: kaseikyo(0x2002); break;
    case IrProtocol::DenonK: kaseikyo(0x3254); break;
    case IrProtocol::Jvc48: kaseikyo(0x0103); break;
    case IrProtocol::SharpK: kaseikyo(0x5AAA); break;
    default: return std::nullopt;
    }
    std::string reason;
    const std::optional<ProtocolKey> back = FlipperKey(b, reason);
    if (!back || *back != key) return std::nullopt;
    return b;
}

}  // namespace orbisk
