#include "app/widgets/SecondsEdit.h"

#include "app/common/Prompter.h"

#include <QLineEdit>
#include <QLocale>

namespace korvex {

SecondsEdit::SecondsEdit(QLineEdit& edit, Prompter& prompter) : edit(edit), prompter(prompter) {}

std::optional<uint32_t> SecondsEdit::Parse(const QString& text) {
    if (text.isEmpty())
        return 0u;
    if (text.size() > 4)
        return std::nullopt;
    uint32_t whole = 0, tenth = 0;
    int before = 0, after = 0;
    bool separator = false;
    for (QChar c : text) {
        if (c == QLatin1Char('.') || c == QLatin1Char(',')) {
            if (separator)
                return std::nullopt;
            separator = true;
        } else if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
            uint32_t digit = static_cast<uint32_t>(c.unicode() - '0');
            if (!separator) {
                if (++before > 2)
                    return std::nullopt;
                whole = whole * 10 + digit;
            } else {
                if (++after > 1)
                    return std::nullopt;
                tenth = digit;
            }
        } else {
            return std::nullopt;
        }
    }
    return whole * 1000 + tenth * 100;
}

uint32_t SecondsEdit::Value() const {
    return Parse(lastValid).value_or(0);
}

QString SecondsEdit::Format(uint32_t ms) {
    return QStringLiteral("%1%2%3").arg(ms / 1000).arg(QLocale().decimalPoint()).arg((ms % 1000) / 100);
}

void SecondsEdit::SetValue(uint32_t ms) {
    SetText(Format(ms));
}

void SecondsEdit::SetText(const QString& text) {
    if (text == lastValid && edit.text() == text)
        return;
    lastValid = text;
    if (edit.text() != text)
        edit.setText(text);
}

bool SecondsEdit::Validate() {
    QString text = edit.text();
    if (Parse(text)) {
        lastValid = text;
        return true;
    }
    int cursor = edit.cursorPosition();
    edit.setText(lastValid);
    edit.setCursorPosition(std::min<int>(cursor > 0 ? cursor - 1 : 0, static_cast<int>(lastValid.size())));
    prompter.Beep();
    return false;
}

} // namespace korvex
