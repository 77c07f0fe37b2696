// The settings file on disk: fresh reads, atomic replacement, refusal to
// damage a file that cannot be written, and the wait settings round trip.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>

#include <sys/stat.h>

#include "engine/key_table.h"
#include "platform/file_io.h"
#include "platform/text_encoding.h"
#include "settings/ini_file.h"
#include "support/line_break.h"
#include "settings/settings.h"

namespace orbisk {
namespace {

namespace fs = std::filesystem;

class IniFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        static std::atomic<int> counter{0};
        dir_ = fs::temp_directory_path() /
               ("orbisk-ini-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                "-" + std::to_string(counter++) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        path_ = (dir_ / "orbisk.ini").string();
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(dir_, ec);
    }

    static void Put(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    }
    static std::string Get(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream out;
        out << in.rdbuf();
        return out.str();
    }
    // Files in the folder but the writers' lock: a failed or finished write
    // leaves no temporary.
    std::size_t FileCount() const {
        std::size_t n = 0;
        for (const auto& e : fs::directory_iterator(dir_)) n += e.path().extension() != ".lock";
        return n;
    }
    // Permission bits do not stop a privileged user (root in a container).
    bool CanCreateIn(const fs::path& folder) const {
        const fs::path probe = folder / "probe";
        const bool created = static_cast<bool>(std::ofstream(probe));
        fs::remove(probe);
        return created;
    }

    fs::path dir_;
    std::string path_;
};

TEST_F(IniFileTest, EveryOperationSeesTheFileAsItIsNow) {
    IniFile ini(path_);
    EXPECT_EQ(ini.ReadString("s", "k", "DEF"), "DEF");
    EXPECT_TRUE(ini.SectionNames().empty());
    ASSERT_TRUE(ini.WriteString("App", "key", ""));
    EXPECT_EQ(Get(path_), WithLineBreak("[App]\nkey=\n", PlatformLineBreak()));

    Put(path_, "[s]\r\nk=hand edit\r\n");
    EXPECT_EQ(ini.ReadString("s", "k", "DEF"), "hand edit");
    EXPECT_EQ(ini.SectionEntries("S"), std::vector<std::string>{"k=hand edit"});
    ASSERT_TRUE(ini.WriteInteger("s", "n", 7));
    EXPECT_EQ(Get(path_), "[s]\r\nk=hand edit\r\nn=7\r\n");

    fs::remove(path_);
    EXPECT_EQ(ini.ReadInteger("s", "n", -1), -1);
    EXPECT_FALSE(ini.ReadBool("s", "n", false));
}

TEST_F(IniFileTest, EditMakesOneReplacementAndLeavesNoTemporary) {
    Put(path_, "\xEF\xBB\xBF;keep me\n[Main]\nCOM=1\n[TV]\n0A3F21C=Power\n");
    IniFile ini(path_);
    int calls = 0;
    ASSERT_TRUE(ini.Edit([&](IniDocument& doc) {
        ++calls;
        doc.EraseSection("tv");
        doc.WriteInteger("Main", "COM", 3);
        doc.WriteBool("Main", "HaltOnError", true);
        doc.WriteString("Radio", "1234567", "Mute");
    }).Ok());
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(Get(path_), "\xEF\xBB\xBF;keep me\n[Main]\nCOM=3\nHaltOnError=1\n[Radio]\n1234567=Mute\n");
    EXPECT_EQ(FileCount(), 1u);
}

TEST_F(IniFileTest, EraseSectionOnAMissingFileCreatesNothing) {
    IniFile ini(path_);
    EXPECT_TRUE(ini.EraseSection("TV"));
    EXPECT_FALSE(fs::exists(path_));
}

TEST_F(IniFileTest, KeepsPermissionBitsAndSymbolicLinks) {
    Put(path_, "[s]\nk=1\n");
    fs::permissions(path_, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    const std::string link = (dir_ / "link.ini").string();
    fs::create_symlink(path_, link);

    ASSERT_TRUE(IniFile(link).WriteString("s", "k", "2"));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(Get(path_), "[s]\nk=2\n");
    EXPECT_EQ(fs::status(path_).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(FileCount(), 2u);
}

TEST_F(IniFileTest, DanglingLinkIsWrittenThroughAndANewFileIsWritableByItsOwnerOnly) {
    const mode_t mask = ::umask(0);  // the loosest mask a host can have
    fs::create_symlink("sub/../target.ini", path_);  // relative, and dangling
    fs::create_directory(dir_ / "sub");
    const bool written = IniFile(path_).WriteString("Main", "ExecOnError", "run");
    ::umask(mask);
    ASSERT_TRUE(written);
    EXPECT_TRUE(fs::is_symlink(path_));
    EXPECT_EQ(Get((dir_ / "target.ini").string()), "[Main]\nExecOnError=run\n");
    EXPECT_EQ(fs::status(path_).permissions() & (fs::perms::group_write | fs::perms::others_write),
              fs::perms::none);
}

TEST_F(IniFileTest, UnwritablePlacesFailQuietlyAndKeepTheOldFile) {
    // A folder that is a regular file fails for everyone, root included.
    const std::string inFile = path_ + "/nested.ini";
    Put(path_, "[s]\nk=1\n");
    EXPECT_EQ(IniFile(inFile).ReadString("s", "k", "DEF"), "DEF");
    EXPECT_EQ(IniFile(inFile).Edit([](IniDocument& doc) { doc.WriteString("s", "k", "2"); }).failure,
              "Not a directory");
    EXPECT_FALSE(IniFile(dir_.string()).WriteString("s", "k", "2"));  // a folder
    EXPECT_FALSE(IniFile("").WriteString("s", "k", "2"));
    EXPECT_EQ(Get(path_), "[s]\nk=1\n");

    fs::permissions(path_, fs::perms::owner_read);
    fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
    if (CanCreateIn(dir_)) GTEST_SKIP() << "permission bits do not apply to this user";
    IniFile ini(path_);
    EXPECT_FALSE(ini.WriteString("s", "k", "2"));
    EXPECT_EQ(ini.Edit([](IniDocument& doc) { doc.EraseSection("s"); }).failure, "Permission denied");
    EXPECT_EQ(ini.ReadString("s", "k", "DEF"), "1");
    // A writable folder does not make a read-only file writable.
    fs::permissions(dir_, fs::perms::owner_all);
    EXPECT_FALSE(ini.WriteString("s", "k", "2"));
    EXPECT_EQ(Get(path_), "[s]\nk=1\n");
    EXPECT_EQ(FileCount(), 1u);
}

TEST_F(IniFileTest, AWriterThatCannotGetTheLockInTimeWritesNothingAndSaysSo) {
    Put(path_, "[s]\nk=1\n");
    const auto write = [this] {
        return IniFile(path_, std::chrono::milliseconds(20)).Edit([](IniDocument& doc) {
            doc.WriteString("s", "k", "2");
        });
    };
    {
        const FileLock other = LockForWriting(path_, std::chrono::milliseconds(0));
        ASSERT_EQ(other.Outcome(), LockOutcome::Held);
        EXPECT_EQ(write().failure, "another program is writing it and has held its lock " + path_ +
                                       ".lock for 20 ms; nothing was written");
        EXPECT_EQ(Get(path_), "[s]\nk=1\n");
    }
    // The lock dies with its holder: the lock file left behind is no obstacle.
    EXPECT_TRUE(write().Ok());
    EXPECT_EQ(Get(path_), "[s]\nk=2\n");
}

TEST_F(IniFileTest, TheLockFileIsTheOwnersAloneAndNoLinkIsFollowedToIt) {
    const mode_t mask = ::umask(0);
    const bool written = IniFile(path_).WriteString("s", "k", "1");
    ::umask(mask);
    ASSERT_TRUE(written);
    const std::string lock = path_ + ".lock";
    EXPECT_EQ(fs::status(lock).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    // A link planted at the lock's name is refused, and nothing is made where it points.
    fs::remove(lock);
    fs::create_symlink(dir_ / "elsewhere", lock);
    EXPECT_EQ(IniFile(path_).Edit([](IniDocument& doc) { doc.WriteString("s", "k", "2"); }).failure,
              "its lock " + lock + " is a symbolic link or no plain file; nothing was written");
    EXPECT_FALSE(fs::exists(dir_ / "elsewhere"));
    EXPECT_EQ(Get(path_), "[s]\nk=1\n");
}

TEST_F(IniFileTest, OversizedFilesAreReadToTheLimitAndNeverWritten) {
    std::string big = "[s]\nk=v\n;";
    big.resize(MaxSettingsFileBytes + 100, 'x');
    Put(path_, big);
    IniFile ini(path_);
    EXPECT_EQ(ini.ReadString("s", "k", "DEF"), "v");
    EXPECT_FALSE(ini.WriteString("s", "k", "w"));
    EXPECT_EQ(fs::file_size(path_), big.size());

    // Nor is a file written that would grow past the limit.
    big.resize(MaxSettingsFileBytes - 4);
    Put(path_, big);
    EXPECT_FALSE(ini.WriteString("s", "k", "longer than four bytes"));
    EXPECT_TRUE(ini.WriteString("s", "k", "w"));
    EXPECT_EQ(ini.ReadString("s", "k", "DEF"), "w");
}

TEST_F(IniFileTest, FilesThatCannotBeReadWholeSayWhyAndAreNeverRewritten) {
    const std::pair<std::string, const char*> cases[] = {
        {std::string("\xFF\xFE[\0M\0]\0\n", 9), "odd number of bytes"},
        {std::string("\xFE\xFF\xD8\0\0[\0M\0]", 10), "characters that 8-bit text cannot hold"},
        {std::string("\xFF\xFE[\0M\0]\0\0\0", 10), "NUL bytes"},
        {"\xEF\xBB\xBF\xEF\xBB\xBF[Main]\nCOM=3\n", "two byte-order marks"},
        {std::string("[Main]\nCOM=3\0\n", 13), "NUL bytes"},
        {std::string(MaxSettingsFileBytes + 1, ';'), "larger than 4 MiB"},
    };
    for (const auto& [bytes, why] : cases) {
        Put(path_, bytes);
        IniFile ini(path_);
        EXPECT_NE(ini.Read().problem.find(why), std::string::npos) << why;
        EXPECT_NE(ini.Edit([](IniDocument& doc) { doc.WriteInteger("Main", "COM", 2); }).failure.find(why),
                  std::string::npos);
        EXPECT_EQ(Get(path_), bytes) << why;
    }
    Put(path_, "\xEF\xBB\xBF[Main]\n");
    EXPECT_EQ(IniFile(path_).Read().problem, "");
}

// The bytes of a UTF-16 file with its byte-order mark.
std::string Utf16File(std::u16string_view text, bool littleEndian) {
    std::string bytes;
    for (const char16_t unit : u"\xFEFF" + std::u16string(text)) {
        const char low = static_cast<char>(unit & 0xFF), high = static_cast<char>(unit >> 8);
        bytes += littleEndian ? low : high;
        bytes += littleEndian ? high : low;
    }
    return bytes;
}

TEST_F(IniFileTest, Utf16FilesAreReadAndWrittenBackInTheirOwnByteOrder) {
    std::string cafe;
    ASSERT_TRUE(Utf16ToNarrow(u"Caf\u00e9", cafe));
    for (const bool little : {true, false}) {
        Put(path_, Utf16File(u"[Main]\r\nCOM=3\r\n[TV]\r\n0A3F21C=Caf\u00e9\r\n", little));
        IniFile ini(path_);
        EXPECT_EQ(ini.Read().problem, "");
        EXPECT_EQ(ini.ReadInteger("Main", "COM", 0), 3);
        EXPECT_EQ(ini.ReadString("TV", "0A3F21C", ""), cafe);
        EXPECT_TRUE(ini.Edit([&](IniDocument& doc) {
            doc.WriteInteger("Main", "COM", 4);
            doc.WriteString("TV", "E2C51F09", cafe + "!");
        }).Ok());
        EXPECT_EQ(Get(path_), Utf16File(u"[Main]\r\nCOM=4\r\n[TV]\r\n0A3F21C=Caf\u00e9\r\nE2C51F09=Caf\u00e9!\r\n",
                                        little));
    }
}

TEST_F(IniFileTest, LoadSettingsFromAMissingFileChangesNothing) {
    Settings settings;
    settings.COM = 5;
    KeyTable keys;
    const IniDocument file = IniFile(path_).Load();
    LoadSettingsFrom(file, settings);
    keys.Rebuild(file);
    ReadWaitSettings(path_, settings);
    EXPECT_EQ(settings.COM.load(), 5);
    EXPECT_EQ(settings.COMRate.load(), 115200);
    EXPECT_EQ(settings.Wait1.load(), 300u);
    EXPECT_TRUE(keys.RemoteList().empty());
    EXPECT_FALSE(fs::exists(path_));
}

TEST_F(IniFileTest, WaitSettingsRoundTripAsSigned32BitWords) {
    Put(path_, "[Main]\nCOM=2\nWaitN=1\n[TV]\n0A3F21C=Power\n");
    Settings settings;
    settings.Wait1 = 3000000000u;  // above 2^31 - 1: written as a negative number
    settings.WaitN = 150;
    settings.WaitR = 0;
    SaveWaitSettings(path_, settings, ValuesOf(Settings{}));
    EXPECT_EQ(Get(path_), "[Main]\nCOM=2\nWaitN=150\nWait1=-1294967296\nWaitR=0\n[TV]\n0A3F21C=Power\n");

    Settings loaded;
    ReadWaitSettings(path_, loaded);
    EXPECT_EQ(loaded.Wait1.load(), 3000000000u);
    EXPECT_EQ(loaded.WaitN.load(), 150u);
    EXPECT_EQ(loaded.WaitR.load(), 0u);

    KeyTable keys;
    keys.Rebuild(IniFile(path_).Load());
    ASSERT_EQ(keys.KeyList().size(), 1u);
    EXPECT_EQ(keys.KeyList()[0].text, "0A3F21C=Power");
}

}  // namespace
}  // namespace orbisk
