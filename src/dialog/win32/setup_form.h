#pragma once
// The setup dialog as a native Windows window.  It creates the controls at
// their fixed pixel places, turns the controls' notifications into the
// presenter's handlers and shows what the presenter tells it.  The engine's
// notices are posted to the form's window and handled by its window
// procedure, on the dialog's own thread.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dialog/notice_mailbox.h"
#include "dialog/setup_dialog.h"
#include "dialog/setup_presenter.h"
#include "dialog/setup_view.h"

namespace orbisk {

class TSetupForm final : public SetupDialog, public SetupView {
public:
    // Creates the hidden window and its controls, owned by the services'
    // host window.  Null when the window cannot be created.
    static std::unique_ptr<TSetupForm> Create(DialogServices& services);
    ~TSetupForm() override;
    TSetupForm(const TSetupForm&) = delete;
    TSetupForm& operator=(const TSetupForm&) = delete;

    // SetupDialog.
    void ShowModal() override;
    void PostNotice(std::uint32_t message, std::uint32_t wparam, std::uint32_t lparam) override;
    void* Handle() override { return hwnd_; }

    // Every way of closing (Close button, close box, Alt+F4) ends here: the
    // modal loop ends once the presenter has saved or the user discarded.
    void Close();

    // SetupView.
    void SetValue(Control control, int value) override;
    void SetText(Control control, std::string_view text) override;
    std::string Text(Control control) const override;
    void SetEnabled(Control control, bool enabled) override;
    void SetItems(Control control, const std::vector<std::string>& items) override;
    void SetRows(const std::vector<CodeRow>& rows) override;
    void UpdateRow(int row, const CodeRow& content) override;
    int SelectedRow() const override;
    void SelectRow(int row) override;
    void ClearSelection() override;
    void StartEdit(int row) override;
    void CancelEdit() override;
    std::optional<CaptionEdit> TakeOpenEdit() override;
    int EditingRow() const override { return editor_ != nullptr ? editRow_ : -1; }
    Answer Ask(std::string_view text, std::string_view caption) override;
    void ShowError(std::string_view text) override;
    SaveChoice AskSaveFailed(std::string_view text) override;
    std::optional<std::string> ChooseRemoteFile(std::string_view folder) override;
    std::optional<std::string> ConfirmImport(const ImportPreview& preview) override;
    std::optional<ExportTarget> ChooseExportFile(std::string_view name) override;

    // Control identifiers, one for every control of the form, and the
    // commands of the popup menu and its shortcuts.
    enum Id : int {
        IdPanel1 = 100,
        IdCloseButton,
        IdListView,
        IdPanel2,
        IdGroupBox1,
        IdLabel1,
        IdEdit1,
        IdComUpDown,
        IdComRateComboBox,
        IdResetButton,
        IdLabel5,
        IdLabel2,
        IdIRSpeedBar,
        IdLabel4,
        IdHaltOnErrorCheckBox,
        IdExecEdit,
        IdGroupBox4,
        IdLabel7,
        IdEdit2,
        IdWait1UpDown,
        IdLabel8,
        IdEdit3,
        IdWaitNUpDown,
        IdLabel9,
        IdEdit4,
        IdWaitRUpDown,
        IdTestGroup,
        IdCodeLabel1,
        IdCodeLabel,
        IdBitBtn2,
        IdLabel3,
        IdRemoteEdit,
        IdGroupBox2,
        IdLabel6,
        IdRepeatLengthEdit,
        IdRepeatLengthUpDown,
        IdLabel10,
        IdSkipEdit,
        IdSkipUpDown,
        IdPanel3,
        IdImage1,
        IdLabel11,
        IdLabel12,
        IdPanel4,
        IdAddCurrentKey = 200,
        IdReplace1,
        IdRemoveKey,
        IdRenameKey,
        IdClearList1,
        IdImportRemote,
        IdExportRemote,
    };

    // Window messages the form gives the engine's notices once they leave
    // the queue: the numbers 1024 and 1025 are also DM_GETDEFID and
    // DM_SETDEFID, which the system's keyboard navigation sends to the form.
    static constexpr UINT NoticeBase = WM_APP + 0x100;

private:
    explicit TSetupForm(DialogServices& services);
    bool CreateWindowAndControls();
    void CreateControls();
    HWND Make(HWND parent, const char* windowClass, const char* caption, DWORD style, int left, int top,
              int width, int height, int id = 0, DWORD exStyle = 0);
    HWND MakeLabel(HWND parent, const char* caption, int left, int top, int id);
    HWND MakePanel(int left, int top, int width, int height, int id, HBRUSH colour);
    HWND MakeGroup(HWND parent, const char* caption, int top, int height, int id);
    HWND MakeEdit(HWND parent, const char* text, int left, int top, int width, bool readOnly, int id);
    HWND MakeUpDown(HWND parent, HWND buddy, Control control, int position, int left, int top, int id);
    void FitLabel(HWND label);
    HWND UpDownFor(Control control) const;
    Control UpDownControl(int id) const;

    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    LRESULT WndProc(UINT message, WPARAM wparam, LPARAM lparam);
    void OnCommand(int id, int code);
    LRESULT OnNotify(const NMHDR& header);
    void OnEndLabelEdit();
    void ShowPopupMenu(LPARAM at);
    bool PreTranslate(MSG& msg);

    // The controls, by their names on the form.
    HWND hwnd_ = nullptr;
    HWND Panel1 = nullptr, CloseButton = nullptr, ListView = nullptr;
    HMENU PopupMenu1 = nullptr;
    HWND Panel2 = nullptr, TestGroup = nullptr, CodeLabel1 = nullptr, CodeLabel = nullptr;
    HWND BitBtn2 = nullptr, GroupBox1 = nullptr, Label3 = nullptr, ResetButton = nullptr;
    HWND Label1 = nullptr, ComUpDown = nullptr, Edit1 = nullptr, IRSpeedBar = nullptr;
    HWND Label2 = nullptr, Label4 = nullptr, Label5 = nullptr, GroupBox4 = nullptr;
    HWND Label7 = nullptr, Label8 = nullptr, Label9 = nullptr, Edit2 = nullptr, Wait1UpDown = nullptr;
    HWND Edit3 = nullptr, WaitNUpDown = nullptr, Edit4 = nullptr, WaitRUpDown = nullptr;
    HWND RemoteEdit = nullptr, ComRateComboBox = nullptr, GroupBox2 = nullptr;
    HWND HaltOnErrorCheckBox = nullptr, Label6 = nullptr, RepeatLengthEdit = nullptr;
    HWND RepeatLengthUpDown = nullptr, ExecEdit = nullptr, SkipEdit = nullptr, SkipUpDown = nullptr;
    HWND Label10 = nullptr, Panel3 = nullptr, Panel4 = nullptr, Image1 = nullptr;
    HWND Label11 = nullptr, Label12 = nullptr;
    HWND Hint = nullptr;
    HWND lastFocus_ = nullptr;  // the focused control while another window is active

    DialogServices& services_;
    SetupPresenter presenter_;
    HANDLE activation_ = INVALID_HANDLE_VALUE;  // the common controls' version 6
    HFONT font_ = nullptr;
    HFONT titleFont_ = nullptr;
    HBITMAP logo_ = nullptr;
    HICON icon_ = nullptr;
    HBRUSH white_ = nullptr;
    HACCEL accelerators_ = nullptr;
    HHOOK queueHook_ = nullptr;

    bool loaded_ = false;         // between FormShow and FormHide
    bool closing_ = false;        // the modal loop ends
    bool asking_ = false;         // a close is being decided
    int quiet_ = 0;               // > 0 while the presenter sets controls
    int speedBarPosition_ = 400;  // the track bar's last reported position
    // Notices wait here, also those that come before FormShow.
    NoticeMailbox notices_;

    // The open in-place editor of the code list, and an accepted edit that
    // waits for the editor to be gone before it reaches the presenter.
    HWND editor_ = nullptr;
    int editRow_ = -1;
    bool editCancelled_ = false;
    std::optional<CaptionEdit> accepted_;
    std::vector<CodeRow> rows_;  // what the list shows, asked for cell by cell
};

}  // namespace orbisk
