#include "app/device/KeptProgram.h"

#include "app/common/UiText.h"
#include "framework/TextIds.h"

#include <QRegularExpression>

namespace korvex {

QDateTime KeptProgramTime(const std::string& fileName) {
    static const QRegularExpression pattern(
        QStringLiteral("^(\\d{4})(\\d{2})(\\d{2})T(\\d{2})(\\d{2})(\\d{2})\\.(\\d{3})Z\\.kvx$"));
    const QRegularExpressionMatch m = pattern.match(QString::fromStdString(fileName));
    if (!m.hasMatch())
        return {};
    auto part = [&](int i) { return m.captured(i).toInt(); };
    const QDate date(part(1), part(2), part(3));
    const QTime time(part(4), part(5), part(6), part(7));
    if (!date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time, Qt::UTC);
}

QString KeptProgramLabel(const std::string& fileName, const QString& device) {
    const QDateTime utc = KeptProgramTime(fileName);
    if (!utc.isValid())
        return QString::fromStdString(fileName) + QStringLiteral(" (") + device + QLatin1Char(')');
    const QDateTime local = utc.toLocalTime();
    return QString::fromStdString(
        FillText(Text(text::device_kept_program).toStdString(),
                 {local.toString(QStringLiteral("yyyy-MM-dd")).toStdString(),
                  local.toString(QStringLiteral("HH:mm:ss")).toStdString(), device.toStdString()}));
}

} // namespace korvex
