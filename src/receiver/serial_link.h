#pragma once
// The one serial port of the receiver, with the port-open error policy:
// a port that cannot be opened either shows "Cannot open COM port" (and the
// receiver runs without a port), or, when HaltOnError is set and ExecOnError
// is not empty, is logged and ExecOnError is started instead.
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "platform/serial_device.h"

namespace orbisk {

struct Settings;
class SystemServices;

inline constexpr char MsgCannotOpenPort[] = "Cannot open COM port";
inline constexpr char MsgCannotSetSpeed[] = "Can't set COM port speed";
inline constexpr char MsgPortEventLog[] =
    "Cannot open COM port, application was closed. Please check configuration file of Orbisk plugin.";
// Followed by the command line.
inline constexpr char MsgCannotStartCommand[] = "Cannot start the ExecOnError command: ";
// The gap after the latest byte that ends a read.
inline constexpr std::uint32_t ReadIntervalMs = 2;

class SerialLink {
public:
    SerialLink(SerialPorts& ports, SystemServices& system);

    // Opens the port where its number leads now.
    bool OpenPort(int number);
    bool SetPortSpeed(int rate);
    // The read time-outs: 2 ms between bytes, 10 ms per byte asked for plus
    // the constant; a read also returns at once with a burst terminator.
    bool SetReadTimeouts(int constantMs);
    // Reads that give up once the line has been quiet for silenceMs after
    // its latest byte, whatever they ask for (and after the gap, once bytes
    // came): they tell an unfinished burst that the line has gone quiet.
    bool SetSilenceTimeouts(int silenceMs);
    bool ReadPort(std::uint8_t* buffer, int& count);
    bool PurgePort();
    bool ClosePort();
    bool ClosePortIfOpen();
    bool OpenReceiverPort(int number, const Settings& settings);
    // Opens the port again after it was lost, or once it appears when it was
    // missing at start, with the line settings and read time-outs it was
    // started with, silently; false leaves no port.  A port that was open
    // comes back only as the device it was: once its link is gone the number
    // may lead to another device, a built-in port that is not the receiver.
    bool ReopenPort(int number, int rate, int intervalMs);

    bool IsOpen() const { return device_ != nullptr; }
    // Wakes a blocked ReadPort; safe from any thread while no other thread
    // opens or closes the port.
    void CancelRead();

private:
    bool OpenDevice(const std::string& device);

    SerialPorts& ports_;
    SystemServices& system_;
    // Both change only while no reader runs, or on the reader's thread.
    std::unique_ptr<SerialDevice> device_;
    std::string openedDevice_;  // the device of the latest open that worked
};

}  // namespace orbisk
