// Feeds arbitrary bytes to the settings-file parser and checks that a write
// never disturbs anything but its own entry, and an erase anything but its
// own section.
//
// Input: three length bytes, then a section name, a key and a value of those
// lengths (each below 16), then the file.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/ini_file.h"

namespace {

using orbisk::IniDocument;

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

// Sections of after equal those of before, in order, except for at most one
// whose entries differ; after may have extra sections at its end (added) or
// lack one of before (erased), as allowed.
void CheckOnlyOneSectionChanged(const std::vector<IniDocument::Section>& before,
                                const std::vector<IniDocument::Section>& after, bool erased) {
    std::size_t changed = 0;
    std::size_t j = 0;
    for (std::size_t i = 0; i < before.size(); ++i) {
        if (j < after.size() && after[j].name == before[i].name) {
            if (after[j].entries != before[i].entries) ++changed;
            ++j;
        } else {
            Check(erased);
            ++changed;
        }
    }
    Check(changed <= 1);
    Check(after.size() <= before.size() + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t lengths[3] = {data[0] % 16u, data[1] % 16u, data[2] % 16u};
    input.remove_prefix(3);
    std::string_view parts[3];
    for (int i = 0; i < 3; ++i) {
        parts[i] = input.substr(0, lengths[i]);
        input.remove_prefix(parts[i].size());
    }
    const std::string_view section = parts[0], key = parts[1], value = parts[2];

    const IniDocument original = IniDocument::Parse(input);
    Check(original.Serialize() == input);
    const std::vector<IniDocument::Section> sections = original.Sections();
    const std::vector<std::string> names = original.SectionNames();
    Check(names.size() == sections.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        Check(names[i] == sections[i].name);
        Check(original.SectionEntries(names[i]) == sections[i].entries);
    }
    (void)original.ReadString(section, key, "");
    (void)original.ReadInteger(section, key, 0);
    (void)original.ReadBool(section, key, false);

    IniDocument written = original;
    written.WriteString(section, key, value);
    const IniDocument reread = IniDocument::Parse(written.Serialize());
    Check(reread.Serialize() == written.Serialize());
    Check(reread.HasKey(section, key));
    Check(reread.ReadString(section, key, "") == written.ReadString(section, key, ""));
    CheckOnlyOneSectionChanged(sections, reread.Sections(), false);

    IniDocument erased = reread;
    erased.EraseSection(section);
    const IniDocument afterErase = IniDocument::Parse(erased.Serialize());
    Check(!afterErase.HasKey(section, key));
    Check(afterErase.SectionEntries(section).empty());
    CheckOnlyOneSectionChanged(reread.Sections(), afterErase.Sections(), true);

    // Many changes at once give what they give one by one, erasures first:
    // the key written, the value's text erased as a key of the section, and
    // the key erased from every section the file names; each key of a
    // section once.
    std::vector<IniDocument::EntryChange> changes;
    std::vector<std::string> seen;
    const auto add = [&](std::string_view inSection, std::string_view name, std::optional<std::string> text) {
        const std::string id = orbisk::IniSectionId(inSection) + "]" + orbisk::IniKeyId(name);
        if (std::find(seen.begin(), seen.end(), id) != seen.end()) return;
        seen.push_back(id);
        changes.push_back({std::string(inSection), std::string(name), std::move(text)});
    };
    add(section, key, std::string(value));
    add(section, value, std::nullopt);
    for (const std::string& name : names) add(name, key, std::nullopt);
    IniDocument oneByOne = original, atOnce = original;
    for (const IniDocument::EntryChange& c : changes)
        if (!c.value) oneByOne.EraseKey(c.section, c.key);
    for (const IniDocument::EntryChange& c : changes) {
        if (c.value && !oneByOne.HasKey(c.section, c.key)) oneByOne.EraseKey(c.section, c.key);
        if (c.value) oneByOne.WriteString(c.section, c.key, *c.value);
    }
    atOnce.ApplyEntryChanges(changes);
    // Where an erased line sat between a lone CR and an LF, the two breaks
    // may join in one order and not the other (a blank line's difference).
    if (input.find('\r') == std::string_view::npos) Check(atOnce.Serialize() == oneByOne.Serialize());
    return 0;
}
