// The program's entry: language, self-test, the frame and its threads, the
// event loop, then an orderly shutdown with every worker stopped before
// anything it uses is destroyed.
#include "app/common/AppStrings.h"
#include "app/common/LiveStrings.h"
#include "app/common/UiText.h"
#include "app/frame/FrameSettings.h"
#include "app/frame/MainFrame.h"
#include "app/frame/ReportCommand.h"
#include "framework/Language.h"
#include "framework/LocalException.h"
#include "framework/Md5.h"
#include "framework/StringTable.h"

#include <QApplication>
#include <QMessageBox>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Ctrl+C or a termination request from the terminal closes the window the
// way its close button does, so the workers and the demo device stop in
// order. The handler only writes a byte; the event loop does the rest.
int quitPipe[2] = {-1, -1};

void OnQuitSignal(int) {
    const char byte = 1;
    [[maybe_unused]] ssize_t n = ::write(quitPipe[1], &byte, 1);
}

} // namespace

// --help and --version answer before any window system is needed, so they
// work on a console, in scripts and while packaging.
static bool AnswerInfoOption(int argc, char** argv, int& code) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("korvex %s\n", KORVEX_VERSION);
            code = 0;
            return true;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf("usage: korvex [--demo] [FILE.kvx]\n"
                        "Opens the Korvex window; a project file named here is opened at start.\n"
                        "\n"
                        "  --demo       start a simulated device inside the program\n"
                        "  --help       this text\n"
                        "  --version    the program's version\n"
                        "\n"
                        "Qt's own options (for example -platform offscreen) are accepted too.\n");
            code = 0;
            return true;
        }
    }
    return false;
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

    // A language the system does not have simply leaves English in place.
    StringTable::Select(StartupLanguage());

    std::unique_ptr<MainFrame> frame;
    try {
        frame = std::make_unique<MainFrame>();
        if (!Md5SelfTest())
            RaiseError(kStrMd5SelfTestFailed);
        frame->RestoreSettings();
        frame->Create();
        std::unique_ptr<QSocketNotifier> quitNotifier;
        if (::socketpair(AF_UNIX, SOCK_STREAM, 0, quitPipe) == 0) {
            quitNotifier = std::make_unique<QSocketNotifier>(quitPipe[0], QSocketNotifier::Read);
            QObject::connect(quitNotifier.get(), &QSocketNotifier::activated, frame.get(), [&frame] {
                char byte;
                [[maybe_unused]] ssize_t n = ::read(quitPipe[0], &byte, 1);
                frame->close();
            });
            std::signal(SIGINT, OnQuitSignal);
            std::signal(SIGTERM, OnQuitSignal);
        }
        // "--demo" starts the simulated device inside the program; a project
        // named on the command line opens at once (a file that cannot be
        // read is reported and the new project stays).
        QStringList arguments = QApplication::arguments();
        arguments.removeFirst();
        const bool demo = arguments.removeAll(QStringLiteral("--demo")) > 0;
        if (!arguments.isEmpty())
            frame->OpenAtStart(arguments.first().toStdString());
        if (demo) {
            try {
                frame->StartDemo();
            } catch (const std::exception& e) {
                // The program goes on without it.
                QMessageBox::critical(frame.get(), QString(),
                                      QString::fromStdString(FillText(Text(kStrDemoFailed).toStdString(), {e.what()})));
            }
        }
        // Changes a crashed run could not save are offered back.
        frame->StartRecovery();
        int code = app.exec();
        frame->StopThreads();
        frame.reset();
        return code;
    } catch (const std::exception& e) {
        if (frame)
            frame->StopThreads();
        QMessageBox::critical(nullptr, QString(), Text(kStrUnexpectedError) + QStringLiteral("\n") + QString::fromUtf8(e.what()));
        frame.reset();
        return 1;
    }
}
