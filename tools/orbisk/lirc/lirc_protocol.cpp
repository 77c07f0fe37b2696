#include "lirc/lirc_protocol.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <unordered_set>

#include "common/text.h"
#include "engine/key_event_record.h"
#include "engine/key_table.h"

namespace orbisk::tool::lirc {

namespace {

// A code text as the number it writes; nothing for text that is not one.
std::optional<std::uint64_t> CodeValue(std::string_view codeText) {
    std::uint64_t value = 0;
    if (codeText.empty() || codeText.size() > 16) return std::nullopt;
    const auto [end, error] = std::from_chars(codeText.data(), codeText.data() + codeText.size(), value, 16);
    if (error != std::errc() || end != codeText.data() + codeText.size()) return std::nullopt;
    return value;
}

std::string Hex16(std::uint64_t code) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(code));
    return text;
}

std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
        if (i > start) words.push_back(line.substr(start, i - start));
    }
    return words;
}

// BEGIN, the command as it came, SUCCESS or ERROR, the data lines, END.
std::string Packet(std::string_view command, bool success, const std::vector<std::string>& data) {
    std::string packet = "BEGIN\n";
    packet.append(command);
    packet += success ? "\nSUCCESS\n" : "\nERROR\n";
    if (!data.empty() || success) {
        packet += "DATA\n" + std::to_string(data.size()) + "\n";
        for (const std::string& line : data) packet += line + "\n";
    }
    packet += "END\n";
    return packet;
}

std::string Error(std::string_view command, std::string message) { return Packet(command, false, {std::move(message)}); }

const Catalogue::Remote* FindRemote(const Catalogue& catalogue, std::string_view name) {
    // As the settings file matches section names: without regard to case.
    for (const Catalogue::Remote& remote : catalogue.remotes)
        if (EqualsIgnoreCase(remote.name, WireName(name))) return &remote;
    return nullptr;
}

std::string ListReply(std::string_view command, const std::vector<std::string_view>& words, const Catalogue& catalogue) {
    std::vector<std::string> data;
    if (words.size() == 1) {
        for (const Catalogue::Remote& remote : catalogue.remotes) data.push_back(remote.name);
        return Packet(command, true, data);
    }
    if (words.size() > 3) return Error(command, "bad send packet");
    const Catalogue::Remote* remote = FindRemote(catalogue, words[1]);
    if (remote == nullptr) return Error(command, "unknown remote: \"" + std::string(words[1]) + "\"");
    for (const Catalogue::Key& key : remote->keys) {
        if (words.size() == 3 && !EqualsIgnoreCase(key.name, WireName(words[2]))) continue;
        data.push_back(Hex16(key.code) + " " + key.name);
    }
    if (words.size() == 3 && data.empty())
        return Error(command, "unknown command: \"" + std::string(words[2]) + "\"");
    return Packet(command, true, data);
}

// Wire names for sources, unique without regard to case; equal sources
// share one.  Names already in wire form are served first, so that "My_TV"
// stays itself whatever comes before it.
std::vector<std::string> UniqueWireNames(const std::vector<std::string>& sources) {
    std::vector<std::string> names(sources.size());
    std::unordered_map<std::string, std::string> bySource;
    std::unordered_set<std::string> taken;  // upper case
    for (const bool exactPass : {true, false}) {
        for (std::size_t i = 0; i < sources.size(); ++i) {
            if (const auto known = bySource.find(sources[i]); known != bySource.end()) {
                names[i] = known->second;
                continue;
            }
            std::string name = WireName(sources[i]);
            if (exactPass && (name != sources[i] || taken.contains(AsciiUpperCase(name)))) continue;
            for (int n = 2; taken.contains(AsciiUpperCase(name)); ++n)
                name = WireName(sources[i]) + "_" + std::to_string(n);
            taken.insert(AsciiUpperCase(name));
            names[i] = bySource[sources[i]] = name;
        }
    }
    return names;
}

bool IsSendingDirective(std::string_view directive) {
    static constexpr std::string_view kSending[] = {"SEND_ONCE", "SEND_START", "SEND_STOP", "SET_TRANSMITTERS",
                                                    "SIMULATE",  "SET_INPUTLOG", "DRV_OPTION"};
    for (std::string_view name : kSending)
        if (EqualsIgnoreCase(directive, name)) return true;
    return false;
}

}  // namespace

std::string WireName(std::string_view name) {
    std::string wire = ControlCharactersReplaced(name);
    std::replace(wire.begin(), wire.end(), ' ', '_');
    return wire.empty() ? std::string("_") : wire;
}

std::pair<std::string, std::string> Catalogue::Names(const HostKeyEvent& event, std::string_view code) const {
    if (const auto found = byCode.find(AsciiUpperCase(code)); found != byCode.end()) {
        const Remote& remote = remotes[found->second.first];
        const Key& key = remote.keys[found->second.second];
        if (remote.source == event.remoteName && key.source == event.keyName) return {remote.name, key.name};
    }
    return {WireName(event.remoteName), WireName(event.keyName)};
}

std::optional<std::string> BroadcastLine(const HostKeyEvent& event, const BroadcastOptions& options,
                                         const Catalogue& catalogue, std::string_view pressedCode) {
    if (event.remoteName == UndefinedRemoteName && !options.unknown) return std::nullopt;
    const std::intptr_t value = event.value;
    const bool release = value == ORBISK_KEY_RELEASE;
    if ((release && options.releaseSuffix.empty()) || value < ORBISK_KEY_RELEASE) return std::nullopt;
    char repeat[24];
    std::snprintf(repeat, sizeof repeat, "%02llx", static_cast<unsigned long long>(release ? 0 : value));
    const std::string_view code = release && !pressedCode.empty() ? pressedCode : event.codeText;
    auto [remote, button] = catalogue.Names(event, code);
    if (release) button += options.releaseSuffix;
    return Hex16(CodeValue(code).value_or(0)) + " " + repeat + " " + button + " " + remote + "\n";
}

std::string Broadcaster::Lines(const HostKeyEvent& event, const BroadcastOptions& options,
                               const Catalogue& catalogue) {
    if (event.value == ORBISK_KEY_PRESS) pressedCode_ = event.codeText;
    std::string lines;
    if (options.unknown && event.remoteName == UndefinedRemoteName && event.value >= ORBISK_KEY_PRESS) {
        if (unknown_ && event.value != ORBISK_KEY_PRESS) {
            unknown_->value = event.value;
            return lines;
        }
        if (unknown_) lines = BroadcastLine(*unknown_, options, catalogue).value_or("");
        unknown_ = event;
        return lines;
    }
    // Whatever follows an unknown press ends it.
    if (unknown_) lines = BroadcastLine(*unknown_, options, catalogue).value_or("");
    unknown_.reset();
    return lines + BroadcastLine(event, options, catalogue, pressedCode_).value_or("");
}

Catalogue CatalogueFrom(const KeyTable& table) {
    Catalogue catalogue;
    std::vector<std::string> sources;
    for (const std::string& remote : table.RemoteList()) sources.push_back(remote.substr(0, RemoteNameMaxChars));
    const std::vector<std::string> names = UniqueWireNames(sources);
    for (std::size_t r = 0; r < names.size(); ++r) catalogue.remotes.push_back({names[r], {}, sources[r]});
    for (const KeyTable::Entry& entry : table.KeyList()) {
        if (entry.remoteId < 0 || static_cast<std::size_t>(entry.remoteId) >= catalogue.remotes.size()) continue;
        const std::string_view text = entry.text;
        const std::string_view codeText = text.substr(0, text.find('='));
        const auto code = CodeValue(codeText);
        if (!code) continue;  // a code text no receiver can send
        Catalogue::Remote& remote = catalogue.remotes[static_cast<std::size_t>(entry.remoteId)];
        catalogue.byCode.try_emplace(AsciiUpperCase(codeText), static_cast<std::size_t>(entry.remoteId),
                                     remote.keys.size());
        remote.keys.push_back({*code, {}, std::string(EntryValue(text).substr(0, KeyNameMaxChars))});
    }
    for (Catalogue::Remote& remote : catalogue.remotes) {
        sources.clear();
        for (const Catalogue::Key& key : remote.keys) sources.push_back(key.source);
        const std::vector<std::string> keyNames = UniqueWireNames(sources);
        for (std::size_t k = 0; k < keyNames.size(); ++k) remote.keys[k].name = keyNames[k];
    }
    return catalogue;
}

std::string Reply(std::string_view commandLine, const Catalogue& catalogue) {
    const std::vector<std::string_view> words = Words(commandLine);
    if (words.empty()) return Error(commandLine, "bad send packet");
    const std::string_view directive = words[0];
    if (EqualsIgnoreCase(directive, "VERSION")) {
        if (words.size() != 1) return Error(commandLine, "bad send packet");
        return Packet(commandLine, true, {"orbisk " ORBISK_VERSION_TEXT});
    }
    if (EqualsIgnoreCase(directive, "LIST")) return ListReply(commandLine, words, catalogue);
    if (IsSendingDirective(directive))
        return Error(commandLine, "orbisk only receives: " + AsciiUpperCase(directive) + " is not supported");
    return Error(commandLine, "unknown directive: \"" + std::string(directive) + "\"");
}

void Notices::Count(std::string_view what, std::uint64_t times) {
    for (auto& [text, count] : counts_)
        if (text == what) {
            count += times;
            return;
        }
    counts_.emplace_back(what, times);
}

std::optional<Notices::Clock::time_point> Notices::DueAt() const {
    if (counts_.empty()) return std::nullopt;
    return last_ ? *last_ + Interval : Clock::time_point{};
}

std::optional<std::string> Notices::Due(Clock::time_point now, bool force) const {
    const auto due = DueAt();
    if (!due || (now < *due && !force)) return std::nullopt;
    std::string summary;
    for (const auto& [text, count] : counts_)
        summary += prefix_ + text + (count > 1 ? " (" + std::to_string(count) + " times)\n" : "\n");
    return summary;
}

void Notices::Done(Clock::time_point now, bool written) {
    last_ = now;
    if (written) counts_.clear();
}

bool Client::Queue(std::string_view bytes) {
    const std::size_t replyLeft = replyEnd_ > sent_ ? replyEnd_ - sent_ : 0;
    if (PendingBytes() - replyLeft + bytes.size() > outputLimit_) return false;
    Append(bytes);
    return true;
}

void Client::Append(std::string_view bytes) {
    if (sent_ > 0 && sent_ == output_.size()) {
        output_.clear();
        sent_ = replyEnd_ = 0;
    }
    output_.append(bytes);
}

void Client::Sent(std::size_t count) {
    sent_ += std::min(count, PendingBytes());
    if (sent_ == output_.size()) {
        output_.clear();
        sent_ = replyEnd_ = 0;
    } else if (sent_ > outputLimit_ && sent_ > output_.size() / 2) {
        // The buffer stays within twice what is pending, in linear time
        // however the writes split.
        output_.erase(0, sent_);
        replyEnd_ = replyEnd_ > sent_ ? replyEnd_ - sent_ : 0;
        sent_ = 0;
    }
}

void Client::Receive(std::string_view bytes) {
    if (WantsInput()) {
        input_.clear();
        inputUsed_ = 0;
    }
    input_.append(bytes);
}

bool Client::Answer(const Catalogue& catalogue) {
    if (PendingBytes() > 0) return false;
    while (inputUsed_ < input_.size()) {
        const char c = input_[inputUsed_++];
        std::string reply;
        if (c != '\n') {
            if (line_.size() < MaxCommandBytes) {
                line_ += c;
            } else if (!overlong_) {
                // Refused at once and not kept: the client learns before it
                // finishes a line of any length.
                overlong_ = true;
                reply = Error(line_.substr(0, 32) + "...", "command too long");
            }
        } else {
            if (!overlong_) reply = Reply(line_, catalogue);
            line_.clear();
            overlong_ = false;
        }
        if (!reply.empty()) {
            Append(reply);
            replyEnd_ = output_.size();
            return true;
        }
    }
    return false;
}

}  // namespace orbisk::tool::lirc
