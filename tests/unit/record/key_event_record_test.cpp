// The key event record as a host reads it: byte offsets, what Open writes,
// what each engine start stamps, and what the engine fills in for a key.
#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "support/engine_harness.h"

namespace orbisk::test {
namespace {

using RecordBytes = std::array<unsigned char, sizeof(OrbiskKeyEventRecord)>;

RecordBytes Bytes(const OrbiskKeyEventRecord& record) {
    RecordBytes bytes;
    std::memcpy(bytes.data(), &record, sizeof record);
    return bytes;
}

std::string ByteText(const RecordBytes& bytes, std::size_t offset, std::size_t size) {
    return std::string(reinterpret_cast<const char*>(bytes.data()) + offset, size);
}

std::uint32_t Word(const RecordBytes& bytes, std::size_t offset) {
    // Little-endian, as the host reads it.
    return std::uint32_t{bytes[offset]} | std::uint32_t{bytes[offset + 1]} << 8 |
           std::uint32_t{bytes[offset + 2]} << 16 | std::uint32_t{bytes[offset + 3]} << 24;
}

bool AllZero(const RecordBytes& bytes, std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to; ++i)
        if (bytes[i] != 0) return false;
    return true;
}

constexpr bool kWidePointers = sizeof(void*) > 4;

TEST(KeyEventRecordLayout, FieldOffsets) {
    struct Field {
        const char* name;
        std::size_t offset, expectedOffset, size, expectedSize;
    };
    using R = OrbiskKeyEventRecord;
    const Field fields[] = {
        {"SourceName", offsetof(R, SourceName), 0, sizeof(R::SourceName), 60},
        {"SourceTag", offsetof(R, SourceTag), 60, sizeof(R::SourceTag), 4},
        {"KeyName", offsetof(R, KeyName), 64, sizeof(R::KeyName), 124},
        {"ExtTag", offsetof(R, ExtTag), 188, sizeof(R::ExtTag), 4},
        {"ExtWords", offsetof(R, ExtWords), 192, sizeof(R::ExtWords), 12},
        {"Reserved204", offsetof(R, Reserved204), 204, sizeof(R::Reserved204), 4},
        {"Reserved208", offsetof(R, Reserved208), 208, sizeof(R::Reserved208), 4},
        {"CodeTextRef", offsetof(R, CodeTextRef), 212, sizeof(R::CodeTextRef), 4},
        {"RemoteNameRef", offsetof(R, RemoteNameRef), 216, sizeof(R::RemoteNameRef), 4},
        {"Reserved220", offsetof(R, Reserved220), 220, sizeof(R::Reserved220), 4},
        {"Reserved224", offsetof(R, Reserved224), 224, sizeof(R::Reserved224), 4},
    };
    for (const Field& f : fields) {
        EXPECT_EQ(f.offset, f.expectedOffset) << f.name;
        EXPECT_EQ(f.size, f.expectedSize) << f.name;
    }
    EXPECT_EQ(sizeof(R), kWidePointers ? 244u : 228u);
    EXPECT_EQ(ORBISK_RECORD_BASE_SIZE, 228);
}

TEST(KeyEventRecordLayout, NativePointersFollowTheBaseRecord) {
    // The members exist only where pointers are wide, so the compiler may
    // not even see them elsewhere.
#if UINTPTR_MAX > 0xFFFFFFFFu
    using R = OrbiskKeyEventRecord;
    EXPECT_EQ(offsetof(R, CodeText), 228u);
    EXPECT_EQ(offsetof(R, RemoteNameText), 236u);
#else
    GTEST_SKIP() << "32-bit pointers live in CodeTextRef and RemoteNameRef";
#endif
}

struct OpenCase {
    const char* label;
    bool hasName;
    std::string name;
    std::string expectedHead;  // bytes 0 to 63
};

std::string Head(std::string name) {
    name.resize(60, '\0');
    return name + std::string("UNI\0", 4);
}

const std::string kLetters70 =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_+*/()!";

TEST(KeyEventRecordOpen, SourceNameAndTag) {
    const OpenCase cases[] = {
        {"no name", false, "", Head("REMOTE")},
        {"empty name", true, "", Head("")},
        {"short name", true, "Living room", Head("Living room")},
        {"59 characters end with 0 before the tag", true, kLetters70.substr(0, 59),
         Head(kLetters70.substr(0, 59))},
        {"60 characters run into the tag", true, kLetters70.substr(0, 60), Head(kLetters70.substr(0, 60))},
        {"63 characters keep 60", true, kLetters70.substr(0, 63), Head(kLetters70.substr(0, 60))},
        {"70 characters keep 60", true, kLetters70, Head(kLetters70.substr(0, 60))},
    };
    for (const OpenCase& c : cases) {
        // The name in a buffer of exactly its size, so that reading past its
        // terminator shows up under AddressSanitizer.
        auto name = std::make_unique<char[]>(c.name.size() + 1);
        std::memcpy(name.get(), c.name.c_str(), c.name.size() + 1);

        OrbiskKeyEventRecord record;
        std::memset(&record, 0xA5, sizeof record);  // a second Open starts from scratch
        InitKeyEventRecord(record, c.hasName ? name.get() : nullptr);

        const RecordBytes bytes = Bytes(record);
        EXPECT_EQ(ByteText(bytes, 0, 64), c.expectedHead) << c.label;
        EXPECT_TRUE(AllZero(bytes, 64, bytes.size())) << c.label;
    }
}

// Names used by the engine cases below.
const std::string kLongKeyName = std::string(100, 'K') + "0123456789" + "abcdefghijklmnopqrst";  // 130
const std::string kLongRemote = "Remote" + std::string(64, 'R');                               // 70

std::string SettingsFile() {
    return "[TV]\n"
           "0000001=" + kLongKeyName + "\n"
           "0000002=Volume Up Long Name\n"
           "0000003=Mute\n"
           "[" + kLongRemote + "]\n"
           "0000004=Play\n";
}

TEST(KeyEventRecordEngine, StartStampsExtensionFieldsAndBufferAddresses) {
    EngineHarness h(SettingsFile());
    const RecordBytes before = Bytes(h.record);
    h.engine.Begin();
    const RecordBytes bytes = Bytes(h.record);

    EXPECT_EQ(ByteText(bytes, 0, 188), ByteText(before, 0, 188)) << "Open's part is left alone";
    EXPECT_EQ(ByteText(bytes, 188, 4), std::string("EXT\0", 4));
    EXPECT_EQ(Word(bytes, 192), 2u);
    EXPECT_EQ(Word(bytes, 196), 0u);
    EXPECT_EQ(Word(bytes, 200), 0u);
    EXPECT_TRUE(AllZero(bytes, 204, 212));
    EXPECT_TRUE(AllZero(bytes, 220, 228));

    const auto codeText = reinterpret_cast<std::uintptr_t>(h.engine.CodeTextBuffer());
    const auto remoteName = reinterpret_cast<std::uintptr_t>(h.engine.RemoteNameBuffer());
    if constexpr (kWidePointers) {
        EXPECT_TRUE(AllZero(bytes, 212, 220)) << "no 32-bit addresses where they would be cut";
        std::uintptr_t atCodeText = 0, atRemoteName = 0;
        std::memcpy(&atCodeText, bytes.data() + 228, sizeof atCodeText);
        std::memcpy(&atRemoteName, bytes.data() + 236, sizeof atRemoteName);
        EXPECT_EQ(atCodeText, codeText);
        EXPECT_EQ(atRemoteName, remoteName);
    } else {
        EXPECT_EQ(Word(bytes, 212), codeText);
        EXPECT_EQ(Word(bytes, 216), remoteName);
    }
    EXPECT_EQ(h.engine.RemoteNameBuffer()[RemoteNameCapacity - 1], '\0');
}

TEST(KeyEventRecordEngine, EveryStartPointsAtItsOwnBuffers) {
    EngineHarness h(SettingsFile());
    h.engine.Begin();
    KeyEngine second(h.published, h.event, h.clock, h.settings, h.keys, h.record, h.control, h.output);
    second.Begin();
    EXPECT_EQ(RecordCodeText(h.record).data(), second.CodeTextBuffer());
    EXPECT_EQ(RecordRemoteName(h.record).data(), second.RemoteNameBuffer());
}

TEST(KeyEventRecordEngine, LongKeyNameKeeps123CharactersAndTheLastByteUntouched) {
    EngineHarness h(SettingsFile());
    h.record.KeyName[123] = 'Z';  // not written after Open, so any value survives
    h.Script({{0, 1}});
    h.Run();

    const RecordBytes bytes = Bytes(h.record);
    EXPECT_EQ(ByteText(bytes, 64, 123), kLongKeyName.substr(0, 123));
    EXPECT_EQ(bytes[187], 'Z');
    ASSERT_FALSE(h.output.messages.empty());
    EXPECT_EQ(h.output.messages[0].keyName.size(), 124u) << "read up to the sentinel";
}

TEST(KeyEventRecordEngine, ShorterKeyNameZeroesTheRestOfKeyName) {
    EngineHarness h(SettingsFile());
    h.Script({{0, 1}, {100, 3}});
    h.Run();

    const RecordBytes bytes = Bytes(h.record);
    EXPECT_EQ(ByteText(bytes, 64, 4), "Mute");
    EXPECT_TRUE(AllZero(bytes, 68, 188));
}

TEST(KeyEventRecordEngine, UndefinedCodeZero) {
    EngineHarness h(SettingsFile());
    h.Script({{0, 0}});
    h.Run();
    ASSERT_FALSE(h.output.messages.empty());
    EXPECT_EQ(h.output.messages[0], (KeyMessage{0, 0, "0000000", "0000000", "<undefined>"}));
}

TEST(KeyEventRecordEngine, UndefinedCodeWritesOnlyTextAndTerminator) {
    // A long key name first, then a code nobody learned.
    EngineHarness afterKey(SettingsFile());
    afterKey.Script({{0, 2}, {1000, 0x77}});
    afterKey.Run();
    const RecordBytes bytes = Bytes(afterKey.record);
    EXPECT_EQ(ByteText(bytes, 64, 8), std::string("0000077\0", 8));
    EXPECT_EQ(ByteText(bytes, 72, 12), std::string("p Long Name\0", 12)) << "older contents stay";

    // A long remote name first.
    EngineHarness afterRemote(SettingsFile());
    afterRemote.Script({{0, 4}, {1000, 0x77}});
    afterRemote.Run();
    const char* remote = afterRemote.engine.RemoteNameBuffer();
    EXPECT_EQ(std::string(remote, 12), std::string("<undefined>\0", 12));
    EXPECT_EQ(std::string(remote + 12, 51), kLongRemote.substr(12, 51)) << "older contents stay";
    EXPECT_EQ(remote[63], '\0');
}

TEST(KeyEventRecordEngine, RemoteNameIsCutAt63AndZeroFilled) {
    EngineHarness h(SettingsFile());
    h.Script({{0, 4}});
    h.Run();
    const char* remote = h.engine.RemoteNameBuffer();
    EXPECT_EQ(std::string(remote, 64), kLongRemote.substr(0, 63) + '\0');

    EngineHarness shorter(SettingsFile());
    shorter.Script({{0, 4}, {1000, 3}});
    shorter.Run();
    const char* tv = shorter.engine.RemoteNameBuffer();
    EXPECT_EQ(std::string(tv, 64), "TV" + std::string(62, '\0'));
}

}  // namespace
}  // namespace orbisk::test
