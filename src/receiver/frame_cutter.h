#pragma once
// Cuts the receiver's byte stream into bursts at the terminator 0xFE.  A
// burst may span several reads and one read may end one burst and start the
// next.  A 255th duration byte drops what was collected and collection starts
// again, so a burst of N > 254 bytes arrives as its last N mod 255 bytes.
#include <array>
#include <cstdint>

namespace orbisk {

inline constexpr std::uint8_t BurstTerminator = 0xFE;

class FrameCutter {
public:
    // Calls onBurst(const uint8_t* bytes, int length) for every terminator.
    template <typename OnBurst>
    void Feed(const std::uint8_t* bytes, int count, OnBurst&& onBurst) {
        for (int i = 0; i < count; ++i) {
            const std::uint8_t b = bytes[i];
            if (b == BurstTerminator) {
                onBurst(static_cast<const std::uint8_t*>(frame_.data()), length_);
                length_ = 0;
            } else {
                frame_[static_cast<std::size_t>(length_)] = b;
                if (++length_ > 254) length_ = 0;
            }
        }
    }
    void Clear() { length_ = 0; }
    int PendingLength() const { return length_; }

private:
    std::array<std::uint8_t, 256> frame_{};
    int length_ = 0;
};

}  // namespace orbisk
