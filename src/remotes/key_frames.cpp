#include "remotes/key_frames.h"

#include "common/text.h"
#include "receiver/analysis/burst_codes.h"
#include "remotes/flipper_ir.h"
#include "remotes/remote_import.h"
#include "remotes/remote_text.h"
#include "settings/ini_file.h"

namespace orbisk {

namespace {

// LIRC's and Flipper's bounds on a duration and on a capture, which every
// kept burst must meet to be written out again.
constexpr std::uint64_t kMaxMicros = 0xFFFFFF;

bool ProtocolFrame(const IrFrame& frame) {
    return frame.protocol != IrProtocol::None && !IsLevelReading(frame.protocol) && CanEncodeIrFrame(frame);
}

}  // namespace

std::string KeyFrameText(const KeyFrame& frame) {
    if (frame.frame.protocol != IrProtocol::None)
        return ProtocolKeyText({ProtocolInfo(frame.frame.protocol).name, frame.frame.scancode});
    std::string text = frame.receiverUnits ? "units" : "raw";
    for (const std::uint32_t us : frame.micros) text += ' ' + std::to_string(us);
    return text;
}

bool ParseKeyFrame(std::string_view text, KeyFrame& out, std::string& reason) {
    KeyFrame frame;
    std::string_view word = NextWord(text);
    if (word == "raw" || word == "units") {
        frame.receiverUnits = word == "units";
        const std::uint64_t max = frame.receiverUnits ? 0xFD : kMaxMicros;
        for (word = NextWord(text); !word.empty(); word = NextWord(text)) {
            std::uint64_t us = 0;
            if (!ParseRemoteNumber(word, max, us) || us == 0) {
                reason = "the duration " + Quoted(word) + " is not a number from 1 to " + std::to_string(max);
                return false;
            }
            if (frame.micros.size() == MaxFlipperDurations) {
                reason = "more than " + std::to_string(MaxFlipperDurations) + " durations";
                return false;
            }
            frame.micros.push_back(static_cast<std::uint32_t>(us));
        }
        if (frame.micros.empty()) {
            reason = "no durations";
            return false;
        }
    } else {
        const std::size_t colon = word.find(':');
        const std::optional<IrProtocol> protocol =
            colon == std::string_view::npos ? std::nullopt : FindIrProtocol(word.substr(0, colon));
        std::uint64_t scancode = 0;
        if (!protocol || !ParseRemoteNumber(word.substr(colon + 1), 0xFFFFFFFFu, scancode) ||
            !TrimBlanks(text).empty()) {
            reason = "neither 'raw' or 'units' durations nor a protocol and scancode such as nec:0x0408";
            return false;
        }
        frame.frame = IrFrame{*protocol, static_cast<std::uint32_t>(scancode), false};
        if (!ProtocolFrame(frame.frame)) {
            reason = std::string(ProtocolInfo(*protocol).label) + " has no frame of scancode " +
                     std::string(word.substr(colon + 1));
            return false;
        }
    }
    out = std::move(frame);
    return true;
}

std::optional<KeyFrame> RecognisedKeyFrame(const IrFrame& frame, std::uint32_t code) {
    IrFrame key = frame;
    key.toggle = false;
    if (!ProtocolFrame(key) || StableCode(key) != code) return std::nullopt;
    return KeyFrame{key, {}};
}

std::optional<KeyFrame> ImportedKeyFrame(const ImportedKey& key) {
    if (std::optional<KeyFrame> frame = RecognisedKeyFrame(key.frame, key.code)) return frame;
    KeyFrame raw;
    raw.micros = key.micros;
    std::string reason;
    // Only what reads back: a capture's durations are all within bounds.
    if (raw.micros.empty() || !ParseKeyFrame(KeyFrameText(raw), raw, reason)) return std::nullopt;
    return raw;
}

std::optional<KeyFrame> PressKeyFrame(const IrFrame& frame, std::uint32_t code,
                                      const std::vector<std::uint8_t>& burst) {
    if (std::optional<KeyFrame> recognised = RecognisedKeyFrame(frame, code)) return recognised;
    KeyFrame units;
    units.receiverUnits = true;
    units.micros.assign(burst.begin(), burst.end());
    std::string reason;
    if (burst.empty() || !ParseKeyFrame(KeyFrameText(units), units, reason)) return std::nullopt;
    return units;
}

std::vector<std::uint32_t> KeyFrameMicros(const KeyFrame& frame) {
    if (frame.frame.protocol != IrProtocol::None) return IdealMicros(frame.frame);
    std::vector<std::uint32_t> micros = frame.micros;
    if (frame.receiverUnits)
        for (std::uint32_t& us : micros) us *= ReceiverUnitMicros;
    return micros;
}

void KeepFrames(IniDocument& doc, const std::vector<KeptFrame>& frames) {
    std::vector<IniDocument::Note> notes;
    notes.reserve(frames.size());
    for (const KeptFrame& f : frames) notes.push_back({f.remote, f.code, KeyFrameText(f.frame)});
    doc.SetNotes(KeyFrameTag, notes);
}

std::unordered_map<std::string, std::string> KeptFrameTexts(const IniDocument& doc, std::string_view remote) {
    std::unordered_map<std::string, std::string> texts;
    const std::string id = IniSectionId(remote);
    for (IniDocument::Note& note : doc.Notes(KeyFrameTag))
        if (IniSectionId(note.section) == id) texts.emplace(IniKeyId(note.key), std::move(note.text));
    return texts;
}

}  // namespace orbisk
