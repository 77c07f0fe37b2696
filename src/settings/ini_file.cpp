#include "settings/ini_file.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "common/text.h"
#include "platform/file_io.h"
#include "platform/text_encoding.h"

namespace orbisk {
namespace {

constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";
// Stands in for every character a name or value cannot hold.
constexpr char Substitute = '_';

enum class LineKind { Blank, Comment, Header, Entry };

// One line of the text: its content is [begin, end); the next line starts at
// next, after the line break (if any).
struct LineSpan {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::size_t next = 0;
};

struct LineInfo {
    LineKind kind = LineKind::Blank;
    // Header: the section name.  Entry: the key, or the whole trimmed line
    // when it has no '='.
    std::string_view name;
    std::string_view value;  // trimmed, quotes still on
    bool hasValue = false;   // the entry has a '='
};

LineSpan NextLine(std::string_view text, std::size_t begin) {
    // A plain loop: find_first_of makes a library call per character.
    std::size_t end = begin;
    while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
    if (end == text.size()) return {begin, end, end};
    std::size_t next = end + 1;
    if (text[end] == '\r' && next < text.size() && text[next] == '\n') ++next;
    return {begin, end, next};
}

LineInfo Classify(std::string_view line) {
    const std::string_view t = TrimBlanks(line);
    if (t.empty()) return {};
    if (t.front() == ';') return {LineKind::Comment, {}, {}, false};
    if (t.front() == '[') {
        // "[Name" without its ']' still opens a section, as the profile
        // functions allow; anything after the ']' is ignored.
        std::string_view inner = t.substr(1);
        const std::size_t close = inner.find(']');
        if (close != std::string_view::npos) inner = inner.substr(0, close);
        return {LineKind::Header, TrimBlanks(inner), {}, false};
    }
    const std::size_t eq = t.find('=');
    if (eq == std::string_view::npos) return {LineKind::Entry, t, {}, false};
    return {LineKind::Entry, TrimBlanks(t.substr(0, eq)), TrimBlanks(t.substr(eq + 1)), true};
}

// A value wholly enclosed in one pair of the same quote loses that pair.
std::string_view Unquote(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

std::string EntryText(const LineInfo& info) {
    std::string text(info.name);
    if (info.hasValue) {
        text += '=';
        text += Unquote(info.value);
    }
    return text;
}

std::string CleanSectionName(std::string_view name) {
    std::string out(TrimBlanks(name));
    for (char& c : out)
        if (c == ']' || c == '\r' || c == '\n') c = Substitute;
    return out;
}

std::string CleanKey(std::string_view key) {
    std::string out(TrimBlanks(key));
    for (char& c : out)
        if (c == '=' || c == '\r' || c == '\n') c = Substitute;
    if (!out.empty() && (out.front() == ';' || out.front() == '[')) out.front() = Substitute;
    return out;
}

std::string CleanValue(std::string_view value) {
    std::string out(value);
    for (char& c : out)
        if (c == '\r' || c == '\n') c = Substitute;
    return out;
}

// Walks the lines of a text and tells, for each, whether it lies in the
// given section (its header lines included).
class LineCursor {
public:
    LineCursor(std::string_view text, std::string_view section) : text_(text), section_(section) {}
    // The cursor keeps a view of the section name: it must outlive the cursor.
    LineCursor(std::string_view text, std::string&& section) = delete;

    bool Next() {
        if (next_ >= text_.size()) return false;
        span_ = NextLine(text_, next_);
        next_ = span_.next;
        info_ = Classify(text_.substr(span_.begin, span_.end - span_.begin));
        if (info_.kind == LineKind::Header) inSection_ = EqualsIgnoreCase(info_.name, section_);
        return true;
    }
    const LineSpan& Span() const { return span_; }
    const LineInfo& Info() const { return info_; }
    bool InSection() const { return inSection_; }
    // The line break that ends the current line; empty on an unterminated
    // last line.
    std::string_view Break() const { return text_.substr(span_.end, span_.next - span_.end); }

private:
    std::string_view text_;
    std::string_view section_;
    std::size_t next_ = 0;
    LineSpan span_;
    LineInfo info_;
    bool inSection_ = false;
};

// The first entry of the section with that key (both already cleaned).
bool FindEntry(std::string_view text, std::string_view section, std::string_view key,
               LineInfo& found) {
    LineCursor cursor(text, section);
    while (cursor.Next()) {
        const LineInfo& info = cursor.Info();
        if (cursor.InSection() && info.kind == LineKind::Entry && info.hasValue &&
            EqualsIgnoreCase(info.name, key)) {
            found = info;
            return true;
        }
    }
    return false;
}

// How the file's text is stored: as it is, or as UTF-16 with a byte-order
// mark (Notepad's "Unicode"), which the profile functions read as well.
enum class TextForm { EightBit, Utf16LE, Utf16BE };

// A file's text as the document reads it, and why it cannot be read whole
// (empty when it can, or does not exist).
struct FileText {
    std::string text;
    TextForm form = TextForm::EightBit;
    std::string problem;
};

FileText TextOf(const FileContents& file) {
    FileText out;
    switch (file.outcome) {
    case ReadOutcome::Missing: return out;
    case ReadOutcome::Failed: out.problem = "the file cannot be read (" + file.error.message() + ")"; break;
    case ReadOutcome::TooLarge: out.problem = "the file is larger than 4 MiB"; break;
    case ReadOutcome::Ok: break;
    }
    std::string_view bytes = file.bytes;
    if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) {
        out.form = bytes[0] == '\xFF' ? TextForm::Utf16LE : TextForm::Utf16BE;
        const int low = out.form == TextForm::Utf16LE ? 0 : 1;
        bytes.remove_prefix(2);
        std::u16string units(bytes.size() / 2, u'\0');
        for (std::size_t i = 0; i < units.size(); ++i)
            units[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i + low]) |
                                             static_cast<unsigned char>(bytes[2 * i + 1 - low]) << 8);
        const bool exact = Utf16ToNarrow(units, out.text);
        if (!out.problem.empty()) return out;
        if (bytes.size() % 2 != 0)
            out.problem = "the file is UTF-16 text with an odd number of bytes";
        else if (!exact)
            out.problem = "the file's UTF-16 text holds characters that 8-bit text cannot hold here";
    } else {
        out.text.assign(bytes);
    }
    if (!out.problem.empty()) return out;
    // After one mark is dropped, a second would hide the first line's
    // section header.
    const std::string_view text = out.text;
    if (text.starts_with(ByteOrderMark) && text.substr(ByteOrderMark.size()).starts_with(ByteOrderMark))
        out.problem = "the file begins with two byte-order marks";
    else if (text.find('\0') != std::string_view::npos)
        out.problem = "the file holds NUL bytes, which text does not";
    return out;
}

// The file's bytes for a text, in the form the file came in; false when the
// text has no exact UTF-16 form.
bool BytesOf(const std::string& text, TextForm form, std::string& bytes) {
    if (form == TextForm::EightBit) {
        bytes = text;
        return true;
    }
    std::u16string units;
    const bool exact = NarrowToUtf16(text, units);
    const int low = form == TextForm::Utf16LE ? 0 : 1;
    bytes.assign(2 * units.size() + 2, '\0');
    for (std::size_t i = 0; i <= units.size(); ++i) {
        const char16_t unit = i == 0 ? u'\xFEFF' : units[i - 1];
        bytes[2 * i + low] = static_cast<char>(unit & 0xFF);
        bytes[2 * i + 1 - low] = static_cast<char>(unit >> 8);
    }
    return exact;
}

}  // namespace

std::string IniSectionId(std::string_view section) { return AsciiUpperCase(CleanSectionName(section)); }
std::string IniKeyId(std::string_view key) { return AsciiUpperCase(CleanKey(key)); }

namespace {

// Why a name's characters may not be written, empty when they may.
std::string CharacterProblem(std::string_view name) {
    std::u16string units;
    if (!NarrowToUtf16(name, units)) return "holds bytes that are no character of the system's text";
    for (const char16_t unit : units) {
        const bool control = unit < 0x80 ? IsControlCharacter(static_cast<char>(unit)) : unit <= 0x9F;
        const bool direction = (unit >= 0x202A && unit <= 0x202E) || (unit >= 0x2066 && unit <= 0x2069);
        if (!control && !direction) continue;
        char code[8];
        std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(unit));
        return std::string(control ? "holds a control character (" : "holds a text direction control (") + code + ")";
    }
    return {};
}

}  // namespace

std::string IniNameProblem(IniNamePlace place, std::string_view name) {
    const std::string_view trimmed = TrimBlanks(name);
    if (name.empty()) return "is empty";
    if (trimmed.empty()) return "is only blanks, which the settings file drops";
    if (trimmed.size() != name.size()) return "begins or ends with blanks, which the settings file drops";
    if (std::string problem = CharacterProblem(name); !problem.empty()) return problem;
    if (place == IniNamePlace::Section) return {};
    // What else a value's round trip changes is its enclosing quotes.
    IniDocument file;
    file.WriteString("s", "k", name);
    if (file.ReadString("s", "k", "") != name) return "is enclosed in quotes, which the settings file drops";
    return {};
}

std::string UnreadableSettingsText(std::string_view path, std::string_view problem) {
    std::string text = "The settings file ";
    text.append(path).append(" cannot be read whole: ").append(problem);
    text += ". Orbisk leaves it as it is and cannot save settings to it until it is fixed.";
    return text;
}

std::string SaveFailedText(std::string_view path, std::string_view failure) {
    std::string text = "Cannot save the settings to ";
    text.append(path).append(": ").append(failure).append(".");
    return text;
}

bool ParseIniInteger(std::string_view text, std::int32_t& out) {
    std::string_view t = TrimBlanks(text);
    bool negative = false;
    if (!t.empty() && (t.front() == '+' || t.front() == '-')) {
        negative = t.front() == '-';
        t.remove_prefix(1);
    }
    unsigned base = 10;
    if (t.size() >= 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
        base = 16;
        t.remove_prefix(2);
    }
    if (t.empty()) return false;
    // The magnitude may reach 2^31 only for a negative number.
    const std::uint64_t limit =
        static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()) + (negative ? 1 : 0);
    std::uint64_t magnitude = 0;
    for (const char c : t) {
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else
            return false;
        magnitude = magnitude * base + digit;
        if (magnitude > limit) return false;
    }
    const std::int64_t value =
        negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
    out = static_cast<std::int32_t>(value);
    return true;
}

// ---------------------------------------------------------------------------
// IniDocument

IniDocument IniDocument::Parse(std::string_view bytes) {
    IniDocument doc;
    if (bytes.substr(0, ByteOrderMark.size()) == ByteOrderMark) {
        doc.bom_ = true;
        bytes.remove_prefix(ByteOrderMark.size());
    }
    doc.text_.assign(bytes);
    const std::size_t br = bytes.find_first_of("\r\n");
    if (br != std::string_view::npos)
        doc.lineBreak_ = (bytes[br] == '\r' && br + 1 < bytes.size() && bytes[br + 1] == '\n')
                             ? "\r\n"
                             : std::string(1, bytes[br]);
    return doc;
}

std::string IniDocument::Serialize() const {
    if (!bom_) return text_;
    std::string out(ByteOrderMark);
    out += text_;
    return out;
}

const std::string& IniDocument::NewLineBreak() const {
    static const std::string platform = PlatformLineBreak();
    return lineBreak_.empty() ? platform : lineBreak_;
}

void IniDocument::EndWithLineBreak() {
    if (!text_.empty() && text_.back() != '\n' && text_.back() != '\r') text_ += NewLineBreak();
}

bool IniDocument::HasKey(std::string_view section, std::string_view key) const {
    LineInfo found;
    return FindEntry(text_, CleanSectionName(section), CleanKey(key), found);
}

std::string IniDocument::ReadString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue) const {
    LineInfo found;
    if (!FindEntry(text_, CleanSectionName(section), CleanKey(key), found))
        return std::string(defaultValue);
    return std::string(Unquote(found.value));
}

std::int32_t IniDocument::ReadInteger(std::string_view section, std::string_view key,
                                      std::int32_t defaultValue) const {
    LineInfo found;
    std::int32_t value = defaultValue;
    if (FindEntry(text_, CleanSectionName(section), CleanKey(key), found) &&
        ParseIniInteger(Unquote(found.value), value))
        return value;
    return defaultValue;
}

bool IniDocument::ReadBool(std::string_view section, std::string_view key,
                           bool defaultValue) const {
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

std::vector<std::string> IniDocument::SectionNames() const {
    std::vector<std::string> names;
    std::unordered_set<std::string> seen;
    LineCursor cursor(text_, std::string_view());
    while (cursor.Next()) {
        const LineInfo& info = cursor.Info();
        if (info.kind == LineKind::Header && seen.insert(AsciiUpperCase(info.name)).second)
            names.emplace_back(info.name);
    }
    return names;
}

std::vector<std::string> IniDocument::SectionEntries(std::string_view section) const {
    std::vector<std::string> entries;
    const std::string name = CleanSectionName(section);
    LineCursor cursor(text_, name);
    while (cursor.Next())
        if (cursor.InSection() && cursor.Info().kind == LineKind::Entry)
            entries.push_back(EntryText(cursor.Info()));
    return entries;
}

std::vector<IniDocument::Section> IniDocument::Sections() const {
    std::vector<Section> sections;
    std::unordered_map<std::string, std::size_t> index;  // upper-cased name -> position
    Section* current = nullptr;
    LineCursor cursor(text_, std::string_view());
    while (cursor.Next()) {
        const LineInfo& info = cursor.Info();
        if (info.kind == LineKind::Header) {
            const auto [it, added] = index.try_emplace(AsciiUpperCase(info.name), sections.size());
            if (added) sections.push_back({std::string(info.name), {}});
            current = &sections[it->second];
        } else if (info.kind == LineKind::Entry && current != nullptr) {
            current->entries.push_back(EntryText(info));
        }
    }
    return sections;
}

void IniDocument::WriteString(std::string_view section, std::string_view key,
                              std::string_view value) {
    const std::string name = CleanSectionName(section);
    const std::string cleanKey = CleanKey(key);
    const std::string cleanValue = CleanValue(value);
    EndWithLineBreak();

    std::size_t insertAt = std::string::npos;
    std::string insertBreak;
    LineCursor cursor(text_, name);
    while (cursor.Next()) {
        if (!cursor.InSection()) continue;
        const LineInfo& info = cursor.Info();
        const LineSpan& span = cursor.Span();
        if (info.kind == LineKind::Entry && info.hasValue && EqualsIgnoreCase(info.name, cleanKey)) {
            // Replace in place, keeping the key as the file spells it.
            std::string line(info.name);
            line += '=';
            line += cleanValue;
            text_.replace(span.begin, span.end - span.begin, line);
            return;
        }
        // A new key goes after the last entry (or the header) of the section's
        // last block, ahead of blank lines and comments that lead into the
        // next section.
        if (info.kind == LineKind::Header || info.kind == LineKind::Entry) {
            insertAt = span.next;
            insertBreak = cursor.Break();
        }
    }
    if (insertAt != std::string::npos) {
        // The new line ends with the break of the line before it: that break
        // is known not to merge with the character that follows.
        std::string line = cleanKey;
        line += '=';
        line += cleanValue;
        line += insertBreak;
        text_.insert(insertAt, line);
        return;
    }
    const std::string& br = NewLineBreak();
    text_ += '[';
    text_ += name;
    text_ += ']';
    text_ += br;
    text_ += cleanKey;
    text_ += '=';
    text_ += cleanValue;
    text_ += br;
}

void IniDocument::WriteInteger(std::string_view section, std::string_view key,
                               std::int32_t value) {
    WriteString(section, key, std::to_string(value));
}

void IniDocument::WriteBool(std::string_view section, std::string_view key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

void IniDocument::EraseSection(std::string_view section) { EraseSections({IniSectionId(section)}); }

void IniDocument::EraseSections(const std::unordered_set<std::string>& ids) {
    // Every block of the sections goes, from its header up to the next header
    // of another section; lines before the first section are never touched.
    std::string kept;
    std::size_t keptUpTo = 0;  // text_ before this offset is settled
    bool erasing = false;
    bool erased = false;
    for (std::size_t at = 0; at < text_.size();) {
        const LineSpan span = NextLine(text_, at);
        at = span.next;
        const LineInfo info = Classify(std::string_view(text_).substr(span.begin, span.end - span.begin));
        if (info.kind != LineKind::Header) continue;
        const bool erase = ids.contains(AsciiUpperCase(info.name));
        if (erase == erasing) continue;
        if (erase) {
            kept.append(text_, keptUpTo, span.begin - keptUpTo);
            erased = true;
        }
        keptUpTo = span.begin;
        erasing = erase;
    }
    if (!erased) return;
    if (!erasing) kept.append(text_, keptUpTo, std::string::npos);
    text_ = std::move(kept);
    EndWithLineBreak();
}

void IniDocument::EraseSectionsWithoutEntries(const std::vector<std::string>& sections) {
    std::unordered_set<std::string> empty;
    for (const std::string& section : sections) empty.insert(IniSectionId(section));
    std::string current;
    for (std::size_t at = 0; at < text_.size() && !empty.empty();) {
        const LineSpan span = NextLine(text_, at);
        at = span.next;
        const LineInfo info = Classify(std::string_view(text_).substr(span.begin, span.end - span.begin));
        if (info.kind == LineKind::Header)
            current = AsciiUpperCase(info.name);
        else if (info.kind == LineKind::Entry)
            empty.erase(current);
    }
    if (!empty.empty()) EraseSections(empty);
}

void IniDocument::ApplyEntryChanges(const std::vector<EntryChange>& changes) {
    struct Change {
        std::string key;    // cleaned
        std::string value;  // cleaned
        bool erase = false;
        bool hasEntry = false;  // the file holds the key with a '='
        bool written = false;
    };
    struct Plan {
        std::string name;  // cleaned, for a new header
        std::unordered_map<std::string, std::size_t> keys;  // key id -> change
        std::vector<std::size_t> added;  // written changes not yet in the file, in order
        std::size_t insertAt = std::string::npos;  // in the new text
        std::string insertBreak;
    };
    if (changes.empty()) return;
    std::vector<Change> planned(changes.size());
    std::vector<Plan> plans;
    std::unordered_map<std::string, std::size_t> planOf;  // section id -> plan
    bool writes = false;
    for (std::size_t i = 0; i < changes.size(); ++i) {
        const EntryChange& change = changes[i];
        const auto [it, added] = planOf.try_emplace(IniSectionId(change.section), plans.size());
        if (added) plans.push_back({CleanSectionName(change.section), {}, {}, std::string::npos, {}});
        planned[i] = {CleanKey(change.key), CleanValue(change.value.value_or("")), !change.value, false, false};
        plans[it->second].keys[AsciiUpperCase(planned[i].key)] = i;
        writes = writes || change.value.has_value();
    }
    if (writes) EndWithLineBreak();

    // Walks the lines, giving each with the change planned for it, if any.
    const auto walk = [&](const auto& visit) {
        Plan* plan = nullptr;
        for (std::size_t at = 0; at < text_.size();) {
            const LineSpan span = NextLine(text_, at);
            at = span.next;
            const LineInfo info = Classify(std::string_view(text_).substr(span.begin, span.end - span.begin));
            Change* change = nullptr;
            if (info.kind == LineKind::Header) {
                const auto it = planOf.find(AsciiUpperCase(info.name));
                plan = it == planOf.end() ? nullptr : &plans[it->second];
            } else if (info.kind == LineKind::Entry && plan != nullptr) {
                const auto it = plan->keys.find(AsciiUpperCase(info.name));
                if (it != plan->keys.end()) change = &planned[it->second];
            }
            visit(span, info, plan, change);
        }
    };
    walk([](const LineSpan&, const LineInfo& info, Plan*, Change* change) {
        if (change != nullptr && info.hasValue) change->hasEntry = true;
    });

    std::string out;
    out.reserve(text_.size());
    walk([&](const LineSpan& span, const LineInfo& info, Plan* plan, Change* change) {
        const std::string_view lineBreak = std::string_view(text_).substr(span.end, span.next - span.end);
        if (change != nullptr && (change->erase || !change->hasEntry)) return;  // the line goes
        if (change != nullptr && info.hasValue && !change->written) {
            // The first entry of the key takes the value, spelled as the file has it.
            out.append(info.name).append("=").append(change->value).append(lineBreak);
            change->written = true;
        } else {
            out.append(text_, span.begin, span.next - span.begin);
        }
        if (plan != nullptr && info.kind != LineKind::Blank && info.kind != LineKind::Comment) {
            plan->insertAt = out.size();
            plan->insertBreak = lineBreak;
        }
    });

    // New keys go after the last entry (or header) of their section, new
    // sections at the end of the file, each in the order of the changes.
    for (std::size_t i = 0; i < planned.size(); ++i)
        if (!planned[i].erase && !planned[i].written)
            plans[planOf.at(IniSectionId(changes[i].section))].added.push_back(i);
    std::vector<const Plan*> inserts;
    for (const Plan& plan : plans)
        if (!plan.added.empty() && plan.insertAt != std::string::npos) inserts.push_back(&plan);
    std::sort(inserts.begin(), inserts.end(),
              [](const Plan* a, const Plan* b) { return a->insertAt < b->insertAt; });
    text_.clear();
    std::size_t copied = 0;
    const auto appendEntries = [&](const Plan& plan, std::string_view lineBreak) {
        for (const std::size_t i : plan.added)
            text_.append(planned[i].key).append("=").append(planned[i].value).append(lineBreak);
    };
    for (const Plan* plan : inserts) {
        text_.append(out, copied, plan->insertAt - copied);
        copied = plan->insertAt;
        appendEntries(*plan, plan->insertBreak);
    }
    text_.append(out, copied, std::string::npos);
    for (const Plan& plan : plans) {
        if (plan.added.empty() || plan.insertAt != std::string::npos) continue;
        text_.append("[").append(plan.name).append("]").append(NewLineBreak());
        appendEntries(plan, NewLineBreak());
    }
}

namespace {

// The key and text of a note of the tag on this comment line, if it is one.
bool ReadNote(std::string_view line, std::string_view tag, std::string_view& key, std::string_view& text) {
    line = TrimBlanks(line);
    if (line.size() < tag.size() + 2 || line.front() != ';' || line.substr(1, tag.size()) != tag ||
        (line[tag.size() + 1] != ' ' && line[tag.size() + 1] != '\t'))
        return false;
    line.remove_prefix(tag.size() + 1);
    key = NextWord(line);
    text = TrimBlanks(line);
    return !key.empty();
}

}  // namespace

std::vector<IniDocument::Note> IniDocument::Notes(std::string_view tag) const {
    // Keyed by section id and key id; the entries decide which count.
    std::unordered_map<std::string, std::size_t> byKey;
    std::unordered_set<std::string> entries;
    std::vector<Note> notes;
    std::string section, id;
    for (std::size_t at = 0; at < text_.size();) {
        const LineSpan span = NextLine(text_, at);
        at = span.next;
        const std::string_view line = std::string_view(text_).substr(span.begin, span.end - span.begin);
        const LineInfo info = Classify(line);
        std::string_view key, text;
        if (info.kind == LineKind::Header) {
            section = info.name;
            id = AsciiUpperCase(info.name) + '\n';
        } else if (info.kind == LineKind::Entry && info.hasValue) {
            entries.insert(id + AsciiUpperCase(info.name));
        } else if (info.kind == LineKind::Comment && !id.empty() && ReadNote(line, tag, key, text)) {
            if (byKey.try_emplace(id + AsciiUpperCase(key), notes.size()).second)
                notes.push_back({section, std::string(key), std::string(text)});
        }
    }
    std::vector<Note> kept;
    for (Note& note : notes)
        if (entries.contains(AsciiUpperCase(note.section) + '\n' + AsciiUpperCase(note.key)))
            kept.push_back(std::move(note));
    return kept;
}

void IniDocument::SetNotes(std::string_view tag, const std::vector<Note>& set) {
    std::unordered_map<std::string, std::string> texts;  // section id '\n' key id -> text
    const auto idOf = [](std::string_view section, std::string_view key) {
        return IniSectionId(section) + '\n' + IniKeyId(key);
    };
    for (const Note& note : Notes(tag)) texts.emplace(idOf(note.section, note.key), note.text);
    for (const Note& note : set) {
        std::string_view key = note.key;
        if (NextWord(key).size() == TrimBlanks(note.key).size())
            texts[idOf(note.section, note.key)] = CleanValue(note.text);
    }
    std::string out;
    out.reserve(text_.size());
    std::string id;
    for (std::size_t at = 0; at < text_.size();) {
        const LineSpan span = NextLine(text_, at);
        at = span.next;
        const std::string_view line = std::string_view(text_).substr(span.begin, span.end - span.begin);
        const LineInfo info = Classify(line);
        std::string_view key, text;
        if (info.kind == LineKind::Comment && !id.empty() && ReadNote(line, tag, key, text)) continue;
        out.append(text_, span.begin, span.next - span.begin);
        if (info.kind == LineKind::Header) id = AsciiUpperCase(info.name) + '\n';
        if (info.kind != LineKind::Entry || !info.hasValue || id.empty()) continue;
        const auto note = texts.find(id + AsciiUpperCase(info.name));
        if (note == texts.end()) continue;
        if (!note->second.empty()) {
            const std::string_view lineBreak = std::string_view(text_).substr(span.end, span.next - span.end);
            if (lineBreak.empty()) out += NewLineBreak();
            out.append(";").append(tag).append(" ").append(info.name).append(" ").append(note->second);
            out += lineBreak.empty() ? NewLineBreak() : std::string(lineBreak);
        }
        texts.erase(note);  // the first entry of the key only
    }
    text_ = std::move(out);
}

void IniDocument::EraseKey(std::string_view section, std::string_view key) {
    const std::string name = CleanSectionName(section);
    const std::string cleanKey = CleanKey(key);
    std::string kept;
    std::size_t keptUpTo = 0;
    bool erased = false;
    LineCursor cursor(text_, name);
    while (cursor.Next()) {
        const LineInfo& info = cursor.Info();
        if (!cursor.InSection() || info.kind != LineKind::Entry || !EqualsIgnoreCase(info.name, cleanKey))
            continue;
        kept.append(text_, keptUpTo, cursor.Span().begin - keptUpTo);
        keptUpTo = cursor.Span().next;
        erased = true;
    }
    if (!erased) return;
    kept.append(text_, keptUpTo, std::string::npos);
    text_ = std::move(kept);
}

// ---------------------------------------------------------------------------
// IniFile

IniFile::IniFile(std::string path, std::chrono::milliseconds lockWait)
    : path_(std::move(path)), lockWait_(lockWait) {}

IniDocument IniFile::Load() const { return Read().document; }

IniRead ParseSettingsFile(const FileContents& contents) {
    // A missing or unreadable file reads as an empty one; a file over the
    // size limit reads as far as the limit.
    FileText file = TextOf(contents);
    return {IniDocument::Parse(file.text), std::move(file.problem)};
}

IniRead IniFile::Read() const { return ParseSettingsFile(ReadWholeFile(path_)); }

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view defaultValue) const {
    return Load().ReadString(section, key, defaultValue);
}

std::int32_t IniFile::ReadInteger(std::string_view section, std::string_view key,
                                  std::int32_t defaultValue) const {
    return Load().ReadInteger(section, key, defaultValue);
}

bool IniFile::ReadBool(std::string_view section, std::string_view key, bool defaultValue) const {
    return Load().ReadBool(section, key, defaultValue);
}

std::vector<std::string> IniFile::SectionNames() const { return Load().SectionNames(); }

std::vector<std::string> IniFile::SectionEntries(std::string_view section) const {
    return Load().SectionEntries(section);
}

bool IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    return Edit([&](IniDocument& doc) { doc.WriteString(section, key, value); }).Ok();
}

bool IniFile::WriteInteger(std::string_view section, std::string_view key, std::int32_t value) {
    return Edit([&](IniDocument& doc) { doc.WriteInteger(section, key, value); }).Ok();
}

bool IniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
    return Edit([&](IniDocument& doc) { doc.WriteBool(section, key, value); }).Ok();
}

bool IniFile::EraseSection(std::string_view section) {
    return Edit([&](IniDocument& doc) { doc.EraseSection(section); }).Ok();
}

namespace {

// Why a writer does not go on without the lock; empty when it may.
std::string LockProblem(const FileLock& lock, std::chrono::milliseconds waited) {
    switch (lock.Outcome()) {
    case LockOutcome::Held:
    case LockOutcome::Skipped: return {};
    case LockOutcome::Busy: {
        const auto ms = waited.count();
        const std::string time = ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms";
        return "another program is writing it and has held its lock " + lock.Path() + " for " + time +
               "; nothing was written";
    }
    case LockOutcome::NotAFile:
        return "its lock " + lock.Path() + " is a symbolic link or no plain file; nothing was written";
    case LockOutcome::Failed: break;
    }
    return "its lock " + lock.Path() + " cannot be taken (" + lock.Error().message() + "); nothing was written";
}

}  // namespace

IniWriteResult IniFile::Edit(const std::function<void(IniDocument&)>& change) {
    // Read only under the lock: a copy read before it could be one that
    // another writer has replaced meanwhile.
    const FileLock lock = LockForWriting(path_, lockWait_);
    if (std::string problem = LockProblem(lock, lockWait_); !problem.empty()) return {std::move(problem)};
    const FileContents file = ReadWholeFile(path_);
    const FileText text = TextOf(file);
    // Rewriting a file that could not be read whole would lose what was not
    // read.
    if (!text.problem.empty()) return {text.problem + "; Orbisk does not rewrite a file it cannot read whole"};
    IniDocument doc = IniDocument::Parse(text.text);
    change(doc);
    std::string bytes;
    if (!BytesOf(doc.Serialize(), text.form, bytes))
        return {"the new text cannot be written as the UTF-16 text the file holds"};
    const bool exists = file.outcome == ReadOutcome::Ok;
    if (exists ? bytes == file.bytes : bytes.empty()) return {};  // nothing changes
    // A file that the next read could not take whole is not written.
    if (bytes.size() > MaxSettingsFileBytes) return {"the new file would be larger than 4 MiB"};
    std::error_code error;
    if (!ReplaceFileAtomically(path_, bytes, error)) return {error.message()};
    return {};
}

}  // namespace orbisk
