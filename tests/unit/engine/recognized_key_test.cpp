// Keys of recognised frames: a toggle bit that changes is a new press, and a
// key is found by its stable code first, then by the burst's own code.
#include <gtest/gtest.h>

#include <vector>

#include "support/engine_harness.h"

namespace orbisk::test {
namespace {

constexpr std::uint64_t kStable = 0x0A1B2C3;
constexpr KeyCode kOwn = 0x0D4E5F6;
constexpr IrFrame kUp{IrProtocol::Rc5, 0x0510, false};
constexpr IrFrame kUpToggled{IrProtocol::Rc5, 0x0510, true};

constexpr std::intptr_t kPress = ORBISK_KEY_PRESS;
constexpr std::intptr_t kRelease = ORBISK_KEY_RELEASE;

KeyMessage Up(std::uint32_t at, std::intptr_t value) { return {at, value, "Up", "0A1B2C3", "TV"}; }

TEST(RecognizedKey, ToggleTimeline) {
    const struct {
        const char* name;
        std::vector<Burst> bursts;
        std::vector<KeyMessage> expected;
    } cases[] = {
        {"same toggle holds",
         {{0, kStable, kUp}, {110, kStable, kUp}, {220, kStable, kUp}, {330, kStable, kUp}},
         {Up(0, kPress), Up(320, 1), Up(430, 2), Up(530, kRelease)}},
        {"changed toggle inside the release time-out presses again",
         {{0, kStable, kUp}, {120, kStable, kUpToggled}},
         {Up(0, kPress), Up(120, kRelease), Up(120, kPress), Up(320, kRelease)}},
        {"changed toggle while repeating presses again",
         {{0, kStable, kUp}, {110, kStable, kUp}, {220, kStable, kUp}, {330, kStable, kUp}, {350, kStable, kUpToggled}},
         {Up(0, kPress), Up(320, 1), Up(350, kRelease), Up(350, kPress), Up(550, kRelease)}},
        {"a repeat burst keeps the toggle",
         {{0, kStable, kUpToggled}, {110, {}}, {220, kStable, kUpToggled}},
         {Up(0, kPress), Up(320, 1), Up(420, kRelease)}},
    };
    for (const auto& c : cases) {
        EngineHarness h("[TV]\n0A1B2C3=Up\n");
        for (const Burst& b : c.bursts) h.event.bursts.push_back(b);
        h.Run();
        EXPECT_EQ(h.output.messages, c.expected) << c.name;
    }
}

// A file learned before frames were recognised holds the bursts' own codes.
TEST(RecognizedKey, StableCodeFirstThenTheOlderThenTheShapeCode) {
    const char* file = "[Old]\n0D4E5F6=Old name\n[Older]\n0C0FFEE=Imported\n[TV]\n0A1B2C3=Up\n";
    const struct {
        Burst burst;
        KeyMessage press;
    } cases[] = {
        {{0, kStable, kUp, kOwn}, {0, kPress, "Up", "0A1B2C3", "TV"}},
        {{0, 0x1111111, kUp, kOwn}, {0, kPress, "Old name", "1111111", "Old"}},
        {{0, 0x1111111, kUp, 0x2222222}, {0, kPress, "1111111", "1111111", "<undefined>"}},
        // A key stored under the frame's older code, before the burst's shape code.
        {{0, 0x1111111, kUp, kOwn, 0xC0FFEE}, {0, kPress, "Imported", "1111111", "Older"}},
        // Whatever gave the code, the burst's own is tried after it.
        {{0, 0x1111111, {}, kOwn}, {0, kPress, "Old name", "1111111", "Old"}},
    };
    for (const auto& c : cases) {
        EngineHarness h(file);
        h.event.bursts.push_back(c.burst);
        h.Run();
        ASSERT_FALSE(h.output.messages.empty());
        EXPECT_EQ(h.output.messages.front(), c.press);
    }
}

KeyMessage Unknown(std::uint32_t at, std::intptr_t value) { return {at, value, "0A1B2C3", "0A1B2C3", "<undefined>"}; }
KeyMessage Old(std::uint32_t at, std::intptr_t value) { return {at, value, "Old name", "0A1B2C3", "Old"}; }
Burst Frame(std::uint32_t at, KeyCode own, KeyCode legacy = 0) { return {at, kStable, kUp, own, legacy}; }

// A key learned from a noisy press holds that burst's own code, which only
// some frames of a hold give: while the held key is unknown, every new frame
// is looked up by its older codes too, and once one names a key the hold is
// that key.
TEST(RecognizedKey, LaterFrameOfAnUnknownHoldFindsTheLearnedKey) {
    const struct {
        std::vector<Burst> bursts;
        std::vector<KeyMessage> expected;
    } cases[] = {
        {{Frame(0, 0x1111111), Frame(110, 0x2222222), Frame(220, 0x3333333), Frame(330, 0x4444444)},
         {Unknown(0, kPress), Unknown(320, 1), Unknown(430, 2), Unknown(530, kRelease)}},
        // Another key's own code later in the hold changes nothing.
        {{Frame(0, 0x1111111), Frame(110, kOwn), Frame(220, 0x0E0E0E0), Frame(330, 0x4444444)},
         {Unknown(0, kPress), Unknown(110, kRelease), Old(110, kPress), Old(430, 1), Old(530, kRelease)}},
        {{Frame(0, 0x1111111), Frame(110, 0x2222222), Frame(220, 0x3333333), Frame(330, 0x4444444, kOwn)},
         {Unknown(0, kPress), Unknown(320, 1), Unknown(330, kRelease), Old(330, kPress), Old(530, kRelease)}},
    };
    for (const auto& c : cases) {
        EngineHarness h("[Old]\n0D4E5F6=Old name\n[Other]\n0E0E0E0=Other\n");
        h.event.bursts.assign(c.bursts.begin(), c.bursts.end());
        h.Run();
        EXPECT_EQ(h.output.messages, c.expected);
    }
}

// The dialog finds the frame and the other codes of the press its key-down
// notice is about.
// A key found by a later frame's older code is noticed again, with that code.
TEST(RecognizedKey, ShownFrameGoesWithTheNotice) {
    EngineHarness h("[Old]\n0D4E5F6=Old name\n");
    h.control.SetupActive = true;
    h.event.bursts = {{0, kStable, kUpToggled, 0x1111111}, {110, kStable, kUpToggled, kOwn, 0xC0FFEE}};
    h.Run();
    EXPECT_EQ(h.output.notices.at(1), (Notice{110, ORBISK_KEY_DOWN_NOTICE, 0, kStable}));
    EXPECT_EQ(ShownCodeFor(h.control.ShownShapeCode.load(), kStable), kOwn);
    EXPECT_EQ(ShownCodeFor(h.control.ShownOlderCode.load(), kStable), 0xC0FFEEu);
    EXPECT_EQ(ShownFrameFor(h.control.ShownFrame.load(), kStable), kUpToggled);
    EXPECT_EQ(ShownFrameFor(h.control.ShownFrame.load(), kStable + 1).protocol, IrProtocol::None);
}

}  // namespace
}  // namespace orbisk::test
