#include "dialog/qt/setup_form.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QFileDialog>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOptionButton>

#include <algorithm>
#include <iterator>
#include <utility>

#include "dialog/qt/code_list.h"
#include "dialog/qt/import_preview.h"
#include "dialog/qt/pictures.h"
#include "dialog/qt/qt_text.h"
#include "dialog/qt/up_down.h"
#include "orbisk/host.h"

namespace orbisk {

using qt::FromQt;
using qt::ToQt;

namespace {

// Wakes the dialog for the engine's notices waiting in its mailbox.
class NoticeEvent final : public QEvent {
public:
    NoticeEvent() : QEvent(TypeId()) {}
    static QEvent::Type TypeId() {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }
};

template <typename W>
W* Place(W* widget, const char* name, int left, int top, int width = -1, int height = -1) {
    widget->setObjectName(QLatin1String(name));
    if (width < 0) {
        widget->move(left, top);
        widget->adjustSize();
    } else {
        widget->setGeometry(left, top, width, height);
    }
    return widget;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const char* caption, int left, int top) {
    return Place(new QLabel(QString::fromLatin1(caption), parent), name, left, top);
}

QLineEdit* MakeEdit(QWidget* parent, const char* name, const char* text, int left, int top, int width,
                    bool readOnly) {
    auto* edit = Place(new QLineEdit(QString::fromLatin1(text), parent), name, left, top, width, 21);
    edit->setReadOnly(readOnly);
    return edit;
}

QGroupBox* MakeGroup(QWidget* parent, const char* name, const char* caption, int top, int height) {
    // Panel2 keeps a border of 2 pixels around its group boxes.
    return Place(new QGroupBox(QString::fromLatin1(caption), parent), name, 2, top, 237, height);
}

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption, int left, int top,
                        int width, int height) {
    auto* button = Place(new QPushButton(QString::fromLatin1(caption), parent), name, left, top, width, height);
    // Neither default nor cancel button: Enter elsewhere and Esc never
    // press it.  (An auto-default button would stay the dialog's default
    // once it has had the focus, and Enter in an edit would press it.)
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

// The fixed places were measured for MS Sans Serif.  With a wider fall-back
// face the letters of a caption that would be cut are set a little closer.
void FitCaption(QCheckBox* box) {
    QStyleOptionButton option;
    option.initFrom(box);
    const QStyle* style = box->style();
    const int room = box->width() - style->pixelMetric(QStyle::PM_IndicatorWidth, &option, box) -
                     style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, &option, box) - 2;
    QFont font = box->font();
    for (int spacing = 98; spacing >= 80 && QFontMetrics(font).horizontalAdvance(box->text()) > room; spacing -= 2)
        font.setLetterSpacing(QFont::PercentageSpacing, spacing);
    box->setFont(font);
}

QAction* MakeAction(QWidget* parent, const char* name, const char* caption) {
    auto* action = new QAction(QString::fromUtf8(caption), parent);
    action->setObjectName(QLatin1String(name));
    // Active while the list itself has the focus, not its in-place editor.
    action->setShortcutContext(Qt::WidgetShortcut);
    return action;
}

QAction* MakeSeparator(QWidget* parent, const char* name) {
    auto* separator = new QAction(parent);
    separator->setObjectName(QLatin1String(name));
    separator->setSeparator(true);
    return separator;
}

}  // namespace

TSetupForm::TSetupForm(DialogServices& services, QWidget* parent)
    : QDialog(parent), presenter_(services, *this) {
    setObjectName(QStringLiteral("SetupForm"));
    setWindowTitle(QStringLiteral("Orbisk v" ORBISK_VERSION_SHORT));
    setWindowIcon(qt::DrawWindowIcon());
    // A fixed dialog with a close box only.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(665, 486);
    QFont font = this->font();
    // The layout was drawn for MS Sans Serif; the fall-backs are sans serif
    // faces of about its width, so that captions fit their fixed places.
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                      QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                      QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    setFont(font);

    CreateControls();
    ConnectHandlers();
    SetTabOrder();
    // The fixed layout assumes the classic look: captions set into the group
    // frames, small check boxes and arrows.  Only this dialog takes the style;
    // the host's own windows keep theirs.
    if (QStyle* classic = QStyleFactory::create(QStringLiteral("Windows"))) {
        classic->setParent(this);
        setStyle(classic);
        for (QWidget* child : findChildren<QWidget*>()) child->setStyle(classic);
    }
    FitCaption(HaltOnErrorCheckBox);
}

TSetupForm::~TSetupForm() = default;

void TSetupForm::CreateControls() {
    // Header: white, with the logo on the right.
    Panel3 = Place(new QFrame(this), "Panel3", 0, 0, 665, 65);
    Panel3->setAutoFillBackground(true);
    QPalette white = Panel3->palette();
    white.setColor(QPalette::Window, Qt::white);
    Panel3->setPalette(white);
    Image1 = Place(new QLabel(Panel3), "Image1", 608, 8, 49, 49);
    Image1->setPixmap(qt::DrawLogo());
    Label11 = MakeLabel(Panel3, "Label11", "Orbisk", 32, 16);
    QFont bold = font();
    bold.setBold(true);
    bold.setPixelSize(13);
    Label11->setFont(bold);
    Label11->adjustSize();
    Label12 = MakeLabel(Panel3, "Label12", "RAYCAP.QM devices support for Vantrel2", 48, 32);

    Panel4 = Place(new QFrame(this), "Panel4", 0, 65, 665, 2);
    Panel4->setFrameShape(QFrame::HLine);
    Panel4->setFrameShadow(QFrame::Sunken);

    Panel2 = Place(new QFrame(this), "Panel2", 0, 67, 241, 387);

    GroupBox1 = MakeGroup(Panel2, "GroupBox1", " Setup ", 2, 145);
    Label1 = MakeLabel(GroupBox1, "Label1", "COM", 8, 20);
    Edit1 = MakeEdit(GroupBox1, "Edit1", "1", 36, 16, 25, false);
    ComUpDown = Place(new qt::UpDown(Control::ComUpDown, Edit1, GroupBox1), "ComUpDown", 61, 16, 15, 21);
    ComRateComboBox = Place(new QComboBox(GroupBox1), "ComRateComboBox", 80, 16, 97, 21);
    for (std::string_view rate : ComRateItems) ComRateComboBox->addItem(ToQt(rate));
    ComRateComboBox->setCurrentIndex(0);
    ResetButton = MakeButton(GroupBox1, "ResetButton", "Reset", 184, 16, 45, 21);
    Label5 = MakeLabel(GroupBox1, "Label5", "Interval (ms):", 8, 44);
    Label2 = MakeLabel(GroupBox1, "Label2", "50", 8, 64);
    IRSpeedBar = Place(new QSlider(Qt::Horizontal, GroupBox1), "IRSpeedBar", 32, 60, 165, 25);
    IRSpeedBar->setRange(IRSpeedMin, IRSpeedMax);
    IRSpeedBar->setPageStep(IRSpeedPage);
    IRSpeedBar->setSingleStep(1);
    IRSpeedBar->setTickPosition(QSlider::TicksBelow);
    IRSpeedBar->setTickInterval(25);
    IRSpeedBar->setValue(400);
    Label4 = MakeLabel(GroupBox1, "Label4", "500", 200, 64);
    HaltOnErrorCheckBox = Place(new QCheckBox(QStringLiteral("Execute on COM init error:"), GroupBox1),
                                "HaltOnErrorCheckBox", 8, 88, 145, 17);
    ExecEdit = MakeEdit(GroupBox1, "ExecEdit", "", 8, 112, 221, false);

    GroupBox4 = MakeGroup(Panel2, "GroupBox4", " Timing ", 147, 96);
    Label7 = MakeLabel(GroupBox4, "Label7", "Wait before repeat:", 8, 20);
    Edit2 = MakeEdit(GroupBox4, "Edit2", "300", 128, 16, 33, true);
    Wait1UpDown = Place(new qt::UpDown(Control::Wait1UpDown, Edit2, GroupBox4), "Wait1UpDown", 161, 16, 15, 21);
    Label8 = MakeLabel(GroupBox4, "Label8", "Repeat period:", 8, 44);
    Edit3 = MakeEdit(GroupBox4, "Edit3", "100", 128, 40, 33, true);
    WaitNUpDown = Place(new qt::UpDown(Control::WaitNUpDown, Edit3, GroupBox4), "WaitNUpDown", 161, 40, 15, 21);
    Label9 = MakeLabel(GroupBox4, "Label9", "Release timeout:", 8, 68);
    Edit4 = MakeEdit(GroupBox4, "Edit4", "200", 128, 64, 33, true);
    WaitRUpDown = Place(new qt::UpDown(Control::WaitRUpDown, Edit4, GroupBox4), "WaitRUpDown", 161, 64, 15, 21);

    GroupBox2 = MakeGroup(Panel2, "GroupBox2", " Parameters ", 243, 72);
    Label6 = MakeLabel(GroupBox2, "Label6", "Repeat signal length:", 8, 20);
    RepeatLengthEdit = MakeEdit(GroupBox2, "RepeatLengthEdit", "1", 128, 16, 33, true);
    RepeatLengthUpDown = Place(new qt::UpDown(Control::RepeatLengthUpDown, RepeatLengthEdit, GroupBox2),
                               "RepeatLengthUpDown", 161, 16, 15, 21);
    Label10 = MakeLabel(GroupBox2, "Label10", "Skip bits:", 8, 44);
    SkipEdit = MakeEdit(GroupBox2, "SkipEdit", "4", 128, 40, 33, false);
    SkipUpDown = Place(new qt::UpDown(Control::SkipUpDown, SkipEdit, GroupBox2), "SkipUpDown", 161, 40, 15, 21);
    Wait1UpDown->SetPosition(300);
    WaitNUpDown->SetPosition(100);
    WaitRUpDown->SetPosition(200);
    SkipUpDown->SetPosition(4);

    TestGroup = MakeGroup(Panel2, "TestGroup", " Monitoring ", 315, 70);
    CodeLabel1 = MakeLabel(TestGroup, "CodeLabel1", "Code:", 8, 20);
    CodeLabel = MakeLabel(TestGroup, "CodeLabel", "<unknown>", 44, 20);
    BitBtn2 = MakeButton(TestGroup, "BitBtn2", "Add ->", 156, 14, 73, 21);
    Label3 = MakeLabel(TestGroup, "Label3", "Remote control:", 8, 44);
    RemoteEdit = Place(new QComboBox(TestGroup), "RemoteEdit", 88, 40, 141, 21);
    RemoteEdit->setEditable(true);
    RemoteEdit->setInsertPolicy(QComboBox::NoInsert);
    RemoteEdit->setEditText(QStringLiteral("<undefined>"));
    remoteText_ = "<undefined>";

    ListView = Place(new qt::CodeList(this), "ListView", 243, 74, 420, 378);
    ListView->setToolTip(QStringLiteral("Right click for menu"));
    ListView->setContextMenuPolicy(Qt::CustomContextMenu);
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    AddCurrentKey = MakeAction(ListView, "AddCurrentKey", "Add current key");
    ImportRemote = MakeAction(ListView, "ImportRemote", "Import remote\u2026");
    ExportRemote = MakeAction(ListView, "ExportRemote", "Export remote\u2026");
    Replace1 = MakeAction(ListView, "Replace1", "Replace");
    Replace1->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_Insert));
    RemoveKey = MakeAction(ListView, "RemoveKey", "Remove");
    RemoveKey->setShortcut(QKeySequence(Qt::Key_Delete));
    N1 = MakeSeparator(ListView, "N1");
    RenameKey = MakeAction(ListView, "RenameKey", "Rename");
    N2 = MakeSeparator(ListView, "N2");
    ClearList1 = MakeAction(ListView, "ClearList1", "Clear List");
    const QList<QAction*> items = {AddCurrentKey, ImportRemote, ExportRemote, Replace1, RemoveKey, N1, RenameKey, N2, ClearList1};
    PopupMenu1->addActions(items);
    ListView->addActions(items);

    Panel1 = Place(new QFrame(this), "Panel1", 0, 454, 665, 32);
    CloseButton = MakeButton(Panel1, "CloseButton", "Close", 2, 4, 75, 25);
}

void TSetupForm::ConnectHandlers() {
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(ResetButton, &QPushButton::clicked, this, [this] { presenter_.ResetButtonClick(); });
    for (Control control : {Control::ComUpDown, Control::Wait1UpDown, Control::WaitNUpDown, Control::WaitRUpDown,
                            Control::RepeatLengthUpDown, Control::SkipUpDown})
        UpDownFor(control)->onChanging = [this, control](std::int16_t proposed) {
            return presenter_.UpDownChangingEx(control, proposed);
        };
    connect(IRSpeedBar, &QSlider::valueChanged, this, [this](int position) { presenter_.IRSpeedBarChange(position); });
    connect(ComRateComboBox, &QComboBox::activated, this,
            [this](int index) { presenter_.ComRateComboBoxChange(FromQt(ComRateComboBox->itemText(index))); });
    connect(HaltOnErrorCheckBox, &QCheckBox::clicked, this,
            [this](bool checked) { presenter_.HaltOnErrorCheckBoxClick(checked); });
    connect(ExecEdit, &QLineEdit::textEdited, this,
            [this](const QString& text) { presenter_.ExecEditChange(FromQt(text)); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { presenter_.AddCurrentKeyClick(); });
    connect(AddCurrentKey, &QAction::triggered, this, [this] { presenter_.AddCurrentKeyClick(); });
    connect(ImportRemote, &QAction::triggered, this, [this] { presenter_.ImportRemoteClick(); });
    connect(ExportRemote, &QAction::triggered, this, [this] { presenter_.ExportRemoteClick(); });
    connect(Replace1, &QAction::triggered, this, [this] { presenter_.Replace1Click(); });
    connect(RemoveKey, &QAction::triggered, this, [this] { presenter_.RemoveKeyClick(); });
    connect(RenameKey, &QAction::triggered, this, [this] { presenter_.RenameKeyClick(); });
    connect(ClearList1, &QAction::triggered, this, [this] { presenter_.ClearList1Click(); });
    connect(ListView, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { PopupMenu1->popup(ListView->viewport()->mapToGlobal(at)); });
    ListView->onEdited = [this](int row, const std::string& text) { presenter_.ListViewEdited(row, text); };
}

void TSetupForm::SetTabOrder() {
    // The up-downs take no focus (a click focuses their buddy), so they are
    // left out of the chain.
    QWidget* const order[] = {CloseButton, ListView,
                              Edit1, ComRateComboBox, ResetButton, IRSpeedBar, HaltOnErrorCheckBox, ExecEdit,
                              Edit2, Edit3, Edit4,
                              BitBtn2, RemoteEdit,
                              RepeatLengthEdit, SkipEdit};
    for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);
}

qt::UpDown* TSetupForm::UpDownFor(Control control) const {
    switch (control) {
    case Control::ComUpDown: return ComUpDown;
    case Control::Wait1UpDown: return Wait1UpDown;
    case Control::WaitNUpDown: return WaitNUpDown;
    case Control::WaitRUpDown: return WaitRUpDown;
    case Control::RepeatLengthUpDown: return RepeatLengthUpDown;
    case Control::SkipUpDown: return SkipUpDown;
    default: return nullptr;
    }
}

void TSetupForm::PostNotice(std::uint32_t message, std::uint32_t wparam, std::uint32_t lparam) {
    if (notices_.Put(message, wparam, lparam)) QCoreApplication::postEvent(this, new NoticeEvent());
}

bool TSetupForm::event(QEvent* event) {
    if (event->type() == NoticeEvent::TypeId()) {
        // A notice can come before the dialog has loaded its list; it waits
        // for FormShow rather than being lost.
        if (loaded_) notices_.Deliver(presenter_);
        return true;
    }
    return QDialog::event(event);
}

void TSetupForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous() || loaded_) return;
    presenter_.FormShow();
    loaded_ = true;
    notices_.Deliver(presenter_);
}

void TSetupForm::done(int result) {
    if (loaded_ && !presenter_.FormCloseQuery()) return;
    QDialog::done(result);
}

void TSetupForm::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    // Every way of closing saves; minimising is not closing.
    if (event->spontaneous() || !loaded_) return;
    loaded_ = false;
    presenter_.FormHide();
}

void TSetupForm::keyPressEvent(QKeyEvent* event) {
    // Esc does not close this dialog: there is no cancel, and closing saves.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        return;
    }
    // Enter presses the push button that has the focus, as in any dialog;
    // the button leaves it to the dialog, since none is auto-default.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (auto* button = qobject_cast<QPushButton*>(focusWidget()); enter && button != nullptr &&
                                                                   (event->modifiers() & ~Qt::KeypadModifier) == 0) {
        event->accept();
        button->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TSetupForm::SetValue(Control control, int value) {
    switch (control) {
    case Control::IRSpeedBar: {
        const QSignalBlocker quiet(IRSpeedBar);
        IRSpeedBar->setValue(value);
        break;
    }
    case Control::ComRateComboBox: ComRateComboBox->setCurrentIndex(value); break;
    case Control::HaltOnErrorCheckBox: HaltOnErrorCheckBox->setChecked(value != 0); break;
    default:
        if (qt::UpDown* upDown = UpDownFor(control)) upDown->SetPosition(value);
        break;
    }
}

void TSetupForm::SetText(Control control, std::string_view text) {
    switch (control) {
    case Control::ExecEdit: ExecEdit->setText(ToQt(text)); break;
    case Control::CodeLabel:
        CodeLabel->setText(ToQt(text));
        CodeLabel->adjustSize();
        break;
    case Control::TestGroup: TestGroup->setTitle(ToQt(text)); break;
    case Control::RemoteEdit:
        remoteText_ = text;
        RemoteEdit->setEditText(ToQt(text));
        break;
    default: break;
    }
}

std::string TSetupForm::Text(Control control) const {
    if (control != Control::RemoteEdit) return {};
    const QString shown = RemoteEdit->currentText();
    if (shown == ToQt(remoteText_)) return remoteText_;
    for (const std::string& item : remoteItems_)
        if (shown == ToQt(item)) return item;
    return FromQt(shown);
}

void TSetupForm::SetEnabled(Control control, bool enabled) {
    if (control == Control::ResetButton) ResetButton->setEnabled(enabled);
    if (control == Control::ExecEdit) ExecEdit->setEnabled(enabled);
}

void TSetupForm::SetItems(Control control, const std::vector<std::string>& items) {
    if (control != Control::RemoteEdit) return;
    // Filling the list must not change the text shown.
    const QString shown = RemoteEdit->currentText();
    remoteItems_ = items;
    const QSignalBlocker quiet(RemoteEdit);
    RemoteEdit->clear();
    for (const std::string& item : items) RemoteEdit->addItem(ToQt(item));
    RemoteEdit->setCurrentIndex(-1);
    RemoteEdit->setEditText(shown);
}

void TSetupForm::SetRows(const std::vector<CodeRow>& rows) { ListView->SetRows(rows); }
void TSetupForm::UpdateRow(int row, const CodeRow& content) { ListView->UpdateRow(row, content); }
int TSetupForm::SelectedRow() const { return ListView->SelectedRow(); }
void TSetupForm::SelectRow(int row) { ListView->SelectRow(row); }
void TSetupForm::ClearSelection() { ListView->clearSelection(); }
void TSetupForm::StartEdit(int row) { ListView->StartEdit(row); }
void TSetupForm::CancelEdit() { ListView->CancelEdit(); }
std::optional<CaptionEdit> TSetupForm::TakeOpenEdit() { return ListView->TakeOpenEdit(); }
int TSetupForm::EditingRow() const { return ListView->EditingRow(); }

Answer TSetupForm::Ask(std::string_view text, std::string_view caption) {
    // No owner window, as the question box has none.
    QMessageBox box(QMessageBox::Question, ToQt(caption), ToQt(text),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    box.setObjectName(QStringLiteral("ConfirmBox"));
    switch (box.exec()) {
    case QMessageBox::Yes: return Answer::Yes;
    case QMessageBox::No: return Answer::No;
    default: return Answer::Cancel;
    }
}

void TSetupForm::ShowError(std::string_view text) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral(ORBISK_DESCRIPTION), ToQt(text), QMessageBox::Ok);
    box.setObjectName(QStringLiteral("ErrorBox"));
    box.exec();
}

SaveChoice TSetupForm::AskSaveFailed(std::string_view text) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral(ORBISK_DESCRIPTION), ToQt(text),
                    QMessageBox::Retry | QMessageBox::Discard | QMessageBox::Cancel);
    box.setObjectName(QStringLiteral("SaveFailedBox"));
    box.setDefaultButton(QMessageBox::Retry);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
    case QMessageBox::Retry: return SaveChoice::Retry;
    case QMessageBox::Discard: return SaveChoice::Discard;
    default: return SaveChoice::KeepOpen;
    }
}

std::optional<std::string> TSetupForm::ChooseRemoteFile(std::string_view folder) {
    QFileDialog chooser(this, QStringLiteral("Import remote"), ToQt(folder),
                        QStringLiteral("Remote files (*.ir *.conf lircd.conf.* *.toml);;All files (*)"));
    chooser.setObjectName(QStringLiteral("RemoteFileDialog"));
    chooser.setFileMode(QFileDialog::ExistingFile);
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) return std::nullopt;
    return FromQt(chooser.selectedFiles().front());
}

std::optional<std::string> TSetupForm::ConfirmImport(const ImportPreview& preview) {
    return qt::ShowImportPreview(this, preview);
}

std::optional<ExportTarget> TSetupForm::ChooseExportFile(std::string_view name) {
    QStringList types;
    for (const ExportFileType& type : ExportFileTypes)
        types << ToQt(type.description) + QStringLiteral(" (*.") + ToQt(type.extension) + QLatin1Char(')');
    QFileDialog chooser(this, QStringLiteral("Export remote"));
    chooser.setObjectName(QStringLiteral("ExportFileDialog"));
    chooser.setAcceptMode(QFileDialog::AcceptSave);
    chooser.setNameFilters(types);
    chooser.selectFile(ToQt(name));
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) return std::nullopt;
    const auto type = static_cast<std::size_t>(std::max<qsizetype>(0, types.indexOf(chooser.selectedNameFilter())));
    return ExportTarget{FromQt(chooser.selectedFiles().front()), type};
}

}  // namespace orbisk
