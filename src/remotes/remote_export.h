#pragma once
// A remote control of the settings file written out for other tools, from
// the frames kept beside its keys (key_frames.h): a Flipper .ir file, a
// lircd.conf or a Linux kernel keymap.  Importing the export
// (remote_import.h) gives the same codes under the same names.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orbisk {

class IniDocument;

enum class ExportFormat {
    // Flipper .ir: "parsed" where Flipper has the protocol, "raw" otherwise.
    FlipperIr,
    // lircd.conf: one RAW_CODES remote, each key its frame's durations.
    LircdConf,
    // Kernel keymap (TOML): the keys of protocols the kernel lays out as
    // Orbisk does; others are left out.
    Keymap,
};

// "ir", "lircd", "keymap"; nullopt for another word.
std::optional<ExportFormat> FindExportFormat(std::string_view word);

// A key the export leaves out, and why: no kept frame, a name the format
// cannot hold, a frame the format has no form for, a disabled key.
struct KeyLeftOut {
    std::string name;
    std::string code;
    std::string reason;
};

struct RemoteExport {
    std::string text;  // the file
    std::size_t keys = 0;
    std::vector<KeyLeftOut> leftOut;
};

// Writes the remote's keys, in file order.  False with the reason when the
// settings file has no such remote (Main is none), or none of its keys can
// be written (out.leftOut then says why for each, and out.text is empty).
bool ExportRemote(const IniDocument& doc, const std::string& remote, ExportFormat format, RemoteExport& out,
                  std::string& error);

}  // namespace orbisk
