// The Qt setup dialog as the plug-in sees it: a factory that makes sure a
// widget application exists, the dialog object that runs the form modally
// and takes the engine's notices, and message boxes shown as Qt boxes.
#include <QApplication>
#include <QMessageBox>
#include <QThread>

#include <memory>
#include <string>

#include "dialog/qt/display_probe.h"
#include "dialog/qt/qt_text.h"
#include "dialog/qt/setup_form.h"
#include "dialog/setup_dialog.h"
#include "platform/system_services.h"

namespace orbisk {

namespace {

constexpr char NoDisplayMessage[] = "No display is available for the setup dialog";
constexpr char NoWidgetsMessage[] = "The setup dialog cannot be shown by this application.";

// True when widgets may be made on the calling thread now.
bool OnWidgetThread() {
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    return app != nullptr && QThread::currentThread() == app->thread();
}

bool HasScreen() {
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

class QtMessageBoxes final : public MessageBoxPresenter {
public:
    bool ShowError(std::string_view caption, std::string_view text) override {
        // Another thread, a host without a widget application, or a platform
        // where nobody could see or dismiss the box (offscreen, minimal) gets
        // the platform's plain report instead.
        if (!OnWidgetThread() || !HasScreen()) return false;
        QMessageBox box(QMessageBox::Critical, qt::ToQt(caption), qt::ToQt(text), QMessageBox::Ok);
        box.exec();
        return true;
    }
};

class QtSetupDialog final : public SetupDialog {
public:
    explicit QtSetupDialog(DialogServices& services) : form_(std::make_unique<TSetupForm>(services)) {}

    void ShowModal() override { form_->exec(); }
    void PostNotice(std::uint32_t message, std::uint32_t wparam, std::uint32_t lparam) override {
        form_->PostNotice(message, wparam, lparam);
    }
    void* Handle() override { return form_.get(); }

private:
    std::unique_ptr<TSetupForm> form_;
};

class QtSetupDialogFactory final : public SetupDialogFactory {
public:
    explicit QtSetupDialogFactory(SystemServices& system) : system_(system) { SetMessageBoxPresenter(&boxes_); }
    ~QtSetupDialogFactory() override {
        if (CurrentMessageBoxPresenter() == &boxes_) SetMessageBoxPresenter(nullptr);
    }

    std::unique_ptr<SetupDialog> Create(DialogServices& services) override {
        if (!EnsureApplication()) return nullptr;
        return std::make_unique<QtSetupDialog>(services);
    }

private:
    bool EnsureApplication() {
        if (QCoreApplication::instance() != nullptr) {
            // A host with its own Qt: widgets need a QApplication and its thread.
            if (OnWidgetThread()) return true;
            system_.ShowError(NoWidgetsMessage);
            return false;
        }
        // Qt would abort the whole host when no platform it tries can start:
        // it gets the one found to start, and nothing else to try.
        const qt::DisplayChoice display = qt::ChooseDisplay();
        if (!display.problem.empty()) {
            system_.ShowError(std::string(NoDisplayMessage) + ": " + display.problem + ".");
            return false;
        }
        // Made once and kept for the library's life: Qt cannot make a second
        // application after the first is gone, and QApplication keeps
        // references to argc and argv.
        static std::string platform = display.platform;
        static int argc = 3;
        static char name[] = "orbisk";
        static char option[] = "-platform";
        static char* argv[] = {name, option, platform.data(), nullptr};
        static QApplication* application = new QApplication(argc, argv);
        return application != nullptr;
    }

    SystemServices& system_;
    QtMessageBoxes boxes_;
};

}  // namespace

std::unique_ptr<SetupDialogFactory> MakeSetupDialogFactory(SystemServices& system) {
    return std::make_unique<QtSetupDialogFactory>(system);
}

}  // namespace orbisk
