// The Qt setup dialog with real widgets: layout, clicks and keys reaching the
// settings, the code list's menu, shortcuts and in-place editing, engine
// notices posted from another thread, and closing.  Runs offscreen.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <cstdlib>
#include <map>
#include <thread>

#include "dialog/qt/code_list.h"
#include "dialog/qt/setup_form.h"
#include "dialog/qt/up_down.h"
#include "orbisk/host.h"
#include "platform/system_services.h"
#include "settings/ini_file.h"
#include "settings/settings.h"
#include "support/fake_system.h"
#include "support/temp_dir.h"

// fontconfig, which Qt's font database uses, keeps its configuration for the
// process's life; LeakSanitizer reads it as a leak at exit.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace orbisk {
namespace {

using qt::CodeList;
using qt::UpDown;

void EnsureApplication() {
    if (QCoreApplication::instance() != nullptr) return;
    static int argc = 1;
    static char name[] = "test_dialog_qt";
    static char* argv[] = {name, nullptr};
    static QApplication* application = new QApplication(argc, argv);
    (void)application;
}

template <typename Predicate>
bool WaitFor(Predicate predicate) {
    return QTest::qWaitFor(predicate, 5000);
}

constexpr char kTvFile[] =
    "[Main]\n"
    "LastRemoteControl=TV\n"
    "[TV]\n"
    "0000001=Power\n"
    "0000002=Volume\n"
    "0000003=Mute\n"
    "[Amp]\n"
    "0000010=Input\n";

class SetupFormTest : public ::testing::Test {
protected:
    SetupFormTest()
        : services{settings, dir.File("orbisk.ini"), [this] { calls.push_back("start"); },
                   [this] { calls.push_back("stop"); }} {
        EnsureApplication();
    }

    // Shows the dialog over the given file and makes it the active window.
    void Open(const std::string& file = kTvFile) {
        test::WriteFile(services.settingsPath, file);
        form.emplace(services);
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&*form));
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&*form));
    }

    template <typename W>
    W* Find(const char* name) {
        W* widget = form->findChild<W*>(QLatin1String(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    CodeList* List() { return Find<CodeList>("ListView"); }
    QString Cell(int row, int column) { return List()->item(row, column)->text(); }
    QStringList Captions() {
        QStringList out;
        for (int row = 0; row < List()->rowCount(); ++row) out << Cell(row, 0);
        return out;
    }
    void ClickRow(int row) {
        CodeList* list = List();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row, 0)).center());
    }
    void ClickArrow(const char* upDown, bool up) {
        UpDown* control = Find<UpDown>(upDown);
        QTest::mouseClick(control, Qt::LeftButton, {}, QPoint(7, up ? 3 : control->height() - 3));
    }
    QAction* Action(const char* name) { return Find<QAction>(name); }
    IniDocument Saved() const { return IniFile(services.settingsPath).Load(); }

    test::TempDir dir;
    Settings settings;
    std::vector<std::string> calls;
    DialogServices services;
    std::optional<TSetupForm> form;
};

// --- Layout --------------------------------------------------------------

TEST_F(SetupFormTest, ControlsSitWhereTheLayoutPutsThem) {
    Open();
    const std::map<const char*, QRect> sized = {
        {"Panel3", {0, 0, 665, 65}},           {"Image1", {608, 8, 49, 49}},
        {"Panel4", {0, 65, 665, 2}},           {"Panel2", {0, 67, 241, 387}},
        {"GroupBox1", {2, 2, 237, 145}},       {"GroupBox4", {2, 147, 237, 96}},
        {"GroupBox2", {2, 243, 237, 72}},      {"TestGroup", {2, 315, 237, 70}},
        {"ListView", {243, 74, 420, 378}},     {"Panel1", {0, 454, 665, 32}},
        {"CloseButton", {2, 4, 75, 25}},       {"Edit1", {36, 16, 25, 21}},
        {"ComUpDown", {61, 16, 15, 21}},       {"ComRateComboBox", {80, 16, 97, 21}},
        {"ResetButton", {184, 16, 45, 21}},    {"IRSpeedBar", {32, 60, 165, 25}},
        {"HaltOnErrorCheckBox", {8, 88, 145, 17}}, {"ExecEdit", {8, 112, 221, 21}},
        {"Edit2", {128, 16, 33, 21}},          {"Wait1UpDown", {161, 16, 15, 21}},
        {"Edit3", {128, 40, 33, 21}},          {"WaitNUpDown", {161, 40, 15, 21}},
        {"Edit4", {128, 64, 33, 21}},          {"WaitRUpDown", {161, 64, 15, 21}},
        {"RepeatLengthEdit", {128, 16, 33, 21}}, {"RepeatLengthUpDown", {161, 16, 15, 21}},
        {"SkipEdit", {128, 40, 33, 21}},       {"SkipUpDown", {161, 40, 15, 21}},
        {"BitBtn2", {156, 14, 73, 21}},        {"RemoteEdit", {88, 40, 141, 21}},
    };
    for (const auto& [name, rect] : sized) EXPECT_EQ(Find<QWidget>(name)->geometry(), rect) << name;

    const std::map<const char*, std::pair<QPoint, QString>> labels = {
        {"Label11", {{32, 16}, "Orbisk"}},
        {"Label12", {{48, 32}, "RAYCAP.QM devices support for Vantrel2"}},
        {"Label1", {{8, 20}, "COM"}},
        {"Label5", {{8, 44}, "Interval (ms):"}},
        {"Label2", {{8, 64}, "50"}},
        {"Label4", {{200, 64}, "500"}},
        {"Label7", {{8, 20}, "Wait before repeat:"}},
        {"Label8", {{8, 44}, "Repeat period:"}},
        {"Label9", {{8, 68}, "Release timeout:"}},
        {"Label6", {{8, 20}, "Repeat signal length:"}},
        {"Label10", {{8, 44}, "Skip bits:"}},
        {"CodeLabel1", {{8, 20}, "Code:"}},
        {"CodeLabel", {{44, 20}, "<unknown>"}},
        {"Label3", {{8, 44}, "Remote control:"}},
    };
    for (const auto& [name, label] : labels) {
        auto* widget = Find<QLabel>(name);
        EXPECT_EQ(widget->pos(), label.first) << name;
        EXPECT_EQ(widget->text(), label.second) << name;
    }
}

TEST_F(SetupFormTest, WindowIsAFixedCentredDialogWithACloseBoxOnly) {
    Open();
    EXPECT_EQ(form->windowTitle(), "Orbisk v2.1");
    EXPECT_EQ(form->size(), QSize(665, 486));
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    const Qt::WindowFlags flags = form->windowFlags();
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(form->windowIcon().isNull());
    const QRect screen = form->screen()->availableGeometry();
    EXPECT_LE(std::abs(form->frameGeometry().center().x() - screen.center().x()), 1);
    EXPECT_EQ(form->font().pixelSize(), 11);
    QFont title = Find<QLabel>("Label11")->font();
    EXPECT_TRUE(title.bold());
    EXPECT_EQ(title.pixelSize(), 13);
    EXPECT_EQ(Find<QLabel>("Image1")->pixmap().size(), QSize(49, 49));
}

TEST_F(SetupFormTest, ControlsCarryTheirCaptionsRangesAndItems) {
    Open();
    EXPECT_EQ(Find<QGroupBox>("GroupBox1")->title(), " Setup ");
    EXPECT_EQ(Find<QGroupBox>("GroupBox4")->title(), " Timing ");
    EXPECT_EQ(Find<QGroupBox>("GroupBox2")->title(), " Parameters ");
    EXPECT_EQ(Find<QGroupBox>("TestGroup")->title(), " Monitoring ");
    EXPECT_EQ(Find<QPushButton>("CloseButton")->text(), "Close");
    EXPECT_EQ(Find<QPushButton>("BitBtn2")->text(), "Add ->");
    EXPECT_EQ(Find<QCheckBox>("HaltOnErrorCheckBox")->text(), "Execute on COM init error:");

    auto* rates = Find<QComboBox>("ComRateComboBox");
    EXPECT_FALSE(rates->isEditable());
    QStringList items;
    for (int i = 0; i < rates->count(); ++i) items << rates->itemText(i);
    EXPECT_EQ(items, QStringList({"1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"}));
    auto* remote = Find<QComboBox>("RemoteEdit");
    EXPECT_TRUE(remote->isEditable());

    auto* bar = Find<QSlider>("IRSpeedBar");
    EXPECT_EQ(bar->minimum(), 50);
    EXPECT_EQ(bar->maximum(), 500);
    EXPECT_EQ(bar->pageStep(), 25);
    EXPECT_EQ(bar->tickInterval(), 25);
    EXPECT_EQ(bar->tickPosition(), QSlider::TicksBelow);

    for (const char* name : {"Edit2", "Edit3", "Edit4", "RepeatLengthEdit"})
        EXPECT_TRUE(Find<QLineEdit>(name)->isReadOnly()) << name;
    for (const char* name : {"Edit1", "SkipEdit", "ExecEdit"})
        EXPECT_FALSE(Find<QLineEdit>(name)->isReadOnly()) << name;

    CodeList* list = List();
    EXPECT_EQ(list->toolTip(), "Right click for menu");
    EXPECT_EQ(list->columnCount(), 3);
    const std::pair<const char*, int> columns[] = {{"Key", 120}, {"Remote Control", 160}, {"Code", 120}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(list->horizontalHeaderItem(i)->text(), columns[i].first);
        EXPECT_EQ(list->columnWidth(i), columns[i].second);
    }
    EXPECT_EQ(list->horizontalHeader()->minimumSectionSize(), 80);
    EXPECT_TRUE(list->showGrid());
    EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::SingleSelection);
}

TEST_F(SetupFormTest, PopupMenuHoldsItsItemsInOrder) {
    Open();
    auto* menu = Find<QMenu>("PopupMenu1");
    QStringList seen;
    for (QAction* action : menu->actions())
        seen << action->objectName() + "|" + action->text() + "|" + action->shortcut().toString();
    EXPECT_EQ(seen, QStringList({"AddCurrentKey|Add current key|", QString::fromUtf8("ImportRemote|Import remote\u2026|"),
                                 QString::fromUtf8("ExportRemote|Export remote\u2026|"),
                                 "Replace1|Replace|Shift+Ins",
                                 "RemoveKey|Remove|Del", "N1||", "RenameKey|Rename|", "N2||",
                                 "ClearList1|Clear List|"}));
    EXPECT_TRUE(Action("N1")->isSeparator());
    EXPECT_TRUE(Action("N2")->isSeparator());

    // A right click on the list opens it.
    CodeList* list = List();
    const QPoint at = list->visualItemRect(list->item(0, 0)).center();
    QContextMenuEvent click(QContextMenuEvent::Mouse, at, list->viewport()->mapToGlobal(at));
    QApplication::sendEvent(list->viewport(), &click);
    EXPECT_TRUE(WaitFor([&] { return menu->isVisible(); }));
    menu->hide();
}

TEST_F(SetupFormTest, TabWalksTheControlsInTheirOrder) {
    Open();
    const std::string expected =
        "ListView Edit1 ComRateComboBox ResetButton IRSpeedBar HaltOnErrorCheckBox ExecEdit "
        "Edit2 Edit3 Edit4 BitBtn2 RemoteEdit RepeatLengthEdit SkipEdit CloseButton";
    Find<QWidget>("ExecEdit")->setEnabled(true);
    Find<QWidget>("ResetButton")->setEnabled(true);
    Find<QWidget>("CloseButton")->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), Find<QWidget>("CloseButton"));
    std::string seen;
    for (int i = 0; i < 15; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr);
        // An editable combo box hands the focus to its line edit.
        if (qobject_cast<QComboBox*>(focus->parentWidget()) != nullptr) focus = focus->parentWidget();
        seen += (seen.empty() ? "" : " ") + focus->objectName().toStdString();
    }
    EXPECT_EQ(seen, expected);
}

// --- Settings ------------------------------------------------------------

TEST_F(SetupFormTest, OpeningShowsTheSettingsAndTheSortedList) {
    settings.COM = 4;
    settings.COMRate = 9600;
    settings.Interval = 100;
    settings.SkipBegin = 6;
    settings.HaltOnError = false;
    Open();
    EXPECT_EQ(Find<QLineEdit>("Edit1")->text(), "4");
    EXPECT_EQ(Find<QComboBox>("ComRateComboBox")->currentText(), "9600");
    EXPECT_EQ(Find<QSlider>("IRSpeedBar")->value(), 100);
    EXPECT_EQ(Find<QLineEdit>("SkipEdit")->text(), "6");
    EXPECT_FALSE(Find<QPushButton>("ResetButton")->isEnabled());
    EXPECT_FALSE(Find<QLineEdit>("ExecEdit")->isEnabled());
    EXPECT_EQ(Find<QComboBox>("RemoteEdit")->currentText(), "TV");
    EXPECT_EQ(Find<QComboBox>("RemoteEdit")->count(), 2);
    EXPECT_EQ(Captions(), QStringList({"Input", "Mute", "Power", "Volume"}));
    EXPECT_EQ(List()->SelectedRow(), -1);
    // Loading the controls stored nothing and restarted nothing.
    EXPECT_EQ(settings.Interval, 100);
    EXPECT_TRUE(calls.empty());
}

TEST_F(SetupFormTest, RateOutsideTheListShowsNoItem) {
    settings.COMRate = 12345;
    Open();
    EXPECT_EQ(Find<QComboBox>("ComRateComboBox")->currentIndex(), -1);
}

TEST_F(SetupFormTest, ArrowClicksStepThePortWithinItsRange) {
    settings.COM = 31;
    Open();
    ClickArrow("ComUpDown", true);
    EXPECT_EQ(settings.COM, 32);
    EXPECT_EQ(Find<QLineEdit>("Edit1")->text(), "32");
    EXPECT_TRUE(Find<QPushButton>("ResetButton")->isEnabled());
    ClickArrow("ComUpDown", true);  // at the bound
    EXPECT_EQ(settings.COM, 32);
    EXPECT_EQ(Find<QLineEdit>("Edit1")->text(), "32");

    // Typing changes nothing until the next step, which starts from it.
    auto* edit = Find<QLineEdit>("Edit1");
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, "7");
    EXPECT_EQ(settings.COM, 32);
    ClickArrow("ComUpDown", false);
    EXPECT_EQ(settings.COM, 6);
    EXPECT_EQ(edit->text(), "6");
}

TEST_F(SetupFormTest, TimingAndDecoderUpDownsStepAndStopAtTheirBounds) {
    settings.Wait1 = 950;
    settings.SkipBegin = 2;
    settings.RepeatLength = 1;
    Open();
    ClickArrow("Wait1UpDown", true);
    ClickArrow("Wait1UpDown", true);
    EXPECT_EQ(settings.Wait1, 1000u);
    EXPECT_EQ(Find<QLineEdit>("Edit2")->text(), "1000");
    ClickArrow("SkipUpDown", false);
    ClickArrow("SkipUpDown", false);
    EXPECT_EQ(settings.SkipBegin, 0);
    EXPECT_EQ(Find<QLineEdit>("SkipEdit")->text(), "0");
    // The arrow keys in a buddy step too.
    auto* length = Find<QLineEdit>("RepeatLengthEdit");
    length->setFocus();
    QTest::keyClick(length, Qt::Key_Up);
    QTest::keyClick(length, Qt::Key_Up);
    EXPECT_EQ(settings.RepeatLength, 3);
    EXPECT_EQ(length->text(), "3");
    // None of these needs a restart.
    EXPECT_FALSE(Find<QPushButton>("ResetButton")->isEnabled());
}

TEST_F(SetupFormTest, RateAndIntervalEnableResetWhichRestarts) {
    Open();
    auto* rates = Find<QComboBox>("ComRateComboBox");
    rates->setFocus();
    QTest::keyClick(rates, Qt::Key_Up);  // one item up from 115200
    EXPECT_EQ(settings.COMRate, 57600);
    auto* reset = Find<QPushButton>("ResetButton");
    ASSERT_TRUE(reset->isEnabled());
    QTest::mouseClick(reset, Qt::LeftButton);
    EXPECT_EQ(calls, (std::vector<std::string>{"stop", "start"}));
    EXPECT_FALSE(reset->isEnabled());

    auto* bar = Find<QSlider>("IRSpeedBar");
    bar->setFocus();
    QTest::keyClick(bar, Qt::Key_PageUp);
    EXPECT_EQ(settings.Interval, 125);
    EXPECT_TRUE(reset->isEnabled());
}

TEST_F(SetupFormTest, CheckBoxEnablesTheCommandWhichIsStoredAsTyped) {
    Open();
    auto* check = Find<QCheckBox>("HaltOnErrorCheckBox");
    auto* exec = Find<QLineEdit>("ExecEdit");
    ASSERT_FALSE(exec->isEnabled());
    QTest::mouseClick(check, Qt::LeftButton, {}, QPoint(5, check->height() / 2));
    EXPECT_TRUE(settings.HaltOnError);
    ASSERT_TRUE(exec->isEnabled());
    exec->setFocus();
    QTest::keyClicks(exec, "reset-port");
    EXPECT_EQ(settings.ExecOnError, "reset-port");
    QTest::mouseClick(check, Qt::LeftButton, {}, QPoint(5, check->height() / 2));
    EXPECT_FALSE(settings.HaltOnError);
    EXPECT_FALSE(exec->isEnabled());
}

// --- Code list -----------------------------------------------------------

TEST_F(SetupFormTest, DeleteRemovesAndShiftInsertReplacesTheSelectedRow) {
    Open();
    CodeList* list = List();
    ClickRow(1);  // Mute
    ASSERT_EQ(list->SelectedRow(), 1);
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Delete);
    EXPECT_EQ(Captions(), QStringList({"Input", "Power", "Volume"}));

    form->PostNotice(ORBISK_KEY_DOWN_NOTICE, 0, 0xBEEF);
    ASSERT_TRUE(WaitFor([&] { return Find<QLabel>("CodeLabel")->text() == "000BEEF"; }));
    ClickRow(2);  // Volume
    Find<QComboBox>("RemoteEdit")->setEditText("Hifi");
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Insert, Qt::ShiftModifier);
    EXPECT_EQ(Cell(2, 0), "Volume");
    EXPECT_EQ(Cell(2, 1), "Hifi");
    EXPECT_EQ(Cell(2, 2), "000BEEF");
}

TEST_F(SetupFormTest, DeleteInTheEditorEditsTextAndRemovesNoRow) {
    Open();
    ClickRow(2);
    Action("RenameKey")->trigger();
    QWidget* editor = List()->OpenEditor();
    ASSERT_NE(editor, nullptr);
    QTest::keyClick(editor, Qt::Key_Delete);
    EXPECT_EQ(List()->rowCount(), 4);
    QTest::keyClick(editor, Qt::Key_Escape);
}

TEST_F(SetupFormTest, EnterAcceptsAnEditAndSortsEscCancelsIt) {
    Open();
    ClickRow(2);  // Power
    CodeList* list = List();
    list->setFocus();
    QTest::keyClick(list, Qt::Key_F2);
    auto* editor = qobject_cast<QLineEdit*>(list->OpenEditor());
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(), "Power");
    QTest::keyClicks(editor, "Aardvark");
    QTest::keyClick(editor, Qt::Key_Return);
    ASSERT_TRUE(WaitFor([&] { return Captions() == QStringList({"Input", "Aardvark", "Mute", "Volume"}); }));
    EXPECT_EQ(list->SelectedRow(), 1);
    EXPECT_TRUE(form->isVisible());

    Action("RenameKey")->trigger();
    editor = qobject_cast<QLineEdit*>(list->OpenEditor());
    ASSERT_NE(editor, nullptr);
    QTest::keyClicks(editor, "Zebra");
    QTest::keyClick(editor, Qt::Key_Escape);
    EXPECT_TRUE(WaitFor([&] { return list->OpenEditor() == nullptr; }));
    QTest::qWait(0);
    EXPECT_EQ(Captions(), QStringList({"Input", "Aardvark", "Mute", "Volume"}));
    EXPECT_TRUE(form->isVisible());
}

TEST_F(SetupFormTest, AddButtonAppendsANewKeyAndOpensItsEditor) {
    Open();
    Find<QComboBox>("RemoteEdit")->setEditText("Hifi");
    QTest::mouseClick(Find<QPushButton>("BitBtn2"), Qt::LeftButton);
    CodeList* list = List();
    ASSERT_EQ(list->rowCount(), 5);
    EXPECT_EQ(Cell(4, 0), "<new key>");
    EXPECT_EQ(Cell(4, 1), "Hifi");
    EXPECT_EQ(Cell(4, 2), "0000000");
    auto* editor = qobject_cast<QLineEdit*>(list->OpenEditor());
    ASSERT_NE(editor, nullptr);
    QTest::keyClicks(editor, "Zoom");
    // A toggle-bit remote's other code, then the row's own: the edit stays.
    for (const std::uint32_t code : {0x800u, 0u}) {
        form->PostNotice(ORBISK_KEY_DOWN_NOTICE, 0, code);
        QCoreApplication::processEvents();
    }
    ASSERT_EQ(list->OpenEditor(), editor);
    // Clicking elsewhere accepts the edit, as leaving the field does.
    Find<QLineEdit>("ExecEdit")->setEnabled(true);
    Find<QLineEdit>("ExecEdit")->setFocus();
    ASSERT_TRUE(WaitFor([&] { return Cell(1, 0) == "Zoom"; }));
    EXPECT_EQ(Cell(1, 1), "Hifi");
}

TEST_F(SetupFormTest, ClearListAsksFirst) {
    Open();
    for (const QMessageBox::StandardButton answer : {QMessageBox::No, QMessageBox::Cancel, QMessageBox::Yes}) {
        QString text, caption;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            text = box->text();
            caption = box->windowTitle();
            EXPECT_EQ(box->icon(), QMessageBox::Question);
            box->button(answer)->click();
        });
        Action("ClearList1")->trigger();
        EXPECT_EQ(text, "Do you really want to clear codes list?");
        EXPECT_EQ(caption, "Confirm delete");
        EXPECT_EQ(List()->rowCount(), answer == QMessageBox::Yes ? 0 : 4);
    }
}

TEST_F(SetupFormTest, ImportRemoteChoosesAFileShowsItsKeysAndAddsThem) {
    const std::string ir = dir.File("Telly.ir");
    test::WriteFile(ir, "Filetype: IR signals file\nVersion: 1\n#\nname: Power\ntype: parsed\nprotocol: NEC\n"
                        "address: 04 00 00 00\ncommand: 08 00 00 00\n");
    Open();
    int previewRows = -1;
    QTimer::singleShot(0, [&] {
        auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(chooser, nullptr);
        chooser->selectFile(QString::fromStdString(ir));
        QTimer::singleShot(0, [&] {
            QWidget* preview = QApplication::activeModalWidget();
            ASSERT_NE(preview, nullptr);
            ASSERT_EQ(preview->objectName(), "ImportPreview");
            previewRows = preview->findChild<QTableWidget*>("ImportKeys")->rowCount();
            preview->findChild<QLineEdit*>("ImportRemoteName")->setText("TV");
            preview->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        });
        static_cast<QDialog*>(chooser)->accept();  // as the Open button does
    });
    Action("ImportRemote")->trigger();
    EXPECT_EQ(previewRows, 1);
    EXPECT_EQ(Captions(), QStringList({"Input", "Mute", "Power", "Power", "Volume"}));
    EXPECT_EQ(Cell(List()->SelectedRow(), 1), "TV");

    // Export offers the three formats and writes the chosen one; the keys
    // without a frame are listed.
    QStringList types;
    QString leftOut;
    QTimer::singleShot(0, [&] {
        auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(chooser, nullptr);
        types = chooser->nameFilters();
        chooser->selectNameFilter(types.value(2));
        chooser->selectFile(QString::fromStdString(dir.File("tv")));
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            leftOut = box->text();
            box->accept();
        });
        static_cast<QDialog*>(chooser)->accept();
    });
    Action("ExportRemote")->trigger();
    EXPECT_EQ(types, QStringList({"Flipper IR file (*.ir)", "lircd.conf (*.lircd.conf)", "Linux kernel keymap (*.toml)"}));
    EXPECT_TRUE(leftOut.contains("Volume (0000002)")) << leftOut.toStdString();
    EXPECT_NE(test::ReadFile(dir.File("tv.toml")).find("0x0408 = \"Power\""), std::string::npos);
}

// --- Notices -------------------------------------------------------------

// Counts the events of the application's own types that reach an object.
class UserEventCounter final : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() >= QEvent::User) ++count;
        return false;
    }
    int count = 0;
};

TEST_F(SetupFormTest, NoticesFromTheEngineThreadSelectTheRowAndAFloodWakesTheDialogOnce) {
    Open();
    UserEventCounter wakeUps;
    form->installEventFilter(&wakeUps);
    std::thread engine([this] {
        for (std::uint32_t noise = 0x100; noise < 0x100 + 10000; ++noise) {
            form->PostNotice(ORBISK_KEY_DOWN_NOTICE, 0, noise);
            form->PostNotice(ORBISK_KEY_UP_NOTICE, 0, 0);
        }
        form->PostNotice(ORBISK_KEY_DOWN_NOTICE, 0, 0x0000003);
        form->PostNotice(ORBISK_KEY_UP_NOTICE, 0, 0);
    });
    engine.join();
    ASSERT_TRUE(WaitFor([&] { return Find<QGroupBox>("TestGroup")->title() == " Released "; }));
    EXPECT_EQ(wakeUps.count, 1);  // the latest state, read once
    EXPECT_EQ(Find<QLabel>("CodeLabel")->text(), "0000003");
    EXPECT_EQ(List()->SelectedRow(), 1);
    EXPECT_EQ(Cell(1, 0), "Mute");
    EXPECT_EQ(List()->OpenEditor(), nullptr);
}

TEST_F(SetupFormTest, NoticePostedBeforeTheDialogShowsIsHandledAfter) {
    test::WriteFile(services.settingsPath, kTvFile);
    form.emplace(services);
    std::thread engine([this] { form->PostNotice(ORBISK_KEY_DOWN_NOTICE, 0, 0x0000002); });
    engine.join();
    QCoreApplication::processEvents();  // delivered while the dialog is hidden
    auto* code = Find<QLabel>("CodeLabel");
    EXPECT_EQ(code->text(), "<unknown>");
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&*form));
    EXPECT_EQ(code->text(), "0000002");
    EXPECT_EQ(Find<QGroupBox>("TestGroup")->title(), " Pressed ");
    EXPECT_EQ(List()->SelectedRow(), 3);  // Volume, in the list loaded by FormShow
}

// --- Closing -------------------------------------------------------------

TEST_F(SetupFormTest, EnterPressesAFocusedButtonAndElsewhereNeitherItNorEscClosesTheDialog) {
    Open();
    for (const char* name : {"CloseButton", "ListView", "Edit1", "ResetButton"}) {
        QWidget* widget = Find<QWidget>(name);
        widget->setFocus();
        const bool button = qobject_cast<QPushButton*>(widget) != nullptr;
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
            if (button && key != Qt::Key_Escape) continue;
            QTest::keyClick(widget, key);
            EXPECT_TRUE(form->isVisible()) << name << " " << key;
        }
    }
    EXPECT_TRUE(calls.empty());
    auto* reset = Find<QPushButton>("ResetButton");
    reset->setEnabled(true);  // as after a change of port
    reset->setFocus();
    QTest::keyClick(reset, Qt::Key_Return);
    EXPECT_EQ(calls, (std::vector<std::string>{"stop", "start"}));
    auto* close = Find<QPushButton>("CloseButton");
    close->setFocus();
    QTest::keyClick(close, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_FALSE(form->isVisible());
}

TEST_F(SetupFormTest, CloseButtonAndCloseBoxBothSave) {
    for (const bool closeBox : {false, true}) {
        settings.COM = 5;
        Open();
        ClickArrow("ComUpDown", true);
        Find<QComboBox>("RemoteEdit")->setEditText(closeBox ? "By box" : "By button");
        if (closeBox)
            form->close();
        else
            QTest::mouseClick(Find<QPushButton>("CloseButton"), Qt::LeftButton);
        EXPECT_FALSE(form->isVisible());
        const IniDocument saved = Saved();
        EXPECT_EQ(saved.ReadInteger("Main", "COM", 0), 6);
        EXPECT_EQ(saved.ReadString("Main", "LastRemoteControl", ""), closeBox ? "By box" : "By button");
        EXPECT_EQ(saved.ReadString("TV", "0000001", ""), "Power");
        form.reset();
    }
}

TEST_F(SetupFormTest, CloseWaitsForASaveThatWorksOrTheUsersDiscard) {
    Open();
    services.settingsPath += "/x.ini";  // in a "folder" that is a file
    for (const QMessageBox::StandardButton answer : {QMessageBox::Cancel, QMessageBox::Discard}) {
        QString text;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            text = box->text();
            box->button(answer)->click();
        });
        if (answer == QMessageBox::Cancel)
            form->close();
        else
            QTest::mouseClick(Find<QPushButton>("CloseButton"), Qt::LeftButton);
        EXPECT_TRUE(text.contains(QString::fromStdString(services.settingsPath) + ": Not a directory."));
        EXPECT_EQ(form->isVisible(), answer == QMessageBox::Cancel);
    }
    EXPECT_TRUE(services.changesDiscarded);
}

TEST_F(SetupFormTest, BytesThatAreNotUtf8SurviveARoundTrip) {
    Open("[Main]\nLastRemoteControl=St\xE9reo\n[St\xE9reo]\n0000001=Lautst\xE4rke\n");
    EXPECT_EQ(Cell(0, 0), QString::fromLatin1("Lautst\xE4rke"));
    form->PostNotice(ORBISK_KEY_DOWN_NOTICE, 0, 0x42);
    ASSERT_TRUE(WaitFor([&] { return Find<QLabel>("CodeLabel")->text() == "0000042"; }));
    QTest::mouseClick(Find<QPushButton>("BitBtn2"), Qt::LeftButton);
    List()->CancelEdit();
    form->close();
    const IniDocument saved = Saved();
    EXPECT_EQ(saved.ReadString("Main", "LastRemoteControl", ""), "St\xE9reo");
    EXPECT_EQ(saved.ReadString("St\xE9reo", "0000001", ""), "Lautst\xE4rke");
    EXPECT_EQ(saved.ReadString("St\xE9reo", "0000042", ""), "<new key>");
}

// Writes a picture of the dialog when ORBISK_DIALOG_PNG names a file.
TEST_F(SetupFormTest, Picture) {
    const char* path = std::getenv("ORBISK_DIALOG_PNG");
    if (path == nullptr) GTEST_SKIP() << "set ORBISK_DIALOG_PNG to write a picture";
    settings.HaltOnError = true;
    settings.ExecOnError = "/usr/local/bin/reset-receiver";
    Open();
    form->PostNotice(ORBISK_KEY_DOWN_NOTICE, 0, 0x0000002);
    ASSERT_TRUE(WaitFor([&] { return List()->SelectedRow() >= 0; }));
    EXPECT_TRUE(form->grab().save(QString::fromLocal8Bit(path)));
}

// --- Factory -------------------------------------------------------------

// Both run in a fresh process, where no application exists yet; they leave
// with _Exit so that nothing of Qt is torn down behind them.
int NoDisplay() {
    ::unsetenv("QT_QPA_PLATFORM");
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
    test::FakeSystemServices system;
    Settings settings;
    DialogServices services{settings, "/nonexistent/orbisk.ini", [] {}, [] {}};
    auto factory = MakeSetupDialogFactory(system);
    if (factory->Create(services) != nullptr || QCoreApplication::instance() != nullptr) return 1;
    return system.Boxes() ==
                   std::vector<std::string>{"No display is available for the setup dialog: DISPLAY is not set."}
               ? 0
               : 2;
}

int WithDisplay() {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    test::FakeSystemServices system;
    Settings settings;
    DialogServices services{settings, "/nonexistent/orbisk.ini", [] {}, [] {}};
    auto factory = MakeSetupDialogFactory(system);
    MessageBoxPresenter* boxes = CurrentMessageBoxPresenter();
    // Before any application exists, boxes fall back to the platform's report.
    if (boxes == nullptr || boxes->ShowError("RAYCAP.QM Support", "x")) return 1;
    auto dialog = factory->Create(services);
    if (dialog == nullptr || qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) return 2;
    if (static_cast<TSetupForm*>(dialog->Handle())->windowTitle() != "Orbisk v2.1") return 3;
    // Nor from a thread other than the application's.
    bool shown = true;
    std::thread([&] { shown = boxes->ShowError("RAYCAP.QM Support", "x"); }).join();
    if (shown || !system.Boxes().empty()) return 4;
    dialog.reset();
    factory.reset();
    return CurrentMessageBoxPresenter() == nullptr ? 0 : 5;
}

TEST(SetupDialogFactoryTest, WithoutADisplayItSaysSoAndMakesNoDialog) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::_Exit(NoDisplay()), ::testing::ExitedWithCode(0), "");
}

TEST(SetupDialogFactoryTest, MakesTheApplicationTheDialogAndQtMessageBoxes) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::_Exit(WithDisplay()), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace orbisk
