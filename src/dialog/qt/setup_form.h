#pragma once
// The setup dialog's Qt window.  It lays out the controls in fixed pixels,
// turns what the user does into the presenter's handlers and shows what the
// presenter tells it.  Engine notices arrive as posted events from the engine
// thread and are handled here, on the dialog's own thread.
#include <QDialog>

#include <cstdint>
#include <string>
#include <vector>

#include "dialog/notice_mailbox.h"
#include "dialog/setup_presenter.h"
#include "dialog/setup_view.h"

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QSlider;

namespace orbisk {

namespace qt {
class CodeList;
class UpDown;
}  // namespace qt

class TSetupForm final : public QDialog, public SetupView {
    Q_OBJECT
public:
    explicit TSetupForm(DialogServices& services, QWidget* parent = nullptr);
    ~TSetupForm() override;

    // Safe from any thread: queues an engine notice for the dialog's thread.
    void PostNotice(std::uint32_t message, std::uint32_t wparam, std::uint32_t lparam);

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
    int EditingRow() const override;
    Answer Ask(std::string_view text, std::string_view caption) override;
    void ShowError(std::string_view text) override;
    SaveChoice AskSaveFailed(std::string_view text) override;
    std::optional<std::string> ChooseRemoteFile(std::string_view folder) override;
    std::optional<std::string> ConfirmImport(const ImportPreview& preview) override;
    std::optional<ExportTarget> ChooseExportFile(std::string_view name) override;

    // Every way of closing (Close button, close box) ends here: the dialog
    // closes only once the presenter has saved or the user discarded.
    void done(int result) override;

protected:
    // The dialog's WndProc: engine notices; everything else as usual.
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void CreateControls();
    void ConnectHandlers();
    void SetTabOrder();
    qt::UpDown* UpDownFor(Control control) const;

    // The controls, in the form's declaration order.
    QFrame* Panel1;
    QPushButton* CloseButton;
    qt::CodeList* ListView;
    QMenu* PopupMenu1;
    QAction* AddCurrentKey;
    QAction* ImportRemote;
    QAction* ExportRemote;
    QAction* RemoveKey;
    QAction* N1;
    QAction* RenameKey;
    QFrame* Panel2;
    QGroupBox* TestGroup;
    QLabel* CodeLabel1;
    QLabel* CodeLabel;
    QPushButton* BitBtn2;
    QGroupBox* GroupBox1;
    QLabel* Label3;
    QPushButton* ResetButton;
    QLabel* Label1;
    qt::UpDown* ComUpDown;
    QLineEdit* Edit1;
    QSlider* IRSpeedBar;
    QLabel* Label2;
    QLabel* Label4;
    QLabel* Label5;
    QGroupBox* GroupBox4;
    QLabel* Label7;
    QLabel* Label8;
    QLabel* Label9;
    QLineEdit* Edit2;
    qt::UpDown* Wait1UpDown;
    QLineEdit* Edit3;
    qt::UpDown* WaitNUpDown;
    QLineEdit* Edit4;
    qt::UpDown* WaitRUpDown;
    QComboBox* RemoteEdit;
    QAction* N2;
    QAction* ClearList1;
    QComboBox* ComRateComboBox;
    QGroupBox* GroupBox2;
    QCheckBox* HaltOnErrorCheckBox;
    QLabel* Label6;
    QLineEdit* RepeatLengthEdit;
    qt::UpDown* RepeatLengthUpDown;
    QAction* Replace1;
    QLineEdit* ExecEdit;
    QLineEdit* SkipEdit;
    qt::UpDown* SkipUpDown;
    QLabel* Label10;
    QFrame* Panel3;
    QFrame* Panel4;
    QLabel* Image1;
    QLabel* Label11;
    QLabel* Label12;

    SetupPresenter presenter_;
    bool loaded_ = false;            // between FormShow and FormHide
    // Notices wait here, also those that come before FormShow.
    NoticeMailbox notices_;
    std::string remoteText_;         // RemoteEdit: the bytes last set
    std::vector<std::string> remoteItems_;
};

}  // namespace orbisk
