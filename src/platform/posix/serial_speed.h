#pragma once
// Baud rates by number rather than by the termios table, kept apart because
// the kernel's termios2 header cannot be included beside <termios.h>.

namespace orbisk {

// Sets both directions of the terminal fd to baud and reads the rate back:
// false when the driver refuses it or applies one more than 2 % away (a
// UART is off by its divisor's rounding, which the line tolerates up to
// about that much).  Leaves every other line setting as it was.
bool SetSerialSpeed(int fd, int baud);

}  // namespace orbisk
