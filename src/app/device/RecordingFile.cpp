#include "app/device/RecordingFile.h"

#include "app/common/UiText.h"
#include "framework/TextIds.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <algorithm>

namespace korvex {

namespace {

uint64_t BigEndian(const uint8_t* p, int bytes) {
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v = v << 8 | p[i];
    return v;
}

// One box header read at `at` of a region ending at `end`: its type, where
// its body starts and where the box ends. False when it does not fit.
struct Box {
    char type[5] = {};
    qint64 body = 0;
    qint64 end = 0;
};

bool ReadBox(QFile& file, qint64 at, qint64 end, Box& box) {
    uint8_t head[16];
    if (end - at < 8 || !file.seek(at) || file.read(reinterpret_cast<char*>(head), 8) != 8)
        return false;
    uint64_t size = BigEndian(head, 4);
    std::copy(head + 4, head + 8, box.type);
    box.body = at + 8;
    if (size == 1) { // a 64-bit size follows
        if (end - at < 16 || file.read(reinterpret_cast<char*>(head + 8), 8) != 8)
            return false;
        size = BigEndian(head + 8, 8);
        box.body = at + 16;
    } else if (size == 0) { // the box runs to the end
        size = uint64_t(end - at);
    }
    if (size < uint64_t(box.body - at) || size > uint64_t(end - at))
        return false;
    box.end = at + qint64(size);
    return true;
}

// The first box of `type` among the boxes from `at` to `end`.
std::optional<Box> FindBox(QFile& file, qint64 at, qint64 end, const char* type) {
    Box box;
    while (at < end && ReadBox(file, at, end, box)) {
        if (std::equal(box.type, box.type + 4, type))
            return box;
        at = box.end;
    }
    return std::nullopt;
}

QString LengthText(double seconds) {
    const qint64 s = qint64(seconds + 0.5);
    if (s >= 3600)
        return QStringLiteral("%1:%2:%3")
            .arg(s / 3600)
            .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
            .arg(s % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

std::optional<double> Mp4DurationSeconds(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const std::optional<Box> moov = FindBox(file, 0, file.size(), "moov");
    if (!moov)
        return std::nullopt;
    const std::optional<Box> mvhd = FindBox(file, moov->body, moov->end, "mvhd");
    if (!mvhd)
        return std::nullopt;
    // Version 0: 4 bytes version and flags, created and modified (4 each),
    // timescale, duration (4). Version 1: the times and duration are 8 bytes.
    uint8_t body[32];
    const qint64 have = std::min<qint64>(mvhd->end - mvhd->body, sizeof body);
    if (have < 20 || !file.seek(mvhd->body) || file.read(reinterpret_cast<char*>(body), have) != have)
        return std::nullopt;
    uint64_t timescale = 0, duration = 0;
    if (body[0] == 1) {
        if (have < 32)
            return std::nullopt;
        timescale = BigEndian(body + 20, 4);
        duration = BigEndian(body + 24, 8);
    } else {
        timescale = BigEndian(body + 12, 4);
        duration = BigEndian(body + 16, 4);
    }
    if (timescale == 0 || duration == 0xFFFFFFFFu || duration == ~uint64_t(0))
        return std::nullopt;
    return double(duration) / double(timescale);
}

QString RecordingFacts(const QString& path) {
    const QFileInfo info(path);
    if (!info.isFile())
        return {};
    const QString size = QLocale().formattedDataSize(info.size(), 1, QLocale::DataSizeTraditionalFormat);
    const std::optional<double> seconds = Mp4DurationSeconds(path);
    const QString length = seconds ? LengthText(*seconds) : Text(text::device_recordings_unknown_duration);
    return QString::fromStdString(FillText(Text(text::device_recordings_size_duration).toStdString(),
                                           {size.toStdString(), length.toStdString()}));
}

} // namespace korvex
