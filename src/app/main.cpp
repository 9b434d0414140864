// The program's entry: language, self-test, the frame and its threads, the
// event loop, then an orderly shutdown with every worker stopped before
// anything it uses is destroyed.
#include "app/common/UiText.h"
#include "app/demo/DemoDevice.h"
#include "app/frame/FrameSettings.h"
#include "app/frame/MainFrame.h"
#include "app/frame/ReportCommand.h"
#include "app/session/ProjectRecovery.h"
#include "app/session/ProjectSession.h"
#include "framework/Language.h"
#include "framework/LocalException.h"
#include "framework/Md5.h"
#include "framework/StringTable.h"
#include "framework/TextIds.h"
#include "framework/Trace.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const char* const Usage = "usage: korvex [--demo] [FILE.kvx]\n";

// The handler only writes a byte; the event loop does the rest.
int quitPipe[2] = {-1, -1};

void OnQuitSignal(int) {
    const char byte = 1;
    [[maybe_unused]] ssize_t n = ::write(quitPipe[1], &byte, 1);
}

// A termination request (SIGTERM from a logout or `kill`, SIGINT from the
// terminal, SIGHUP when the terminal goes) ends the program wherever its
// event loop is, a message box or dialog waiting for an answer included:
// every box, dialog and menu open is closed as its Cancel button would
// close it (again on every tick, since a cancelled question can lead to
// another), then the frame closes without asking about unsaved changes -
// they are kept as a recovery copy, offered at the next start - and the
// normal shutdown stops the workers and the demo device.
class SignalShutdown : public QObject {
public:
    SignalShutdown() {
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, quitPipe) != 0)
            return;
        notifier = std::make_unique<QSocketNotifier>(quitPipe[0], QSocketNotifier::Read);
        QObject::connect(notifier.get(), &QSocketNotifier::activated, this, [this] { OnSignal(); });
        tick.setInterval(50);
        QObject::connect(&tick, &QTimer::timeout, this, [this] { Sweep(); });
        struct sigaction action {};
        action.sa_handler = OnQuitSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (int signal : {SIGTERM, SIGINT, SIGHUP})
            ::sigaction(signal, &action, nullptr);
    }

    void Watch(korvex::MainFrame* mainFrame) { frame = mainFrame; }
    bool Requested() const { return requested; }
    // The main loop is about to run: from now on the sweep ends it.
    void LoopStarts() { looping = true; }

    // Closes the frame without questions and keeps unsaved changes as a
    // recovery copy (once).
    void CloseFrame() {
        if (!frame || frameClosed)
            return;
        frameClosed = true;
        frame->Projects().EndWithoutQuestions();
        frame->close();
        // Closing removes the copy of a project it may drop; these changes
        // were not let go on purpose.
        if (frame->Recovery().WriteNow())
            korvex::Trace("SignalShutdown: unsaved changes kept in %s\n",
                          frame->Recovery().CopyPath().c_str());
    }

private:
    void OnSignal() {
        char bytes[16];
        [[maybe_unused]] ssize_t n = ::read(quitPipe[0], bytes, sizeof bytes);
        if (requested)
            return;
        requested = true;
        korvex::Trace("SignalShutdown: termination requested\n");
        tick.start();
        Sweep();
    }

    // True when nothing waits for an answer any more.
    static bool CloseOpenWindows() {
        for (int round = 0; round < 32; ++round) {
            if (QWidget* popup = QApplication::activePopupWidget()) {
                popup->close();
                continue;
            }
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal)
                return true;
            korvex::Trace("SignalShutdown: closing %s\n", modal->metaObject()->className());
            if (auto* dialog = qobject_cast<QDialog*>(modal))
                dialog->reject();
            else
                modal->close();
            if (QApplication::activeModalWidget() == modal)
                modal->hide();
        }
        return false;
    }

    void Sweep() {
        // A box's own loop ends once this returns; the main loop is ended
        // only when no box is left to wait in.
        if (!CloseOpenWindows() || !looping)
            return;
        CloseFrame();
        QCoreApplication::quit();
    }

    std::unique_ptr<QSocketNotifier> notifier;
    QTimer tick;
    QPointer<korvex::MainFrame> frame;
    bool requested = false;
    bool looping = false;
    bool frameClosed = false;
};

} // namespace

// --help and --version answer before any window system is needed, so they
// work on a console, in scripts and while packaging.
static bool AnswerInfoOption(int argc, char** argv, int& code) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0)
            break;
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("korvex %s\n", KORVEX_VERSION);
            code = 0;
            return true;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf("%s"
                        "Opens the Korvex window; a project file named here is opened at start.\n"
                        "\n"
                        "  --demo       start a simulated device inside the program\n"
                        "  --report [--force] PROJECT.kvx OUT.pdf\n"
                        "               write the project's commissioning report without a window;\n"
                        "               an incomplete project file is refused unless --force is given\n"
                        "  --help       this text\n"
                        "  --version    the program's version\n"
                        "  --           what follows is a file name, even if it begins with '-'\n"
                        "\n"
                        "Qt's own options (for example -platform offscreen) are accepted too.\n"
                        "SIGTERM, SIGINT and SIGHUP close open dialogs as Cancel does and end\n"
                        "the program in order; unsaved changes are kept for the next start.\n",
                        Usage);
            code = 0;
            return true;
        }
    }
    return false;
}

// The arguments left once Qt has taken its own: "--demo" and at most one
// project file. An unknown option is not taken for a file name.
static bool ParseArguments(QStringList arguments, bool& demo, QString& project) {
    arguments.removeFirst();
    bool options = true;
    for (const QString& a : arguments) {
        if (options && a == QStringLiteral("--")) {
            options = false;
        } else if (options && a == QStringLiteral("--demo")) {
            demo = true;
        } else if (options && a.startsWith(QLatin1Char('-')) && a.size() > 1) {
            std::fprintf(stderr, "korvex: unknown option '%s'\n%s", a.toLocal8Bit().constData(), Usage);
            return false;
        } else if (project.isEmpty()) {
            project = a;
        } else {
            std::fprintf(stderr, "korvex: more than one project file given\n%s", Usage);
            return false;
        }
    }
    return true;
}

int main(int argc, char** argv) {
    using namespace korvex;
    if (int code = 0; AnswerInfoOption(argc, argv, code))
        return code;
    if (int code = 0; AnswerReportOption(argc, argv, code))
        return code;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Korvex"));
    QApplication::setApplicationVersion(QStringLiteral("6"));
    // Ties the window to the installed desktop entry (icon, name, grouping).
    QGuiApplication::setDesktopFileName(QStringLiteral("com.example.korvex"));
    QApplication::setAttribute(Qt::AA_DontShowIconsInMenus, false);

    bool demo = false;
    QString project;
    if (!ParseArguments(QApplication::arguments(), demo, project))
        return 2;
    SignalShutdown shutdown;

    // A language the system does not have simply leaves English in place.
    StringTable::Select(StartupLanguage());

    std::unique_ptr<MainFrame> frame;
    try {
        FrameOptions options;
        options.makeDemo = [] { return std::make_unique<DemoDevice>(); };
        frame = std::make_unique<MainFrame>(options);
        shutdown.Watch(frame.get());
        if (!Md5SelfTest())
            RaiseError(text::fatal_md5_self_test);
        frame->RestoreSettings();
        frame->Create();
        // "--demo" starts the simulated device inside the program; a project
        // named on the command line opens at once (a file that cannot be
        // read is reported and the new project stays). A termination asked
        // for during these steps skips the rest.
        if (!project.isEmpty() && !shutdown.Requested())
            frame->OpenAtStart(project.toStdString());
        if (demo && !shutdown.Requested()) {
            try {
                frame->StartDemo();
            } catch (const std::exception& e) {
                // The program goes on without it.
                QMessageBox::critical(
                    frame.get(), QString(),
                    QString::fromStdString(FillText(Text(text::live_demo_failed).toStdString(), {e.what()})));
            }
        }
        // Changes a crashed run could not save are offered back.
        if (!shutdown.Requested())
            frame->StartRecovery();
        int code = 0;
        if (!shutdown.Requested()) {
            shutdown.LoopStarts();
            code = app.exec();
        }
        if (shutdown.Requested())
            shutdown.CloseFrame();
        frame->StopThreads();
        frame.reset();
        return code;
    } catch (const std::exception& e) {
        if (frame)
            frame->StopThreads();
        QMessageBox::critical(nullptr, QString(),
                              Text(text::fatal_unexpected_error) + QStringLiteral("\n") +
                                  QString::fromUtf8(e.what()));
        frame.reset();
        return 1;
    }
}
