// Arbitrary bursts through the protocol recogniser: whatever it accepts is
// a frame the encoder can write, whose clean rendering it recognises again
// as the same frame, and whose code is that frame's stable code; what it
// leaves and the level reading reads gets the reading's code.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "receiver/published_state.h"
#include "receiver/analysis/ir_recognizer.h"
#include "receiver/analysis/level_reading.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace orbisk;
    if (size < 1 || size > MaxBurstLength + 1) return 0;
    const int skipBegin = data[0] % 21;
    const int length = static_cast<int>(size - 1);
    const std::uint8_t* burst = data + 1;

    const BurstCodes plain = DecodeBurstCodes(burst, length, skipBegin, false);
    Check(plain.code == DecodeBurst(burst, length, skipBegin) && plain.frame.protocol == IrProtocol::None);

    const BurstCodes codes = DecodeBurstCodes(burst, length, skipBegin, true);
    Check(codes.shapeCode == plain.shapeCode);
    if (codes.frame.protocol == IrProtocol::None) {
        Check(codes.code == plain.code);
        return 0;
    }
    // Levels are read only where no protocol is recognised, and alike again.
    if (IsLevelReading(codes.frame.protocol)) {
        IrFrame frame;
        LevelReading reading;
        Check(!RecognizeBurst(burst, length, frame) && ReadLevels(burst, length, reading));
        Check(reading.code == codes.code && reading.frame == codes.frame && codes.olderCode == 0);
        return 0;
    }
    const IrProtocolInfo& info = ProtocolInfo(codes.frame.protocol);
    Check((codes.frame.scancode & ~info.scancodeMask) == 0);
    Check(codes.code == StableCode(codes.frame));

    IrDurations ideal;
    Check(EncodeIrFrame(codes.frame, ideal));
    std::uint8_t clean[MaxIrDurations];
    RenderIrDurations(ideal, info.tickMicros, 50.0, 0.0, [] { return 0.0; }, clean);
    IrFrame again;
    Check(RecognizeBurst(clean, ideal.count, again) && again == codes.frame);
    return 0;
}
