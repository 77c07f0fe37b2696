#include "host_events.h"

#include <fcntl.h>
#include <unistd.h>

#include <type_traits>

#include "common/text.h"

namespace orbisk::tool {

std::optional<HostKeyEvent> KeyEventFromMessage(std::uint32_t message, std::uintptr_t wparam,
                                                std::intptr_t lparam) {
    if (message != ORBISK_KEY_MESSAGE || wparam == 0) return std::nullopt;
    // The record and the texts it points to are valid only while send runs.
    const auto* record = reinterpret_cast<const OrbiskKeyEventRecord*>(wparam);
    const char* remote = OrbiskRecordRemoteName(record);
    const char* code = OrbiskRecordCodeText(record);
    return HostKeyEvent{lparam, std::string(FieldText(record->KeyName, sizeof record->KeyName)),
                        remote ? remote : "", code ? code : ""};
}

std::string FormatKeyLine(const HostKeyEvent& event) {
    std::string line = event.value == ORBISK_KEY_PRESS     ? "press"
                       : event.value == ORBISK_KEY_RELEASE ? "release"
                                                           : "repeat " + std::to_string(event.value);
    line.append("\t").append(event.keyName);
    line.append("\t").append(event.remoteName);
    line.append("\t").append(event.codeText).append("\n");
    return line;
}

HostEventQueue::HostEventQueue(std::size_t capacity) : capacity_(capacity) {
    static_assert(std::is_standard_layout_v<QueueWindow>);
    // Both ends non-blocking: the producer must never wait on a full pipe,
    // and draining stops when it is empty.
    if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) wake_[0] = wake_[1] = -1;
}

HostEventQueue::~HostEventQueue() {
    for (const int fd : wake_)
        if (fd >= 0) ::close(fd);
}

std::intptr_t HostEventQueue::Send(OrbiskHostWindow* self, std::uint32_t message, std::uintptr_t wparam,
                                   std::intptr_t lparam) {
    std::optional<HostKeyEvent> event = KeyEventFromMessage(message, wparam, lparam);
    if (event) reinterpret_cast<QueueWindow*>(self)->owner->Push(std::move(*event));
    return 0;
}

void HostEventQueue::Push(HostKeyEvent event) { Append(std::move(event), true); }

void HostEventQueue::Append(HostKeyEvent event, bool bounded) {
    std::lock_guard<std::mutex> lock(mutex_);
    // The held key follows what the plug-in said, dropped or not.
    if (event.value == ORBISK_KEY_RELEASE)
        held_.reset();
    else
        held_ = event;
    if (bounded && events_.size() >= capacity_) {
        ++dropped_;
        return;
    }
    events_.push_back(std::move(event));
    if (!wakeSent_ && wake_[1] >= 0) {
        const char byte = 1;
        wakeSent_ = ::write(wake_[1], &byte, 1) == 1;
    }
}

HostEventQueue::Batch HostEventQueue::Take() {
    Batch batch;
    std::lock_guard<std::mutex> lock(mutex_);
    if (wakeSent_) {
        char byte = 0;
        [[maybe_unused]] const ssize_t n = ::read(wake_[0], &byte, 1);
        wakeSent_ = false;
    }
    batch.events.swap(events_);
    batch.dropped = dropped_;
    dropped_ = 0;
    return batch;
}

std::optional<HostKeyEvent> HostEventQueue::HeldKey() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return held_;
}

bool HostEventQueue::EndHeldKey() {
    std::optional<HostKeyEvent> release = HeldKey();
    if (!release) return false;
    release->value = ORBISK_KEY_RELEASE;
    Append(std::move(*release), false);
    return true;
}

}  // namespace orbisk::tool
