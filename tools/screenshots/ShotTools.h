#pragma once

// What the screenshot programs share: letting the window settle, saving a
// picture, grabbing part of the screen, and the common start (language and
// output folder).

#include "framework/StringTable.h"

#include <QDir>
#include <QEventLoop>
#include <QGuiApplication>
#include <QPixmap>
#include <QRect>
#include <QScreen>
#include <QString>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

namespace korvex::shots {

// Runs the event loop for `ms` milliseconds, so that layouts, repaints and
// posted calls have happened before a picture is taken.
inline void Settle(int ms = 250) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

inline bool SavePng(const QPixmap& shot, const QString& path) {
    if (shot.isNull() || !shot.save(path, "PNG")) {
        std::fprintf(stderr, "could not save %s\n", qPrintable(path));
        return false;
    }
    std::printf("wrote %s (%dx%d)\n", qPrintable(path), shot.width(), shot.height());
    return true;
}

// The screen's pixels in `r`, with whatever floats over the window.
inline bool ShootScreen(const QString& path, const QRect& r) {
    return SavePng(QGuiApplication::primaryScreen()->grabWindow(0, r.x(), r.y(), r.width(), r.height()),
                   path);
}

// Selects the language (KORVEX_SHOT_LANGUAGE names a language folder, for
// checking translations; "auto" otherwise) and makes the output folder.
inline QString StartShots(const char* outputFolder) {
    const char* language = std::getenv("KORVEX_SHOT_LANGUAGE");
    StringTable::Select(language ? language : "auto");
    const QString out = QString::fromLocal8Bit(outputFolder);
    QDir().mkpath(out);
    return out;
}

} // namespace korvex::shots
