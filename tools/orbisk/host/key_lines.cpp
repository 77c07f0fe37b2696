#include "host/key_lines.h"

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
    line.append("\t").append(event.keyName);
    line.append("\t").append(event.remoteName);
    line.append("\t").append(event.codeText).append("\n");
    return line;
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
