#include "remotes/remote_export.h"

#include <cstdio>
#include <map>
#include <unordered_set>

#include "common/code_text.h"
#include "common/text.h"
#include "engine/key_table.h"
#include "receiver/analysis/burst_codes.h"
#include "remotes/flipper_ir.h"
#include "remotes/key_frames.h"
#include "remotes/keymap.h"
#include "remotes/remote_import.h"
#include "remotes/remote_text.h"
#include "settings/ini_file.h"
#include "settings/settings.h"

namespace orbisk {

namespace {

// Flipper's and LIRC's usual carrier: the kept frame does not know the
// remote's own, and receivers take any of 36 to 40 kHz.
constexpr unsigned kCarrierHz = 38000;
constexpr std::size_t kMaxNameLength = 255;  // both readers' limit

struct Key {
    std::string name, code;
    KeyFrame frame;
};

// The parsed Flipper button of a protocol frame Flipper has.
std::optional<FlipperButton> ParsedButton(const KeyFrame& frame) {
    return FlipperParsed({ProtocolInfo(frame.frame.protocol).name, frame.frame.scancode});
}

std::string FourBytes(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%02X %02X %02X %02X", value & 0xFF, value >> 8 & 0xFF, value >> 16 & 0xFF,
                  value >> 24);
    return text;
}

std::string Durations(const std::vector<std::uint32_t>& micros, std::size_t perLine, std::string_view indent) {
    std::string text;
    for (std::size_t i = 0; i < micros.size(); ++i) {
        if (i > 0) text += i % perLine == 0 ? "\n" + std::string(indent) : " ";
        text += std::to_string(micros[i]);
    }
    return text;
}

std::string FlipperButtonText(const Key& key) {
    std::string text = "#\nname: " + key.name + "\n";
    if (const std::optional<FlipperButton> b = ParsedButton(key.frame))
        return text + "type: parsed\nprotocol: " + b->protocol + "\naddress: " + FourBytes(b->address) +
               "\ncommand: " + FourBytes(b->command) + "\n";
    return text + "type: raw\nfrequency: " + std::to_string(kCarrierHz) + "\nduty_cycle: 0.330000\ndata: " +
           Durations(KeyFrameMicros(key.frame), std::size_t(-1), "") + "\n";
}

// A word of lircd.conf: no blanks, no comment.
bool LircWord(std::string_view name) {
    return !name.empty() && name.front() != '#' && name.find_first_of(" \t") == std::string_view::npos;
}

// A TOML basic string.
std::string TomlString(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(static_cast<unsigned char>(c)));
            out += escape;
        } else {
            out += c;
        }
    }
    return out + '"';
}

// A keymap table's protocol and variant for a frame: the kernel's protocol
// family and Orbisk's protocol name, which the keymap reader takes back.
KeymapTable KeymapTableOf(IrProtocol protocol) {
    KeymapTable table;
    const std::string_view name = ProtocolInfo(protocol).name;
    constexpr std::pair<std::string_view, std::string_view> kFamilies[] = {
        {"nec", "nec"}, {"rc5", "rc-5"}, {"rc6", "rc-6"}, {"sony", "sony"}, {"rcmm", "rc-mm"}};
    for (const auto& [prefix, family] : kFamilies)
        if (name.substr(0, prefix.size()) == prefix) table.protocol = family;
    if (table.protocol.empty()) {
        table.protocol = name;
        return table;
    }
    // The kernel's spelling, which the reader takes as Orbisk's: "rc-6-mce".
    table.variant = name;
    for (char& c : table.variant)
        if (c == '_') c = '-';
    return table;
}

// Whether the keymap reader takes the key back; the reason when not.
bool InKeymap(const Key& key, std::string& reason) {
    const IrFrame& f = key.frame.frame;
    if (f.protocol == IrProtocol::None) {
        reason = "a raw frame: a kernel keymap holds protocol keys only";
        return false;
    }
    const std::optional<IrFrame> back = KeymapFrame(KeymapTableOf(f.protocol), f.scancode);
    if (!back || StableCode(*back) != StableCode(f)) {
        reason = std::string(ProtocolInfo(f.protocol).label) + " has no kernel keymap protocol";
        return false;
    }
    return true;
}

// The durations a raw button of the format holds: a lircd.conf frame ends
// with a pulse, so a capture's trailing space is not written.
std::vector<std::uint32_t> RawMicros(const KeyFrame& frame, ExportFormat format) {
    std::vector<std::uint32_t> micros = KeyFrameMicros(frame);
    if (format == ExportFormat::LircdConf && micros.size() % 2 == 0) micros.pop_back();
    return micros;
}

// Whether importing the frame gives the key's code, as the import reads a
// parsed key (its stable code) or a raw one (the burst played as a receiver
// reports it, with the decoding the settings file says).
bool ReadsBack(const ImportDecoding& decoding, const Key& key, ExportFormat format) {
    const bool parsed =
        format == ExportFormat::Keymap || (format == ExportFormat::FlipperIr && ParsedButton(key.frame));
    std::uint32_t code = 0;
    if (parsed) {
        code = StableCode(key.frame.frame);
    } else {
        const std::vector<std::uint32_t> codes = LiveCodes(RawMicros(key.frame, format), decoding, 50, 0, 0, 1);
        if (codes.size() != 1) return false;
        code = codes.front();
    }
    return IniKeyId(CodeText(code)) == IniKeyId(key.code);
}

}  // namespace

std::optional<ExportFormat> FindExportFormat(std::string_view word) {
    if (word == "ir") return ExportFormat::FlipperIr;
    if (word == "lircd") return ExportFormat::LircdConf;
    if (word == "keymap") return ExportFormat::Keymap;
    return std::nullopt;
}

namespace {

std::string FlipperText(const std::vector<Key>& keys) {
    std::string text = "Filetype: IR signals file\nVersion: 1\n";
    for (const Key& key : keys) text += FlipperButtonText(key);
    return text;
}

std::string LircdText(const std::string& remote, const std::vector<Key>& keys) {
    std::string name = remote;
    for (char& c : name)
        if (c == ' ' || c == '\t') c = '_';
    if (!LircWord(name)) name = "_" + name;
    std::string text = "# Remote " + remote + ", written by orbisk settings export from the frames kept with its keys\n"
                       "begin remote\n  name  " + name + "\n  flags RAW_CODES\n  eps   30\n  aeps  100\n"
                       "  frequency " + std::to_string(kCarrierHz) + "\n  gap   100000\n  begin raw_codes\n";
    for (const Key& key : keys)
        text += "    name " + key.name + "\n      " +
                Durations(RawMicros(key.frame, ExportFormat::LircdConf), 8, "      ") + "\n";
    return text + "  end raw_codes\nend remote\n";
}

std::string KeymapText(const std::string& remote, const std::vector<Key>& keys) {
    // One table per protocol, in the order the protocols first come.
    std::map<IrProtocol, std::vector<const Key*>> byProtocol;
    std::vector<IrProtocol> order;
    for (const Key& key : keys) {
        std::vector<const Key*>& table = byProtocol[key.frame.frame.protocol];
        if (table.empty()) order.push_back(key.frame.frame.protocol);
        table.push_back(&key);
    }
    std::string text;
    for (const IrProtocol p : order) {
        const KeymapTable table = KeymapTableOf(p);
        text += "[[protocols]]\nname = " + TomlString(remote) + "\nprotocol = " + TomlString(table.protocol) + "\n";
        if (!table.variant.empty()) text += "variant = " + TomlString(table.variant) + "\n";
        text += "[protocols.scancodes]\n";
        for (const Key* key : byProtocol[p]) {
            char scancode[16];
            std::snprintf(scancode, sizeof scancode, "0x%04x", static_cast<unsigned>(key->frame.frame.scancode));
            text += std::string(scancode) + " = " + TomlString(key->name) + "\n";
        }
    }
    return text;
}

// Why the format cannot take the key as it is; empty when it can.
std::string LeftOutReason(const ImportDecoding& decoding,
                          const std::unordered_map<std::string, std::string>& frames, ExportFormat format, Key& key) {
    std::string reason;
    const auto frame = frames.find(IniKeyId(key.code));
    if (!key.code.empty() && key.code.front() == '_') return "disabled";
    if (frame == frames.end())
        return "no kept frame: learned before frames were kept, from an unrecognised press, or by hand";
    if (!ParseKeyFrame(frame->second, key.frame, reason)) return "its kept frame is unreadable: " + reason;
    if (key.name.empty() || key.name.size() > kMaxNameLength) return "a name of 1 to 255 characters is needed";
    if (format == ExportFormat::LircdConf && !LircWord(key.name))
        return "a lircd.conf name is one word, not starting with '#'";
    if (format == ExportFormat::Keymap && !InKeymap(key, reason)) return reason;
    if (!ReadsBack(decoding, key, format))
        return "its kept frame does not give its code (settings changed since, or a hand edit): learn it again";
    return reason;
}

}  // namespace

bool ExportRemote(const IniDocument& doc, const std::string& remote, ExportFormat format, RemoteExport& out,
                  std::string& error) {
    const std::string id = IniSectionId(remote);
    const std::vector<IniDocument::Section> sections = doc.Sections();
    const IniDocument::Section* section = nullptr;
    for (const IniDocument::Section& s : sections)
        if (IniSectionId(s.name) == id && !IsMainSection(s.name)) section = &s;
    if (section == nullptr) {
        error = "no remote control " + Quoted(remote) + " in the settings file";
        return false;
    }

    RemoteExport result;
    Settings settings;
    LoadSettingsFrom(doc, settings);
    const ImportDecoding decoding{settings.RepeatLength.load(), settings.SkipBegin.load(), settings.Recognize.load(),
                                  false};
    const std::unordered_map<std::string, std::string> frames = KeptFrameTexts(doc, remote);
    std::unordered_set<std::string> seen;
    std::vector<Key> keys;
    for (const std::string& entry : section->entries) {
        const std::size_t equals = entry.find('=');
        if (equals == std::string::npos) continue;  // no key
        Key key{entry.substr(equals + 1), entry.substr(0, equals), {}};
        if (!seen.insert(IniKeyId(key.code)).second) continue;  // the file reads the first entry of a code
        if (std::string reason = LeftOutReason(decoding, frames, format, key); !reason.empty())
            result.leftOut.push_back({std::move(key.name), std::move(key.code), std::move(reason)});
        else
            keys.push_back(std::move(key));
    }
    if (keys.empty()) {
        error = "remote control " + Quoted(remote) + ": none of its keys can be exported in this format";
        out = std::move(result);
        return false;
    }
    switch (format) {
    case ExportFormat::FlipperIr: result.text = FlipperText(keys); break;
    case ExportFormat::LircdConf: result.text = LircdText(section->name, keys); break;
    case ExportFormat::Keymap: result.text = KeymapText(section->name, keys); break;
    }
    result.keys = keys.size();
    out = std::move(result);
    return true;
}

}  // namespace orbisk
