#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <optional>

class QLineEdit;

namespace korvex {

class Prompter;

// A time field in seconds with one decimal, holding milliseconds. Either
// separator is read ("1,5", "12.3", "0"); values are shown with the
// locale's. Text that does not read as such is undone at once with a
// beep, so the field always shows the last valid text.
class SecondsEdit : public QObject {
    Q_OBJECT
public:
    SecondsEdit(QLineEdit& edit, Prompter& prompter);

    // Milliseconds of `text`: "" gives 0; at most 4 characters; digits with
    // at most one "." or ","; at most 2 digits before it and 1 after it.
    static std::optional<uint32_t> Parse(const QString& text);

    // Parse of the last valid text, 0 if it fails.
    uint32_t Value() const;
    // `ms` as seconds with one decimal, written with the locale's decimal
    // separator ("1.5", "1,5").
    static QString Format(uint32_t ms);
    // Shows `ms` as Format writes it.
    void SetValue(uint32_t ms);
    // Writes `text` when it differs from the last valid text.
    void SetText(const QString& text);
    // Keeps the control's text if it parses, else restores the last valid
    // text and beeps. True when the text was kept.
    bool Validate();

private:
    QLineEdit& edit;
    Prompter& prompter;
    QString lastValid;
};

} // namespace korvex
