// The simulator's line on Windows: an existing COM port, for example one end
// of a null-modem pair.  Windows has no pseudo-terminals to serve a port of
// our own.
#include "capture/receiver_line.h"

#include <windows.h>

#include "commands/win32/win32_text.h"

namespace orbisk::tool {

namespace {

class ComPortLine final : public ReceiverLine {
public:
    explicit ComPortLine(std::string name) : name_(std::move(name)) {}
    ~ComPortLine() override {
        if (port_ != INVALID_HANDLE_VALUE) CloseHandle(port_);
    }

    bool Open(std::string& error) {
        // \\.\COMn reaches COM10 and above as well.
        const std::string path = name_.rfind("\\\\", 0) == 0 ? name_ : "\\\\.\\" + name_;
        port_ = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (port_ == INVALID_HANDLE_VALUE) {
            error = name_ + ": " + SystemErrorText(GetLastError());
            return false;
        }
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        COMMTIMEOUTS timeouts{};
        // A line that no one empties drops what does not go out within a
        // write's time-out, instead of holding the simulator up.
        timeouts.WriteTotalTimeoutMultiplier = 1;
        timeouts.WriteTotalTimeoutConstant = 50;
        if (!GetCommState(port_, &dcb) ||
            !BuildCommDCBA("baud=115200 parity=N data=8 stop=1 to=off xon=off odsr=off octs=off dtr=on rts=on idsr=off",
                           &dcb) ||
            !SetCommState(port_, &dcb) || !SetCommTimeouts(port_, &timeouts)) {
            error = name_ + ": cannot set the line up: " + SystemErrorText(GetLastError());
            return false;
        }
        return true;
    }

    bool Write(const std::uint8_t* bytes, std::size_t count, std::string& error) override {
        DWORD written = 0;
        if (!WriteFile(port_, bytes, static_cast<DWORD>(count), &written, nullptr)) {
            error = "writing to " + name_ + ": " + SystemErrorText(GetLastError());
            return false;
        }
        return true;  // a short write is a time-out: the rest is dropped
    }
    bool CanSeeReader() const override { return false; }
    bool ReaderAttached() const override { return true; }
    int PendingBytes() const override {
        COMSTAT status{};
        DWORD errors = 0;
        return ClearCommError(port_, &errors, &status) ? static_cast<int>(status.cbOutQue) : 0;
    }
    std::string Describe() const override { return "writing to " + name_; }

private:
    const std::string name_;
    HANDLE port_ = INVALID_HANDLE_VALUE;
};

}  // namespace

std::unique_ptr<ReceiverLine> ServePort(const std::string&, int, std::string& error) {
    error = "Windows has no pseudo-terminals: give --port COMn, one end of a null-modem pair whose other "
            "end the plug-in reads";
    return nullptr;
}

std::unique_ptr<ReceiverLine> OpenSerialLine(const std::string& name, std::string& error) {
    auto line = std::make_unique<ComPortLine>(name);
    if (!line->Open(error)) return nullptr;
    return line;
}

}  // namespace orbisk::tool
