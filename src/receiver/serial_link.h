#pragma once
// The one serial port of the receiver, with the port-open error policy:
// a port that cannot be opened either shows "Cannot open COM port" (and the
// receiver runs without a port), or, when HaltOnError is set and ExecOnError
// is not empty, is logged and ExecOnError is started instead.
#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/serial_device.h"

namespace orbisk {

struct Settings;
class SystemServices;

inline constexpr char MsgCannotOpenPort[] = "Cannot open COM port";
inline constexpr char MsgCannotSetSpeed[] = "Can't set COM port speed";
inline constexpr char MsgPortEventLog[] =
    "Cannot open COM port, application was closed. Please check configuration file of Orbisk plugin.";

class SerialLink {
public:
    SerialLink(SerialPorts& ports, SystemServices& system);

    bool OpenPort(int number);
    bool SetPortSpeed(int rate);
    bool SetReadTimeouts(int constantMs);
    bool ReadPort(std::uint8_t* buffer, int& count);
    bool PurgePort();
    bool ClosePort();
    bool ClosePortIfOpen();
    bool OpenReceiverPort(int number, const Settings& settings);

    bool IsOpen() const { return device_ != nullptr; }
    // Wakes a blocked ReadPort; safe from any thread while the port is held.
    void CancelRead();

private:
    SerialPorts& ports_;
    SystemServices& system_;
    std::unique_ptr<SerialDevice> device_;  // changes only while no reader runs
};

}  // namespace orbisk
