#pragma once
// The serial port as the receiver link needs it: open by number, raw 8N1 at a
// baud rate, reads with the interval/total time-out rule, purge, close.
// One back-end per platform implements it (posix/ and win32/serial_device.cpp);
// both time the reads themselves, since no driver's own time-outs know the
// end byte.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace orbisk {

struct ReadTimeouts {
    std::uint32_t intervalMs = 2;         // gap after the latest byte that ends a read
    std::uint32_t totalMultiplierMs = 10;  // per byte asked for
    std::uint32_t totalConstantMs = 100;   // added once per read
    // A byte that ends a message: a read returns as soon as it has read it.
    std::optional<std::uint8_t> endByte;
    // Non-zero: the line has been quiet this long after the latest byte read
    // from it (by this read or an earlier one; before any, since the read
    // began).  It proves a silence whatever time passed between reads.
    std::uint32_t silenceMs = 0;
};

class SerialDevice {
public:
    virtual ~SerialDevice() = default;

    // Raw line: baud, no parity, 8 data bits, 1 stop bit, no flow control of
    // any kind, DTR and RTS inactive.  Every byte value passes unchanged,
    // whatever mode the line was left in.  Any positive rate the driver
    // accepts is used, not only the classic table; false when the device
    // refuses the line or the rate (or applies one more than 2 % off).
    virtual bool SetLineSettings(int baud) = 0;

    // Applies to the next Read.  The reader calls it between its reads, on
    // its own thread (it switches to shorter reads while a burst is
    // unfinished), while CancelRead may come from another thread.
    virtual bool SetReadTimeouts(const ReadTimeouts& timeouts) = 0;

    // One blocking read of up to count bytes.  It returns as soon as the
    // first of these happens:
    //  - count bytes have come;
    //  - endByte is set and a byte equal to it has been read: the read hands
    //    on what it holds without waiting for the gap or for more bytes.  Bytes
    //    the driver delivered together with it, after it, may come along; none
    //    is held back or lost;
    //  - intervalMs have passed after the latest byte, once one has come;
    //  - count * totalMultiplierMs + totalConstantMs have passed since it began;
    //  - silenceMs have passed since the latest byte read;
    //  - CancelRead was called.
    // A limit that has passed ends the read only when no byte is waiting: the
    // device cannot tell when a waiting byte came, so only an empty wait
    // proves the line quiet.
    // A zero intervalMs disables the gap rule; zero multiplier and constant
    // together disable the total.  A time-out is not a failure: count becomes
    // the number of bytes read, 0 included.  On failure (a hang-up, a device
    // error) the result is false and count is left as it was; bytes read
    // before a hang-up are still returned by a successful read and the next
    // Read fails.
    virtual bool Read(std::uint8_t* buffer, int& count) = 0;

    // Wakes a Read that is blocked now or starts later, from any thread: it
    // returns at once with what it has.  Used to stop the reader promptly.
    virtual void CancelRead() = 0;

    // Drops whatever the driver holds in either direction.
    virtual bool Purge() = 0;

    // Closes the device; false leaves it open.
    virtual bool Close() = 0;
};

class SerialPorts {
public:
    virtual ~SerialPorts() = default;
    // The device that port number n leads to now; empty when n names none.
    // Each call looks the port up afresh, so a port whose device went away
    // and came back (a USB adapter re-plugged) is found again by its number.
    virtual std::string Locate(int number) = 0;
    // Opens that device for exclusive use; null when it cannot be opened.
    virtual std::unique_ptr<SerialDevice> OpenDevice(const std::string& device) = 0;

    // Opens port number n where it leads now.
    std::unique_ptr<SerialDevice> Open(int number) {
        const std::string device = Locate(number);
        return device.empty() ? nullptr : OpenDevice(device);
    }
};

// The platform's ports.  portFolder is where per-port links live (on Linux
// <folder of orbisk.so>/ports/comN); it may be empty.
std::unique_ptr<SerialPorts> MakeSystemSerialPorts(const std::string& portFolder);

// The device path that port number n opens with MakeSystemSerialPorts(portFolder),
// for messages that tell the user what was tried; empty when n names no port.
std::string SystemSerialPortPath(const std::string& portFolder, int number);

}  // namespace orbisk
