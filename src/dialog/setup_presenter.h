#pragma once
// The setup dialog's behaviour: it loads the settings file into the controls
// when the dialog shows and saves everything when it hides, binds every
// control to its setting, shows the codes the engine reports, and keeps the
// code list in which keys are learned.  It runs on the dialog's thread only
// and reaches the window through SetupView.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dialog/setup_dialog.h"
#include "dialog/setup_view.h"
#include "remotes/key_frames.h"
#include "settings/settings.h"

namespace orbisk {

class IniDocument;
struct IniWriteResult;
struct RemoteImport;

class SetupPresenter {
public:
    SetupPresenter(DialogServices& services, SetupView& view);

    void FormShow();
    // Asked before the dialog closes (Close button or close box): saves, and
    // when that fails tells the user why and lets them retry, discard or go
    // back.  False keeps the dialog open.
    bool FormCloseQuery();
    // Saves unless FormCloseQuery already saved or discarded.
    void FormHide();

    // Settings.  The up-down handlers get the proposed position and return
    // whether the step may happen; they always allow it.
    void ResetButtonClick();
    bool ComUpDownChangingEx(std::int16_t newValue);
    bool Wait1UpDownChangingEx(std::int16_t newValue);
    bool WaitNUpDownChangingEx(std::int16_t newValue);
    bool WaitRUpDownChangingEx(std::int16_t newValue);
    bool RepeatLengthUpDownChangingEx(std::int16_t newValue);
    bool SkipUpDownChangingEx(std::int16_t newValue);
    // The same, by control, for views that treat their up-downs alike.
    bool UpDownChangingEx(Control upDown, std::int16_t newValue);
    void ComRateComboBoxChange(std::string_view itemText);
    void IRSpeedBarChange(int position);
    void HaltOnErrorCheckBoxClick(bool checked);
    void ExecEditChange(std::string_view text);

    // The engine's notices (message, first and second parameter).  True when
    // the message was one of them; anything else is the view's business.
    bool WndProc(std::uint32_t message, std::uint32_t wparam, std::uint32_t lparam);
    void KeyDownNotice(std::uint32_t codeHigh, std::uint32_t codeLow);
    void KeyUpNotice();

    // The code list.
    void AddCurrentKeyClick();
    void Replace1Click();
    void RemoveKeyClick();
    void RenameKeyClick();
    void ClearList1Click();
    // Reads a remote database's file the user picks, shows its keys and adds
    // them to the list once the user accepts.
    void ImportRemoteClick();
    // Writes the remote control of the selected row (or else RemoteEdit's)
    // to a file the user picks, as closing would save it, for other tools.
    void ExportRemoteClick();
    void ListViewEdited(int row, std::string_view text);
    // Remote Control, then Key caption, as unsigned bytes; a prefix sorts
    // first.  The code is never compared.
    static int ListViewCompare(const CodeRow& a, const CodeRow& b);

    const std::vector<CodeRow>& Rows() const { return rows_; }

private:
    void LoadFile(const IniDocument& file);
    IniWriteResult Save();
    void SaveFile(IniDocument& file) const;
    // Sorts with ListViewCompare, stably; returns where the row that was at
    // index follow went (-1 stays -1).
    int SortRows(int follow);
    int FindCode(std::string_view code) const;
    OlderCodes OlderCodesOf(std::uint64_t code) const;
    // The texts of a press's codes: its code first, then its older codes
    // where they differ from it.
    static std::vector<std::string> PressCodeTexts(std::uint64_t code, const OlderCodes& older);
    // The first row that carries the first of those texts that a row carries.
    int FindPressRow(const std::vector<std::string>& texts) const;
    // The Pressed group's caption for a key-down of this code: what was
    // recognised in the press, or that learning sees codes that vary.
    std::string PressedCaption(std::uint64_t code);
    void AcceptOpenEdit();
    // The plan's keys join the rows as saving would take them: a key whose
    // entry (remote control, code) a row already names renames that row.
    void AddImportedKeys(const RemoteImport& plan);
    // Keeps the frame of the shown press for the code it taught a row.
    void RememberPressFrame(const std::string& code);
    void StoreUpDown(Control upDown, std::int16_t position);

    DialogServices& services_;
    SetupView& view_;
    std::vector<CodeRow> rows_;  // in the order the view shows them
    // What FormShow loaded: the base against which a save tells the
    // dialog's changes from those others made to the file meanwhile.
    std::vector<CodeRow> loadedRows_;
    std::vector<std::string> loadedRemotes_;
    SettingsValues loadedSettings_{};
    std::string loadedRemoteText_;
    bool closed_ = false;  // FormCloseQuery saved or discarded
    // The codes of the latest presses that were not recognised: differing
    // ones while learning mean a noisy receiver or an unknown protocol.
    std::vector<std::uint64_t> unrecognisedCodes_;
    // The older codes of the shown press while none of its codes named a
    // row: a later frame of the same press may give others that do.
    std::optional<OlderCodes> unmatched_;
    // The frames of the presses that taught codes in this dialog, by code
    // text: saved beside the keys that carry those codes at close.
    std::map<std::string, KeyFrame> pressFrames_;
};

}  // namespace orbisk
