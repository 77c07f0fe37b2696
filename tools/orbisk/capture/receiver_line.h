#pragma once
// The line `orbisk simulate` plays the receiver's bytes on: either a
// pseudo-terminal it serves as port N (Linux only), or an existing serial
// port it writes to (a tty on Linux, COMn on Windows, for example one end of
// a null-modem pair whose other end the plug-in reads).
#include <cstdint>
#include <memory>
#include <string>

namespace orbisk::tool {

class ReceiverLine {
public:
    virtual ~ReceiverLine() = default;

    // Writes the bytes; those that do not fit because no one empties the
    // line are dropped, as on a real line.  False with a reason when the
    // line fails.
    virtual bool Write(const std::uint8_t* bytes, std::size_t count, std::string& error) = 0;

    // Whether a reader has opened the far end, when the line can tell
    // (CanSeeReader); a line that cannot tell always says true.
    virtual bool CanSeeReader() const = 0;
    virtual bool ReaderAttached() const = 0;

    // Bytes written but not yet taken by the far end (or not yet sent, for
    // a port); 0 when the line cannot tell.
    virtual int PendingBytes() const = 0;

    // What the line is, for the one line the simulator prints.
    virtual std::string Describe() const = 0;
};

// A pseudo-terminal served as port number `port`, linked into portFolder;
// null with a reason where the platform has none.
std::unique_ptr<ReceiverLine> ServePort(const std::string& portFolder, int port, std::string& error);

// An existing serial port by name, raw 8N1 at the receiver's 115200 baud;
// null with a reason.
std::unique_ptr<ReceiverLine> OpenSerialLine(const std::string& name, std::string& error);

}  // namespace orbisk::tool
