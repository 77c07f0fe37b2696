// The host side of our own hosts: key messages queued off the engine thread,
// bounded, and the held key that the host releases itself when it stops.
#include <poll.h>

#include <gtest/gtest.h>

#include <vector>

#include "host_events.h"

namespace orbisk::tool {
namespace {

HostKeyEvent Key(std::intptr_t value, const char* name, const char* code = "00A1B2C") {
    return {value, name, "TV", code};
}

bool Readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) == 1;
}

TEST(HostEventQueue, SendCopiesKeyMessagesAndWakesTheMainThread) {
    HostEventQueue queue;
    OrbiskKeyEventRecord record{};
    std::snprintf(record.KeyName, sizeof record.KeyName, "Power");
    char code[] = "00A1B2C";
    char remote[] = "TV";
    record.CodeText = code;
    record.RemoteNameText = remote;
    OrbiskHostWindow* window = queue.Window();
    EXPECT_FALSE(Readable(queue.WakeFd()));
    window->send(window, ORBISK_KEY_DOWN_NOTICE, reinterpret_cast<std::uintptr_t>(&record), 0);
    window->send(window, ORBISK_KEY_MESSAGE, 0, 0);
    EXPECT_FALSE(Readable(queue.WakeFd())) << "other messages and a null record are ignored";

    window->send(window, ORBISK_KEY_MESSAGE, reinterpret_cast<std::uintptr_t>(&record), 2);
    std::snprintf(record.KeyName, sizeof record.KeyName, "changed after send");
    EXPECT_TRUE(Readable(queue.WakeFd()));
    const HostEventQueue::Batch batch = queue.Take();
    EXPECT_EQ(batch.events, std::vector{Key(2, "Power")});
    EXPECT_FALSE(Readable(queue.WakeFd()));
    EXPECT_EQ(FormatKeyLine(batch.events[0]), "repeat 2\tPower\tTV\t00A1B2C\n");
}

TEST(HostEventQueue, FullQueueDropsAndCountsButFollowsTheHeldKey) {
    HostEventQueue queue(2);
    queue.Push(Key(ORBISK_KEY_PRESS, "Power"));
    queue.Push(Key(ORBISK_KEY_RELEASE, "Power"));
    queue.Push(Key(ORBISK_KEY_PRESS, "Mute"));
    queue.Push(Key(1, "Mute"));
    HostEventQueue::Batch batch = queue.Take();
    EXPECT_EQ(batch.events.size(), 2u);
    EXPECT_EQ(batch.dropped, 2u);
    // The release goes in even though the dropped press never left.
    ASSERT_TRUE(queue.EndHeldKey());
    batch = queue.Take();
    EXPECT_EQ(batch.events, std::vector{Key(ORBISK_KEY_RELEASE, "Mute")});
    EXPECT_EQ(batch.dropped, 0u);
    EXPECT_FALSE(queue.EndHeldKey()) << "released once only";
}

TEST(HostEventQueue, EndHeldKeyReleasesTheKeyLastReportedDown) {
    struct Case {
        const char* name;
        std::vector<HostKeyEvent> sent;
        std::optional<HostKeyEvent> release;
    };
    const Case cases[] = {
        {"nothing sent", {}, std::nullopt},
        {"released by the plug-in", {Key(0, "Power"), Key(1, "Power"), Key(-1, "Power")}, std::nullopt},
        {"held after repeats", {Key(0, "Power"), Key(1, "Power"), Key(2, "Power")}, Key(-1, "Power")},
        {"toggled code of the same key", {Key(0, "Power"), Key(0, "Power", "08A1B2C")},
         Key(-1, "Power", "08A1B2C")},
        {"another key after a release", {Key(0, "Power"), Key(-1, "Mute"), Key(0, "Mute")}, Key(-1, "Mute")},
    };
    for (const Case& c : cases) {
        HostEventQueue queue;
        for (const HostKeyEvent& e : c.sent) queue.Push(e);
        queue.Take();
        EXPECT_EQ(queue.EndHeldKey(), c.release.has_value()) << c.name;
        const HostEventQueue::Batch batch = queue.Take();
        EXPECT_EQ(batch.events, c.release ? std::vector{*c.release} : std::vector<HostKeyEvent>{}) << c.name;
    }
}

}  // namespace
}  // namespace orbisk::tool
