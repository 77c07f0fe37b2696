#pragma once
// The settings file: an INI file read and written with the rules of the
// Windows profile-file functions, identically on every platform.
//
// IniDocument is one parsed copy of a file that keeps every line it does not
// change exactly as it was.  IniFile is bound to a path; every operation reads
// the file afresh, and every write replaces the file atomically (see
// ReplaceFileAtomically), so a crash never leaves a torn file.  Edit() runs
// several changes as one replacement.  Writers take turns at the file's lock
// (see LockForWriting) and read the file only once they hold it, so two
// writers at once each keep what the other wrote.
//
// Syntax: a line whose first non-blank character is '[' opens a section named
// by the text up to ']' (or to the end of the line when ']' is missing); a
// line whose first non-blank character is ';' is a comment; any other
// non-blank line is an entry of the current section, split at its first '='.
// Lines end with LF, CR LF or CR alone.  Lines before the first section
// belong to no section.  Names and values are trimmed of spaces and tabs, a
// value wholly enclosed in one pair of the same quote (" or ') is read
// without it, and names match without regard to ASCII case.  A section whose
// header appears several times is one section: reads see the entries under
// every one of its headers, in file order.  A UTF-8 byte-order mark is kept
// and is not part of the first line.  A line without '=' is listed by
// SectionEntries but is no key.
//
// Writes replace the value of the first entry of a key in place, keeping the
// key's spelling; add a new key after the last entry of its section's last
// header; add a new section at the end of the file; and leave the file ending
// with a line break.  A line they add ends like the line before it, or with
// the file's first line break (the platform's for a new file); every other
// line keeps its bytes.
//
// Names and values the file cannot hold.  Before any read or write a section
// name is trimmed and every ']', CR and LF in it becomes '_'; a key is
// trimmed, every '=', CR and LF in it becomes '_', and a leading ';' or '['
// becomes '_' as well; CR and LF in a written value become '_'.  Reads apply
// the same rule to the names they are given, so a value written under any
// name reads back under that same name, and no written text can open a
// section, end a line or turn into a comment.  An empty section name is kept
// as "[]" and an empty key as "=value"; both read back.
//
// A file in UTF-16 with a byte-order mark (little- or big-endian) is read
// as the system's 8-bit text (see Utf16ToNarrow) and written back as UTF-16
// of the same byte order.  Files that cannot be read whole (larger than
// MaxSettingsFileBytes, UTF-16 that is broken or holds characters the 8-bit
// text cannot, two byte-order marks, NUL characters, or unreadable) are read
// as far as they go but never rewritten: IniFile::Read says why, and Edit
// refuses.
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
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

    // Every section with its entries (as SectionEntries gives them), in one
    // pass over the file: what SectionNames plus SectionEntries for each name
    // give, without a scan of the whole file per section.
    struct Section {
        std::string name;
        std::vector<std::string> entries;
    };
    std::vector<Section> Sections() const;

    // Writes.
    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void WriteInteger(std::string_view section, std::string_view key, std::int32_t value);
    void WriteBool(std::string_view section, std::string_view key, bool value);
    void EraseSection(std::string_view section);
    // Removes every line of the section that names the key, with or without
    // a value.
    void EraseKey(std::string_view section, std::string_view key);

    // Many entries written or erased in a fixed number of passes over the
    // file, however many there are: the same file as EraseKey for each
    // change without a value, then WriteString for each with one, in order,
    // except that a key written where its section holds it only as lines
    // without '=' loses those lines first.  Each key of a section comes at
    // most once.
    struct EntryChange {
        std::string section;
        std::string key;
        std::optional<std::string> value;  // none: erase the key
    };
    void ApplyEntryChanges(const std::vector<EntryChange>& changes);
    // Erases, in one pass, each of these sections that holds no entry.
    void EraseSectionsWithoutEntries(const std::vector<std::string>& sections);

    // Notes: comment lines ";TAG KEY text" that belong to the entry KEY of
    // their section.  Readers of entries skip them as every comment, writes
    // of entries leave them, so data kept there is unseen by anything that
    // reads only the entries.  A key with blanks has no notes.
    struct Note {
        std::string section;
        std::string key;
        std::string text;  // empty in SetNotes: the note goes
    };
    // Every note of the tag whose section holds an entry of its key, the
    // first for each key, in file order.
    std::vector<Note> Notes(std::string_view tag) const;
    // Rewrites the tag's notes in one pass: each right after the first entry
    // of its key, a note of `set` in place of the key's own, and the notes of
    // keys their section no longer holds gone.
    void SetNotes(std::string_view tag, const std::vector<Note>& set);

private:
    // The file is kept as its text, not split into lines: reads scan it, and
    // writes splice it, so every line they do not touch keeps its bytes and
    // its own line break, and memory stays a small multiple of the file.
    void EndWithLineBreak();
    const std::string& NewLineBreak() const;
    // Erases every block of the sections whose ids (IniSectionId) are listed.
    void EraseSections(const std::unordered_set<std::string>& ids);

    std::string text_;        // the file after the byte-order mark
    std::string lineBreak_;   // the file's first line break; empty for the platform's
    bool bom_ = false;
};

// Integer reading as the settings file defines it: optional sign, decimal or
// 0x hexadecimal, blanks around dropped, signed 32-bit range; otherwise
// nothing.
bool ParseIniInteger(std::string_view text, std::int32_t& out);

// The form in which the file compares names: cleaned as the rules above say
// and upper-cased.  Names with the same id are one section, or one key of a
// section.
std::string IniSectionId(std::string_view section);
std::string IniKeyId(std::string_view key);

// Where a name goes in the file: a remote control's name is a section name,
// a key's name the value of its entry.
enum class IniNamePlace { Section, Value };

// Why a name may not be written there, empty when it may.  The file must
// give it back as it was (its own writer and reader decide): an empty name,
// blanks at either end, a value wholly in quotes are refused.  So are names
// that are no text of the system's 8-bit encoding and names with characters
// that drive a terminal or reorder the text shown around them: control
// characters (C0, DEL, C1) and direction overrides and isolates.  The
// writer's own mapping (']' in a section name is '_') is no reason.
std::string IniNameProblem(IniNamePlace place, std::string_view name);

struct IniRead {
    IniDocument document;  // as much as could be read
    std::string problem;   // why the file cannot be read whole; empty when it can
};

// What a write came to: empty failure on success, otherwise why the file was
// left as it was ("Permission denied", or why it cannot be read whole).
struct IniWriteResult {
    std::string failure;
    bool Ok() const { return failure.empty(); }
};

struct FileContents;
// A settings file read whole (ReadWholeFile) as the plug-in reads it: UTF-16
// decoded, and why it cannot be read whole.  Every reader goes through here.
IniRead ParseSettingsFile(const FileContents& file);

// The messages that tell the user, naming the file.
std::string UnreadableSettingsText(std::string_view path, std::string_view problem);
std::string SaveFailedText(std::string_view path, std::string_view failure);

// How long a writer waits for another to finish with the file before it
// gives up and writes nothing: a replacement takes milliseconds, a writer
// that holds the lock longer is stuck.
inline constexpr std::chrono::milliseconds SettingsLockWait{5000};

class IniFile {
public:
    explicit IniFile(std::string path, std::chrono::milliseconds lockWait = SettingsLockWait);
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
    // The same, with the reason when the file cannot be read whole.
    IniRead Read() const;
    // Takes the file's lock, reads the file, applies change, and replaces
    // the file once.  A writer that cannot get the lock within the wait
    // changes nothing and says so.
    IniWriteResult Edit(const std::function<void(IniDocument&)>& change);

private:
    std::string path_;
    std::chrono::milliseconds lockWait_;
};

}  // namespace orbisk
