// The host side of our own hosts: key messages queued off the engine thread,
// bounded, and the held key that the host releases itself when it stops.
#include <gtest/gtest.h>

#include <vector>

#include "host/posix/host_events.h"

namespace orbisk::tool {
namespace {

HostKeyEvent Key(std::intptr_t value, const char* name, const char* code = "00A1B2C") {
    return {value, name, "TV", code};
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

    queue.Push(Key(ORBISK_KEY_PRESS, "Power", "08A1B2C"));
    queue.Push(Key(ORBISK_KEY_RELEASE, "Power", "08A1B2C"));
    EXPECT_FALSE(queue.EndHeldKey()) << "released by the plug-in";
}

// Names from the settings file reach the terminal: a tab or an escape in
// one must neither split the line nor drive the terminal.
TEST(KeyLines, ControlCharactersInNamesArePrintedSafely) {
    EXPECT_EQ(FormatKeyLine({2, "Vol\tUp\x1b[2J", "My TV\x7f", "00A1B2C"}), "repeat 2\tVol_Up_[2J\tMy TV_\t00A1B2C\n");
}

// Lines for a blocked output are bounded; a press that went in keeps its
// release, and one dropped takes its repeats and release with it.
TEST(KeyLines, BoundedAndNoKeyLeftDown) {
    KeyLines lines(FormatKeyLine(Key(ORBISK_KEY_PRESS, "Power")).size() + FormatKeyLine(Key(1, "Power")).size());
    lines.Add({{Key(ORBISK_KEY_PRESS, "Power"), Key(1, "Power"), Key(2, "Power"), Key(ORBISK_KEY_RELEASE, "Power"),
                Key(ORBISK_KEY_PRESS, "Power"), Key(1, "Power"), Key(ORBISK_KEY_RELEASE, "Power")},
               5});
    EXPECT_EQ(lines.Pending(), FormatKeyLine(Key(ORBISK_KEY_PRESS, "Power")) + FormatKeyLine(Key(1, "Power")) +
                                   FormatKeyLine(Key(ORBISK_KEY_RELEASE, "Power")));
    EXPECT_EQ(lines.TakeDropped(), 5u + 4u);
    lines.Written(lines.Pending().size() - 1);
    lines.Add({{Key(ORBISK_KEY_PRESS, "Mute")}, 0});
    EXPECT_EQ(lines.Pending(), "\n" + FormatKeyLine(Key(ORBISK_KEY_PRESS, "Mute")));
    EXPECT_EQ(lines.TakeDropped(), 0u);
}

}  // namespace
}  // namespace orbisk::tool
