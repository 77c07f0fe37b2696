#pragma once
// What an import of a remote database's file makes of it: a kernel keymap,
// a Flipper .ir file or a lircd.conf, told apart by content, becomes remote
// sections of keys, each key under the code that a press of it gives.  A
// decoded button (a protocol and scancode) gets its frame's stable code; a
// button given as timings (a raw capture, a lircd frame, a keymap of
// pulse_distance timings) is played as a receiver would report it and
// analysed as a live burst is.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "receiver/analysis/protocol_table.h"
#include "receiver/analysis/shape_code.h"

namespace orbisk {

enum class RemoteFormat { Keymap, FlipperIr, LircdConf };

// The decoder's settings a code depends on, as the settings file has them.
struct ImportDecoding {
    int repeatLength = 3;
    int skipBegin = 4;
    bool recognize = true;
    // False when only the codes are wanted: no replays, every key's stable
    // is false.  The replays are most of a plan's time.
    bool checkStable = true;
};

// One key as imported: one code of a button.
struct ImportedKey {
    std::string remote;  // the section it goes into
    std::string name;
    std::string source;  // what it was read from: "parsed line 12", "raw_codes line 40"
    IrFrame frame;       // protocol None: not recognised nor read as levels
    std::uint32_t code = 0;
    // Every press gives the code: replayed at 32, 50 and 64 us receiver
    // units, each with biases from -60 to 120 us and 5 % jitter (at its ends
    // and drawn), each replay gave it.  A decoded key is stable when its
    // protocol's frames read alike at every replay.
    bool stable = false;
    // Read from timings: the burst that gave the code, microseconds, mark
    // first (a kept frame for export).
    std::vector<std::uint32_t> micros{};
};

struct SkippedButton {
    std::string remote, name, source, reason;
};

struct RemoteImport {
    RemoteFormat format = RemoteFormat::Keymap;
    std::vector<std::string> remotes;  // the sections, in file order
    std::vector<ImportedKey> keys;     // each code once, the first button sending it
    // Left out: a code an earlier key has, and that key's name.
    std::vector<std::pair<ImportedKey, std::string>> shared;
    std::vector<SkippedButton> skipped;
};

// The plan for the file's text.  remoteName names the only remote, or
// prefixes the names of a lircd.conf's several ("NAME name"); empty takes
// the file's names (a .ir file is named after the file).  False with
// "path: line N: reason" for a file that is none of the three formats or
// that its reader refuses, and for a name the settings file would not give
// back as written.
bool PlanRemoteImport(std::string_view text, const std::string& path, const std::string& remoteName,
                      const ImportDecoding& decoding, RemoteImport& out, std::string& error);

// Reads a file to import whole.  False with why ("no such file: PATH", a
// file too large to fit in a settings file, the system's reason).
bool ReadRemoteFile(const std::string& path, std::string& text, std::string& error);

// Why a plan without keys imports nothing.
std::string NothingToImportText(const std::string& path);

// The codes that live bursts give for durations in microseconds, mark first,
// cut at spaces over 10 ms: each burst reported in units of unitMicros,
// scaled by 1 + a uniform deviation within +-jitter and with marks
// biasMicros longer, and taken as the frame reader and decoder take it; one
// code per fresh key signal, in order (repeats and short bursts give none),
// with its frame and its burst's durations where asked.
std::vector<std::uint32_t> LiveCodes(const std::vector<std::uint32_t>& micros, const ImportDecoding& decoding,
                                     double unitMicros, double jitter, double biasMicros, std::uint32_t seed,
                                     std::vector<IrFrame>* frames = nullptr,
                                     std::vector<std::vector<std::uint32_t>>* bursts = nullptr);

// A protocol frame's ideal form in microseconds; empty for a frame without one.
std::vector<std::uint32_t> IdealMicros(const IrFrame& frame);

// A frame longer than a receiver's burst holds is an air-conditioner's
// state (its whole setting at once), not a key.  Shorter long frames are
// keys of fans, heaters and toys, and their replays tell whether a press
// gives their code.
inline constexpr std::size_t MaxKeyBurstDurations = MaxBurstLength;

}  // namespace orbisk
