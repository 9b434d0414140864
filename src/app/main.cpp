// The program's entry: language, self-test, the frame and its threads, the
// event loop, then an orderly shutdown with every worker stopped before
// anything it uses is destroyed.
#include "app/common/AppStrings.h"
#include "app/common/UiText.h"
#include "app/frame/FrameSettings.h"
#include "app/frame/MainFrame.h"
#include "framework/Language.h"
#include "framework/LocalException.h"
#include "framework/Md5.h"
#include "framework/StringTable.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>
#include <cstring>
#include <memory>

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
            std::printf("usage: korvex [FILE.kvx]\n"
                        "Opens the Korvex window; a project file named here is opened at start.\n"
                        "\n"
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
        // A project named on the command line opens at once; a file that
        // cannot be read is reported and the new project stays.
        QStringList arguments = QApplication::arguments();
        if (arguments.size() > 1)
            frame->OpenAtStart(arguments.at(1).toStdString());
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
