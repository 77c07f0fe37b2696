#pragma once
// What `orbisk decode` does with the receiver's bytes, apart from reading
// and printing them.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "receiver/analysis/protocol_table.h"
#include "receiver/published_state.h"

namespace orbisk::tool {

using orbisk::BurstKind;

const char* BurstKindName(BurstKind kind);  // "key", "repeat", "short"

struct DecodedBurst {
    std::uint64_t code = 0;  // LastCode as published after the burst
    BurstKind kind = BurstKind::Key;
    IrFrame frame;           // the frame recognised in a key burst
    bool recognize = true;   // recognition was on: a key shows its frame
};

// The decoder as the plug-in runs it, burst after burst, on a published
// state of its own that starts at 0: a repeat gives the code it repeats.
class BurstDecoder {
public:
    BurstDecoder(int skipBegin, int repeatLength, bool recognize)
        : skipBegin_(skipBegin), repeatLength_(repeatLength), recognize_(recognize) {}
    DecodedBurst operator()(const std::uint8_t* burst, int length);

private:
    class NoWakeUp final : public WakeUp {
    public:
        void Set() override {}
    };
    const int skipBegin_, repeatLength_;
    const bool recognize_;
    PublishedState state_;
    NoWakeUp wake_;
};

// Cuts the bytes into bursts exactly as the plug-in's reader does and runs
// each through the decoder with a published state that starts at 0, with
// recognition as Recognize says.  Bytes after the last terminator are a
// burst still in progress and give nothing.
std::vector<DecodedBurst> DecodeWireBytes(const std::vector<std::uint8_t>& bytes, int skipBegin,
                                          int repeatLength, bool recognize = true);

// A decoded burst as orbisk decode and orbisk monitor show it: its code
// text, its kind and, for a key decoded with recognition, what was
// recognised in it.
std::string BurstText(const DecodedBurst& burst);

// Byte values in hexadecimal (see ParseHexByte) separated by blanks or line
// breaks; '#' starts a comment that runs to the end of the line.  On
// failure returns false with a one-line reason naming the line and token.
bool ParseWireHex(std::string_view text, std::vector<std::uint8_t>& out, std::string& error);

}  // namespace orbisk::tool
