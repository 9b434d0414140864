#include "app/common/Icons.h"

#include "app/common/Commands.h"

#include <QGuiApplication>
#include <QPixmap>

namespace korvex {

QIcon ToolbarIcon(int index) {
    QIcon icon;
    QString base = QStringLiteral(":/toolbar/tb%1").arg(index, 2, 10, QLatin1Char('0'));
    icon.addFile(base + QStringLiteral(".png"), QSize(16, 16));
    icon.addFile(base + QStringLiteral("@2x.png"), QSize(32, 32));
    return icon;
}

QCursor ModeCursor(int mode) {
    const char* name = nullptr;
    int hotX = 16, hotY = 16;
    switch (mode) {
    case ModeErase:
        name = "erase";
        break;
    case ModeMove:
        name = "move";
        break;
    case ModeAim:
        name = "aim";
        break;
    case ModeMoveCard:
        name = "movecard";
        hotX = 14;
        hotY = 14;
        break;
    default:
        return QCursor(Qt::ArrowCursor);
    }
    qreal ratio = qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
    QString file = QStringLiteral(":/pointers/") + QLatin1String(name) +
                   (ratio > 1.0 ? QStringLiteral("@2x.png") : QStringLiteral(".png"));
    QPixmap pixmap(file);
    if (pixmap.isNull())
        return QCursor(Qt::CrossCursor);
    if (ratio > 1.0)
        pixmap.setDevicePixelRatio(2.0);
    return QCursor(pixmap, hotX, hotY);
}

QIcon ProblemIcon() { return QIcon(QStringLiteral(":/icons/problem.png")); }

QIcon ProgramIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128})
        icon.addFile(QStringLiteral(":/icons/korvex%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace korvex
