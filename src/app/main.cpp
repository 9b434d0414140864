// The program's entry: language, self-test, the frame and its threads, the
// event loop, then an orderly shutdown with every worker stopped before
// anything it uses is destroyed.
#include "app/common/AppStrings.h"
#include "app/common/UiText.h"
#include "app/frame/MainFrame.h"
#include "framework/Language.h"
#include "framework/LocalException.h"
#include "framework/Md5.h"
#include "framework/StringTable.h"

#include <QApplication>
#include <QMessageBox>
#include <memory>

int main(int argc, char** argv) {
    using namespace korvex;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Korvex"));
    QApplication::setApplicationVersion(QStringLiteral("6"));
    QApplication::setAttribute(Qt::AA_DontShowIconsInMenus, false);

    // A language the system does not have simply leaves English in place.
    StringTable::Select(ReadLanguage());

    std::unique_ptr<MainFrame> frame;
    try {
        frame = std::make_unique<MainFrame>();
        if (!Md5SelfTest())
            RaiseError(kStrMd5SelfTestFailed);
        frame->Create();
        // A project named on the command line opens at once; a file that
        // cannot be read is reported and the new project stays.
        QStringList arguments = QApplication::arguments();
        if (arguments.size() > 1)
            frame->OpenAtStart(arguments.at(1).toStdString());
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
