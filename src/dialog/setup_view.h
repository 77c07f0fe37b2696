#pragma once
// The setup dialog's window, as the presenter sees it.  A view shows controls
// and reports what the user does; everything the dialog decides lives in
// SetupPresenter, so a Qt view and a native view behave alike.
//
// Changes the presenter makes through this interface never fire a handler
// back: only the user's own actions do.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "remotes/remote_export.h"

namespace orbisk {

// The controls the presenter drives, named as on the form.
enum class Control {
    ComUpDown,
    Wait1UpDown,
    WaitNUpDown,
    WaitRUpDown,
    RepeatLengthUpDown,
    SkipUpDown,
    IRSpeedBar,
    ComRateComboBox,
    HaltOnErrorCheckBox,
    ExecEdit,
    ResetButton,
    CodeLabel,
    TestGroup,  // its caption
    RemoteEdit,
};

// Range and step of an up-down.  Positions are 16-bit like a native up-down's.
struct UpDownRange {
    std::int16_t min;
    std::int16_t max;
    std::int16_t step;
};

constexpr UpDownRange RangeOf(Control upDown) {
    switch (upDown) {
    case Control::ComUpDown: return {1, 32, 1};
    case Control::Wait1UpDown:
    case Control::WaitNUpDown:
    case Control::WaitRUpDown: return {50, 1000, 50};
    case Control::RepeatLengthUpDown: return {1, 100, 1};
    case Control::SkipUpDown: return {0, 20, 2};
    default: return {0, 0, 0};
    }
}

// Where a step that would leave the range ends: at the bound.  A view moves
// its up-down there and the presenter stores the same value, so control and
// setting agree and the setting never leaves the range.
constexpr std::int16_t ClampToRange(Control upDown, int position) {
    const UpDownRange range = RangeOf(upDown);
    if (position < range.min) return range.min;
    if (position > range.max) return range.max;
    return static_cast<std::int16_t>(position);
}

inline constexpr std::array<std::string_view, 8> ComRateItems = {
    "1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"};

inline constexpr int IRSpeedMin = 50;
inline constexpr int IRSpeedMax = 500;
inline constexpr int IRSpeedPage = 25;

// One row of the code list: Key caption, Remote Control, Code.
struct CodeRow {
    std::string caption;
    std::string remote;
    std::string code;
    bool operator==(const CodeRow&) const = default;
};

// An in-place caption edit that the view has closed on the presenter's
// request, with what the user had typed.
struct CaptionEdit {
    int row;
    std::string text;
};

// What an import of a remote's file would add, shown for the user to accept.
struct ImportPreview {
    struct Key {
        std::string name;
        std::string remote;
        std::string frame;  // as recognised: "NEC 0x04 0x08 (nec:0x0408)", "not recognised"
        std::string code;   // code text
        bool stable;        // every press gives the code; otherwise learn it again
    };
    std::string file;
    // The file's one remote control, or with several ("begin remote" blocks)
    // empty: the user may type what goes before their names.
    std::string remoteName;
    bool severalRemotes = false;
    std::vector<Key> keys;
    // Keys, those to learn again, skipped buttons (with why) and buttons left
    // out for a code an earlier one has.
    std::string summary;
};

// The file types a remote is exported as, in the order the save chooser
// offers them.
struct ExportFileType {
    std::string_view description;
    std::string_view extension;  // without the dot
    ExportFormat format;
};
inline constexpr std::array<ExportFileType, 3> ExportFileTypes = {{
    {"Flipper IR file", "ir", ExportFormat::FlipperIr},
    {"lircd.conf", "lircd.conf", ExportFormat::LircdConf},
    {"Linux kernel keymap", "toml", ExportFormat::Keymap},
}};

// Where the user chose to export to: the path in UTF-8 and the index of the
// file type picked.
struct ExportTarget {
    std::string path;
    std::size_t type = 0;
};

enum class Answer { Yes, No, Cancel };

// What the user chose after the settings could not be saved on closing: try
// again, close without saving, or go back to the dialog with nothing lost.
enum class SaveChoice { Retry, Discard, KeepOpen };

class SetupView {
public:
    virtual ~SetupView() = default;

    // An up-down's position (the view keeps it within RangeOf and shows it in
    // the buddy edit), the track bar's position, the combo box's item index
    // (-1 for none) or the check box's state (0 or 1).
    virtual void SetValue(Control control, int value) = 0;
    // ExecEdit, CodeLabel, the TestGroup caption, RemoteEdit.
    virtual void SetText(Control control, std::string_view text) = 0;
    // RemoteEdit: what it shows now, typed or picked.
    virtual std::string Text(Control control) const = 0;
    // ResetButton, ExecEdit.
    virtual void SetEnabled(Control control, bool enabled) = 0;
    // RemoteEdit's drop-down list.
    virtual void SetItems(Control control, const std::vector<std::string>& items) = 0;

    // The code list.  SetRows replaces every row and leaves none selected;
    // rows are addressed by their index in the last SetRows.
    virtual void SetRows(const std::vector<CodeRow>& rows) = 0;
    virtual void UpdateRow(int row, const CodeRow& content) = 0;
    virtual int SelectedRow() const = 0;  // -1 for none
    // Makes the row the focused and the selected row and scrolls it into view.
    virtual void SelectRow(int row) = 0;
    virtual void ClearSelection() = 0;
    // Opens the in-place editor on the row's caption.  The user accepts it
    // (Enter, leaving the field), which the view reports to
    // SetupPresenter::ListViewEdited, or cancels it (Esc).
    virtual void StartEdit(int row) = 0;
    virtual void CancelEdit() = 0;
    // Closes an open caption editor without reporting it and hands over its
    // row and text; nothing when no editor is open.
    virtual std::optional<CaptionEdit> TakeOpenEdit() = 0;
    // The row whose caption editor is open; -1 for none.
    virtual int EditingRow() const = 0;

    // A modal question box with Yes, No and Cancel and the question icon.
    virtual Answer Ask(std::string_view text, std::string_view caption) = 0;
    // A modal error box with the plug-in's caption ("RAYCAP.QM Support"),
    // the error icon and an OK button.
    virtual void ShowError(std::string_view text) = 0;
    // A modal box with the plug-in's caption and the warning icon, shown when
    // closing could not save: its buttons retry the save, discard the
    // dialog's changes and close, or keep the dialog open (also Esc and the
    // box's close box).
    virtual SaveChoice AskSaveFailed(std::string_view text) = 0;

    // A modal file chooser for a remote database's file, opening in folder
    // (empty: wherever the system's chooser opens); the path in UTF-8, or
    // nothing when the user cancelled.
    virtual std::optional<std::string> ChooseRemoteFile(std::string_view folder) = 0;
    // Shows the keys an import would add, modally, with the remote's name to
    // edit; the name as the user left it, or nothing when they cancelled.
    virtual std::optional<std::string> ConfirmImport(const ImportPreview& preview) = 0;
    // A modal save chooser offering ExportFileTypes, with name as the file's
    // suggested name; nothing when the user cancelled.
    virtual std::optional<ExportTarget> ChooseExportFile(std::string_view name) = 0;
};

}  // namespace orbisk
