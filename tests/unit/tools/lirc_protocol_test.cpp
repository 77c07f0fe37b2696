// The LIRC socket protocol of orbisk serve, without sockets: broadcast lines,
// command replies, and a client's bounded queue and line assembly.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "engine/key_table.h"
#include "lirc/lirc_protocol.h"
#include "settings/ini_file.h"

namespace orbisk::tool::lirc {
namespace {

struct LineCase {
    HostKeyEvent event;
    BroadcastOptions options;
    const char* line;  // nullptr: not broadcast
    const char* pressedCode = "";
};

TEST(LircBroadcast, LinesAsTheDaemonWritesThem) {
    const BroadcastOptions plain;
    const BroadcastOptions all{true, "_UP"};
    const LineCase cases[] = {
        {{0, "Power", "TV", "2D4CAD19"}, plain, "000000002d4cad19 00 Power TV\n"},
        {{26, "Volume Up", "Living room TV", "0A3F21C"}, plain, "0000000000a3f21c 1a Volume_Up Living_room_TV\n"},
        {{-1, "Power", "TV", "2D4CAD19"}, plain, nullptr},
        {{-1, "Power", "TV", "2D4CAD19"}, all, "000000002d4cad19 00 Power_UP TV\n"},
        {{-1, "Power", "TV", "453843FA"}, all, "000000002d4cad19 00 Power_UP TV\n", "2D4CAD19"},
        {{0, "0A3F21C", "<undefined>", "0A3F21C"}, plain, nullptr},
        {{3, "0A3F21C", "<undefined>", "0A3F21C"}, all, "0000000000a3f21c 03 0A3F21C <undefined>\n"},
        {{0, "", "T\tV\n", "n/a"}, plain, "0000000000000000 00 _ T_V_\n"},
    };
    for (const LineCase& c : cases) {
        const auto line = BroadcastLine(c.event, c.options, {}, c.pressedCode);
        if (c.line == nullptr)
            EXPECT_FALSE(line) << *line;
        else
            EXPECT_EQ(line.value_or("(none)"), c.line);
    }
}

// A held unknown code is one line when it ends, with its repeats counted.
TEST(LircBroadcast, UnknownCodeIsOneLinePerPressWithItsRepeats) {
    const HostKeyEvent events[] = {{0, "0000000", "<undefined>", "0000000"}, {1, "0000000", "<undefined>", "0000000"},
                                   {2, "0000000", "<undefined>", "0000000"}, {-1, "0000000", "<undefined>", "2D4CAD19"},
                                   {0, "Power", "TV", "2D4CAD19"},           {1, "Power", "TV", "2D4CAD19"},
                                   {-1, "Power", "TV", "0A3F21C"},           {0, "0A3F21C", "<undefined>", "0A3F21C"}};
    Broadcaster broadcaster;
    std::string lines;
    for (const HostKeyEvent& event : events) lines += broadcaster.Lines(event, {true, "_UP"}, {});
    EXPECT_EQ(lines, "0000000000000000 02 0000000 <undefined>\n0000000000000000 00 0000000_UP <undefined>\n"
                     "000000002d4cad19 00 Power TV\n000000002d4cad19 01 Power TV\n000000002d4cad19 00 Power_UP TV\n");
}

Catalogue Sample(std::string keys = "[TV]\n2D4CAD19=Power\n_6E3E575E=Mute\nzz=Broken\n"
                                    "[Sony TV]\n8BC0F0EB=Power On\n[Empty]\n") {
    KeyTable table;
    table.Rebuild(IniDocument::Parse("[Main]\nCOM=2\n" + keys));
    return CatalogueFrom(table);
}

TEST(LircReply, CommandsAsIrsendSendsThem) {
    const Catalogue catalogue = Sample();
    const std::pair<const char*, const char*> cases[] = {
        {"VERSION", "BEGIN\nVERSION\nSUCCESS\nDATA\n1\norbisk " ORBISK_VERSION_TEXT "\nEND\n"},
        // irsend list "" "": lower case, blanks kept in the echo.
        {"list  ", "BEGIN\nlist  \nSUCCESS\nDATA\n3\nTV\nSony_TV\nEmpty\nEND\n"},
        {"LIST sony_tv", "BEGIN\nLIST sony_tv\nSUCCESS\nDATA\n1\n000000008bc0f0eb Power_On\nEND\n"},
        {"list TV ", "BEGIN\nlist TV \nSUCCESS\nDATA\n1\n000000002d4cad19 Power\nEND\n"},
        {"LIST TV power", "BEGIN\nLIST TV power\nSUCCESS\nDATA\n1\n000000002d4cad19 Power\nEND\n"},
        {"LIST Empty", "BEGIN\nLIST Empty\nSUCCESS\nDATA\n0\nEND\n"},
        {"LIST TV Mute", "BEGIN\nLIST TV Mute\nERROR\nDATA\n1\nunknown command: \"Mute\"\nEND\n"},
        {"LIST Radio", "BEGIN\nLIST Radio\nERROR\nDATA\n1\nunknown remote: \"Radio\"\nEND\n"},
        {"send_once TV Power",
         "BEGIN\nsend_once TV Power\nERROR\nDATA\n1\norbisk only receives: SEND_ONCE is not supported\nEND\n"},
        {"\x01\xff zz", "BEGIN\n\x01\xff zz\nERROR\nDATA\n1\nunknown directive: \"\x01\xff\"\nEND\n"},
        {"", "BEGIN\n\nERROR\nDATA\n1\nbad send packet\nEND\n"},
    };
    for (const auto& [command, reply] : cases) EXPECT_EQ(Reply(command, catalogue), reply) << command;
    // Names that meet in wire form, in replies and key lines: the one already in wire form keeps it.
    const Catalogue clashes = Sample("[My TV]\n01=Vol Up\n02=Vol_Up\n0000003=Vol Up\n[My_TV]\n04=P\n[my_tv_2]\n");
    EXPECT_EQ(BroadcastLine({2, "Vol Up", "My TV", "0000003"}, {}, clashes), "0000000000000003 02 Vol_Up_2 My_TV_3\n");
    EXPECT_EQ(BroadcastLine({0, "Vol Up", "Other", "01"}, {}, clashes), "0000000000000001 00 Vol_Up Other\n");
    EXPECT_EQ(Reply("LIST", clashes), "BEGIN\nLIST\nSUCCESS\nDATA\n3\nMy_TV_3\nMy_TV\nmy_tv_2\nEND\n");
    EXPECT_EQ(Reply("LIST my_tv_3", clashes), "BEGIN\nLIST my_tv_3\nSUCCESS\nDATA\n3\n0000000000000001 Vol_Up_2\n"
                                              "0000000000000002 Vol_Up\n0000000000000003 Vol_Up_2\nEND\n");
}

// What a client gets for bytes it sends, taking count bytes at a time.
std::string Talk(Client& client, std::string_view bytes, const std::shared_ptr<const Catalogue>& catalogue,
                 std::size_t count = std::string::npos) {
    std::string out;
    client.Receive(bytes);
    do {
        for (; client.PendingBytes() > 0; client.Sent(count)) out += client.Pending().substr(0, count);
    } while (client.Answer(catalogue));
    return out;
}

TEST(LircClient, AssemblesLinesAndRefusesOverlongOnesWithoutKeepingThem) {
    const auto catalogue = std::make_shared<const Catalogue>(Sample());
    Client client;
    EXPECT_EQ(Talk(client, "VERS", catalogue), "") << "half a command waits for its line break";
    std::string out = Talk(client, "ION\n" + std::string(1 << 20, 'x'), catalogue);
    out += Talk(client, "x\nLIST\n", catalogue);
    EXPECT_EQ(out.find("BEGIN\nVERSION\nSUCCESS"), 0u);
    EXPECT_NE(out.find("ERROR\nDATA\n1\ncommand too long\n"), std::string::npos);
    EXPECT_NE(out.find("BEGIN\nLIST\nSUCCESS"), std::string::npos) << "the next line is a command again";
    EXPECT_LT(out.size(), 1000u);
}

// A reply of any size goes whole, made as the client takes it, so one that
// does not read holds a part of it; key lines queued meanwhile follow it,
// within their bound; the next command waits until the reply is read.
TEST(LircClient, RepliesGoWholeAPartAtATimeAndOneAtATime) {
    std::string keys = "[Big]\n";
    for (int i = 0; i < 3000; ++i) keys += std::to_string(1000000 + i) + "=Key" + std::to_string(i) + "\n";
    auto catalogue = std::make_shared<const Catalogue>(Sample(keys));
    const std::string reply = Reply("LIST Big", *catalogue);
    ASSERT_GT(reply.size(), Client::DefaultOutputLimit);
    Client client;
    client.Receive("LIST Big\nLIST Big\n");
    EXPECT_TRUE(client.Answer(catalogue));
    catalogue.reset();  // replaced, as SIGHUP does: the reply goes on from its own
    EXPECT_LT(client.HeldBytes(), 2 * Client::ReplyPartBytes);
    EXPECT_FALSE(client.Answer(catalogue)) << "the next waits for this one to be read";
    const std::string lines(Client::DefaultOutputLimit - 10, 'k');
    EXPECT_TRUE(client.Queue(lines));
    EXPECT_FALSE(client.Queue(std::string(11, 'k'))) << "lines beyond the bound drop a client that does not read";
    EXPECT_EQ(Talk(client, "", std::make_shared<const Catalogue>(), 1000),
              reply + lines + "BEGIN\nLIST Big\nERROR\nDATA\n1\nunknown remote: \"Big\"\nEND\n");
    EXPECT_EQ(client.HeldBytes(), 0u);
}

// Drops by the thousand are one summary a second, and a summary the log
// did not take is counted on into the next.
TEST(LircNotices, AtMostOneSummaryASecondAndNothingLostWhenUnwritten) {
    struct Step { int ms, drops; bool written; const char* summary; };  // "": none due
    const Step steps[] = {{0, 1, true, "serve: client dropped\n"}, {999, 1249, true, ""},
                          {1000, 0, false, "serve: client dropped (1249 times)\n"}, {1500, 1, true, ""},
                          {2000, 0, true, "serve: client dropped (1250 times)\n"}, {9000, 0, true, ""}};
    Notices notices("serve: ");
    for (const Step& step : steps) {
        const auto now = Notices::Clock::time_point{} + std::chrono::hours(1) + std::chrono::milliseconds(step.ms);
        if (step.drops > 0) notices.Count("client dropped", static_cast<std::uint64_t>(step.drops));
        const auto summary = notices.Due(now);
        EXPECT_EQ(summary.value_or(""), step.summary) << step.ms;
        if (summary) notices.Done(now, step.written);
    }
}

}  // namespace
}  // namespace orbisk::tool::lirc
