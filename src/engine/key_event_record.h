#pragma once
// Writers of the key event record; the layout itself is the public one in
// orbisk/host.h.
#include <cstddef>
#include <string_view>

#include "orbisk/host.h"

namespace orbisk {

inline constexpr std::size_t SourceNameMaxChars = 63;
inline constexpr std::size_t KeyNameMaxChars = 123;
inline constexpr std::size_t RemoteNameCapacity = 64;
inline constexpr std::size_t RemoteNameMaxChars = 63;
inline constexpr char UndefinedRemoteName[] = "<undefined>";

// Zeroes the record, then writes the host's name (or "REMOTE") and "UNI".
void InitKeyEventRecord(OrbiskKeyEventRecord& record, const char* name);

// Written by the engine each time it starts: "EXT", 2, 0, 0 and the
// addresses of its code-text and remote-name buffers.
void StampEngineFields(OrbiskKeyEventRecord& record, const char* codeText,
                       const char* remoteNameText);

}  // namespace orbisk
