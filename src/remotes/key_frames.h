#pragma once
// The frame kept beside a learned or imported key: what the remote sends for
// it, so that the remote can be written out again for other tools (see
// remote_export.h).  A key's code is a hash and cannot be turned back into a
// signal; its frame can.
//
// Frames live in the settings file itself, each a comment line right after
// its key's entry:
//
//   [TV]
//   0A3F21C=Power
//   ;frame 0A3F21C nec:0x0408
//   E2C51F09=Menu
//   ;frame E2C51F09 raw 2400 600 1200 600 600 600 ...
//
// The plug-in, the host and every older version skip comments, so they read
// the file as before.  One file keeps keys and frames consistent where a file
// beside it could not: both change in the one replacement every writer makes
// under the settings file's lock, so no crash or second writer leaves a frame
// without its key; the file copied elsewhere takes its frames along; a frame
// names its code, so wherever a hand edit or a merge moves it, it never
// belongs to another key, and writers drop the frames whose key their section
// no longer holds (a deleted or replaced key's frame goes with it).  An older
// version that rewrites the remote sections drops the frames too: the keys
// still work, and only export then lists them as without a frame.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "receiver/analysis/protocol_table.h"

namespace orbisk {

class IniDocument;
struct ImportedKey;

// The comment tag of a kept frame: ";frame CODE TEXT".
inline constexpr std::string_view KeyFrameTag = "frame";

struct KeyFrame {
    // A frame of a protocol with an ideal form, toggle clear; protocol None
    // when the key is the burst below.
    IrFrame frame;
    // Otherwise the burst that gave the key's code: microseconds, mark
    // first (captures often end with a space).
    std::vector<std::uint32_t> micros;
    // The burst as the receiver sent it, in its own units (a press learned
    // in the dialog): their length is unknown, and they are written out as
    // ReceiverUnitMicros each, at which an import reads the same bytes.
    bool receiverUnits = false;
};

inline constexpr std::uint32_t ReceiverUnitMicros = 50;

// "nec:0x0408", "raw 9000 4500 560 ..." or "units 180 90 11 ...".
std::string KeyFrameText(const KeyFrame& frame);
// The reverse; false with the reason for a text that is none of them: an
// unknown protocol, a scancode it cannot carry, a burst that is empty, over
// 1,024 durations, or with a zero or over 16.7 s duration (over 0xFD
// receiver units).
bool ParseKeyFrame(std::string_view text, KeyFrame& out, std::string& reason);

// The frame that gives a press's code: the recognised frame when the code is
// its stable code; nullopt otherwise (a level reading, a frame without an
// ideal form, a code the receiver's own shape gave).
std::optional<KeyFrame> RecognisedKeyFrame(const IrFrame& frame, std::uint32_t code);
// An imported key's frame: recognised as above, else the burst it came from;
// nullopt for neither.
std::optional<KeyFrame> ImportedKeyFrame(const ImportedKey& key);
// A press's frame: recognised as above, else the receiver's bytes of its
// burst; nullopt for neither.
std::optional<KeyFrame> PressKeyFrame(const IrFrame& frame, std::uint32_t code,
                                      const std::vector<std::uint8_t>& burst);

// The durations a frame sends, in microseconds: the burst as kept, or the
// ideal form of the protocol frame.
std::vector<std::uint32_t> KeyFrameMicros(const KeyFrame& frame);

// A frame to keep for a key: remote and code as the key's entry has them.
struct KeptFrame {
    std::string remote;
    std::string code;
    KeyFrame frame;
};

// Writes the frames beside their keys and drops those of keys the file no
// longer holds, in one pass; a frame whose key is not in the file is not
// written.  Every writer of keys calls it after its entry changes, with no
// frames when it learned none.
void KeepFrames(IniDocument& doc, const std::vector<KeptFrame>& frames);

// The kept frames' texts of a remote's keys, by code as IniKeyId has it.
std::unordered_map<std::string, std::string> KeptFrameTexts(const IniDocument& doc, std::string_view remote);

}  // namespace orbisk
