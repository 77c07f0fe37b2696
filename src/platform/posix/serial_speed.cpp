#include "platform/posix/serial_speed.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cstdlib>

namespace orbisk {

bool SetSerialSpeed(int fd, int baud) {
    if (baud <= 0) return false;  // 0 would hang the line up
    termios2 tio{};
    if (::ioctl(fd, TCGETS2, &tio) != 0) return false;
    // BOTHER takes the rate from c_ispeed/c_ospeed instead of a Bnnn
    // constant, so rates such as 250000 reach the driver as they are.
    tio.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    tio.c_ispeed = static_cast<speed_t>(baud);
    tio.c_ospeed = static_cast<speed_t>(baud);
    if (::ioctl(fd, TCSETS2, &tio) != 0) return false;
    // The driver stores the rate it could make; one that kept its old rate
    // or rounded far away has refused ours.
    termios2 applied{};
    if (::ioctl(fd, TCGETS2, &applied) != 0) return false;
    const auto near = [baud](speed_t got) {
        return std::llabs(static_cast<long long>(got) - baud) * 50 <= baud;
    };
    return near(applied.c_ospeed) && near(applied.c_ispeed);
}

}  // namespace orbisk
