#include <toml++/toml.h>

#include <algorithm>
#include <cstdio>

#include "remotes/keymap.h"
#include "common/text.h"
#include "platform/file_io.h"
#include "remotes/remote_text.h"
#include "settings/ini_file.h"

namespace orbisk {

namespace {

// The TOML library recurses once per level of nesting, in its parser and in
// its tables (a 100 KB file of one dotted key overflows the stack), and a
// keymap nests three deep.
constexpr int kMaxNesting = 32;

// Where the text opens more than kMaxNesting brackets and braces, or a key
// has more than kMaxNesting dotted parts, outside strings and comments; npos
// when it does not.  A dotted key, a table's header or an inline table then
// nests no deeper than a few times kMaxNesting.
std::size_t TooDeepAt(std::string_view text) {
    int brackets = 0, dots = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\n' || c == ',') {
            dots = 0;
        } else if (c == '#') {
            i = std::min(text.find('\n', i), text.size()) - 1;
        } else if (c == '[' || c == '{') {
            if (++brackets > kMaxNesting) return i;
            dots = 0;
        } else if (c == ']' || c == '}') {
            brackets = std::max(brackets - 1, 0);
        } else if (c == '.') {
            if (++dots > kMaxNesting) return i;
        } else if (c == '"' || c == '\'') {
            // A string: basic ones have escapes, multi-line ones end at the
            // last three of up to five quotes, single-line ones at the line's
            // end at the latest.
            const std::string_view three = c == '"' ? "\"\"\"" : "'''";
            const bool multiLine = text.substr(i, 3) == three;
            for (i += multiLine ? 3 : 1; i < text.size(); ++i) {
                if (c == '"' && text[i] == '\\') {
                    ++i;
                } else if (multiLine ? text.substr(i, 3) == three : text[i] == c) {
                    std::size_t run = 0;
                    while (multiLine && run < 5 && i + run < text.size() && text[i + run] == c) ++run;
                    i += run > 0 ? run - 1 : 0;
                    break;
                } else if (!multiLine && text[i] == '\n') {
                    --i;
                    break;
                }
            }
        }
    }
    return std::string_view::npos;
}

std::string LineOf(std::string_view text, std::size_t at) {
    return "line " + std::to_string(1 + std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(at), '\n'));
}

std::string LineOf(const toml::node& node) { return "line " + std::to_string(node.source().begin.line); }

// A string field of a table: empty when absent, false when of another type.
bool StringField(const toml::table& table, std::string_view field, std::string& out) {
    const toml::node* node = table.get(field);
    if (node == nullptr) return true;
    if (!node->is_string()) return false;
    out = node->as_string()->get();
    return true;
}

}  // namespace

bool ParseKeymap(std::string_view text, const std::string& path, std::vector<KeymapTable>& out,
                 std::string& error) {
    if (const std::size_t at = TooDeepAt(text); at != std::string_view::npos) {
        error = path + ": " + LineOf(text, at) + ": nested more than " + std::to_string(kMaxNesting) +
                " deep: not a keymap";
        return false;
    }
    toml::table file;
    try {
        file = toml::parse(text, path);
    } catch (const toml::parse_error& e) {
        error = path + ": line " + std::to_string(e.source().begin.line) + ": " + ControlCharactersReplaced(e.description());
        return false;
    }
    const toml::array* protocols = file["protocols"].as_array();
    if (protocols == nullptr || protocols->empty()) {
        error = path + ": no [[protocols]] table: not a keymap";
        return false;
    }
    std::vector<KeymapTable> tables;
    for (const toml::node& node : *protocols) {
        const toml::table* t = node.as_table();
        KeymapTable table;
        if (t == nullptr || !StringField(*t, "name", table.name) || !StringField(*t, "protocol", table.protocol) ||
            !StringField(*t, "variant", table.variant)) {
            error = path + ": " + LineOf(node) + ": not a [[protocols]] table of strings name, protocol, variant";
            return false;
        }
        table.line = node.source().begin.line;
        for (const auto& [key, value] : *t)
            if (value.is_integer()) table.numbers.emplace_back(std::string(key.str()), value.as_integer()->get());
        if (const toml::node* scancodes = t->get("scancodes")) {
            if (!scancodes->is_table()) {
                error = path + ": " + LineOf(*scancodes) + ": scancodes is not a table";
                return false;
            }
            std::vector<std::pair<toml::source_position, std::size_t>> order;
            for (const auto& [key, value] : *scancodes->as_table()) {
                std::uint64_t scancode = 0;
                if (!ParseRemoteNumber(key.str(), 0xFFFFFFFFu, scancode) || !value.is_string()) {
                    error = path + ": " + LineOf(value) + ": not a scancode with a key name";
                    return false;
                }
                const std::string& name = value.as_string()->get();
                // It is written to the settings file and shown on terminals:
                // only a name the file gives back as it is, and that is safe
                // to show, is taken.
                if (const std::string problem = IniNameProblem(IniNamePlace::Value, name); !problem.empty()) {
                    error = path + ": " + LineOf(value) + ": the key name " + problem;
                    return false;
                }
                order.emplace_back(key.source().begin, table.keys.size());
                table.keys.emplace_back(static_cast<std::uint32_t>(scancode), name);
            }
            // The library keeps a table's keys sorted by their text.
            std::sort(order.begin(), order.end());
            std::vector<std::pair<std::uint32_t, std::string>> inFileOrder;
            inFileOrder.reserve(order.size());
            for (const auto& [position, index] : order) inFileOrder.push_back(std::move(table.keys[index]));
            table.keys = std::move(inFileOrder);
        }
        tables.push_back(std::move(table));
    }
    out = std::move(tables);
    return true;
}

bool ReadKeymap(const std::string& path, std::vector<KeymapTable>& out, std::string& error) {
    const FileContents file = ReadWholeFile(path);
    switch (file.outcome) {
    case ReadOutcome::Ok: return ParseKeymap(file.bytes, path, out, error);
    case ReadOutcome::Missing: error = "no such file: " + path; return false;
    case ReadOutcome::TooLarge:
        // Its keys could not fit in a settings file.
        error = path + ": larger than " + std::to_string(MaxSettingsFileBytes >> 20) + " MiB: not a keymap";
        return false;
    case ReadOutcome::Failed: break;
    }
    error = "cannot read " + path + ": " + file.error.message();
    return false;
}

}  // namespace orbisk
