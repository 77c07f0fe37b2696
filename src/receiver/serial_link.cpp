#include "receiver/serial_link.h"

#include "platform/system_services.h"
#include "receiver/frame_cutter.h"
#include "settings/settings.h"

namespace orbisk {

namespace {

// Read time-outs of the link: ReadIntervalMs between bytes ends a read, and
// a read of N bytes gives up after N * 10 ms plus the constant.
constexpr std::uint32_t kReadTotalMultiplierMs = 10;
constexpr int kOpenReadConstantMs = 100;

}  // namespace

SerialLink::SerialLink(SerialPorts& ports, SystemServices& system) : ports_(ports), system_(system) {}

bool SerialLink::OpenPort(int number) {
    openedDevice_.clear();
    return OpenDevice(ports_.Locate(number));
}

bool SerialLink::OpenDevice(const std::string& device) {
    // One port at a time.  A port still held from a start whose time-outs
    // were refused is let go first: its exclusive lock would otherwise make
    // this open fail.
    if (device_) {
        device_->Close();
        device_.reset();
    }
    if (!device.empty()) device_ = ports_.OpenDevice(device);
    if (!device_) return false;
    openedDevice_ = device;
    // A refused time-out leaves the port open and held.
    return SetReadTimeouts(kOpenReadConstantMs);
}

bool SerialLink::SetPortSpeed(int rate) {
    if (!device_) return false;
    return device_->SetLineSettings(rate);
}

bool SerialLink::SetReadTimeouts(int constantMs) {
    if (!device_) return false;
    ReadTimeouts timeouts;
    timeouts.intervalMs = ReadIntervalMs;
    timeouts.totalMultiplierMs = kReadTotalMultiplierMs;
    timeouts.totalConstantMs = static_cast<std::uint32_t>(constantMs);
    // A burst is complete at its terminator: waiting for the gap after it
    // would only hold the key back.
    timeouts.endByte = BurstTerminator;
    return device_->SetReadTimeouts(timeouts);
}

bool SerialLink::SetSilenceTimeouts(int silenceMs) {
    if (!device_) return false;
    ReadTimeouts timeouts;
    timeouts.intervalMs = ReadIntervalMs;
    timeouts.totalMultiplierMs = 0;
    timeouts.totalConstantMs = 0;
    timeouts.endByte = BurstTerminator;
    timeouts.silenceMs = static_cast<std::uint32_t>(silenceMs);
    return device_->SetReadTimeouts(timeouts);
}

bool SerialLink::ReadPort(std::uint8_t* buffer, int& count) {
    if (!device_) return false;
    int got = count;
    if (!device_->Read(buffer, got)) return false;
    count = got;
    return true;
}

bool SerialLink::PurgePort() {
    if (!device_) return false;
    device_->Purge();  // a purge that fails leaves stale bytes at worst
    return true;
}

bool SerialLink::ClosePort() {
    if (!device_) return true;
    if (!device_->Close()) return false;
    device_.reset();
    return true;
}

bool SerialLink::ClosePortIfOpen() {
    if (!device_) return false;
    ClosePort();
    return true;
}

void SerialLink::CancelRead() {
    if (device_) device_->CancelRead();
}

bool SerialLink::OpenReceiverPort(int number, const Settings& settings) {
    if (OpenPort(number)) {
        if (!SetPortSpeed(settings.COMRate.load(std::memory_order_relaxed))) {
            system_.ShowError(MsgCannotSetSpeed);
            ClosePort();
            return false;
        }
        PurgePort();
        return true;
    }
    if (settings.HaltOnError.load(std::memory_order_relaxed) && !settings.ExecOnError.empty()) {
        system_.LogError(MsgPortEventLog);
        if (!system_.StartHidden(settings.ExecOnError))
            system_.LogError(MsgCannotStartCommand + settings.ExecOnError);
        // The receiver does not start, so nothing would ever close a port
        // that opened but refused its time-outs.
        ClosePortIfOpen();
        return false;
    }
    // The receiver runs without a port; every read fails until it is
    // started again with one that opens.
    system_.ShowError(MsgCannotOpenPort);
    PurgePort();
    return true;
}

bool SerialLink::ReopenPort(int number, int rate, int intervalMs) {
    const std::string device = openedDevice_.empty() ? ports_.Locate(number) : openedDevice_;
    if (!OpenDevice(device) || !SetPortSpeed(rate) || !SetReadTimeouts(intervalMs)) {
        ClosePortIfOpen();
        return false;
    }
    PurgePort();
    return true;
}

}  // namespace orbisk
