// orbisk simulate --port plays on an existing tty: here the slave of a
// pseudo-terminal whose master this test reads, left as the system makes it
// (cooked), so that the simulator must make the line raw itself.
#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "capture/capture.h"
#include "capture/posix/pty.h"
#include "support/temp_dir.h"

namespace {

TEST(SimulatePort, PlaysTheCaptureOnTheTtyByteForByte) {
    orbisk::tool::PseudoTerminal pty;
    std::string error;
    ASSERT_TRUE(pty.Open(false, error)) << error;
    // Open made the line raw; the simulator must do it on a line it opens.
    termios cooked{};
    ASSERT_EQ(tcgetattr(pty.Master(), &cooked), 0);
    cooked.c_oflag |= OPOST | ONLCR;
    cooked.c_lflag |= ICANON | ECHO | ISIG | IEXTEN;
    cooked.c_iflag |= ICRNL | IXON;
    ASSERT_EQ(tcsetattr(pty.Master(), TCSANOW, &cooked), 0);

    // Line ends, flow control and line-editing characters, then a key.
    orbisk::test::TempDir dir;
    const std::string capture = "@0 0A 0D 11 13 7F 03 1A 04 15\n@50 B4 5A 0B 22 0B\n";
    orbisk::test::WriteFile(dir.File("keys.capture"), capture);
    std::vector<orbisk::tool::TimedBurst> bursts;
    ASSERT_TRUE(orbisk::tool::ParseCapture(capture, bursts, error)) << error;
    const std::vector<std::uint8_t> expected = orbisk::tool::WireBytes(bursts);

    const std::string command = std::string(ORBISK_BIN_DIR) + "/orbisk simulate --delay 0 --port " +
                                pty.SlavePath() + " " + dir.File("keys.capture") + " >/dev/null";
    FILE* simulator = popen(command.c_str(), "r");
    ASSERT_NE(simulator, nullptr);
    std::vector<std::uint8_t> got;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (got.size() < expected.size() && std::chrono::steady_clock::now() < end) {
        pollfd fd{pty.Master(), POLLIN, 0};
        if (poll(&fd, 1, 100) <= 0 || (fd.revents & POLLIN) == 0) continue;
        std::uint8_t buffer[256];
        const ssize_t n = read(pty.Master(), buffer, sizeof buffer);
        if (n > 0) got.insert(got.end(), buffer, buffer + n);
    }
    EXPECT_EQ(pclose(simulator), 0);
    EXPECT_EQ(got, expected);
}

}  // namespace
