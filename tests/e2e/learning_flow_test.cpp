// The whole learning flow, as a user goes through it: the simulator plays a
// key, the plug-in's setup dialog shows its code, "Add ->" opens a new row,
// the user types a name and presses Enter, closes the dialog; the settings
// file then holds the key, and `orbisk run` reports it by name.
//
// The test is the host: it owns the Qt application (offscreen), loads a
// private copy of orbisk.so beside a copy of the orbisk program, and drives
// the dialog's real widgets from a timer while Setup runs it modally.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "orbisk/host.h"
#include "host/plugin_loader.h"
#include "support/temp_dir.h"

extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

extern char** environ;

namespace {

namespace fs = std::filesystem;

pid_t Spawn(const std::vector<std::string>& args, const std::string& output) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

void Reap(pid_t pid) {
    if (pid <= 0) return;
    kill(pid, SIGINT);
    int status = 0;
    waitpid(pid, &status, 0);
}

template <typename T>
T* Find(QWidget* form, const char* name) {
    return form->findChild<T*>(QString::fromLatin1(name));
}

TEST(LearningFlow, KeyLearnedInTheDialogIsReportedByName) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "test_learning";
    static char* argv[] = {name, nullptr};
    // Never destroyed: the plug-in's toolkit state goes with the process,
    // not with an exit handler that runs after the library's own.
    static QApplication* app = new QApplication(argc, argv);
    (void)app;

    orbisk::test::TempDir dir;
    fs::copy_file(fs::path(ORBISK_BIN_DIR) / "orbisk", dir.File("orbisk"));
    fs::copy_file(fs::path(ORBISK_BIN_DIR) / "orbisk.so", dir.File("orbisk.so"));
    fs::permissions(dir.File("orbisk"), fs::perms::owner_all);
    orbisk::test::WriteFile(dir.File("orbisk.ini"), "[Main]\nCOM=4\n");

    // The receiver: one NEC key, played once the plug-in holds the port.
    const pid_t simulator = Spawn({dir.File("orbisk"), "simulate", "--com", "4", "--delay", "300", "--nec", "4", "8"},
                                  dir.File("simulate.txt"));
    ASSERT_GT(simulator, 0);
    for (int i = 0; i < 200 && !fs::is_symlink(dir.File("ports/com4")); ++i) QTest::qWait(10);

    orbisk::tool::LoadedPlugin plugin;
    std::string error;
    ASSERT_TRUE(plugin.Load(dir.File("orbisk.so"), error)) << error;
    void** setupForm = plugin.SetupForm;
    const orbisk::tool::HostInfoRecord hostInfo(ORBISK_HOST_VERSION(2, 7, 12));
    plugin.Open(nullptr, nullptr, hostInfo.bytes);

    // What the user does, one step per timer tick once its condition holds.
    std::string shownCode;
    int step = 0;
    int ticks = 0;
    QTimer user;
    QObject::connect(&user, &QTimer::timeout, [&] {
        auto* form = static_cast<QWidget*>(*setupForm);
        if (form == nullptr || !form->isVisible()) return;
        if (++ticks > 400) {  // a watchdog of about 20 s: give up and close
            Find<QPushButton>(form, "CloseButton")->click();
            return;
        }
        auto* codeLabel = Find<QLabel>(form, "CodeLabel");
        auto* list = Find<QTableWidget>(form, "ListView");
        switch (step) {
        case 0:  // choose the remote control
            Find<QComboBox>(form, "RemoteEdit")->setEditText("TV");
            step = 1;
            break;
        case 1:  // press the key on the remote and wait for its code
            if (codeLabel->text() == "<unknown>") return;
            shownCode = codeLabel->text().toStdString();
            QTest::mouseClick(Find<QPushButton>(form, "BitBtn2"), Qt::LeftButton);
            step = 2;
            break;
        case 2: {  // type the name into the row's editor and confirm
            auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
            if (editor == nullptr) return;
            editor->selectAll();
            QTest::keyClicks(editor, "Power");
            QTest::keyClick(editor, Qt::Key_Return);
            step = 3;
            break;
        }
        case 3:
            if (list->rowCount() != 1 || list->item(0, 0)->text() != "Power") return;
            QTest::mouseClick(Find<QPushButton>(form, "CloseButton"), Qt::LeftButton);
            step = 4;
            break;
        }
    });
    user.start(50);
    plugin.Setup();
    user.stop();
    plugin.Close();
    Reap(simulator);

    ASSERT_EQ(step, 4) << "the dialog never got as far as closing";
    ASSERT_EQ(shownCode.size(), 8u) << shownCode;
    const std::string ini = orbisk::test::ReadFile(dir.File("orbisk.ini"));
    EXPECT_NE(ini.find("[TV]\n" + shownCode + "=Power\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("LastRemoteControl=TV\n"), std::string::npos) << ini;

    // The host now hears the key by its name.
    const pid_t player = Spawn({dir.File("orbisk"), "simulate", "--com", "4", "--delay", "300", "--nec", "4", "8"},
                               dir.File("simulate2.txt"));
    for (int i = 0; i < 200 && !fs::is_symlink(dir.File("ports/com4")); ++i) QTest::qWait(10);
    // The end of its input stops the host, so its input stays open meanwhile.
    const pid_t host = Spawn({"/bin/sh", "-c", "sleep 5 | '" + dir.File("orbisk") + "' run --seconds 3"},
                             dir.File("run.txt"));
    int status = 0;
    waitpid(host, &status, 0);
    Reap(player);
    const std::string run = orbisk::test::ReadFile(dir.File("run.txt"));
    EXPECT_NE(run.find("press\tPower\tTV\t" + shownCode + "\n"), std::string::npos) << run;
}

}  // namespace
