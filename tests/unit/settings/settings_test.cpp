// Section Main into the settings variables, and the settings file's path.
#include <gtest/gtest.h>

#include <string>

#include "engine/key_table.h"
#include "settings/ini_file.h"
#include "settings/settings.h"

namespace orbisk {
namespace {

TEST(ChangeFileExt, ReplacesOnlyTheFileNamesExtension) {
    const std::string longFolder = "/" + std::string(5000, 'd') + ".x/";
    const std::pair<std::string, std::string> cases[] = {
        {"/usr/lib/orbisk.so", "/usr/lib/orbisk.ini"},
        {"orbisk.dll", "orbisk.ini"},
        {"a.b.c", "a.b.ini"},
        {"/opt/v1.2/orbisk", "/opt/v1.2/orbisk.ini"},
        {"C:\\Program Files.x86\\orbisk", "C:\\Program Files.x86\\orbisk.ini"},
        {"C:\\Vantrel\\orbisk.dll", "C:\\Vantrel\\orbisk.ini"},
        {"/x/orbisk.", "/x/orbisk.ini"},
        {"/x/.hidden", "/x/.ini"},
        {"", ".ini"},
        {longFolder + "orbisk.so", longFolder + "orbisk.ini"},
    };
    for (const auto& [path, expected] : cases) EXPECT_EQ(SettingsPath(path), expected) << path;
}

struct MainValues {
    int COM, COMRate, Interval, RepeatLength, SkipBegin;
    bool HaltOnError;
    std::string ExecOnError;
};

MainValues Snapshot(const Settings& s) {
    return {s.COM.load(), s.COMRate.load(), s.Interval.load(), s.RepeatLength.load(),
            s.SkipBegin.load(), s.HaltOnError.load(), s.ExecOnError};
}

void ExpectValues(const MainValues& a, const MainValues& b, const std::string& what) {
    EXPECT_EQ(a.COM, b.COM) << what;
    EXPECT_EQ(a.COMRate, b.COMRate) << what;
    EXPECT_EQ(a.Interval, b.Interval) << what;
    EXPECT_EQ(a.RepeatLength, b.RepeatLength) << what;
    EXPECT_EQ(a.SkipBegin, b.SkipBegin) << what;
    EXPECT_EQ(a.HaltOnError, b.HaltOnError) << what;
    EXPECT_EQ(a.ExecOnError, b.ExecOnError) << what;
}

TEST(LoadSettings, ReadsMainWithTheCurrentValuesAsDefaults) {
    // Every case starts from the same non-initial values, so a key that is
    // not read shows up as that value.
    const MainValues start{7, 9600, 50, 5, 2, true, "old.sh"};
    const std::pair<std::string, MainValues> cases[] = {
        {"", start},
        {"[TV]\nCOM=1\n", start},
        {"[Main]\nCOM=3\nCOMRate=115200\nInterval=100\nRepeatLength=3\nSkipBegin=4\n"
         "HaltOnError=0\nExecOnError=run.sh --now\n",
         {3, 115200, 100, 3, 4, false, "run.sh --now"}},
        {"[main]\nCOM=4\n", {4, 9600, 50, 5, 2, true, "old.sh"}},
        {"[MAIN]\nInterval=0x20\n", {7, 9600, 32, 5, 2, true, "old.sh"}},
        {"[Main]\nCOM=two\nCOMRate=4294967296\nInterval=\nSkipBegin=-3\n", {7, 9600, 50, 5, -3, true, "old.sh"}},
        {"[Main]\nHaltOnError=yes\n", start},
        {"[Main]\nHaltOnError=0\nExecOnError=\n", {7, 9600, 50, 5, 2, false, ""}},
        {"[Main]\nExecOnError=\"  spaced.sh  \"\n", {7, 9600, 50, 5, 2, true, "  spaced.sh  "}},
        {"[Main]\nCOM=1\n[TV]\n[Main]\nRepeatLength=9\n", {1, 9600, 50, 9, 2, true, "old.sh"}},
    };
    for (const auto& [file, expected] : cases) {
        Settings settings;
        settings.COM = start.COM;
        settings.COMRate = start.COMRate;
        settings.Interval = start.Interval;
        settings.RepeatLength = start.RepeatLength;
        settings.SkipBegin = start.SkipBegin;
        settings.HaltOnError = start.HaltOnError;
        settings.ExecOnError = start.ExecOnError;
        LoadSettingsFrom(IniDocument::Parse(file), settings);
        ExpectValues(Snapshot(settings), expected, file);
    }
}

TEST(LoadSettings, HaltOnErrorIsAnyNonZeroInteger) {
    const std::pair<const char*, bool> cases[] = {{"5", true}, {"-1", true}, {"0x0", false},
                                                  {"1", true}, {"true", false}};
    for (const auto& [value, expected] : cases) {
        Settings settings;
        LoadSettingsFrom(IniDocument::Parse(std::string("[Main]\nHaltOnError=") + value), settings);
        EXPECT_EQ(settings.HaltOnError.load(), expected) << value;
    }
}

TEST(LoadSettings, RecognizeIsOnUnlessTheFileSaysZero) {
    const std::pair<const char*, bool> cases[] = {{"", true}, {"[Main]\nRecognize=0\n", false},
                                                  {"[Main]\nRecognize=1\n", true}};
    for (const auto& [file, expected] : cases) {
        Settings settings;
        LoadSettingsFrom(IniDocument::Parse(file), settings);
        EXPECT_EQ(settings.Recognize.load(), expected) << file;
    }
}

TEST(LoadSettings, LeavesTheWaitTimesAndReadsThemApart) {
    const IniDocument doc = IniDocument::Parse("[Main]\nWait1=500\nWaitN=-1\nWaitR=soon\n");
    Settings settings;
    LoadSettingsFrom(doc, settings);
    EXPECT_EQ(settings.Wait1.load(), 300u);
    ReadWaitSettingsFrom(doc, settings);
    EXPECT_EQ(settings.Wait1.load(), 500u);
    EXPECT_EQ(settings.WaitN.load(), 4294967295u);
    EXPECT_EQ(settings.WaitR.load(), 200u);
}

// WaitN=0 floods the host with repeats and a WaitR near 2^32 ms never
// releases; the dialog's own range (50 to 1000) and a long WaitN pass.
TEST(ReadWaitSettings, LimitsOnlyTheFloodAndTheEndlessHold) {
    struct Case {
        const char* file;
        std::uint32_t waitN, waitR;
    };
    const Case cases[] = {
        {"WaitN=0\nWaitR=-1", MinWaitNMs, MaxWaitRMs},
        {"WaitN=9\nWaitR=2147483647", MinWaitNMs, MaxWaitRMs},
        {"WaitN=10\nWaitR=10001", 10, MaxWaitRMs},
        {"WaitN=50\nWaitR=1000", 50, 1000},
        {"WaitN=1000\nWaitR=0", 1000, 0},
        {"WaitN=-1\nWaitR=10000", 4294967295u, 10000},
    };
    for (const Case& c : cases) {
        Settings settings;
        ReadWaitSettingsFrom(IniDocument::Parse(std::string("[Main]\nWait1=0\n") + c.file), settings);
        EXPECT_EQ(settings.WaitN.load(), c.waitN) << c.file;
        EXPECT_EQ(settings.WaitR.load(), c.waitR) << c.file;
        EXPECT_EQ(settings.Wait1.load(), 0u) << c.file;
    }
}

}  // namespace
}  // namespace orbisk
