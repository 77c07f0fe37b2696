#pragma once
// The settings file: an INI file read and written with the rules of the
// Windows profile-file functions, identically on every platform.
//
// IniDocument is one parsed copy of a file that keeps every line it does not
// change exactly as it was.  IniFile is bound to a path; every operation reads
// the file afresh, and every write replaces the file atomically (see
// ReplaceFileAtomically), so a crash never leaves a torn file.  Edit() runs
// several changes as one replacement.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace orbisk {

class IniDocument {
public:
    IniDocument() = default;
    static IniDocument Parse(std::string_view bytes);
    std::string Serialize() const;

    // Reads: section and key names match without regard to case.
    bool HasKey(std::string_view section, std::string_view key) const;
    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view defaultValue) const;
    std::int32_t ReadInteger(std::string_view section, std::string_view key,
                             std::int32_t defaultValue) const;
    bool ReadBool(std::string_view section, std::string_view key, bool defaultValue) const;
    // Section names in file order (a repeated header is listed once).
    std::vector<std::string> SectionNames() const;
    // Every entry of the section in file order, each "name=value" with the
    // name and value trimmed and enclosing quotes removed; a line without "="
    // comes back as it stands (trimmed).
    std::vector<std::string> SectionEntries(std::string_view section) const;

    // Writes.
    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void WriteInteger(std::string_view section, std::string_view key, std::int32_t value);
    void WriteBool(std::string_view section, std::string_view key, bool value);
    void EraseSection(std::string_view section);

private:
    struct Line;
    std::vector<std::string> lines_;  // without line breaks
    std::string lineBreak_;           // taken from the file; platform's for a new one
    bool bom_ = false;
    bool finalBreak_ = true;
};

// Integer reading as the settings file defines it: optional sign, decimal or
// 0x hexadecimal, blanks around dropped, signed 32-bit range; otherwise
// nothing.
bool ParseIniInteger(std::string_view text, std::int32_t& out);

class IniFile {
public:
    explicit IniFile(std::string path);
    const std::string& Path() const { return path_; }

    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view defaultValue) const;
    std::int32_t ReadInteger(std::string_view section, std::string_view key,
                             std::int32_t defaultValue) const;
    bool ReadBool(std::string_view section, std::string_view key, bool defaultValue) const;
    std::vector<std::string> SectionNames() const;
    std::vector<std::string> SectionEntries(std::string_view section) const;

    // Each returns false when the file could not be written; the old file is
    // then left as it was.
    bool WriteString(std::string_view section, std::string_view key, std::string_view value);
    bool WriteInteger(std::string_view section, std::string_view key, std::int32_t value);
    bool WriteBool(std::string_view section, std::string_view key, bool value);
    bool EraseSection(std::string_view section);

    // The whole file as it is now, for a sequence of reads.
    IniDocument Load() const;
    // Reads the file, applies change, and replaces the file once.
    bool Edit(const std::function<void(IniDocument&)>& change);

private:
    std::string path_;
};

}  // namespace orbisk
