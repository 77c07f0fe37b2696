// The profile-file rules of the settings file, on documents in memory.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/file_io.h"
#include "settings/ini_file.h"
#include "support/line_break.h"

namespace orbisk {
namespace {

using Names = std::vector<std::string>;
using namespace std::string_literals;

struct ReadCase {
    const char* what;
    std::string file;
    std::string section;
    std::string key;
    std::string expected;  // "DEF" is the default
};

TEST(IniDocumentRead, ReadStringFollowsTheProfileRules) {
    const ReadCase cases[] = {
        {"names ignore case", "[section1]\nname1=val1\n", "SECTION1", "NaMe1", "val1"},
        {"blanks around names and values", "[s]\n  key  =  value  \n", "s", "key", "value"},
        {"tabs around names and values", "[s]\n\tkey\t=\tvalue\t\n", "s", "key", "value"},
        {"blanks in the header", "  [ s ]  \nk=v\n", "s", "k", "v"},
        {"names given with blanks", "[s]\nk=v\n", " s ", " k ", "v"},
        {"double quotes", "[s]\nk=\"val2\"\n", "s", "k", "val2"},
        {"quotes keep inner blanks", "[s]\nk=  \"   V   \"  \n", "s", "k", "   V   "},
        {"single quotes", "[s]\nk='  V '\n", "s", "k", "  V "},
        {"mismatched quotes stay", "[s]\nk=\"V'\n", "s", "k", "\"V'"},
        {"only one pair goes", "[s]\nk='\"V\"'\n", "s", "k", "\"V\""},
        {"a lone quote stays", "[s]\nk=\"\n", "s", "k", "\""},
        {"comment is no entry", "[s]\n;key=v\n", "s", "key", "DEF"},
        {"indented comment", "[s]\n  ;key=v\n", "s", "key", "DEF"},
        {"no comment after a value", "[s]\nk=;x\n", "s", "k", ";x"},
        {"hash is ordinary", "[s]\nk=a#b\n", "s", "k", "a#b"},
        {"empty value exists", "[s]\nname2=\n", "s", "name2", ""},
        {"line without = is no key", "[s]\nname3\n", "s", "name3", "DEF"},
        {"first of repeated keys", "[s]\nk=v1\nk=v2\n", "s", "k", "v1"},
        {"value with =", "[s]\nk=a=b\n", "s", "k", "a=b"},
        {"no final line break", "[s]\nk=v", "s", "k", "v"},
        {"CR LF", "[s]\r\nk=v\r\n", "s", "k", "v"},
        {"CR alone", "[s]\rk=v\r", "s", "k", "v"},
        {"lines before any section", "k=v\n[s]\n", "s", "k", "DEF"},
        {"missing ] tolerated", "[SectionName\nk=v\n", "sectionname", "k", "v"},
        {"Name] is no section", "SectionName]\nk=v\n", "SectionName", "k", "DEF"},
        {"text after ] ignored", "[s] tail\nk=v\n", "s", "k", "v"},
        {"missing section", "[s]\nk=v\n", "t", "k", "DEF"},
        {"missing key", "[s]\nk=v\n", "s", "x", "DEF"},
        {"key of another section", "[s]\nk=v\n[t]\n", "t", "k", "DEF"},
        {"repeated header, later block", "[a]\nx=1\n[b]\n[A]\nz=3\n", "a", "z", "3"},
        {"repeated header, first wins", "[a]\nx=1\n[b]\n[A]\nx=9\n", "a", "x", "1"},
        {"byte-order mark", "\xEF\xBB\xBF[s]\nk=v\n", "s", "k", "v"},
        {"empty section name", "[]\nk=v\n", "", "k", "v"},
        {"empty key", "[s]\n=v\n", "s", "", "v"},
        {"NUL bytes are text", std::string("[s]\nk=a\0b\n", 10), "s", "k", std::string("a\0b", 3)},
    };
    for (const ReadCase& c : cases) {
        const IniDocument doc = IniDocument::Parse(c.file);
        EXPECT_EQ(doc.ReadString(c.section, c.key, "DEF"), c.expected) << c.what;
        EXPECT_EQ(doc.HasKey(c.section, c.key), c.expected != "DEF") << c.what;
    }
}

TEST(IniDocumentRead, SectionNamesInFileOrderOnce) {
    const std::pair<std::string, Names> cases[] = {
        {"", {}},
        {"  [ s ]\nk=v\n", {"s"}},
        {"k=v\n[s]\n", {"s"}},
        {"[b]\n[a]\n", {"b", "a"}},
        {"[SectionName\nk=v\n", {"SectionName"}},
        {"SectionName]\nk=v\n", {}},
        {"[TV]\nx=1\n[b]\n[tv]\n[TV]\n", {"TV", "b"}},
        {"\xEF\xBB\xBF[s]\n", {"s"}},
        {"[a]\r\n[b]\r[c]", {"a", "b", "c"}},
        {"[]\n;[x]\n", {""}},
    };
    for (const auto& [file, expected] : cases)
        EXPECT_EQ(IniDocument::Parse(file).SectionNames(), expected) << file;
}

TEST(IniDocumentRead, SectionEntriesAndSectionsAgree) {
    const std::pair<std::string, Names> cases[] = {
        {"[s]\nname1=val1\nname2=\nname3\nname4=val4\n",
         {"name1=val1", "name2=", "name3", "name4=val4"}},
        {"[s]\n\n;c\n k = \"v\" \n  odd line  \n", {"k=v", "odd line"}},
        {"[s]\nx=1\n[b]\ny=2\n[S]\nz=3\n", {"x=1", "z=3"}},
        {"x=0\n[s]\nk=a=b\n", {"k=a=b"}},
        {"[s]", {}},
    };
    for (const auto& [file, expected] : cases) {
        const IniDocument doc = IniDocument::Parse(file);
        EXPECT_EQ(doc.SectionEntries("s"), expected) << file;
        const std::vector<IniDocument::Section> sections = doc.Sections();
        ASSERT_FALSE(sections.empty()) << file;
        EXPECT_EQ(sections[0].entries, expected) << file;
        for (const IniDocument::Section& s : sections)
            EXPECT_EQ(s.entries, doc.SectionEntries(s.name)) << file << " / " << s.name;
    }
}

TEST(IniInteger, ParsesDecimalAndHexWithinSigned32Bits) {
    const std::pair<const char*, std::int32_t> good[] = {
        {"115200", 115200}, {"-5", -5}, {"+7", 7},          {"0x1F", 31},
        {"0X1f", 31},       {" 42 ", 42}, {"\t-0x10", -16}, {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN}, {"0x7FFFFFFF", INT32_MAX}, {"000000000000012", 12},
    };
    for (const auto& [text, value] : good) {
        std::int32_t out = 99;
        EXPECT_TRUE(ParseIniInteger(text, out)) << text;
        EXPECT_EQ(out, value) << text;
    }
    const char* bad[] = {"12abc", "yes", "true", "", "0x", "4294967296", "2147483648",
                         "-2147483649", "0x80000000", "- 5", "+", "1 2", "0x1G", "$10", "1e3"};
    for (const char* text : bad) {
        std::int32_t out = 99;
        EXPECT_FALSE(ParseIniInteger(text, out)) << text;
        EXPECT_EQ(out, 99) << text;
    }
}

TEST(IniInteger, ReadIntegerAndBoolFallBackToTheDefault) {
    const IniDocument doc = IniDocument::Parse(
        "[s]\nrate=115200\nbad=12abc\nquoted=\"3\"\nhalt=5\nyes=yes\nzero=0\nempty=\n");
    EXPECT_EQ(doc.ReadInteger("s", "rate", 1), 115200);
    EXPECT_EQ(doc.ReadInteger("s", "bad", 1), 1);
    EXPECT_EQ(doc.ReadInteger("s", "quoted", 1), 3);
    EXPECT_EQ(doc.ReadInteger("s", "empty", 1), 1);
    EXPECT_EQ(doc.ReadInteger("s", "missing", -8), -8);
    EXPECT_TRUE(doc.ReadBool("s", "halt", false));
    EXPECT_TRUE(doc.ReadBool("s", "yes", true));
    EXPECT_FALSE(doc.ReadBool("s", "yes", false));
    EXPECT_FALSE(doc.ReadBool("s", "zero", true));
}

struct WriteCase {
    const char* what;
    std::string before;
    std::function<void(IniDocument&)> change;
    std::string after;
};

TEST(IniDocumentWrite, WritesFollowTheProfileRules) {
    const WriteCase cases[] = {
        {"new file", "", [](IniDocument& d) { d.WriteString("App", "key", ""); }, "[App]\nkey=\n"},
        {"new key and new section", "[App1]\nkey1=a\n",
         [](IniDocument& d) {
             d.WriteString("App1", "key2", "b");
             d.WriteString("App2", "key3", "c");
         },
         "[App1]\nkey1=a\nkey2=b\n[App2]\nkey3=c\n"},
        {"replace keeps the file's spelling", "[S]\nK=V",
         [](IniDocument& d) { d.WriteString("s", "k", "V2"); }, "[S]\nK=V2\n"},
        {"first of repeated keys replaced", "[s]\nk=1\nk=2\n",
         [](IniDocument& d) { d.WriteString("s", "k", "3"); }, "[s]\nk=3\nk=2\n"},
        {"line break before a new section", "Data",
         [](IniDocument& d) { d.WriteString("section1", "key1", "v"); }, "Data\n[section1]\nkey1=v\n"},
        {"CR LF kept", "[s]\r\nk=1\r\n",
         [](IniDocument& d) {
             d.WriteString("s", "k2", "2");
             d.WriteString("t", "x", "1");
         },
         "[s]\r\nk=1\r\nk2=2\r\n[t]\r\nx=1\r\n"},
        {"CR alone kept", "[s]\rk=1", [](IniDocument& d) { d.WriteString("s", "k2", "2"); },
         "[s]\rk=1\rk2=2\r"},
        {"mixed breaks kept line by line", "[a]\r[s]\n\n[b]\n",
         [](IniDocument& d) { d.WriteString("s", "k", "v"); }, "[a]\r[s]\nk=v\n\n[b]\n"},
        {"value written as given", "", [](IniDocument& d) { d.WriteString("s", "k", "  v  "); },
         "[s]\nk=  v  \n"},
        {"new key ahead of the next section's comment", "[a]\nx=1\n\n; about b\n[b]\ny=2\n",
         [](IniDocument& d) { d.WriteString("a", "z", "3"); },
         "[a]\nx=1\nz=3\n\n; about b\n[b]\ny=2\n"},
        {"new key in an empty section", "[a]\n[b]\n", [](IniDocument& d) { d.WriteString("A", "x", "1"); },
         "[a]\nx=1\n[b]\n"},
        {"new key in the last block of a repeated section", "[a]\nx=1\n[b]\n[A]\ny=2\n",
         [](IniDocument& d) {
             d.WriteString("a", "z", "3");
             d.WriteString("a", "y", "5");
         },
         "[a]\nx=1\n[b]\n[A]\ny=5\nz=3\n"},
        {"other lines kept as they are", "[s]\n\x01garbage\n  k = old ; c\n",
         [](IniDocument& d) { d.WriteString("s", "k", "new"); }, "[s]\n\x01garbage\nk=new\n"},
        {"byte-order mark kept", "\xEF\xBB\xBF[s]\nk=1\n",
         [](IniDocument& d) { d.WriteString("s", "k", "2"); }, "\xEF\xBB\xBF[s]\nk=2\n"},
        {"integers and booleans", "",
         [](IniDocument& d) {
             d.WriteInteger("s", "i", -5);
             d.WriteBool("s", "t", true);
             d.WriteBool("s", "f", false);
         },
         "[s]\ni=-5\nt=1\nf=0\n"},
        {"erase with its comments", ";top\n[a]\nx=1\n;c\n[b]\ny=2\n",
         [](IniDocument& d) { d.EraseSection("A"); }, ";top\n[b]\ny=2\n"},
        {"erase every header of the name", "[a]\nx=1\n[b]\ny=2\n[A]\nz=3\n",
         [](IniDocument& d) { d.EraseSection("a"); }, "[b]\ny=2\n"},
        {"erase keeps lines before any section", "k=v\n[a]\nx=1", [](IniDocument& d) { d.EraseSection("a"); },
         "k=v\n"},
        {"erase of a missing section changes nothing", "[a]\nx=1",
         [](IniDocument& d) { d.EraseSection("b"); }, "[a]\nx=1"},
    };
    for (const WriteCase& c : cases) {
        IniDocument doc = IniDocument::Parse(c.before);
        c.change(doc);
        // A file without a line break yet takes the platform's; others keep their own.
        std::string after = c.after;
        if (c.before.find('\n') == std::string::npos) after = WithLineBreak(after, PlatformLineBreak());
        EXPECT_EQ(doc.Serialize(), after) << c.what;
    }
}

TEST(IniDocumentWrite, ManyChangesAtOnceGiveWhatOneByOneGives) {
    using Change = IniDocument::EntryChange;
    const std::string files[] = {
        "",
        "[TV]\n0000001=Power\n0000002=Volume\n; note\n\n[Amp]\n0000003=Input",
        "top=1\r\n[tv]\r\n 0000001 = \"Power\" \r\n0000002\r\n0000001=again\r\n[amp]\r\n[TV]\r\nx=1\r\n",
        "[TV]\n0000002\n0000002\n[Radio]\n",
    };
    const std::vector<Change> changes = {
        {"TV", "0000001", "On"},         {"tv", "0000002", "Louder"},  {"Amp", "0000003", std::nullopt},
        {"Amp", "0000009", "Tape"},      {"New", "0000004", "A"},      {"TV", "0000005", "Mute"},
        {"Radio]x", "=k", "v\nw"},      {"new", "0000006", "B"},      {"Gone", "0000007", std::nullopt},
        {"TV", "x", std::nullopt},
    };
    for (const std::string& file : files) {
        IniDocument oneByOne = IniDocument::Parse(file), atOnce = IniDocument::Parse(file);
        for (const Change& c : changes)
            if (!c.value) oneByOne.EraseKey(c.section, c.key);
        for (const Change& c : changes) {
            if (!c.value) continue;
            if (!oneByOne.HasKey(c.section, c.key)) oneByOne.EraseKey(c.section, c.key);
            oneByOne.WriteString(c.section, c.key, *c.value);
        }
        atOnce.ApplyEntryChanges(changes);
        EXPECT_EQ(atOnce.Serialize(), oneByOne.Serialize()) << file;

        // Sections left without entries go in one step as well.
        const Names listed = {"Amp", "Radio", "TV", "Missing"};
        for (const std::string& name : listed)
            if (oneByOne.SectionEntries(name).empty()) oneByOne.EraseSection(name);
        atOnce.EraseSectionsWithoutEntries(listed);
        EXPECT_EQ(atOnce.Serialize(), oneByOne.Serialize()) << file;
    }
}

TEST(IniDocumentWrite, ParseAndSerializeKeepEveryByte) {
    const std::string files[] = {
        "",
        "\xEF\xBB\xBF",
        "no section\n[s]\r\nk = \"v\" \r\n;c\r\r\n\n\x00\xFF junk]\n[t\nx"s,
        "[s]\n\0\0=\0\n"s,
        "\r\n\r\n\n\r",
    };
    for (const std::string& file : files) EXPECT_EQ(IniDocument::Parse(file).Serialize(), file);
}

// Names the file cannot hold become names it can: written under them, a
// value reads back under the same name, and every other entry stays.
TEST(IniDocumentWrite, NamesTheFileCannotHoldDamageNothing) {
    struct NameCase {
        std::string section, key, value;
        std::string storedSection, storedKey, storedValue;
    };
    const NameCase cases[] = {
        {"TV]", "K", "v", "TV_", "K", "v"},
        {"Main]", "K", "v", "Main_", "K", "v"},
        {"a\nb", "K", "v", "a_b", "K", "v"},
        {"x]\r\n[keep", "K", "v", "x___[keep", "K", "v"},
        {"", "K", "v", "", "K", "v"},
        {"   ", "K", "v", "", "K", "v"},
        {"new", "a=b", "v", "new", "a_b", "v"},
        {"new", ";c", "v", "new", "_c", "v"},
        {"new", " [keep]", "v", "new", "_keep]", "v"},
        {"new", "k\n[keep]\nb", "v", "new", "k_[keep]_b", "v"},
        {"new", "", "v", "new", "", "v"},
        {"new", "K", "v\r\n[keep]\nb=3", "new", "K", "v__[keep]_b=3"},
        {"keep", "K", "v\nb=3", "keep", "K", "v_b=3"},
    };
    const std::string before = ";top\n[keep]\na=1\nb=2\n[other]\nc=3\n";
    for (const NameCase& c : cases) {
        IniDocument doc = IniDocument::Parse(before);
        doc.WriteString(c.section, c.key, c.value);
        const IniDocument back = IniDocument::Parse(doc.Serialize());
        const std::string what = c.section + "/" + c.key;
        EXPECT_EQ(back.ReadString(c.section, c.key, "DEF"), c.storedValue) << what;
        EXPECT_EQ(back.ReadString(c.storedSection, c.storedKey, "DEF"), c.storedValue) << what;
        EXPECT_EQ(back.ReadString("keep", "a", ""), "1") << what;
        EXPECT_EQ(back.ReadString("keep", "b", ""), "2") << what;
        EXPECT_EQ(back.ReadString("other", "c", ""), "3") << what;
        EXPECT_EQ(back.SectionEntries("other"), Names{"c=3"}) << what;
        const Names names = back.SectionNames();
        EXPECT_EQ(names.size(), c.storedSection == "keep" ? 2u : 3u) << what;
        EXPECT_EQ(names.back(), c.storedSection == "keep" ? "other" : c.storedSection) << what;
    }
}

TEST(IniDocumentRobustness, HostileContentLoadsAndWrites) {
    std::string binary;
    for (int i = 0; i < 4096; ++i) binary += static_cast<char>((i * 131 + 7) % 256);
    const std::string files[] = {
        binary,
        std::string(1 << 20, 'x'),
        "[" + std::string(1 << 20, 'y'),
        "[s]\nk=" + std::string(1 << 20, '=') + "\n",
        std::string(100000, '\n'),
        std::string(50000, '['),
    };
    for (const std::string& file : files) {
        IniDocument doc = IniDocument::Parse(file);
        (void)doc.SectionNames();
        (void)doc.Sections();
        doc.WriteString("probe", "key", "value");
        const IniDocument back = IniDocument::Parse(doc.Serialize());
        EXPECT_EQ(back.ReadString("probe", "key", ""), "value");
    }
}

// Notes follow the first entry of their key, the first note of a key
// counts, and a note without its key goes; comments of other kinds and
// lines before the first section stay.
TEST(IniDocumentNotes, NotesFollowTheirKeysOrGo) {
    const struct {
        std::string file;
        std::vector<IniDocument::Note> set;
        std::string after;
    } cases[] = {
        {"[s]\nA=1\nB=2\n;n A x\n;n A y\n;n C z\n; n B w\n", {}, "[s]\nA=1\n;n A x\nB=2\n; n B w\n"},
        {"[s]\r\nA=1", {{"S", "a", "new"}}, "[s]\r\nA=1\r\n;n A new\r\n"},
        {"[s]\nA=1\n;n A old\n[t]\nB=2\n[s]\nA=3\n", {{"s", "A", ""}, {"t", "B", "b"}, {"t", "C", "c"}},
         "[s]\nA=1\n[t]\nB=2\n;n B b\n[s]\nA=3\n"},
        {";n A top\n[s]\nA\n;n A no value\n", {{"s", "A B", "blank"}}, ";n A top\n[s]\nA\n"},
    };
    for (const auto& c : cases) {
        IniDocument doc = IniDocument::Parse(c.file);
        doc.SetNotes("n", c.set);
        EXPECT_EQ(doc.Serialize(), c.after) << c.file;
    }
    const IniDocument doc = IniDocument::Parse(cases[0].after);
    ASSERT_EQ(doc.Notes("n").size(), 1u);
    EXPECT_EQ(doc.Notes("n")[0].text, "x");
}

}  // namespace
}  // namespace orbisk
