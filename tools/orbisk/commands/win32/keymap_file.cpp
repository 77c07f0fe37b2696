#include "commands/keymap.h"

namespace orbisk::tool {

bool ReadKeymap(const std::string& path, std::vector<KeymapTable>&, std::string& error) {
    // toml++ comes from Debian for the Linux build only.
    error = path + ": this Windows build reads no keymaps; import them with the Linux orbisk into the same file";
    return false;
}

}  // namespace orbisk::tool
