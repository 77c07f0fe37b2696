#pragma once
// The LIRC daemon's socket protocol, as far as a source of received keys
// speaks it: the broadcast line of a key event, the replies to commands, and
// the per-client state of `orbisk serve` (bounded output, line assembly).
// Nothing here touches a socket, so all of it runs in unit tests.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "host/key_lines.h"

namespace orbisk {
class KeyTable;
}

namespace orbisk::tool::lirc {

// A name as LIRC clients split lines: blanks and control characters become
// '_' (an empty name is "_"), so that a name is always one field.
std::string WireName(std::string_view name);

struct BroadcastOptions {
    bool unknown = false;        // also codes that name no learned key
    std::string releaseSuffix;   // non-empty: releases too, as <button><suffix>
};

// What the daemon sends every client after it re-read its configuration.
inline constexpr std::string_view SighupPacket = "BEGIN\nSIGHUP\nEND\n";

// The learned keys as LIST shows them and the broadcast names them: names in
// wire form, within the lengths the key event record carries, and unique
// without regard to case (remotes among remotes, keys within their remote).
// A name already in wire form keeps it; one that meets a name taken, as
// "My TV" meets "My_TV", gets "_2", "_3", ... appended.  Keys that carry the
// same name (the codes of a toggle-bit remote) share it.
struct Catalogue {
    struct Key {
        std::uint64_t code = 0;
        std::string name;
        std::string source;  // as the record carries it
    };
    struct Remote {
        std::string name;
        std::vector<Key> keys;
        std::string source;
    };
    std::vector<Remote> remotes;
    // By upper-case code text, the first key with that code (the one the
    // plug-in finds): remote and key index.
    std::unordered_map<std::string, std::pair<std::size_t, std::size_t>> byCode;

    // The remote and key names of an event with this code text: the
    // catalogue's when it knows the key under the event's names, otherwise
    // the event's in wire form.
    std::pair<std::string, std::string> Names(const HostKeyEvent& event, std::string_view code) const;
};
Catalogue CatalogueFrom(const KeyTable& table);

// The line broadcast for one key message,
// "<16 hex digits> <repeat in hex> <button> <remote>\n"; nothing when the
// options leave the event out.  A release carries pressedCode, the code text
// of the key's press, when given: after a switch to another key the
// plug-in's release already shows the new key's code.
std::optional<std::string> BroadcastLine(const HostKeyEvent& event, const BroadcastOptions& options,
                                         const Catalogue& catalogue, std::string_view pressedCode = {});

// Turns the plug-in's key messages into the lines every client gets.  A
// code that names no learned key (with BroadcastOptions::unknown) is one
// line per press, sent when the press ends, with the number of its repeats:
// a held key (or steady noise) is not a line every repeat.
class Broadcaster {
public:
    // The lines for one message, in order; often none.
    std::string Lines(const HostKeyEvent& event, const BroadcastOptions& options, const Catalogue& catalogue);

private:
    std::string pressedCode_;              // of the key last pressed, for its release line
    std::optional<HostKeyEvent> unknown_;  // an unknown press not sent yet; value: its repeats
};

// The reply packet to one command line (without its line break), made as
// it is sent: a LIST of thousands of keys is never held whole for a client
// that does not take it.  The catalogue is kept until the last line.
class ReplyStream {
public:
    ReplyStream() = default;
    ReplyStream(std::string_view commandLine, std::shared_ptr<const Catalogue> catalogue);

    // Appends the next part of the packet, lines up to about bytes, or at
    // least one; false when there is nothing (more) to append.
    bool Append(std::string& out, std::size_t bytes);
    bool Done() const { return head_.empty() && next_ == end_ && !endLeft_; }

private:
    std::string head_;  // what goes before the lines listed from the catalogue
    std::shared_ptr<const Catalogue> catalogue_;
    const Catalogue::Remote* remote_ = nullptr;  // whose keys are listed; none: the remotes
    std::string keyName_;                        // listed keys only of this name; empty: all
    std::size_t next_ = 0, end_ = 0;
    bool endLeft_ = false;  // "END" still to append
};

// The whole reply packet to one command line.
std::string Reply(std::string_view commandLine, const Catalogue& catalogue);

// Commands longer than this are refused without being kept.
inline constexpr std::size_t MaxCommandBytes = 1024;

// Diagnostics that a client can cause by the thousand (drops, refused
// connections) counted, and written as one summary at most once a second:
// whoever reads standard error, or no one, the server goes on.
class Notices {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr auto Interval = std::chrono::seconds(1);

    explicit Notices(std::string prefix) : prefix_(std::move(prefix)) {}

    void Count(std::string_view what, std::uint64_t times = 1);
    // When the summary is due; nothing while nothing is counted.
    std::optional<Clock::time_point> DueAt() const;
    // The summary, a line per kind with how often it happened, when due at
    // now (or at once with force).
    std::optional<std::string> Due(Clock::time_point now, bool force = false) const;
    // The summary went out (and its counts start again), or could not.
    void Done(Clock::time_point now, bool written);

private:
    std::string prefix_;
    std::vector<std::pair<std::string, std::uint64_t>> counts_;
    std::optional<Clock::time_point> last_;
};

// One connected client: the bytes still to be written to it and the
// commands it sent.  Key lines are queued within a bound; a reply goes whole
// whatever its size, made a part at a time as the client takes it, with the
// key lines queued meanwhile behind it.  The next command is answered only
// once all before it has been sent, so a client that sends commands without
// reading the replies only stops being read.  A client holds at most a part
// of a reply and its queue of key lines.
class Client {
public:
    // Room for about 1,500 key lines: minutes of keys for a client that is
    // merely slow, but a client that stops reading is given up long before
    // memory grows.
    static constexpr std::size_t DefaultOutputLimit = 64 * 1024;
    // How much of a reply is made at a time.
    static constexpr std::size_t ReplyPartBytes = 4 * 1024;

    explicit Client(std::size_t outputLimit = DefaultOutputLimit) : outputLimit_(outputLimit) {}

    // Queues key lines; false (and nothing queued) when they do not fit
    // beside those still queued (a reply still being sent is not counted):
    // the client is not reading and must be dropped.
    bool Queue(std::string_view bytes);
    // Takes bytes the client sent, to be answered.
    void Receive(std::string_view bytes);
    // Answers the next command line received, once nothing is left to send;
    // true when a reply was queued.
    bool Answer(const std::shared_ptr<const Catalogue>& catalogue);
    // Whether to read more from the client: all it sent has been answered.
    bool WantsInput() const { return inputUsed_ == input_.size(); }

    // The bytes to write now; more follow them once they are sent while
    // PendingBytes() is not 0.
    std::string_view Pending() const { return std::string_view(output_).substr(sent_); }
    void Sent(std::size_t count);
    std::size_t PendingBytes() const { return output_.size() - sent_; }
    // The bytes this client holds: those to send now and key lines behind a reply.
    std::size_t HeldBytes() const { return PendingBytes() + behindReply_.size(); }

private:
    // Key-line bytes queued, those behind a reply included.
    std::size_t LineBytes() const;
    // Once the bytes to write are sent: the next part of the reply, or the
    // key lines that waited for its end.
    void Refill();

    std::size_t outputLimit_;
    std::string output_;
    std::size_t sent_ = 0;
    std::size_t replyEnd_ = 0;  // output_ up to here is a reply
    ReplyStream reply_;
    std::string behindReply_;  // key lines queued while a reply is under way
    std::string input_;
    std::size_t inputUsed_ = 0;
    std::string line_;
    bool overlong_ = false;  // dropping the rest of an overlong line
};

}  // namespace orbisk::tool::lirc
