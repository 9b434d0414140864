#include "app/device/Ipv4Edit.h"

#include <QRegularExpression>
#include <QRegularExpressionValidator>

namespace korvex {

namespace {
const char* const kOctet = "(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])";
}

Ipv4Edit::Ipv4Edit(QWidget* parent) : QLineEdit(parent) {
    // Partial input is allowed while typing; anything that could never be
    // an address is refused at the key.
    const QString octet = QString::fromLatin1(kOctet);
    setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("^(%1(\\.(%1(\\.(%1(\\.(%1)?)?)?)?)?)?)?$").arg(octet)), this));
    setMaxLength(15);
    setPlaceholderText(QStringLiteral("0.0.0.0"));
    QFontMetrics metrics(font());
    setMinimumWidth(metrics.horizontalAdvance(QStringLiteral("000.000.000.000")) + 16);
    connect(this, &QLineEdit::textEdited, this, [this] { SetMarked(false); });
}

std::optional<uint32_t> Ipv4Edit::Parse(const QString& text) {
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return std::nullopt;
    uint32_t value = 0;
    for (const QString& part : parts) {
        if (part.isEmpty() || part.size() > 3)
            return std::nullopt;
        bool ok = false;
        const uint32_t octet = part.toUInt(&ok, 10);
        if (!ok || octet > 255 || !part.at(0).isDigit())
            return std::nullopt;
        value = value << 8 | octet;
    }
    return value;
}

QString Ipv4Edit::TextOf(uint32_t a) {
    return QStringLiteral("%1.%2.%3.%4").arg(a >> 24).arg((a >> 16) & 255).arg((a >> 8) & 255).arg(a & 255);
}

std::optional<uint32_t> Ipv4Edit::Address() const {
    return Parse(text());
}

void Ipv4Edit::SetAddress(uint32_t hostOrder) {
    setText(TextOf(hostOrder));
    SetMarked(false);
}

static uint32_t Swap(uint32_t a) {
    return (a & 255) << 24 | ((a >> 8) & 255) << 16 | ((a >> 16) & 255) << 8 | (a >> 24);
}

std::optional<uint32_t> Ipv4Edit::NetworkAddress() const {
    auto a = Address();
    if (!a)
        return std::nullopt;
    return Swap(*a);
}

void Ipv4Edit::SetNetworkAddress(uint32_t networkOrder) {
    SetAddress(Swap(networkOrder));
}

void Ipv4Edit::SetMarked(bool on, const QString& reason) {
    if (marked == on && (!on || toolTip() == reason))
        return;
    marked = on;
    setProperty("refused", on);
    setStyleSheet(on ? QStringLiteral("QLineEdit { border: 2px solid #c62828; background: #fff0f0; }")
                     : QString());
    setToolTip(on ? reason : QString());
}

} // namespace korvex
