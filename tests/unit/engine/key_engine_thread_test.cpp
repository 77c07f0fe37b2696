// The engine on a thread of its own with the real code event: the hand-over
// from a publishing thread and the stop.  The clock is fake and never moves,
// so a held key neither repeats nor releases; nothing here depends on timing.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "support/engine_harness.h"

namespace orbisk::test {
namespace {

struct ThreadedEngine {
    ThreadedEngine() { InitKeyEventRecord(record, nullptr); }

    // Stop as the plug-in does it: flag, wake-up, wait without a limit.
    void Stop() {
        control.EngineStopRequested.store(1, std::memory_order_release);
        event.Set();
        thread.join();
    }

    PublishedState published;
    StdCodeEvent event;
    FakeClock clock;
    EngineControl control;
    Settings settings;
    KeyTable keys;
    OrbiskKeyEventRecord record{};
    RecordingOutput output{clock, record};
    KeyEngine engine{published, event, clock, settings, keys, record, control, output};
    std::thread thread;
};

TEST(KeyEngineThread, PublicationFromAnotherThreadIsPressedAndStopEndsTheThread) {
    for (int round = 0; round < 50; ++round) {
        ThreadedEngine t;
        std::atomic<bool> pressed{false};
        t.output.onSend = [&](std::intptr_t) { pressed.store(true, std::memory_order_release); };
        t.thread = std::thread([&] { t.engine.Run(); });

        PublishBurst(t.published, t.event, 0x1234567 + round);
        for (int i = 0; i < 10000 && !pressed.load(std::memory_order_acquire); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        t.Stop();

        ASSERT_EQ(t.output.messages.size(), 1u) << "round " << round;
        EXPECT_EQ(t.output.messages[0].value, ORBISK_KEY_PRESS);
        EXPECT_EQ(t.output.messages[0].codeText, CodeText(0x1234567 + round));
    }
}

TEST(KeyEngineThread, StopOfAnIdleEngineReturns) {
    // Stop may land anywhere in the engine's first pass, also between its
    // test of the flags and its reset of the event.
    for (int round = 0; round < 200; ++round) {
        ThreadedEngine t;
        t.thread = std::thread([&] { t.engine.Run(); });
        if (round % 2 == 0) std::this_thread::yield();
        t.Stop();
        EXPECT_TRUE(t.output.messages.empty());
    }
}

}  // namespace
}  // namespace orbisk::test
