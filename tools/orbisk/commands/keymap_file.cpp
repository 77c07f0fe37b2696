#include <toml++/toml.h>

#include "commands/commands.h"
#include "commands/keymap.h"

namespace orbisk::tool {

bool ReadKeymap(const std::string& path, std::vector<KeymapTable>& out, std::string& error) {
    toml::table file;
    try {
        file = toml::parse_file(path);
    } catch (const toml::parse_error& e) {
        error = path + ": " + std::string(e.description());
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
        if (t == nullptr) continue;
        KeymapTable table;
        table.name = (*t)["name"].value_or(std::string());
        table.protocol = (*t)["protocol"].value_or(std::string());
        table.variant = (*t)["variant"].value_or(std::string());
        if (const toml::table* scancodes = (*t)["scancodes"].as_table()) {
            for (const auto& [key, value] : *scancodes) {
                long long scancode = 0;
                const std::optional<std::string> name = value.value<std::string>();
                if (!ParseNumber(key.str(), 0, 0xFFFFFFFFLL, scancode) || !name) {
                    error = path + ": '" + std::string(key.str()) + "' is not a scancode with a key name";
                    return false;
                }
                table.keys.emplace_back(static_cast<std::uint32_t>(scancode), *name);
            }
        }
        tables.push_back(std::move(table));
    }
    out = std::move(tables);
    return true;
}

}  // namespace orbisk::tool
