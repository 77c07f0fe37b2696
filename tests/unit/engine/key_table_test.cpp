// The key table: which sections and entries it takes, and how codes match.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "engine/key_table.h"
#include "settings/ini_file.h"

namespace orbisk {
namespace {

KeyTable TableOf(const std::string& file) {
    KeyTable table;
    table.Rebuild(IniDocument::Parse(file));
    return table;
}

std::vector<std::pair<std::string, int>> Entries(const KeyTable& table) {
    std::vector<std::pair<std::string, int>> out;
    for (const KeyTable::Entry& e : table.KeyList()) out.emplace_back(e.text, e.remoteId);
    return out;
}

TEST(KeyTable, RebuildTakesRemoteSectionsAndEnabledKeys) {
    const KeyTable table = TableOf(
        "[Main]\nCOM=2\n"
        "[TV]\n0A3F21C=Power\nE2C51F09=VolumeUp\n_0B61D44=Mute\n"
        "[Empty]\n"
        "[Mainly]\n1234567=x\n=no code\nno equals\n"
        "[mAiN]\n7654321=y\n"
        "[tv]\n1111111=More\n");
    EXPECT_EQ(table.RemoteList(), (std::vector<std::string>{"TV", "Empty", "Mainly"}));
    EXPECT_EQ(Entries(table), (std::vector<std::pair<std::string, int>>{
                                  {"0A3F21C=Power", 0},
                                  {"E2C51F09=VolumeUp", 0},
                                  {"1111111=More", 0},
                                  {"1234567=x", 2},
                              }));
}

TEST(KeyTable, RebuildReplacesTheWholeTable) {
    KeyTable table = TableOf("[TV]\n0A3F21C=Power\n");
    table.Rebuild(IniDocument::Parse("[main]\nCOM=1\n"));
    EXPECT_TRUE(table.RemoteList().empty());
    EXPECT_TRUE(table.KeyList().empty());
}

TEST(KeyTable, LookupTakesTheFirstMatchingCode) {
    const KeyTable table = TableOf(
        "[TV]\n0A3F21C=Power\n1a2b3c4=Lower\n00B61D44=Padded\nE2C51F09=\n_0B61D44=Mute\n"
        "1234567=a=b\n"
        "[Radio]\n0A3F21C=RadioPower\n0B61D44=Other\nFFFFFFF=Last\n");
    struct Case {
        const char* code;
        bool found;
        const char* keyName;
        const char* remote;
    };
    const Case cases[] = {
        {"0A3F21C", true, "Power", "TV"},         // the first remote in the file wins
        {"0a3f21c", true, "Power", "TV"},         // case does not count
        {"1A2B3C4", true, "Lower", "TV"},         // nor in the file
        {"0B61D44", true, "Other", "Radio"},      // not the disabled "_" nor the 8-digit entry
        {"B61D44", false, "", ""},                // whole text, not the value
        {"E2C51F09", true, "", "TV"},             // empty key name
        {"1234567", true, "a=b", "TV"},           // everything after the first "="
        {"FFFFFFF", true, "Last", "Radio"},
        {"", false, "", ""},
        {"0000000", false, "", ""},
    };
    for (const Case& c : cases) {
        const auto match = table.LookupKey(c.code);
        ASSERT_EQ(match.has_value(), c.found) << c.code;
        if (!match) continue;
        EXPECT_EQ(match->keyName, c.keyName) << c.code;
        EXPECT_EQ(match->remoteName, c.remote) << c.code;
    }
}

TEST(KeyTable, EmptyTableFindsNothing) {
    EXPECT_FALSE(TableOf("").LookupKey("0000000"));
    EXPECT_FALSE(TableOf("[Main]\n0000000=x\n").LookupKey("0000000"));
}

TEST(KeyTable, EntryValueOfTextsAndPositions) {
    const std::pair<const char*, const char*> texts[] = {
        {"a=b", "b"}, {"a=", ""}, {"a", ""}, {"=b", "b"}, {"a=b=c", "b=c"}, {"", ""}};
    for (const auto& [text, value] : texts) EXPECT_EQ(EntryValue(text), value) << text;

    const std::vector<KeyTable::Entry> list{{"0A3F21C=Power", 0}, {"1234567=", 0}, {"nothing", 1}};
    const std::pair<int, const char*> positions[] = {
        {-1, ""}, {0, "Power"}, {1, ""}, {2, ""}, {3, ""}, {1 << 30, ""}};
    for (const auto& [position, value] : positions)
        EXPECT_EQ(EntryValue(list, position), value) << position;
}

TEST(KeyTable, MainSectionInAnyCaseOnly) {
    const std::pair<const char*, bool> cases[] = {{"Main", true},    {"MAIN", true},  {"main", true},
                                                  {"mAiN", true},    {"Mainly", false}, {"Mai", false},
                                                  {"Main_", false}, {"", false}};
    for (const auto& [name, main] : cases) EXPECT_EQ(IsMainSection(name), main) << name;
}

}  // namespace
}  // namespace orbisk
