// The serial link's operations and its port-open error policy, over fake
// ports and recorded message boxes, log entries and commands.
#include "receiver/serial_link.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/settings.h"
#include "support/fake_serial.h"
#include "support/fake_system.h"

namespace orbisk {
namespace {

using test::FakeSerialPorts;
using test::FakeSystemServices;
using Texts = std::vector<std::string>;

struct PolicyCase {
    const char* name;
    bool portExists;
    bool timeoutsOk;
    bool lineSettingsOk;
    bool haltOnError;
    const char* execOnError;
    // Expected:
    bool result;
    Texts boxes;
    Texts logs;
    Texts commands;
    bool portHeld;
};

class OpenReceiverPortPolicy : public ::testing::TestWithParam<PolicyCase> {};

TEST_P(OpenReceiverPortPolicy, ReportsAndLeavesThePortAsTheTableSays) {
    const PolicyCase& c = GetParam();
    FakeSerialPorts ports;
    if (c.portExists) ports.present.insert(5);
    ports.line.timeoutsOk = c.timeoutsOk;
    ports.line.lineSettingsOk = c.lineSettingsOk;
    FakeSystemServices system;
    Settings settings;
    settings.COMRate = 57600;
    settings.HaltOnError = c.haltOnError;
    settings.ExecOnError = c.execOnError;
    SerialLink link(ports, system);

    EXPECT_EQ(link.OpenReceiverPort(5, settings), c.result);
    EXPECT_EQ(ports.opened, std::vector<std::string>{"COM5"});
    EXPECT_EQ(system.Boxes(), c.boxes);
    EXPECT_EQ(system.Logs(), c.logs);
    EXPECT_EQ(system.Commands(), c.commands);
    EXPECT_EQ(link.IsOpen(), c.portHeld);
    EXPECT_EQ(ports.line.openDevices, c.portHeld ? 1 : 0);
}

const Texts kNone;
const Texts kCannotOpen{MsgCannotOpenPort};
const Texts kCannotSetSpeed{MsgCannotSetSpeed};
const Texts kEventLog{MsgPortEventLog};
const Texts kCommand{"shutdown-host --now"};

INSTANTIATE_TEST_SUITE_P(
    Table, OpenReceiverPortPolicy,
    ::testing::Values(
        PolicyCase{"MissingPortDefaultPolicy", false, true, true, false, "", true, kCannotOpen, kNone, kNone, false},
        PolicyCase{"MissingPortHaltWithoutCommand", false, true, true, true, "", true, kCannotOpen, kNone, kNone, false},
        PolicyCase{"MissingPortCommandWithoutHalt", false, true, true, false, "shutdown-host --now", true, kCannotOpen,
                   kNone, kNone, false},
        PolicyCase{"MissingPortHaltWithCommand", false, true, true, true, "shutdown-host --now", false, kNone,
                   kEventLog, kCommand, false},
        PolicyCase{"SpeedRefused", true, true, false, false, "", false, kCannotSetSpeed, kNone, kNone, false},
        PolicyCase{"SpeedRefusedUnderHalt", true, true, false, true, "shutdown-host --now", false, kCannotSetSpeed,
                   kNone, kNone, false},
        PolicyCase{"Opens", true, true, true, false, "", true, kNone, kNone, kNone, true},
        // A port whose time-outs are refused counts as not opened but stays
        // held while the receiver runs without reading from it...
        PolicyCase{"TimeoutsRefusedDefaultPolicy", true, false, true, false, "", true, kCannotOpen, kNone, kNone,
                   true},
        // ...and is let go when the receiver does not start at all.
        PolicyCase{"TimeoutsRefusedHaltWithCommand", true, false, true, true, "shutdown-host --now", false, kNone,
                   kEventLog, kCommand, false}),
    [](const ::testing::TestParamInfo<PolicyCase>& info) { return std::string(info.param.name); });

class SerialLinkTest : public ::testing::Test {
protected:
    SerialLinkTest() { ports.present.insert(2); }
    FakeSerialPorts ports;
    FakeSystemServices system;
    SerialLink link{ports, system};
};

TEST_F(SerialLinkTest, OperationsWithoutAPortGiveTheirFixedResults) {
    std::uint8_t buffer[8] = {};
    int count = 8;
    EXPECT_FALSE(link.ReadPort(buffer, count));
    EXPECT_EQ(count, 8);
    EXPECT_FALSE(link.SetPortSpeed(9600));
    EXPECT_FALSE(link.SetReadTimeouts(100));
    EXPECT_FALSE(link.PurgePort());
    EXPECT_TRUE(link.ClosePort());
    EXPECT_FALSE(link.ClosePortIfOpen());
    link.CancelRead();  // harmless
    EXPECT_TRUE(ports.opened.empty());
}

TEST_F(SerialLinkTest, OpenPortSetsTheOpeningTimeoutsAndLaterOnesKeepTheGroup) {
    ASSERT_TRUE(link.OpenPort(2));
    ASSERT_TRUE(link.SetReadTimeouts(250));
    ASSERT_EQ(ports.line.timeouts.size(), 2u);
    const ReadTimeouts& opening = ports.line.timeouts[0];
    EXPECT_EQ(opening.intervalMs, 2u);
    EXPECT_EQ(opening.totalMultiplierMs, 10u);
    EXPECT_EQ(opening.totalConstantMs, 100u);
    const ReadTimeouts& later = ports.line.timeouts[1];
    EXPECT_EQ(later.intervalMs, 2u);
    EXPECT_EQ(later.totalMultiplierMs, 10u);
    EXPECT_EQ(later.totalConstantMs, 250u);
}

TEST_F(SerialLinkTest, OpenReceiverPortAppliesTheRateAndPurges) {
    Settings settings;
    settings.COMRate = 38400;
    ASSERT_TRUE(link.OpenReceiverPort(2, settings));
    EXPECT_EQ(ports.line.bauds, std::vector<int>{38400});
    EXPECT_EQ(ports.line.purges, 1);
}

TEST_F(SerialLinkTest, ACommandThatCannotStartIsLoggedToo) {
    Settings settings;
    settings.HaltOnError = true;
    settings.ExecOnError = "restart-host --now";
    system.commandsStart = false;
    EXPECT_FALSE(link.OpenReceiverPort(9, settings));
    EXPECT_EQ(system.Logs(), (Texts{MsgPortEventLog, std::string(MsgCannotStartCommand) + "restart-host --now"}));
}

TEST_F(SerialLinkTest, MissingPortUnderDefaultPolicyIsNotPurged) {
    Settings settings;
    EXPECT_TRUE(link.OpenReceiverPort(9, settings));
    EXPECT_EQ(ports.line.purges, 0);
    EXPECT_TRUE(ports.line.bauds.empty());
}

TEST_F(SerialLinkTest, PurgeSucceedsEvenWhenTheDevicePurgeFails) {
    ports.line.purgeOk = false;
    ASSERT_TRUE(link.OpenPort(2));
    EXPECT_TRUE(link.PurgePort());
    EXPECT_EQ(ports.line.purges, 1);
}

TEST_F(SerialLinkTest, ReadPortReportsTheCountOnlyOnSuccess) {
    ASSERT_TRUE(link.OpenPort(2));
    ports.line.Queue({1, 2, 3});
    std::uint8_t buffer[8] = {};
    int count = 8;
    ASSERT_TRUE(link.ReadPort(buffer, count));
    EXPECT_EQ(count, 3);
    EXPECT_EQ(buffer[2], 3);

    ports.line.readsFail = true;
    count = 8;
    EXPECT_FALSE(link.ReadPort(buffer, count));
    EXPECT_EQ(count, 8);
}

TEST_F(SerialLinkTest, AFailedCloseKeepsThePortHeld) {
    ASSERT_TRUE(link.OpenPort(2));
    ports.line.closeOk = false;
    EXPECT_FALSE(link.ClosePort());
    EXPECT_TRUE(link.IsOpen());
    EXPECT_TRUE(link.ClosePortIfOpen());  // tells that a port was held, whatever the close did
    EXPECT_TRUE(link.IsOpen());

    ports.line.closeOk = true;
    EXPECT_TRUE(link.ClosePort());
    EXPECT_FALSE(link.IsOpen());
    EXPECT_EQ(ports.line.openDevices, 0);
}

TEST_F(SerialLinkTest, OpeningAgainLetsGoOfTheHeldPort) {
    ASSERT_TRUE(link.OpenPort(2));
    ASSERT_TRUE(link.OpenPort(2));
    EXPECT_EQ(ports.line.openDevices, 1);
}

}  // namespace
}  // namespace orbisk
