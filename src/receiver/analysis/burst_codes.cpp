#include "receiver/analysis/burst_codes.h"

#include "receiver/analysis/ir_recognizer.h"
#include "receiver/analysis/level_reading.h"
#include "receiver/analysis/shape_code.h"

namespace orbisk {

namespace {

// The frame's ideal form as receiver bytes, hashed with skipBegin.
KeyCode IdealFormCode(const IrFrame& frame, int skipBegin) {
    IrFrame cleared = frame;
    cleared.toggle = false;
    IrDurations ideal;
    if (!EncodeIrFrame(cleared, ideal)) return 0;
    // As receiver bytes: the decoder's unit is the shortest duration of at
    // least 2, so a one-tick duration is written as 2.  Only the ratios count.
    const int scale = ProtocolInfo(frame.protocol).unitTicks < 2 ? 2 : 1;
    std::uint8_t bytes[MaxIrDurations];
    for (int i = 0; i < ideal.count; ++i)
        bytes[i] = static_cast<std::uint8_t>(ideal.ticks[static_cast<std::size_t>(i)] * scale);
    return static_cast<KeyCode>(DecodeBurst(bytes, ideal.count, skipBegin));
}

}  // namespace

KeyCode StableCode(const IrFrame& frame) { return IdealFormCode(frame, 0); }

KeyCode LegacyStableCode(const IrFrame& frame, int skipBegin) {
    // 2.1.0 knew the protocols up to RC-6 MCE: it gave the others' frames no code of their own.
    if (frame.protocol > IrProtocol::Rc6Mce) return 0;
    return IdealFormCode(frame, skipBegin);
}

std::pair<KeyCode, KeyCode> StableCodeMemo::Get(const IrFrame& frame, int skipBegin) {
    IrFrame cleared = frame;
    cleared.toggle = false;
    if (cleared != frame_ || skipBegin != skipBegin_) {
        code_ = StableCode(cleared);
        legacy_ = LegacyStableCode(cleared, skipBegin);
        frame_ = cleared;
        skipBegin_ = skipBegin;
    }
    return {code_, legacy_};
}

BurstCodes DecodeBurstCodes(const std::uint8_t* burst, int length, int skipBegin, bool recognize,
                            StableCodeMemo* memo) {
    BurstCodes codes;
    codes.ownCode = static_cast<KeyCode>(DecodeBurst(burst, length, skipBegin));
    codes.code = codes.ownCode;
    if (!recognize) return codes;
    if (RecognizeBurst(burst, length, codes.frame)) {
        const auto [stable, legacy] = memo != nullptr
                                          ? memo->Get(codes.frame, skipBegin)
                                          : std::pair{StableCode(codes.frame), LegacyStableCode(codes.frame, skipBegin)};
        codes.code = stable;
        if (legacy != stable && legacy != codes.ownCode) codes.legacyCode = legacy;
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
