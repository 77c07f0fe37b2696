#pragma once
// The learned keys in memory: one remote-control name per remote section of
// the settings file, and one "code=name" entry per enabled key, tagged with
// the index of its remote.  Rebuilt whole, never patched; read by the engine
// only while no rebuild can happen.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orbisk {

class IniDocument;

class KeyTable {
public:
    struct Entry {
        std::string text;  // "code=name" as read from the file
        int remoteId = 0;
    };
    struct Match {
        std::string_view keyName;
        std::string_view remoteName;
    };

    void Clear();
    // The key-table step of loading the settings.
    void Rebuild(const IniDocument& file);

    // First entry whose code (the text before its first "=") equals
    // codeText without regard to case.
    std::optional<Match> LookupKey(std::string_view codeText) const;

    const std::vector<std::string>& RemoteList() const { return remotes_; }
    const std::vector<Entry>& KeyList() const { return keys_; }

private:
    std::vector<std::string> remotes_;
    std::vector<Entry> keys_;
};

// The text after the first "=" of an entry; empty without "=".
std::string_view EntryValue(std::string_view entry);
// The same for position p of a list; empty when p is out of range.
std::string_view EntryValue(const std::vector<KeyTable::Entry>& list, int position);

// True for a section name that is the settings section "Main" in any case.
bool IsMainSection(std::string_view sectionName);

}  // namespace orbisk
