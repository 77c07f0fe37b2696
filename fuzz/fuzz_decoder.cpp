// Arbitrary receiver bytes through the reader's cut and the decoder, and
// arbitrary bursts straight into the decoder, checked against the decoding
// rules written out step by step.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "../tests/unit/receiver/analysis/reference_decoder.h"
#include "receiver/published_state.h"
#include "receiver/frame_cutter.h"

namespace {

class CountingWakeUp final : public orbisk::WakeUp {
public:
    void Set() override { ++count; }
    int count = 0;
};

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace orbisk;
    if (size < 2 || size > 1 << 16) return 0;
    // The first two bytes are the settings, signed so that the values only a
    // hand-edited settings file can hold come up too.
    const int skipBegin = static_cast<std::int8_t>(data[0]);
    const int repeatLength = static_cast<std::int8_t>(data[1]);
    data += 2;
    size -= 2;

    // The rest as one burst, longer than the reader ever delivers.
    const int length = static_cast<int>(size);
    const std::uint64_t code = DecodeBurst(data, length, skipBegin);
    Check(code == reference::Decode(data, length, skipBegin));

    // The rest as a stream from the receiver.
    PublishedState state;
    CountingWakeUp wake;
    FrameCutter cutter;
    int bursts = 0;
    cutter.Feed(data, length, [&](const std::uint8_t* burst, int burstLength) {
        Check(burstLength >= 0 && burstLength <= MaxBurstLength);
        const std::uint64_t before = state.LastCode.load();
        ClassifyBurst(burst, burstLength, repeatLength, skipBegin, state, wake);
        ++bursts;
        const std::uint64_t after = state.LastCode.load();
        if (burstLength > repeatLength) {
            Check(after == reference::Decode(burst, burstLength, skipBegin));
        } else {
            Check(after == (burstLength == repeatLength ? before : 0));
        }
        Check(state.SignalPresent.load() && state.UpdatePending.load());
    });
    Check(wake.count == bursts);
    Check(cutter.PendingLength() >= 0 && cutter.PendingLength() <= MaxBurstLength);
    return 0;
}
