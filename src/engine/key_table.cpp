#include "engine/key_table.h"

#include <utility>

#include "common/text.h"
#include "settings/ini_file.h"

namespace orbisk {
namespace {

// The code part of an entry: the text before its first "=".  False for an
// entry without "=", which has no code and never matches.
bool EntryCode(std::string_view entry, std::string_view& code) {
    const std::size_t eq = entry.find('=');
    if (eq == std::string_view::npos) return false;
    code = entry.substr(0, eq);
    return true;
}

}  // namespace

void KeyTable::Clear() {
    remotes_.clear();
    keys_.clear();
}

void KeyTable::Rebuild(const IniDocument& file) {
    Clear();
    std::vector<IniDocument::Section> sections = file.Sections();
    std::size_t entryCount = 0;
    for (const IniDocument::Section& section : sections) entryCount += section.entries.size();
    keys_.reserve(entryCount);  // no regrowth: a large file's entries exist twice already
    for (IniDocument::Section& section : sections) {
        if (IsMainSection(section.name)) continue;
        // Every remote section takes an id, even one without keys, so the
        // ids of the sections after it stay their positions in the file.
        const int remoteId = static_cast<int>(remotes_.size());
        remotes_.push_back(std::move(section.name));
        for (std::string& entry : section.entries) {
            // Keys named with a leading "_" are disabled; an entry with no
            // code at all (no "=", or nothing before it) could never match.
            std::string_view code;
            if (!EntryCode(entry, code) || code.empty() || code.front() == '_') continue;
            keys_.push_back({std::move(entry), remoteId});
        }
    }
}

std::optional<KeyTable::Match> KeyTable::LookupKey(std::string_view codeText) const {
    for (const Entry& entry : keys_) {
        std::string_view code;
        if (!EntryCode(entry.text, code) || !EqualsIgnoreCase(code, codeText)) continue;
        const std::string_view remote =
            entry.remoteId >= 0 && static_cast<std::size_t>(entry.remoteId) < remotes_.size()
                ? std::string_view(remotes_[static_cast<std::size_t>(entry.remoteId)])
                : std::string_view();
        return Match{EntryValue(entry.text), remote};
    }
    return std::nullopt;
}

std::string_view EntryValue(std::string_view entry) {
    const std::size_t eq = entry.find('=');
    return eq == std::string_view::npos ? std::string_view() : entry.substr(eq + 1);
}

std::string_view EntryValue(const std::vector<KeyTable::Entry>& list, int position) {
    if (position < 0 || static_cast<std::size_t>(position) >= list.size()) return {};
    return EntryValue(list[static_cast<std::size_t>(position)].text);
}

bool IsMainSection(std::string_view sectionName) { return EqualsIgnoreCase(sectionName, "MAIN"); }

}  // namespace orbisk
