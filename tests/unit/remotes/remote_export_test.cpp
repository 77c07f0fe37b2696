#include "remotes/remote_export.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <set>
#include <string>
#include <utility>

#include "common/code_text.h"
#include "receiver/analysis/burst_codes.h"
#include "remotes/key_frames.h"
#include "remotes/remote_import.h"
#include "settings/ini_file.h"

namespace orbisk {
namespace {

using NamedCodes = std::set<std::pair<std::string, std::string>>;

// A settings file holding a key of every protocol with a frame (a scancode
// each carries), two raw bursts as an import keeps them, and keys that no
// format can write: one without a frame, one disabled.
IniDocument EveryKind(NamedCodes& exportable) {
    std::vector<IniDocument::EntryChange> entries;
    std::vector<KeptFrame> frames;
    const auto add = [&](const std::string& name, std::uint32_t code, const KeyFrame& frame) {
        entries.push_back({"My TV", CodeText(code), name});
        frames.push_back({"My TV", CodeText(code), frame});
        exportable.insert({name, CodeText(code)});
    };
    for (int p = 1; p < IrProtocolCount; ++p)
        for (const std::uint32_t scancode : {0x800f0415u, 0x12345u, 0x0151u, 0x0045u}) {
            const auto protocol = static_cast<IrProtocol>(p);
            const IrFrame frame{protocol, scancode & ProtocolInfo(protocol).scancodeMask};
            // A frame a remote sends: the recogniser reads it back.
            if (!CanEncodeIrFrame(frame) ||
                LiveCodes(IdealMicros(frame), {}, 50, 0, 0, 1) != std::vector{StableCode(frame)})
                continue;
            add(std::string(ProtocolInfo(frame.protocol).name), StableCode(frame), KeyFrame{frame, {}});
            break;
        }
    // A burst of no known protocol, and a NEC burst kept as its durations.
    const std::vector<std::uint32_t> unknown = {3000, 1000, 500, 1000, 500, 500, 500, 1000, 500, 500, 500,
                                                1000, 500, 500, 500, 500, 500, 1000, 500, 500, 500, 1000,
                                                500, 500, 500, 1000, 500, 1000, 500, 500, 500, 1000, 500};
    for (const auto& micros : {unknown, IdealMicros({IrProtocol::Nec, 0x0408})}) {
        const std::vector<std::uint32_t> codes = LiveCodes(micros, {}, 50, 0, 0, 1);
        EXPECT_EQ(codes.size(), 1u);
        add("raw_" + std::to_string(micros.size()), codes[0], KeyFrame{{}, micros});
    }
    // A press learned in the dialog, as the receiver sent it.
    KeyFrame units{{}, {60, 20}, true};
    for (int bit = 0; bit < 16; ++bit) units.micros.insert(units.micros.end(), {10, 0xA5C3u >> bit & 1 ? 30u : 10u});
    units.micros.push_back(10);
    add("units", LiveCodes(KeyFrameMicros(units), {}, 50, 0, 0, 1).at(0), units);
    entries.push_back({"My TV", "0000123", "unframed"});
    entries.push_back({"My TV", "0000789", "other_code"});
    frames.push_back({"My TV", "0000789", KeyFrame{{IrProtocol::Nec, 0x0408}, {}}});
    entries.push_back({"My TV", "_0000456", "disabled"});
    IniDocument doc = IniDocument::Parse("[Main]\nCOM=2\n");
    doc.ApplyEntryChanges(entries);
    KeepFrames(doc, frames);
    return doc;
}

TEST(RemoteExport, ImportingAnExportGivesTheSameCodesUnderTheSameNames) {
    NamedCodes all;
    const IniDocument doc = EveryKind(all);
    const struct {
        ExportFormat format;
        const char* path;
        std::set<std::string> leftOut;  // besides unframed, disabled and other_code
    } formats[] = {
        {ExportFormat::FlipperIr, "My TV.ir", {}},
        {ExportFormat::LircdConf, "lircd.conf", {}},
        // Protocols whose scancodes the kernel lays out otherwise, and raw bursts.
        {ExportFormat::Keymap, "tv.toml",
         {"denon", "panasonic", "denon_k", "jvc48", "sharp_k", "samsung36", "nec48", "nec16", "gicable", "rca",
          "xmp_half", "raw_33", "raw_67", "units"}},
    };
    for (const auto& f : formats) {
        RemoteExport out;
        std::string error;
        ASSERT_TRUE(ExportRemote(doc, "my tv", f.format, out, error)) << error;
        std::set<std::string> leftOut;
        for (const KeyLeftOut& key : out.leftOut) leftOut.insert(key.name);
        std::set<std::string> expected = f.leftOut;
        expected.insert({"unframed", "disabled", "other_code"});
        EXPECT_EQ(leftOut, expected) << f.path;

        RemoteImport plan;
        ASSERT_TRUE(PlanRemoteImport(out.text, f.path, "My TV", {}, plan, error)) << error << "\n" << out.text;
        NamedCodes imported;
        for (const ImportedKey& key : plan.keys) imported.insert({key.name, CodeText(key.code)});
        NamedCodes wanted;
        for (const auto& key : all)
            if (!f.leftOut.contains(key.first)) wanted.insert(key);
        // What went astray, each way.
        NamedCodes lost, gained;
        std::set_difference(wanted.begin(), wanted.end(), imported.begin(), imported.end(),
                            std::inserter(lost, lost.end()));
        std::set_difference(imported.begin(), imported.end(), wanted.begin(), wanted.end(),
                            std::inserter(gained, gained.end()));
        EXPECT_EQ(lost, NamedCodes{}) << f.path;
        EXPECT_EQ(gained, NamedCodes{}) << f.path;
        EXPECT_TRUE(plan.skipped.empty() && plan.shared.empty()) << f.path;
    }
}

// Flipper's fields as its database writes them for known keys.
TEST(RemoteExport, FlipperButtonsAsTheDatabaseWritesThem) {
    const struct {
        IrFrame frame;
        const char* button;
    } keys[] = {
        {{IrProtocol::Panasonic, 0x8003d}, "protocol: Kaseikyo\naddress: 80 02 20 00\ncommand: D0 03 00 00\n"},
        {{IrProtocol::Nec, 0x0408}, "protocol: NEC\naddress: 04 00 00 00\ncommand: 08 00 00 00\n"},
        {{IrProtocol::Necx, 0x041208}, "protocol: NECext\naddress: 04 12 00 00\ncommand: 08 F7 00 00\n"},
        {{IrProtocol::Rc5, 0x0551}, "protocol: RC5X\naddress: 05 00 00 00\ncommand: 11 00 00 00\n"},
        {{IrProtocol::Sony20, 0x1a0b15}, "protocol: SIRC20\naddress: 7A 01 00 00\ncommand: 15 00 00 00\n"},
        {{IrProtocol::Rca, 0x0f12}, "protocol: RCA\naddress: 0F 00 00 00\ncommand: 48 00 00 00\n"},
    };
    for (const auto& k : keys) {
        const std::string code = CodeText(StableCode(k.frame));
        IniDocument doc = IniDocument::Parse("[TV]\n" + code + "=Power\n");
        KeepFrames(doc, {{"TV", code, KeyFrame{k.frame, {}}}});
        RemoteExport out;
        std::string error;
        ASSERT_TRUE(ExportRemote(doc, "TV", ExportFormat::FlipperIr, out, error)) << error;
        EXPECT_NE(out.text.find(std::string("type: parsed\n") + k.button), std::string::npos) << out.text;
    }
}

}  // namespace
}  // namespace orbisk
