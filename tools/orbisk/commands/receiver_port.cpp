#include "commands/receiver_port.h"

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

#include "commands/commands.h"
#include "commands/stop_signals.h"
#include "host/plugin_loader.h"
#include "platform/serial_device.h"
#include "platform/system_services.h"
#include "receiver/frame_cutter.h"
#include "receiver/receiver_thread.h"
#include "receiver/serial_link.h"

namespace orbisk::tool {

int ReadPortBursts(std::string_view command, const PortLine& line, std::optional<std::chrono::seconds> limit,
                   const std::function<void(const std::uint8_t*, int)>& onBurst) {
    const SettingsPlace place = DefaultSettingsPlace();
    if (!place.problem.empty()) return Fail(command, place.problem);
    const std::string& portFolder = place.portFolder;
    const std::string path = SystemSerialPortPath(portFolder, line.port);
    const auto ports = MakeSystemSerialPorts(portFolder);
    const auto system = MakeSystemServices();
    SerialLink link(*ports, *system);
    const std::string com = "COM" + std::to_string(line.port);
    if (!link.OpenPort(line.port)) return Fail(command, PortOpenFailure(portFolder, line.port, path));
    if (!link.SetPortSpeed(line.rate)) return Fail(command, com + " refuses " + std::to_string(line.rate) + " baud");
    link.SetReadTimeouts(line.intervalMs);
    link.PurgePort();
    const std::string ends =
        limit ? "Ctrl-C or " + std::to_string(limit->count()) + " seconds end" : std::string("Ctrl-C ends");
    std::fprintf(stderr, "orbisk %.*s: reading %s (%s) at %d baud; %s\n", static_cast<int>(command.size()),
                 command.data(), com.c_str(), path.c_str(), line.rate, ends.c_str());

    // Taken before the reader starts, so that stop requests all come to
    // this thread.
    StopSignals signals;
    std::atomic<bool> stop{false}, hungUp{false};
    std::thread reader([&] {
        FrameCutter cutter;
        std::uint8_t buffer[ReadRequestBytes];
        while (!stop.load(std::memory_order_acquire)) {
            int count = ReadRequestBytes;
            if (!link.ReadPort(buffer, count)) {
                // Wake the main thread, which waits for stop requests only.
                hungUp.store(true, std::memory_order_release);
                signals.Raise();
                return;
            }
            cutter.Feed(buffer, count, onBurst);
        }
    });
    if (limit) signals.SleepFor(*limit);
    else signals.Wait();
    stop.store(true, std::memory_order_release);
    link.CancelRead();
    reader.join();
    link.ClosePort();
    if (hungUp.load(std::memory_order_acquire)) return Fail(command, com + " hung up (adapter unplugged?)");
    return 0;
}

}  // namespace orbisk::tool
