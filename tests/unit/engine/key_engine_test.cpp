// The key state machine against scripted burst timelines.  Every wait ends
// exactly at its time-out or at the next burst, so the times below are the
// wake-ups the rules give, not measurements.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/engine_harness.h"

namespace orbisk::test {
namespace {

constexpr const char* kSettingsFile =
    "[Main]\n"
    "Wait1=300\n"
    "[TV]\n"
    "00A1B2C=Power\n"
    "08A1B2C=Power\n"  // the same key with the toggle bit of the remote set
    "0C0FFEE=Volume Up\n"
    "[Radio]\n"
    "0BEEF00=Power\n";

constexpr std::uint64_t kPower = 0xA1B2C;
constexpr std::uint64_t kPowerToggled = 0x8A1B2C;
constexpr std::uint64_t kVolume = 0xC0FFEE;
constexpr std::uint64_t kRadioPower = 0xBEEF00;
constexpr std::uint64_t kUnknown1 = 0x1234567;
constexpr std::uint64_t kUnknown2 = 0x7654321;

constexpr std::intptr_t kPress = ORBISK_KEY_PRESS;
constexpr std::intptr_t kRelease = ORBISK_KEY_RELEASE;

KeyMessage Power(std::uint32_t at, std::intptr_t value, const char* code = "00A1B2C") {
    return {at, value, "Power", code, "TV"};
}
KeyMessage Volume(std::uint32_t at, std::intptr_t value, const char* code = "0C0FFEE") {
    return {at, value, "Volume Up", code, "TV"};
}
KeyMessage Unknown(std::uint32_t at, std::intptr_t value, const char* name, const char* code) {
    return {at, value, name, code, "<undefined>"};
}

struct Timing {
    std::uint32_t wait1 = 300, waitN = 100, waitR = 200;
};

struct Timeline {
    const char* name;
    Timing timing;
    std::vector<Burst> bursts;
    std::vector<KeyMessage> expected;
};

const std::vector<Timeline> kTimelines = {
    {"HeldKeyRepeatsAndReleasesAfterLastBurst", {},
     {{0, kVolume}, {110, kVolume}, {220, kVolume}, {330, kVolume}, {440, kVolume}},
     {Volume(0, kPress), Volume(320, 1), Volume(430, 2), Volume(540, 3), Volume(640, kRelease)}},
    {"RepeatBurstsKeepTheHeldCode", {},
     {{0, kVolume}, {110, {}}, {220, {}}, {330, {}}, {440, {}}},
     {Volume(0, kPress), Volume(320, 1), Volume(430, 2), Volume(540, 3), Volume(640, kRelease)}},
    {"SingleBurstReleasesAtFirstTimeOutAfterWaitR", {},
     {{0, kVolume}},
     {Volume(0, kPress), Volume(200, kRelease)}},
    // Wakes at 150 and 300: the repeat is due at 300, but that wake-up hands
    // the release to the next pass, which processes it as a change.
    {"ReleaseWinsOverRepeatDueAtTheSameWake", {300, 150, 200},
     {{0, kVolume}},
     {Volume(0, kPress), Volume(300, kRelease)}},
    {"ShortWait1RepeatsBeforeRelease", {100, 100, 200},
     {{0, kVolume}},
     {Volume(0, kPress), Volume(100, 1), Volume(200, kRelease)}},
    {"PressAfterRepeatedKeyStartsAnew", {},
     {{0, kVolume}, {100, kVolume}, {200, kVolume}, {300, kVolume}, {600, kPower}},
     {Volume(0, kPress), Volume(300, 1), Volume(400, 2), Volume(500, kRelease), Power(600, kPress),
      Power(800, kRelease)}},
    {"IdenticalCodesWithinWaitRPressOnce", {},
     {{0, kVolume}, {150, kVolume}},
     {Volume(0, kPress), Volume(350, kRelease)}},
    {"IdenticalCodesFurtherApartThanWaitRPressTwice", {},
     {{0, kVolume}, {250, kVolume}},
     {Volume(0, kPress), Volume(200, kRelease), Volume(250, kPress), Volume(450, kRelease)}},
    {"RepeatBurstAfterReleasePressesTheLastCodeAgain", {},
     {{0, kVolume}, {300, {}}},
     {Volume(0, kPress), Volume(200, kRelease), Volume(300, kPress), Volume(500, kRelease)}},
    {"ToggledCodeBeforeFirstRepeatPressesAgainWithoutRelease", {},
     {{0, kPower}, {150, kPowerToggled}},
     {Power(0, kPress), Power(150, kPress, "08A1B2C"), Power(350, kRelease, "08A1B2C")}},
    // The change at 350 is not due for a repeat (320 + 100), so it reports
    // nothing; the repeats go on under the new code.
    {"ToggledCodeAfterRepeatsOnlyContinuesThem", {},
     {{0, kPower}, {100, kPower}, {200, kPower}, {300, kPower}, {350, kPowerToggled}},
     {Power(0, kPress), Power(300, 1), Power(450, 2, "08A1B2C"), Power(550, kRelease, "08A1B2C")}},
    {"SwitchToOtherKeyReleasesWithNewCodeText", {},
     {{0, kPower}, {100, kVolume}},
     {Power(0, kPress), Power(100, kRelease, "0C0FFEE"), Volume(100, kPress), Volume(300, kRelease)}},
    {"SameKeyNameOnOtherRemoteIsAnotherKey", {},
     {{0, kPower}, {100, kRadioPower}},
     {Power(0, kPress), Power(100, kRelease, "0BEEF00"), {100, kPress, "Power", "0BEEF00", "Radio"},
      {300, kRelease, "Power", "0BEEF00", "Radio"}}},
    {"TwoUndefinedCodesReleaseThenPress", {},
     {{0, kUnknown1}, {100, kUnknown2}},
     {Unknown(0, kPress, "1234567", "1234567"), Unknown(100, kRelease, "1234567", "7654321"),
      Unknown(100, kPress, "7654321", "7654321"), Unknown(300, kRelease, "7654321", "7654321")}},
    {"DefinedToUndefined", {},
     {{0, kPower}, {100, kUnknown1}},
     {Power(0, kPress), Power(100, kRelease, "1234567"), Unknown(100, kPress, "1234567", "1234567"),
      Unknown(300, kRelease, "1234567", "1234567")}},
    {"UndefinedToDefined", {},
     {{0, kUnknown1}, {100, kPower}},
     {Unknown(0, kPress, "1234567", "1234567"), Unknown(100, kRelease, "1234567", "00A1B2C"),
      Power(100, kPress), Power(300, kRelease)}},
    {"TooShortBurstIsKeyZero", {},
     {{0, 0}},
     {Unknown(0, kPress, "0000000", "0000000"), Unknown(200, kRelease, "0000000", "0000000")}},
    {"EightDigitCode", {},
     {{0, 0x9ABCDEF0}},
     {Unknown(0, kPress, "9ABCDEF0", "9ABCDEF0"), Unknown(200, kRelease, "9ABCDEF0", "9ABCDEF0")}},
};

// Names longer than their record fields are cut there; a toggling remote's
// second code of such a key is still the same key.
TEST(KeyEngineLongNames, ToggledCodeOfAKeyWithLongNamesPressesAgainWithoutRelease) {
    const std::string key(130, 'K');
    const std::string remote(70, 'R');
    const std::string file = "[" + remote + "]\n00A1B2C=" + key + "\n08A1B2C=" + key + "\n";
    EngineHarness h(file.c_str());
    h.Script({{0, kPower}, {150, kPowerToggled}});
    h.Run();
    const std::string shownKey = key.substr(0, 123);
    const std::string shownRemote = remote.substr(0, 63);
    EXPECT_EQ(h.output.messages, (std::vector<KeyMessage>{{0, kPress, shownKey, "00A1B2C", shownRemote},
                                                          {150, kPress, shownKey, "08A1B2C", shownRemote},
                                                          {350, kRelease, shownKey, "08A1B2C", shownRemote}}));
}

void PrintTo(const Timeline& t, std::ostream* os) { *os << t.name; }

class KeyTimelineTest : public ::testing::TestWithParam<Timeline> {};

TEST_P(KeyTimelineTest, ReportsToHost) {
    const Timeline& t = GetParam();
    EngineHarness h(kSettingsFile);
    h.settings.Wait1 = t.timing.wait1;
    h.settings.WaitN = t.timing.waitN;
    h.settings.WaitR = t.timing.waitR;
    for (const Burst& b : t.bursts) h.Script({b});

    h.Run();

    EXPECT_EQ(h.output.messages, t.expected);
    EXPECT_TRUE(h.output.notices.empty());
    EXPECT_EQ(h.event.stalls, 1) << "the run should end idle, waiting without a limit";
    EXPECT_FALSE(h.engine.ReportedPressed());
}

INSTANTIATE_TEST_SUITE_P(Engine, KeyTimelineTest, ::testing::ValuesIn(kTimelines),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(KeyEngineBegin, HeldWaitIsTheSmallerOfWaitNAndWaitR) {
    struct Case {
        std::uint32_t waitN, waitR, heldWait;
    };
    const Case cases[] = {
        {100, 200, 100}, {250, 200, 200}, {150, 150, 150}, {0, 200, 0}, {0xFFFFFFFF, 5, 5},
    };
    for (const Case& c : cases) {
        EngineHarness h;
        h.settings.WaitN = c.waitN;
        h.settings.WaitR = c.waitR;
        h.engine.Begin();
        EXPECT_EQ(h.engine.HeldWait(), c.heldWait) << "WaitN " << c.waitN << ", WaitR " << c.waitR;
    }
}

TEST(KeyEngineBegin, PublicationLeftFromBeforeStartIsPressedAtOnce) {
    EngineHarness h(kSettingsFile);
    h.clock.now = 40;
    PublishBurst(h.published, h.event, kVolume);
    h.Run();
    EXPECT_EQ(h.output.messages, (std::vector{Volume(40, kPress), Volume(240, kRelease)}));
}

TEST(KeyEngineBegin, IdleEngineWaitsWithoutLimit) {
    EngineHarness h(kSettingsFile);
    h.Run();
    EXPECT_EQ(h.event.waits, 1);
    EXPECT_EQ(h.event.stalls, 1);
    EXPECT_TRUE(h.output.messages.empty());
}

TEST(KeyEngineSettings, TimingIsReadAtEachUse) {
    EngineHarness h(kSettingsFile);
    h.Script({{0, kVolume}, {100, kVolume}, {200, kVolume}, {300, kVolume}, {400, kVolume},
              {500, kVolume}, {600, kVolume}});
    // Changed as the dialog would, while the press is reported: the first
    // repeat still comes Wait1 after the press, the second the new WaitN
    // after it, and the release the new WaitR after the last burst.
    h.output.onSend = [&](std::intptr_t value) {
        if (value == kPress) {
            h.settings.WaitN = 200;
            h.settings.WaitR = 100;
        }
    };
    h.Run();
    EXPECT_EQ(h.output.messages,
              (std::vector{Volume(0, kPress), Volume(300, 1), Volume(500, 2), Volume(700, kRelease)}));
}

TEST(KeyEngineSetup, DialogGetsNoticesAndHostNothing) {
    for (const bool dialogPresent : {true, false}) {
        EngineHarness h(kSettingsFile);
        h.control.SetupActive = true;
        h.output.dialogPresent = dialogPresent;
        h.Script({{0, kPower}, {100, kPower}, {200, kPower}, {300, kPower}, {350, kPowerToggled},
                  {450, kVolume}, {1000, kPower}});
        h.Run();

        EXPECT_TRUE(h.output.messages.empty());
        const std::vector<Notice> expected = {
            {0, ORBISK_KEY_DOWN_NOTICE, 0, kPower},
            {350, ORBISK_KEY_DOWN_NOTICE, 0, kPowerToggled},
            {450, ORBISK_KEY_DOWN_NOTICE, 0, kVolume},
            {650, ORBISK_KEY_UP_NOTICE, 0, 0},
            {1000, ORBISK_KEY_DOWN_NOTICE, 0, kPower},
            {1200, ORBISK_KEY_UP_NOTICE, 0, 0},
        };
        EXPECT_EQ(h.output.notices, expected) << "dialog present: " << dialogPresent;
        // The record and the counters go on as if the host were told.
        EXPECT_EQ(FieldText(h.record.KeyName, sizeof h.record.KeyName), "Power");
        EXPECT_EQ(RecordCodeText(h.record), "00A1B2C");
    }
}

TEST(KeyEngineSetup, EngineAlreadyRunningSwitchesToNoticesAndReleasesTheHostsKey) {
    EngineHarness h(kSettingsFile);
    h.Script({{0, kVolume}, {110, kVolume}, {220, kVolume}, {330, kVolume}, {440, kVolume}});
    h.output.onSend = [&](std::intptr_t value) {
        if (value == 1) h.control.SetupActive = true;
    };
    h.Run();
    // The key the host holds when the dialog opens is released at once, or it
    // would stay down at the host.
    EXPECT_EQ(h.output.messages, (std::vector{Volume(0, kPress), Volume(320, 1), Volume(320, kRelease)}));
    EXPECT_EQ(h.output.notices, (std::vector<Notice>{{640, ORBISK_KEY_UP_NOTICE, 0, 0}}));
}

TEST(KeyEngineStop, NoKeyMessageOnceStopIsRequested) {
    EngineHarness h(kSettingsFile);
    h.Script({{0, kPower}, {100, kVolume}});
    // Stop begins while the host handles the release of Power; the press of
    // Volume in the same pass must not be started, and the record is left as
    // the host saw it: the host may have closed the plug-in meanwhile.
    h.output.onSend = [&](std::intptr_t value) {
        if (value == kRelease) h.control.EngineStopRequested = 1;
    };
    h.Run();
    EXPECT_EQ(h.output.messages, (std::vector{Power(0, kPress), Power(100, kRelease, "0C0FFEE")}));
    EXPECT_EQ(FieldText(h.record.KeyName, sizeof h.record.KeyName), "Power");
    EXPECT_EQ(h.event.stalls, 0);
}

TEST(KeyEngineStop, StopWhileHeldSendsNoRelease) {
    EngineHarness h(kSettingsFile);
    h.Script({{0, kVolume}, {110, kVolume}, {220, kVolume}, {330, kVolume}, {440, kVolume}});
    h.output.onSend = [&](std::intptr_t value) {
        if (value == 2) h.control.EngineStopRequested = 1;
    };
    h.engine.Run();  // the thread's own loop: returns at the loop test
    EXPECT_EQ(h.output.messages, (std::vector{Volume(0, kPress), Volume(320, 1), Volume(430, 2)}));
    EXPECT_TRUE(h.engine.ReportedPressed());
}

TEST(KeyEngineStop, StopLandingBeforeTheResetIsNotSleptThrough) {
    EngineHarness h(kSettingsFile);
    // Stop sets its flag and the event just before the engine clears the
    // event; waiting now would never end.
    h.event.onReset = [&] {
        h.control.EngineStopRequested = 1;
        h.event.Set();
    };
    h.engine.Run();
    EXPECT_EQ(h.event.waits, 0);
    EXPECT_EQ(h.event.stalls, 0);
}

// A burst published between the engine's test of UpdatePending and its reset
// of the event loses its wake-up to the reset.  It must be taken at once,
// not at the next burst or time-out.
TEST(KeyEngineWakeUpRace, PublicationBeforeResetWhileIdle) {
    EngineHarness h(kSettingsFile);
    h.event.onReset = [&] {
        h.event.onReset = nullptr;
        h.clock.now = 50;
        PublishBurst(h.published, h.event, kVolume);
    };
    h.Run();
    EXPECT_EQ(h.output.messages, (std::vector{Volume(50, kPress), Volume(250, kRelease)}));
}

TEST(KeyEngineWakeUpRace, PublicationBeforeResetWhileHeld) {
    EngineHarness h(kSettingsFile);
    h.Script({{0, kVolume}});
    h.event.onReset = [&] {
        if (!h.engine.ReportedPressed()) return;
        h.event.onReset = nullptr;
        h.clock.now = 30;
        PublishBurst(h.published, h.event, kPower);
    };
    h.Run();
    EXPECT_EQ(h.output.messages, (std::vector{Volume(0, kPress), Volume(30, kRelease, "00A1B2C"),
                                              Power(30, kPress), Power(230, kRelease)}));
}

// A burst published while the engine is taking up the previous one (here
// during its clock reading for LastArrival) must not be lost: it may be the
// last burst of a key.
TEST(KeyEngineWakeUpRace, PublicationDuringPickupIsTakenNextPass) {
    EngineHarness h(kSettingsFile);
    h.Script({{0, kVolume}, {100, kVolume}});
    h.clock.onNow = [&] {
        if (h.clock.now != 100) return;
        h.clock.onNow = nullptr;
        PublishBurst(h.published, h.event, kPower);
    };
    h.Run();
    EXPECT_EQ(h.output.messages, (std::vector{Volume(0, kPress), Volume(100, kRelease, "00A1B2C"),
                                              Power(100, kPress), Power(300, kRelease)}));
}

// A burst published while the engine handles its release time-out (here
// during the clock reading for the WaitR deadline) is not absent: a new code
// is pressed, and a repeat burst keeps the key held.
TEST(KeyEngineWakeUpRace, PublicationAtTheReleaseTimeOut) {
    struct Case {
        const char* name;
        std::optional<std::uint64_t> code;
        std::vector<KeyMessage> expected;
    };
    const Case cases[] = {
        {"new code", kVolume,
         {Power(0, kPress), Power(200, kRelease, "0C0FFEE"), Volume(200, kPress), Volume(400, kRelease)}},
        {"repeat burst", std::nullopt, {Power(0, kPress), Power(300, 1), Power(400, kRelease)}},
    };
    for (const Case& c : cases) {
        EngineHarness h(kSettingsFile);
        h.Script({{0, kPower}});
        h.clock.onNow = [&] {
            if (h.clock.now != 200) return;
            h.clock.onNow = nullptr;
            PublishBurst(h.published, h.event, c.code);
        };
        h.Run();
        EXPECT_EQ(h.output.messages, c.expected) << c.name;
    }
}

// Deadlines compare the time elapsed since their base, modulo 2^32, so a
// timeline that crosses the counter's wrap gives the same messages at the
// same times as one far from it.  The timelines start shortly before the
// wrap; times are counted from the start.
struct WrapCase {
    const char* name;
    std::uint32_t start;
    Timing timing;
    std::vector<Burst> bursts;
    std::intptr_t stopAfter;  // stop when this value is sent; 0: run to the end
    std::vector<KeyMessage> expected;
};

const std::vector<WrapCase> kWrapCases = {
    // Press at 2^32-100; the repeat deadline 300 later lies after the wrap.
    {"RepeatDeadlineAcrossTheWrap", 0xFFFFFF9C, {},
     {{0, kVolume}, {50, kVolume}, {100, kVolume}, {150, kVolume}, {200, kVolume}, {250, kVolume},
      {300, kVolume}},
     0,
     {Volume(0, kPress), Volume(300, 1), Volume(400, 2), Volume(500, kRelease)}},
    // The burst at 2^32-150 has its release deadline after the wrap.
    {"ReleaseDeadlineAcrossTheWrap", 0xFFFFFF6A, {},
     {{0, kVolume}},
     0,
     {Volume(0, kPress), Volume(200, kRelease)}},
    // The burst at 2^32-250 has its release deadline at 2^32-50; the time-out
    // readings 2^32-100 and 50 step over it, and the second still releases.
    {"ReleaseDeadlineSteppedOverByTheWrap", 0xFFFFFF06, {300, 150, 200},
     {{0, kVolume}},
     0,
     {Volume(0, kPress), Volume(300, kRelease)}},
};

void PrintTo(const WrapCase& c, std::ostream* os) { *os << c.name; }

class TickWrapTest : public ::testing::TestWithParam<WrapCase> {};

TEST_P(TickWrapTest, DeadlinesAreModulo2To32) {
    const WrapCase& c = GetParam();
    EngineHarness h(kSettingsFile, c.start);
    h.settings.Wait1 = c.timing.wait1;
    h.settings.WaitN = c.timing.waitN;
    h.settings.WaitR = c.timing.waitR;
    for (const Burst& b : c.bursts) h.Script({b});
    if (c.stopAfter != 0)
        h.output.onSend = [&](std::intptr_t value) {
            if (value == c.stopAfter) h.control.EngineStopRequested = 1;
        };
    h.Run();
    EXPECT_EQ(h.output.messages, c.expected);
}

INSTANTIATE_TEST_SUITE_P(Engine, TickWrapTest, ::testing::ValuesIn(kWrapCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orbisk::test
