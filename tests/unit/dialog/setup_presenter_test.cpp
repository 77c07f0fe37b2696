// The setup dialog's behaviour against a recording view and real settings
// files: loading and saving, the setting handlers, the engine's notices and
// every edit of the code list.
#include <gtest/gtest.h>

#include <sys/inotify.h>
#include <unistd.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "common/code_text.h"
#include "dialog/setup_presenter.h"
#include "receiver/analysis/burst_codes.h"
#include "orbisk/host.h"
#include "settings/ini_file.h"
#include "settings/settings.h"
#include "support/temp_dir.h"

namespace orbisk {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

// Records what the presenter shows and lets a test act as the user.  The
// controls start as the form's layout has them.
class FakeView final : public SetupView {
public:
    FakeView() {
        texts[Control::RemoteEdit] = "<undefined>";
        texts[Control::CodeLabel] = "<unknown>";
        texts[Control::TestGroup] = " Monitoring ";
        enabled[Control::ResetButton] = true;
        enabled[Control::ExecEdit] = true;
    }

    void SetValue(Control control, int value) override { values[control] = value; }
    void SetText(Control control, std::string_view text) override { texts[control] = text; }
    std::string Text(Control control) const override { return texts.at(control); }
    void SetEnabled(Control control, bool on) override { enabled[control] = on; }
    void SetItems(Control, const std::vector<std::string>& list) override { items = list; }

    void SetRows(const std::vector<CodeRow>& list) override {
        rows = list;
        selected = -1;
        editRow.reset();
    }
    void UpdateRow(int row, const CodeRow& content) override { rows.at(row) = content; }
    int SelectedRow() const override { return selected; }
    void SelectRow(int row) override {
        selected = row;
        ++selections;
    }
    void ClearSelection() override { selected = -1; }
    void StartEdit(int row) override {
        editRow = row;
        editText = rows.at(row).caption;
        log.push_back("start " + std::to_string(row));
    }
    void CancelEdit() override {
        editRow.reset();
        log.push_back("cancel");
    }
    int EditingRow() const override { return editRow.value_or(-1); }
    std::optional<CaptionEdit> TakeOpenEdit() override {
        if (!editRow) return std::nullopt;
        CaptionEdit edit{*editRow, editText};
        editRow.reset();
        return edit;
    }
    Answer Ask(std::string_view text, std::string_view caption) override {
        questions.emplace_back(text, caption);
        return answer;
    }
    void ShowError(std::string_view text) override { errors.emplace_back(text); }
    SaveChoice AskSaveFailed(std::string_view text) override {
        errors.emplace_back(text);
        return onSaveFailed();
    }
    std::optional<std::string> ChooseRemoteFile(std::string_view) override { return chosenFile; }
    std::optional<ExportTarget> ChooseExportFile(std::string_view name) override {
        exportNames.emplace_back(name);
        return exportTarget;
    }
    // Answers the previews in turn with these names; then cancels.
    std::optional<std::string> ConfirmImport(const ImportPreview& preview) override {
        previews.push_back(preview);
        if (previews.size() > importNames.size()) return std::nullopt;
        return importNames[previews.size() - 1];
    }

    // The user types into the open editor and presses Enter.
    void AcceptEdit(SetupPresenter& presenter, const std::string& text) {
        ASSERT_TRUE(editRow.has_value());
        const int row = *editRow;
        editRow.reset();
        presenter.ListViewEdited(row, text);
    }

    std::vector<std::string> Captions() const {
        std::vector<std::string> out;
        for (const CodeRow& row : rows) out.push_back(row.caption);
        return out;
    }

    std::map<Control, int> values;
    std::map<Control, std::string> texts;
    std::map<Control, bool> enabled;
    std::vector<std::string> items;
    std::vector<CodeRow> rows;
    int selected = -1;
    int selections = 0;
    std::optional<int> editRow;
    std::string editText;
    std::vector<std::string> log;
    Answer answer = Answer::Yes;
    std::vector<std::pair<std::string, std::string>> questions;
    std::vector<std::string> errors;
    std::function<SaveChoice()> onSaveFailed;
    std::optional<std::string> chosenFile;
    std::vector<std::string> importNames;
    std::vector<ImportPreview> previews;
    std::optional<ExportTarget> exportTarget;
    std::vector<std::string> exportNames;
};

class PresenterTest : public ::testing::Test {
protected:
    PresenterTest()
        : services{settings, dir.File("orbisk.ini"), [this] { calls.push_back("start"); },
                   [this] { calls.push_back("stop"); }} {}

    // A new dialog over the same plug-in, shown.
    SetupPresenter& Show() {
        view.emplace();
        presenter.emplace(services, *view);
        presenter->FormShow();
        return *presenter;
    }
    void Put(const std::string& bytes) { WriteFile(services.settingsPath, bytes); }
    std::string File() const { return ReadFile(services.settingsPath); }
    IniDocument Doc() const { return IniFile(services.settingsPath).Load(); }

    TempDir dir;
    Settings settings;
    std::vector<std::string> calls;
    DialogServices services;
    std::optional<FakeView> view;
    std::optional<SetupPresenter> presenter;
};

constexpr char kTvFile[] =
    "[Main]\n"
    "COM=2\n"
    "LastRemoteControl=TV\n"
    "[TV]\n"
    "0A3F21C=Power\n"
    "E2C51F09=VolumeUp\n"
    "_0B61D44=Mute\n"
    "[Amp]\n"
    "0000123=Input\n";

// --- Opening -------------------------------------------------------------

TEST_F(PresenterTest, OpeningPutsEverySettingIntoItsControl) {
    settings.COM = 5;
    settings.COMRate = 9600;
    settings.Interval = 100;
    settings.RepeatLength = 3;
    settings.SkipBegin = 6;
    settings.HaltOnError = false;
    settings.ExecOnError = "restart.sh";
    settings.Wait1 = 350;
    settings.WaitN = 150;
    settings.WaitR = 250;
    Show();
    const std::map<Control, int> expected = {
        {Control::ComUpDown, 5},          {Control::IRSpeedBar, 100},
        {Control::ComRateComboBox, 3},    {Control::HaltOnErrorCheckBox, 0},
        {Control::RepeatLengthUpDown, 3}, {Control::SkipUpDown, 6},
        {Control::Wait1UpDown, 350},      {Control::WaitNUpDown, 150},
        {Control::WaitRUpDown, 250}};
    EXPECT_EQ(view->values, expected);
    EXPECT_EQ(view->texts[Control::ExecEdit], "restart.sh");
    EXPECT_FALSE(view->enabled[Control::ResetButton]);
    EXPECT_FALSE(view->enabled[Control::ExecEdit]);
    // Opening changes no setting.
    EXPECT_EQ(settings.Interval, 100);
    EXPECT_TRUE(calls.empty());
}

TEST_F(PresenterTest, UpDownsTakeTheLowSixteenBitsOfASetting) {
    struct Case {
        std::int32_t com;
        std::uint32_t wait1;
        int comPosition;
        int wait1Position;
    };
    const Case cases[] = {
        {65538, 70000, 2, 4464},      // high bits dropped
        {-1, 0xFFFF8000u, -1, -32768},  // the low word is signed
        {32, 1000, 32, 1000},
    };
    for (const Case& c : cases) {
        settings.COM = c.com;
        settings.Wait1 = c.wait1;
        Show();
        EXPECT_EQ(view->values[Control::ComUpDown], c.comPosition) << c.com;
        EXPECT_EQ(view->values[Control::Wait1UpDown], c.wait1Position) << c.wait1;
    }
}

TEST_F(PresenterTest, BaudRateSelectsItsItemOrNone) {
    const std::pair<std::int32_t, int> cases[] = {
        {1200, 0}, {115200, 7}, {12345, -1}, {0, -1}, {-9600, -1}};
    for (const auto& [rate, index] : cases) {
        settings.COMRate = rate;
        Show();
        EXPECT_EQ(view->values[Control::ComRateComboBox], index) << rate;
    }
}

TEST_F(PresenterTest, HaltOnErrorEnablesTheCommandEdit) {
    settings.HaltOnError = true;
    Show();
    EXPECT_EQ(view->values[Control::HaltOnErrorCheckBox], 1);
    EXPECT_TRUE(view->enabled[Control::ExecEdit]);
    presenter->HaltOnErrorCheckBoxClick(false);
    EXPECT_FALSE(settings.HaltOnError);
    EXPECT_FALSE(view->enabled[Control::ExecEdit]);
    presenter->HaltOnErrorCheckBoxClick(true);
    EXPECT_TRUE(settings.HaltOnError);
    EXPECT_TRUE(view->enabled[Control::ExecEdit]);
}

TEST_F(PresenterTest, OpeningListsRemotesInFileOrderAndSortsTheRows) {
    Put("[Main]\nCOM=1\n"
        "[a]\n0000001=x\n"
        "[main]\n0000009=hidden\n"
        "[TV]\n0000002=Volume up\n0000003=Volume\n0000004=Power\n"
        "[Empty]\n"
        "[B]\n0000005=y\n");
    Show();
    EXPECT_EQ(view->items, (std::vector<std::string>{"a", "TV", "Empty", "B"}));
    const std::vector<CodeRow> expected = {
        {"y", "B", "0000005"},
        {"Power", "TV", "0000004"},
        {"Volume", "TV", "0000003"},
        {"Volume up", "TV", "0000002"},
        {"x", "a", "0000001"},
    };
    EXPECT_EQ(view->rows, expected);
    EXPECT_EQ(presenter->Rows(), expected);
    EXPECT_EQ(view->selected, -1);
}

TEST_F(PresenterTest, RemoteBoxTakesTheLastRemoteControlOrKeepsItsOwnText) {
    Show();  // no file at all
    EXPECT_EQ(view->texts[Control::RemoteEdit], "<undefined>");
    EXPECT_TRUE(view->rows.empty());
    EXPECT_TRUE(view->items.empty());
    Put(kTvFile);
    Show();
    EXPECT_EQ(view->texts[Control::RemoteEdit], "TV");
}

TEST_F(PresenterTest, RowsKeepNamesAndCodesAsTheFileSpellsThem) {
    Put("[Main]\n[Tv Set]\n_0B61D44=Mute\n1a2b3c4=Lower\nnoequals\n");
    Show();
    const std::vector<CodeRow> expected = {
        {"", "Tv Set", "noequals"},
        {"Lower", "Tv Set", "1a2b3c4"},
        {"Mute", "Tv Set", "_0B61D44"},
    };
    EXPECT_EQ(view->rows, expected);
}

// --- Setting handlers ----------------------------------------------------

TEST_F(PresenterTest, UpDownStepsStoreTheProposedPositionWithinTheRange) {
    struct Case {
        Control upDown;
        std::int16_t proposed;
        std::int64_t stored;
    };
    const Case cases[] = {
        {Control::ComUpDown, 5, 5},           {Control::ComUpDown, 33, 32},
        {Control::ComUpDown, 0, 1},           {Control::Wait1UpDown, 350, 350},
        {Control::Wait1UpDown, 1050, 1000},   {Control::WaitNUpDown, 0, 50},
        {Control::WaitRUpDown, 950, 950},     {Control::RepeatLengthUpDown, 101, 100},
        {Control::RepeatLengthUpDown, 7, 7},  {Control::SkipUpDown, 22, 20},
        {Control::SkipUpDown, -2, 0},         {Control::SkipUpDown, 6, 6},
    };
    const auto stored = [this](Control c) -> std::int64_t {
        switch (c) {
        case Control::ComUpDown: return settings.COM;
        case Control::Wait1UpDown: return settings.Wait1;
        case Control::WaitNUpDown: return settings.WaitN;
        case Control::WaitRUpDown: return settings.WaitR;
        case Control::RepeatLengthUpDown: return settings.RepeatLength;
        default: return settings.SkipBegin;
        }
    };
    for (const Case& c : cases) {
        Show();
        EXPECT_TRUE(presenter->UpDownChangingEx(c.upDown, c.proposed));
        EXPECT_EQ(stored(c.upDown), c.stored) << static_cast<int>(c.upDown) << " " << c.proposed;
        // Only the port needs a restart.
        EXPECT_EQ(view->enabled[Control::ResetButton], c.upDown == Control::ComUpDown);
    }
    EXPECT_TRUE(calls.empty());
}

TEST_F(PresenterTest, PortSettingsEnableResetAndResetRestarts) {
    Show();
    presenter->ComRateComboBoxChange("19200");
    EXPECT_EQ(settings.COMRate, 19200);
    EXPECT_TRUE(view->enabled[Control::ResetButton]);
    // A box shown by the restart keeps the dialog live: Reset is off by then.
    services.start = [this] { calls.push_back(view->enabled[Control::ResetButton] ? "start, Reset on" : "start"); };
    presenter->ResetButtonClick();
    EXPECT_EQ(calls, (std::vector<std::string>{"stop", "start"}));
    EXPECT_FALSE(view->enabled[Control::ResetButton]);
    presenter->IRSpeedBarChange(275);
    EXPECT_EQ(settings.Interval, 275);
    EXPECT_TRUE(view->enabled[Control::ResetButton]);
    // Reopening starts with Reset disabled again.
    Show();
    EXPECT_FALSE(view->enabled[Control::ResetButton]);
}

TEST_F(PresenterTest, CommandEditStoresEveryChange) {
    Show();
    presenter->ExecEditChange("a");
    presenter->ExecEditChange("");
    EXPECT_EQ(settings.ExecOnError, "");
    presenter->ExecEditChange("run --now");
    EXPECT_EQ(settings.ExecOnError, "run --now");
}

// --- Engine notices ------------------------------------------------------

// What the engine recognised in a press is shown beside its code; presses
// that are not recognised and whose codes vary say so; Recognize=0 shows
// the caption as it always was.
TEST_F(PresenterTest, PressedCaptionShowsTheFrame) {
    Put(kTvFile);
    Show();
    std::map<std::uint64_t, IrFrame> frames = {{0x0A3F21C, {IrProtocol::Nec, 0x0408, false}}};
    services.frameOf = [&frames](std::uint64_t code) { return frames[code]; };
    const struct {
        std::uint32_t code;
        const char* caption;
    } presses[] = {
        {0x0A3F21C, " Pressed: NEC 0x04 0x08 (nec:0x0408) "},
        {0x1111111, " Pressed: not recognised "},
        {0x1111111, " Pressed: not recognised "},
        {0x2222222, " Pressed: not recognised, codes vary "},
    };
    for (const auto& p : presses) {
        presenter->WndProc(ORBISK_KEY_DOWN_NOTICE, 0, p.code);
        EXPECT_EQ(view->texts[Control::TestGroup], p.caption) << p.code;
    }
    settings.Recognize = false;
    presenter->WndProc(ORBISK_KEY_DOWN_NOTICE, 0, 0x0A3F21C);
    EXPECT_EQ(view->texts[Control::TestGroup], " Pressed ");
}

TEST_F(PresenterTest, KeyDownShowsTheCodeAndPicksItsRow) {
    Put(kTvFile);
    Show();
    view->texts[Control::RemoteEdit] = "Amp";
    EXPECT_TRUE(presenter->WndProc(ORBISK_KEY_DOWN_NOTICE, 0, 0x0A3F21C));
    EXPECT_EQ(view->texts[Control::TestGroup], " Pressed ");
    EXPECT_EQ(view->texts[Control::CodeLabel], "0A3F21C");
    EXPECT_EQ(view->texts[Control::RemoteEdit], "TV");
    ASSERT_GE(view->selected, 0);
    EXPECT_EQ(view->rows[view->selected].caption, "Power");
    // The edit is opened and at once cancelled.
    EXPECT_EQ(view->log, (std::vector<std::string>{"start " + std::to_string(view->selected), "cancel"}));
    EXPECT_FALSE(view->editRow);
    EXPECT_EQ(services.LastShownCode, 0x0A3F21Cu);

    EXPECT_TRUE(presenter->WndProc(ORBISK_KEY_UP_NOTICE, 0, 0));
    EXPECT_EQ(view->texts[Control::TestGroup], " Released ");
    EXPECT_FALSE(presenter->WndProc(ORBISK_KEY_DOWN_NOTICE + 2, 0, 0));
}

TEST_F(PresenterTest, HoldingAKeySelectsItsRowOnce) {
    Put(kTvFile);
    Show();
    for (int i = 0; i < 3; ++i) {
        presenter->KeyDownNotice(0, 0x0A3F21C);
        EXPECT_EQ(view->texts[Control::TestGroup], " Pressed ");
        presenter->KeyUpNotice();
        EXPECT_EQ(view->texts[Control::TestGroup], " Released ");
    }
    EXPECT_EQ(view->selections, 1);
    EXPECT_EQ(view->log.size(), 2u);
}

TEST_F(PresenterTest, UnknownCodeClearsTheSelection) {
    Put(kTvFile);
    Show();
    view->SelectRow(1);
    presenter->KeyDownNotice(0, 0x1A2B);
    EXPECT_EQ(view->texts[Control::CodeLabel], "0001A2B");
    EXPECT_EQ(view->selected, -1);
    EXPECT_EQ(view->texts[Control::RemoteEdit], "TV");
}

TEST_F(PresenterTest, CodeIsBuiltFromBothHalves) {
    const struct {
        std::uint32_t high, low;
        const char* text;
    } cases[] = {{0, 0x1A2B, "0001A2B"}, {0, 0xE2C51F09, "E2C51F09"}, {1, 0x1A2B, "100001A2B"},
                 {0xFFFFFFFF, 0xFFFFFFFF, "FFFFFFFFFFFFFFFF"}};
    Show();
    for (const auto& c : cases) {
        presenter->KeyDownNotice(c.high, c.low);
        EXPECT_EQ(view->texts[Control::CodeLabel], c.text);
    }
}

TEST_F(PresenterTest, LowerCaseCodeInTheFileNeverMatches) {
    Put("[Main]\n[TV]\n1a2b3c4=Power\n");
    Show();
    presenter->KeyDownNotice(0, 0x1A2B3C4);
    EXPECT_EQ(view->selected, -1);
    presenter->AddCurrentKeyClick();
    ASSERT_EQ(view->rows.size(), 2u);
    EXPECT_EQ(view->rows[1], (CodeRow{"<new key>", "<undefined>", "1A2B3C4"}));
}

TEST_F(PresenterTest, LastShownCodeSurvivesTheDialog) {
    Put(kTvFile);
    Show();
    presenter->KeyDownNotice(0, 0x0A3F21C);
    presenter->FormHide();

    Show();  // the next Setup
    presenter->KeyDownNotice(0, 0x0A3F21C);
    EXPECT_EQ(view->texts[Control::CodeLabel], "<unknown>");
    EXPECT_EQ(view->selected, -1);
    EXPECT_EQ(view->selections, 0);
    EXPECT_EQ(view->texts[Control::TestGroup], " Pressed ");
    presenter->KeyUpNotice();
    EXPECT_EQ(view->texts[Control::TestGroup], " Released ");

    // Add still learns the code shown in the earlier dialog.
    presenter->AddCurrentKeyClick();
    EXPECT_EQ(view->rows[view->selected].caption, "Power");
}

// --- Learning and editing ------------------------------------------------

TEST_F(PresenterTest, AddBeforeAnyKeyLearnsCodeZeroUnderTheRemoteBoxText) {
    Put(kTvFile);
    Show();
    view->texts[Control::RemoteEdit] = "<undefined>";
    presenter->AddCurrentKeyClick();
    ASSERT_EQ(view->rows.size(), 5u);
    EXPECT_EQ(view->rows.back(), (CodeRow{"<new key>", "<undefined>", "0000000"}));
    EXPECT_EQ(view->selected, 4);
    EXPECT_EQ(view->editRow, 4);

    // Esc: the row keeps its name and stays at the end.
    view->CancelEdit();
    EXPECT_EQ(view->rows.back().caption, "<new key>");
    presenter->FormHide();
    EXPECT_EQ(Doc().ReadString("<undefined>", "0000000", "missing"), "<new key>");
}

TEST_F(PresenterTest, AddForAKnownCodeRenamesThatRow) {
    Put(kTvFile);
    Show();
    presenter->KeyDownNotice(0, 0x123);
    view->texts[Control::RemoteEdit] = "Something else";
    presenter->AddCurrentKeyClick();
    EXPECT_EQ(view->rows.size(), 4u);
    EXPECT_EQ(view->texts[Control::RemoteEdit], "Amp");
    ASSERT_TRUE(view->editRow);
    EXPECT_EQ(view->rows[*view->editRow].caption, "Input");
    EXPECT_EQ(view->selected, *view->editRow);
}

// A key learned by an earlier version carries an older code of the press:
// that row is the press's row, also when only a later frame of the hold
// brings the code, and Add opens it instead of adding a second row.
TEST_F(PresenterTest, RowOfAnOlderCodeOfThePressIsItsRow) {
    Put("[Main]\n[Old]\n0D4E5F6=Old name\n");
    Show();
    OlderCodes older{0, 0x3333333};
    services.olderCodesOf = [&older](std::uint64_t) { return older; };
    presenter->KeyDownNotice(0, 0x4444444);
    EXPECT_EQ(view->selected, -1);
    older = {0x0D4E5F6, 0x5555555};  // the engine found the key by a later frame
    presenter->KeyDownNotice(0, 0x4444444);
    presenter->KeyDownNotice(0, 0x4444444);
    EXPECT_EQ(view->selected, 0);
    EXPECT_EQ(view->selections, 1);
    presenter->AddCurrentKeyClick();
    EXPECT_EQ(view->rows.size(), 1u);
    EXPECT_EQ(view->editRow, 0);
}

TEST_F(PresenterTest, AcceptedEditRenamesAndSortsWithTheRowStillSelected) {
    Put("[Main]\n[TV]\n0000001=Power\n0000002=Volume\n");
    Show();
    presenter->KeyDownNotice(0, 0x77);
    view->texts[Control::RemoteEdit] = "TV";
    presenter->AddCurrentKeyClick();
    EXPECT_EQ(view->Captions(), (std::vector<std::string>{"Power", "Volume", "<new key>"}));
    view->AcceptEdit(*presenter, "Mute");
    EXPECT_EQ(view->Captions(), (std::vector<std::string>{"Mute", "Power", "Volume"}));
    EXPECT_EQ(view->selected, 0);

    // Rename to an empty name: taken without a check, and sorted first.
    view->SelectRow(2);
    presenter->RenameKeyClick();
    EXPECT_EQ(view->editRow, 2);
    view->AcceptEdit(*presenter, "");
    EXPECT_EQ(view->Captions(), (std::vector<std::string>{"", "Mute", "Power"}));
    EXPECT_EQ(view->rows[0].code, "0000002");
    EXPECT_EQ(view->selected, 0);
}

TEST_F(PresenterTest, AnEditStillOpenIsAcceptedBeforeTheNextListAction) {
    Put("[Main]\n[TV]\n0000001=Power\n0000002=Volume\n");
    Show();
    view->SelectRow(1);
    presenter->RenameKeyClick();
    view->editText = "Aaa";  // typed, not yet confirmed
    presenter->KeyDownNotice(0, 0x1);  // a known key: start and cancel an edit
    EXPECT_EQ(view->Captions(), (std::vector<std::string>{"Aaa", "Power"}));
    EXPECT_EQ(view->rows[view->selected].caption, "Power");
    EXPECT_FALSE(view->editRow);
}

TEST_F(PresenterTest, UnknownCodesAndNoiseLeaveTheNameBeingTypedOpen) {
    Put(kTvFile);
    Show();
    presenter->KeyDownNotice(0, 0x77);
    presenter->AddCurrentKeyClick();
    view->editText = "P";
    presenter->KeyDownNotice(0, 0x78);  // a toggle-bit remote's next code
    presenter->KeyDownNotice(0, 0);     // noise
    EXPECT_EQ(view->editRow, 4);
    EXPECT_EQ(view->selected, -1);
    view->AcceptEdit(*presenter, "PlayPauseToggle");
    EXPECT_EQ(presenter->Rows()[2], (CodeRow{"PlayPauseToggle", "TV", "0000077"}));

    // The renamed row's own code, from a toggle-bit remote's next press,
    // leaves its edit open too.
    presenter->KeyDownNotice(0, 0x1040);
    presenter->AddCurrentKeyClick();
    view->editText = "Ch";
    presenter->KeyDownNotice(0, 0x1840);
    view->editText = "Chann";
    presenter->KeyDownNotice(0, 0x1040);
    ASSERT_EQ(view->editRow, 5);
    view->AcceptEdit(*presenter, "Channel up");
    EXPECT_EQ(presenter->Rows()[1], (CodeRow{"Channel up", "TV", "0001040"}));
}

TEST_F(PresenterTest, ActionsWithoutASelectedRowDoNothing) {
    Put(kTvFile);
    Show();
    const std::vector<CodeRow> before = view->rows;
    presenter->KeyDownNotice(0, 0x55);
    presenter->Replace1Click();
    presenter->RemoveKeyClick();
    presenter->RenameKeyClick();
    EXPECT_EQ(view->rows, before);
    EXPECT_FALSE(view->editRow);
    EXPECT_TRUE(view->questions.empty());
}

TEST_F(PresenterTest, ReplaceGivesTheSelectedRowTheShownCodeAndRemote) {
    Put(kTvFile);
    Show();
    presenter->KeyDownNotice(0, 0xABCDEF);
    view->texts[Control::RemoteEdit] = "Amp";
    const int power = 2;
    ASSERT_EQ(view->rows[power].caption, "Power");
    view->SelectRow(power);
    presenter->Replace1Click();
    EXPECT_EQ(view->rows[power], (CodeRow{"Power", "Amp", "0ABCDEF"}));
    EXPECT_EQ(presenter->Rows()[power], view->rows[power]);
    EXPECT_EQ(view->selected, power);  // not re-sorted
}

TEST_F(PresenterTest, ReplaceCanLeaveDuplicateCodesAndTheLaterNameWins) {
    Put("[Main]\n[TV]\n0000001=Alpha\n0000002=Beta\n");
    Show();
    presenter->KeyDownNotice(0, 0x2);
    view->SelectRow(0);  // Alpha
    presenter->Replace1Click();
    EXPECT_EQ(view->rows[0].code, "0000002");
    EXPECT_EQ(view->rows[1].code, "0000002");
    presenter->FormHide();
    const IniDocument doc = Doc();
    EXPECT_EQ(doc.SectionEntries("TV"), (std::vector<std::string>{"0000002=Beta"}));
}

TEST_F(PresenterTest, RemoveDeletesTheSelectedRowAtOnce) {
    Put(kTvFile);
    Show();
    view->SelectRow(0);
    const CodeRow gone = view->rows[0];
    presenter->RemoveKeyClick();
    ASSERT_EQ(view->rows.size(), 3u);
    for (const CodeRow& row : view->rows) EXPECT_NE(row, gone);
    EXPECT_TRUE(view->questions.empty());
}

TEST_F(PresenterTest, ClearListAsksAndOnlyYesClears) {
    Put(kTvFile);
    for (const Answer answer : {Answer::No, Answer::Cancel, Answer::Yes}) {
        Show();
        view->answer = answer;
        presenter->ClearList1Click();
        ASSERT_EQ(view->questions.size(), 1u);
        EXPECT_EQ(view->questions[0].first, "Do you really want to clear codes list?");
        EXPECT_EQ(view->questions[0].second, "Confirm delete");
        EXPECT_EQ(view->rows.size(), answer == Answer::Yes ? 0u : 4u);
    }
    presenter->FormHide();
    const IniDocument doc = Doc();
    EXPECT_EQ(doc.SectionNames(), (std::vector<std::string>{"Main"}));
    EXPECT_EQ(doc.ReadString("Main", "LastRemoteControl", ""), "TV");
}

TEST(ListViewCompareTest, OrdersByRemoteThenKeyAsUnsignedBytes) {
    struct Case {
        CodeRow a, b;
        int result;
    };
    const Case cases[] = {
        {{"x", "B", "1"}, {"x", "a", "1"}, -1},               // upper case first
        {{"Volume", "TV", "1"}, {"Volume up", "TV", "1"}, -1}, // prefix first
        {{"Volume up", "TV", "1"}, {"Volume", "TV", "1"}, 1},
        {{"zzz", "A", "1"}, {"aaa", "B", "1"}, -1},           // remote decides
        {{"a", "TV", "FFFFFFF"}, {"a", "TV", "0000000"}, 0},  // code never compared
        {{"z", "TV", "1"}, {"\xC4", "TV", "1"}, -1},          // bytes above 0x7F last
        {{"", "", "1"}, {"", "", "2"}, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SetupPresenter::ListViewCompare(c.a, c.b), c.result)
            << c.a.remote << "/" << c.a.caption << " vs " << c.b.remote << "/" << c.b.caption;
}

// --- Saving --------------------------------------------------------------

TEST_F(PresenterTest, ClosingWritesMainSettingsAndEveryRow) {
    Put("[Main]\n"
        "COM=9\n"
        "Wait1=999\n"
        "Custom=kept\n"
        "[TV]\n"
        "; a comment that is kept\n"
        "0A3F21C=Power\n"
        "[Amp]\n"
        "0000123=Input\n");
    settings.COM = 3;
    settings.COMRate = 12345;  // not an item: written back unchanged
    settings.Interval = 150;
    settings.RepeatLength = 4;
    settings.SkipBegin = 6;
    settings.HaltOnError = true;
    settings.ExecOnError = "fix --port";
    settings.Wait1 = 500;
    Show();
    view->texts[Control::RemoteEdit] = "Typed remote";
    presenter->FormHide();
    EXPECT_EQ(File(),
              "[Main]\n"
              "COM=9\n"     // not changed in the dialog: the file's
              "Wait1=999\n"  // the wait settings are Setup's to write
              "Custom=kept\n"
              "COMRate=12345\n"
              "Interval=150\n"
              "RepeatLength=4\n"
              "SkipBegin=6\n"
              "HaltOnError=1\n"
              "ExecOnError=fix --port\n"
              "LastRemoteControl=Typed remote\n"
              "[TV]\n"
              "; a comment that is kept\n"
              "0A3F21C=Power\n"
              "[Amp]\n"
              "0000123=Input\n");
}

TEST_F(PresenterTest, ClosingWritesOnlyTheMainSettingsTheDialogChanged) {
    Put("[Main]\nCOM=2\nCOMRate=9600\nInterval=100\nRepeatLength=3\nSkipBegin=4\nHaltOnError=0\n"
        "ExecOnError=old\nLastRemoteControl=TV\n[TV]\n0000001=Power\n");
    settings.COMRate = 9600;
    settings.ExecOnError = "old";
    Show();
    // A second dialog, of another host, open at the same time.
    Settings otherSettings;
    otherSettings.COMRate = 9600;
    otherSettings.ExecOnError = "old";
    DialogServices otherServices{otherSettings, services.settingsPath, {}, {}};
    FakeView otherView;
    SetupPresenter other(otherServices, otherView);
    other.FormShow();

    presenter->UpDownChangingEx(Control::ComUpDown, 5);
    presenter->IRSpeedBarChange(150);
    // Meanwhile the file is edited by hand.
    Put("[Main]\nCOM=2\nCOMRate=57600\nInterval=100\nRepeatLength=3\nSkipBegin=4\nHaltOnError=5\n"
        "ExecOnError=new\nLastRemoteControl=Amp\n[TV]\n0000001=Power\n");
    presenter->FormHide();
    const std::string merged = "[Main]\nCOM=5\nCOMRate=57600\nInterval=150\nRepeatLength=3\nSkipBegin=4\n"
                               "HaltOnError=5\nExecOnError=new\nLastRemoteControl=Amp\n[TV]\n0000001=Power\n";
    EXPECT_EQ(File(), merged);
    // The other dialog, closed later without changes, writes nothing back.
    other.FormHide();
    EXPECT_EQ(File(), merged);
}

TEST_F(PresenterTest, ClosingMergesWithWhatOthersWroteMeanwhile) {
    Put("[Main]\n[TV]\n0000001=Power\n0000002=Volume\n0000003=Mute\n[Amp]\n0000010=Input\n");
    Show();
    view->SelectRow(2);  // Power
    presenter->RenameKeyClick();
    view->AcceptEdit(*presenter, "On");
    presenter->KeyDownNotice(0, 0x11);
    view->texts[Control::RemoteEdit] = "Amp";
    view->SelectRow(0);  // Input moves to code 11
    presenter->Replace1Click();
    view->SelectRow(1);  // Mute
    presenter->RemoveKeyClick();
    // Meanwhile a second dialog or a hand edit changed the file.
    Put("[Main]\n[TV]\n; kept\n0000001=Standby\n0000002=Louder\n0000003=Silence\n0000004=Next\n"
        "[Amp]\n0000010=Input\n[Radio]\n0000020=Play\n");
    presenter->FormHide();
    EXPECT_EQ(File(), "[Main]\nCOM=2\nCOMRate=115200\nInterval=100\nRepeatLength=3\nSkipBegin=4\n"
                      "HaltOnError=0\nExecOnError=\nLastRemoteControl=Amp\n"
                      "[TV]\n; kept\n0000001=On\n0000002=Louder\n0000004=Next\n"
                      "[Amp]\n0000011=Input\n[Radio]\n0000020=Play\n");
}

TEST_F(PresenterTest, MainSpelledAnyWayIsNeitherListedNorErased) {
    Put("[MAIN]\nCOM=1\nOld=1\n[TV]\n0000001=Power\n");
    Show();
    EXPECT_EQ(view->items, (std::vector<std::string>{"TV"}));
    // A row moved to remote "main" lands in the main section.
    view->SelectRow(0);
    view->texts[Control::RemoteEdit] = "main";
    presenter->KeyDownNotice(0, 0x42);
    view->SelectRow(0);
    presenter->Replace1Click();
    presenter->FormHide();
    IniDocument doc = Doc();
    EXPECT_EQ(doc.SectionNames(), (std::vector<std::string>{"MAIN"}));
    EXPECT_EQ(doc.ReadString("Main", "0000042", ""), "Power");
    EXPECT_EQ(doc.ReadString("Main", "Old", ""), "1");

    Show();  // not listed the next time
    EXPECT_TRUE(view->rows.empty());
    EXPECT_TRUE(view->items.empty());
}

TEST_F(PresenterTest, EmptyRemoteSectionIsGoneAfterClosing) {
    Put("[Main]\n[Empty]\n[TV]\n0000001=Power\n");
    Show();
    EXPECT_EQ(view->items, (std::vector<std::string>{"Empty", "TV"}));
    presenter->FormHide();
    EXPECT_EQ(Doc().SectionNames(), (std::vector<std::string>{"Main", "TV"}));
}

TEST_F(PresenterTest, FirstCloseCreatesTheFile) {
    Show();
    presenter->AddCurrentKeyClick();
    presenter->FormHide();
    Show();
    EXPECT_EQ(view->rows, (std::vector<CodeRow>{{"<new key>", "<undefined>", "0000000"}}));
    EXPECT_EQ(view->texts[Control::RemoteEdit], "<undefined>");
}

TEST_F(PresenterTest, FailedSaveIsToldAndRetriedOrDiscardedButNeverSilent) {
    Put(kTvFile);
    Show();
    presenter->AddCurrentKeyClick();
    const std::string path = std::exchange(services.settingsPath, services.settingsPath + "/x.ini");
    view->onSaveFailed = [&] {
        services.settingsPath = path;  // the user fixes the cause
        return SaveChoice::Retry;
    };
    EXPECT_TRUE(presenter->FormCloseQuery());
    ASSERT_EQ(view->errors.size(), 1u);
    EXPECT_EQ(view->errors[0].find("Cannot save the settings to " + path + "/x.ini: Not a directory."), 0u);
    EXPECT_EQ(Doc().ReadString("TV", "0000000", ""), "<new key>");

    // An unreadable file is named when the dialog opens, and never rewritten.
    Put("\xEF\xBB\xBF\xEF\xBB\xBF[Main]\n");
    Show();
    EXPECT_EQ(view->errors, std::vector<std::string>{UnreadableSettingsText(
                                path, "the file begins with two byte-order marks")});
    view->onSaveFailed = [] { return SaveChoice::Discard; };
    EXPECT_TRUE(presenter->FormCloseQuery());
    EXPECT_TRUE(services.changesDiscarded);
    EXPECT_EQ(File(), "\xEF\xBB\xBF\xEF\xBB\xBF[Main]\n");
}

// What happened to the settings file, seen from its folder: how often a new
// file was renamed over it and how often it was written in place.
struct FileChanges {
    int replaced = 0;
    int writtenInPlace = 0;
};

FileChanges WatchFolder(const std::string& folder, const std::string& file,
                        const std::function<void()>& action) {
    FileChanges changes;
    const int watch = ::inotify_init1(IN_NONBLOCK);
    if (watch < 0 || ::inotify_add_watch(watch, folder.c_str(), IN_MOVED_TO | IN_MODIFY) < 0) {
        ADD_FAILURE() << "cannot watch " << folder;
        return changes;
    }
    action();
    alignas(inotify_event) char buffer[64 * 1024];
    for (ssize_t n; (n = ::read(watch, buffer, sizeof buffer)) > 0;) {
        for (char* at = buffer; at < buffer + n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(at);
            if (event->len > 0 && file == event->name) {
                if (event->mask & IN_MOVED_TO) ++changes.replaced;
                if (event->mask & IN_MODIFY) ++changes.writtenInPlace;
            }
            at += sizeof(inotify_event) + event->len;
        }
    }
    ::close(watch);
    return changes;
}

TEST_F(PresenterTest, ClosingReplacesTheFileOnceAndWhole) {
    Put(kTvFile);
    const std::string before = File();
    // A second name for the old file: a write in place would show through it.
    const std::string link = dir.File("old.ini");
    ASSERT_EQ(::link(services.settingsPath.c_str(), link.c_str()), 0);

    Show();
    view->SelectRow(0);
    presenter->RemoveKeyClick();
    const FileChanges changes = WatchFolder(dir.Path(), "orbisk.ini", [this] { presenter->FormHide(); });
    // Erasing the sections and writing every row is one replacement: no
    // moment exists at which the file lacks the learned keys.
    EXPECT_EQ(changes.replaced, 1);
    EXPECT_EQ(changes.writtenInPlace, 0);
    EXPECT_EQ(ReadFile(link), before);
    EXPECT_EQ(Doc().SectionEntries("TV"), (std::vector<std::string>{"0A3F21C=Power", "E2C51F09=VolumeUp",
                                                                      "_0B61D44=Mute"}));
    EXPECT_EQ(Doc().SectionNames(), (std::vector<std::string>{"Main", "TV"}));
    // Only the file itself, its old name and the writers' lock file: no
    // temporary left behind.
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.Path())) ++files;
    EXPECT_EQ(files, 3u);
}

TEST_F(PresenterTest, RemoteNamesASectionCannotHoldDamageNothingElse) {
    Put("[Main]\nCOM=2\n[TV]\n0000001=Power\n0000002=Volume\n[Amp]\n0000003=Input\n");
    Show();
    // Rows under names that would close the header early, or be no name.
    for (const char* remote : {"TV]x", "", "Amp]\n[TV", " TV "}) {
        presenter->KeyDownNotice(0, 0x100 + static_cast<std::uint32_t>(presenter->Rows().size()));
        view->texts[Control::RemoteEdit] = remote;
        presenter->AddCurrentKeyClick();
        view->AcceptEdit(*presenter, std::string("key of ") + remote);
    }
    // And one that reuses a code of TV under a look-alike name.
    presenter->KeyDownNotice(0, 0x1);
    view->SelectRow(view->selected);
    view->texts[Control::RemoteEdit] = "TV]";
    presenter->Replace1Click();
    presenter->FormHide();

    const IniDocument doc = Doc();
    EXPECT_EQ(doc.ReadInteger("Main", "COM", 0), 2);
    EXPECT_EQ(doc.ReadString("Amp", "0000003", ""), "Input");
    EXPECT_EQ(doc.ReadString("TV", "0000002", ""), "Volume");
    EXPECT_FALSE(doc.HasKey("TV", "0000001"));  // moved away by Replace
    // " TV " is TV as the file reads it (and a value is read trimmed).
    EXPECT_EQ(doc.ReadString("TV", "0000106", ""), "key of  TV");

    // Reopened, every row comes back under one remote of its own.
    Show();
    EXPECT_EQ(presenter->Rows().size(), 7u);
    for (const CodeRow& row : presenter->Rows())
        EXPECT_EQ(row.remote.find(']'), std::string::npos) << row.remote;
}

// --- Importing a remote ---------------------------------------------------

constexpr char kTellyIr[] =
    "Filetype: IR signals file\nVersion: 1\n"
    "#\nname: Power\ntype: parsed\nprotocol: NEC\naddress: 04 00 00 00\ncommand: 08 00 00 00\n"
    "#\nname: Mute\ntype: parsed\nprotocol: NEC\naddress: 04 00 00 00\ncommand: 09 00 00 00\n";

TEST_F(PresenterTest, ImportShowsTheKeysAndTheyJoinTheListUnderTheNameGiven) {
    const std::string ir = dir.File("Telly.ir");
    WriteFile(ir, kTellyIr);
    Put("[Main]\nCOM=2\n[TV]\n0000123=Input\n");
    Show();
    view->chosenFile = ir;
    // A name the settings file would not give back is refused; the preview
    // comes again.
    view->importNames = {" TV", "TV"};
    presenter->ImportRemoteClick();
    ASSERT_EQ(view->previews.size(), 2u);
    ASSERT_EQ(view->errors.size(), 1u);
    EXPECT_NE(view->errors[0].find("Telly.ir"), std::string::npos) << view->errors[0];
    const ImportPreview& preview = view->previews[0];
    EXPECT_EQ(preview.remoteName, "Telly");  // a .ir file is named after the file
    ASSERT_EQ(preview.keys.size(), 2u);
    EXPECT_EQ(preview.keys[0].name, "Power");
    EXPECT_EQ(preview.keys[0].frame, "NEC 0x04 0x08 (nec:0x0408)");
    EXPECT_EQ(preview.keys[1].frame, "NEC 0x04 0x09 (nec:0x0409)");
    EXPECT_TRUE(preview.keys[0].stable && preview.keys[1].stable);
    const std::string power = preview.keys[0].code, mute = preview.keys[1].code;
    const std::vector<CodeRow> rows = {{"Input", "TV", "0000123"}, {"Mute", "TV", mute}, {"Power", "TV", power}};
    EXPECT_EQ(view->rows, rows);
    EXPECT_EQ(view->texts[Control::RemoteEdit], "TV");
    EXPECT_EQ(view->selected, 2);

    // Imported again after a rename: the row naming that entry takes the
    // imported name rather than a second row naming it.
    view->StartEdit(2);
    view->AcceptEdit(*presenter, "Standby");
    view->importNames.push_back("TV");
    presenter->ImportRemoteClick();
    EXPECT_EQ(view->rows, rows);
    presenter->FormHide();
    EXPECT_EQ(Doc().SectionEntries("TV"), (std::vector<std::string>{"0000123=Input", mute + "=Mute", power + "=Power"}));
}

TEST_F(PresenterTest, ARefusedImportSaysWhyAndChangesNothing) {
    struct Case {
        const char* name;
        const char* content;  // nullptr: no such file
        const char* reason;
    };
    const Case cases[] = {
        {"missing.ir", nullptr, "no such file"},
        {"noise.bin", "\x7f" "ELF\x01\x02\x03", "not a kernel keymap, Flipper .ir file or lircd.conf"},
        {"bad.ir", "Filetype: IR signals file\nVersion: 1\n#\nname: Power\ntype: parsed\nprotocol: NEC\n"
                   "address: 04 00 00 00\ncommand: 08 zz\n", "line 8"},
        {"none.conf", "begin remote\n  name x\n  flags RAW_CODES\nbegin raw_codes\nend raw_codes\nend remote\n",
         "nothing imported"},
    };
    Put(kTvFile);
    Show();
    presenter->FormHide();  // the settings the file lacked are written once
    const std::string before = File();
    for (const Case& c : cases) {
        Show();
        const std::vector<CodeRow> rows = presenter->Rows();
        view->chosenFile = dir.File(c.name);
        if (c.content != nullptr) WriteFile(*view->chosenFile, c.content);
        view->importNames = {""};
        presenter->ImportRemoteClick();
        ASSERT_EQ(view->errors.size(), 1u) << c.name;
        EXPECT_NE(view->errors[0].find(c.reason), std::string::npos) << view->errors[0];
        EXPECT_TRUE(view->previews.empty()) << c.name;
        EXPECT_EQ(presenter->Rows(), rows) << c.name;
        presenter->FormHide();
        EXPECT_EQ(File(), before) << c.name;
    }
}

TEST_F(PresenterTest, ExportWritesTheRemoteAsClosingWouldSaveIt) {
    WriteFile(dir.File("Telly.ir"), kTellyIr);
    Put("[Main]\nCOM=2\n[TV]\n0000123=Input\n");
    Show();
    view->chosenFile = dir.File("Telly.ir");
    view->importNames = {"TV/1"};
    presenter->ImportRemoteClick();
    // Not saved yet, and Input has no frame: exported are the imported keys.
    view->exportTarget = ExportTarget{dir.File("out"), 0};
    presenter->ExportRemoteClick();
    EXPECT_EQ(view->exportNames, std::vector<std::string>{"TV_1"});
    const std::string ir = ReadFile(dir.File("out.ir"));
    EXPECT_NE(ir.find("name: Power\ntype: parsed\nprotocol: NEC\naddress: 04 00 00 00\ncommand: 08 00 00 00"),
              std::string::npos) << ir;
    EXPECT_TRUE(view->errors.empty());
    view->SelectRow(0);  // Input, of TV
    presenter->ExportRemoteClick();
    ASSERT_EQ(view->errors.size(), 1u);
    EXPECT_NE(view->errors[0].find("Input (0000123)"), std::string::npos) << view->errors[0];
}

// --- Kept frames ----------------------------------------------------------

TEST_F(PresenterTest, FramesFollowTheirKeysThroughRenameReplaceRemoveAndAdd) {
    // A recognised press replaces a code, one of no protocol adds a key.
    const IrFrame nec{IrProtocol::Nec, 0x0410};
    const std::uint32_t replaced = StableCode(nec), added = 0x1234567;
    Put("[Main]\nLastRemoteControl=TV\n[TV]\n"
        "0A3F21C=Power\n;frame 0A3F21C nec:0x0408\n"
        "E2C51F09=VolumeUp\n;frame E2C51F09 raw 900 450 560\n"
        "0000123=Mute\n;frame 0000123 nec:0x0409\n");
    Show();
    services.frameOf = [&](std::uint64_t code) { return code == replaced ? nec : IrFrame{}; };
    services.burstOf = [&](std::uint64_t code) {
        return code == added ? std::vector<std::uint8_t>{90, 45, 11, 34, 11} : std::vector<std::uint8_t>{};
    };
    const auto row = [&](const std::string& caption) {
        for (std::size_t i = 0; i < view->rows.size(); ++i)
            if (view->rows[i].caption == caption) return static_cast<int>(i);
        return -1;
    };
    view->SelectRow(row("Power"));
    presenter->RenameKeyClick();
    view->AcceptEdit(*presenter, "Standby");
    view->SelectRow(row("Mute"));
    presenter->RemoveKeyClick();
    presenter->KeyDownNotice(0, replaced);
    view->SelectRow(row("VolumeUp"));
    presenter->Replace1Click();
    presenter->KeyDownNotice(0, added);
    presenter->AddCurrentKeyClick();
    view->AcceptEdit(*presenter, "Ok");
    // Another writer's key and frame, meanwhile.
    IniFile(services.settingsPath).Edit([](IniDocument& doc) {
        doc.WriteString("Amp", "0000777", "Input");
        doc.SetNotes("frame", {{"Amp", "0000777", "nec:0x0001"}});
    });
    presenter->FormHide();
    const std::string code = CodeText(replaced), learned = CodeText(added);
    const std::string file = File();
    EXPECT_EQ(file.substr(file.find("[TV]")), "[TV]\n"
                      "0A3F21C=Standby\n;frame 0A3F21C nec:0x0408\n" +
                          learned + "=Ok\n;frame " + learned + " units 90 45 11 34 11\n" +
                          code + "=VolumeUp\n;frame " + code + " nec:0x0410\n"
                      "[Amp]\n0000777=Input\n;frame 0000777 nec:0x0001\n");
}

}  // namespace
}  // namespace orbisk
