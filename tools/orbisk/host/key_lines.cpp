#include "host/key_lines.h"

#include <algorithm>
#include <string_view>

#include "common/text.h"

namespace orbisk::tool {

std::optional<HostKeyEvent> KeyEventFromMessage(std::uint32_t message, std::uintptr_t wparam,
                                                std::intptr_t lparam) {
    if (message != ORBISK_KEY_MESSAGE || wparam == 0) return std::nullopt;
    // The record and the texts it points to are valid only while send runs.
    const auto* record = reinterpret_cast<const OrbiskKeyEventRecord*>(wparam);
    const char* remote = OrbiskRecordRemoteName(record);
    const char* code = OrbiskRecordCodeText(record);
    return HostKeyEvent{lparam, std::string(FieldText(record->KeyName, sizeof record->KeyName)),
                        remote ? remote : "", code ? code : ""};
}

std::string FormatKeyLine(const HostKeyEvent& event) {
    std::string line = event.value == ORBISK_KEY_PRESS     ? "press"
                       : event.value == ORBISK_KEY_RELEASE ? "release"
                                                           : "repeat " + std::to_string(event.value);
    line.append("\t").append(ControlCharactersReplaced(event.keyName));
    line.append("\t").append(ControlCharactersReplaced(event.remoteName));
    line.append("\t").append(ControlCharactersReplaced(event.codeText)).append("\n");
    return line;
}

void KeyLines::Add(const HostKeyBatch& batch) {
    dropped_ += batch.dropped;
    for (const HostKeyEvent& event : batch.events) Add(event);
}

void KeyLines::Add(const HostKeyEvent& event) {
    const std::string line = FormatKeyLine(event);
    const bool fits = pending_.size() - written_ + line.size() <= limit_;
    if (event.value == ORBISK_KEY_PRESS) keyIn_ = fits;
    if (keyIn_ && (fits || event.value == ORBISK_KEY_RELEASE))
        pending_ += line;
    else
        ++dropped_;
    if (event.value == ORBISK_KEY_RELEASE) keyIn_ = false;
}

void KeyLines::Written(std::size_t count) {
    written_ += std::min(count, pending_.size() - written_);
    // Linear however the writes split: the written part goes once it is
    // the larger half.
    if (written_ * 2 >= pending_.size()) {
        pending_.erase(0, written_);
        written_ = 0;
    }
}

std::string ReportsAsOneLine(const std::string& reports) {
    constexpr std::string_view kCaption = ORBISK_DESCRIPTION ": ";
    std::string line;
    std::size_t start = 0;
    while (start < reports.size()) {
        std::size_t end = reports.find('\n', start);
        if (end == std::string::npos) end = reports.size();
        std::string_view text(reports.data() + start, end - start);
        if (text.substr(0, kCaption.size()) == kCaption) text.remove_prefix(kCaption.size());
        if (!text.empty()) line.append(line.empty() ? "" : "; ").append(text);
        start = end + 1;
    }
    return line;
}

}  // namespace orbisk::tool
