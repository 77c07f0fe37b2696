#include "receiver/analysis/burst_codes.h"

#include <tuple>

#include "receiver/analysis/ir_recognizer.h"
#include "receiver/analysis/level_reading.h"
#include "receiver/analysis/shape_code.h"

namespace orbisk {

namespace {

bool HasOlderCode(const IrFrame& frame) { return ProtocolInfo(frame.protocol).hasOlderCode; }

// The frame's ideal form with the toggle cleared, as receiver bytes; 0 for
// a frame without one.  known: that form where recognition wrote it, or none.
int IdealFormBytes(const IrFrame& frame, std::uint8_t* bytes, const IrDurations* known = nullptr) {
    IrDurations ideal;
    if (known != nullptr && known->count > 0) {
        ideal = *known;
    } else {
        IrFrame cleared = frame;
        cleared.toggle = false;
        if (!EncodeIrFrame(cleared, ideal)) return 0;
    }
    // As receiver bytes: the decoder's unit is the shortest duration of at
    // least 2, so a one-tick duration is written as 2.  Only the ratios count.
    const int scale = ProtocolInfo(frame.protocol).unitTicks < 2 ? 2 : 1;
    for (int i = 0; i < ideal.count; ++i)
        bytes[i] = static_cast<std::uint8_t>(ideal.ticks[static_cast<std::size_t>(i)] * scale);
    return ideal.count;
}

// The frame's older code: its ideal form hashed with the skip (a
// negative one counts as none).  known as IdealFormBytes takes it.
KeyCode OlderCodeOf(const IrFrame& frame, int skipBegin, const IrDurations* known = nullptr) {
    if (!HasOlderCode(frame)) return 0;
    std::uint8_t bytes[MaxIrDurations];
    const int count = IdealFormBytes(frame, bytes, known);
    return count == 0 ? 0 : static_cast<KeyCode>(DecodeBurst(bytes, count, skipBegin));
}

// Both codes; the older one is hashed only for the protocols that have one.
std::pair<KeyCode, KeyCode> StableCodes(const IrFrame& frame, int skipBegin, const IrDurations* known = nullptr) {
    return {StableCode(frame), OlderCodeOf(frame, skipBegin, known)};
}

}  // namespace

KeyCode StableCode(const IrFrame& frame) {
    if (!CanEncodeIrFrame(frame)) return 0;
    // Tagged apart from every other code made with the mix.
    const std::uint64_t h = MixBits(0x5374626C00000000ull ^ std::uint64_t{ProtocolInfo(frame.protocol).codeNumber} << 32 ^
                                    frame.scancode);
    const auto code = static_cast<KeyCode>(h ^ h >> 32);
    return code != 0 ? code : 1;
}

KeyCode OlderCode(const IrFrame& frame, int skipBegin) { return OlderCodeOf(frame, skipBegin); }

std::pair<KeyCode, KeyCode> StableCodeMemo::Get(const IrFrame& frame, int skipBegin, const IrDurations* ideal) {
    IrFrame cleared = frame;
    cleared.toggle = false;
    if (cleared != frame_ || skipBegin != skipBegin_) {
        std::tie(code_, older_) = StableCodes(cleared, skipBegin, ideal);
        frame_ = cleared;
        skipBegin_ = skipBegin;
    }
    return {code_, older_};
}

BurstCodes DecodeBurstCodes(const std::uint8_t* burst, int length, int skipBegin, bool recognize,
                            StableCodeMemo* memo) {
    BurstCodes codes;
    codes.shapeCode = static_cast<KeyCode>(DecodeBurst(burst, length, skipBegin));
    codes.code = codes.shapeCode;
    if (!recognize) return codes;
    IrDurations ideal;
    if (RecognizeBurst(burst, length, codes.frame, &ideal)) {
        const auto [stable, older] = memo != nullptr
                                          ? memo->Get(codes.frame, skipBegin, &ideal)
                                          : StableCodes(codes.frame, skipBegin, &ideal);
        codes.code = stable;
        if (older != stable && older != codes.shapeCode) codes.olderCode = older;
        return codes;
    }
    // No known protocol: the levels the remote meant, where they hold.
    LevelReading levels;
    if (ReadLevels(burst, length, levels)) {
        codes.code = levels.code;
        codes.frame = levels.frame;
    }
    return codes;
}

}  // namespace orbisk
