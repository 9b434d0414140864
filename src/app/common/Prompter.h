#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace korvex {

// Every question, message box and file dialog the editing code shows goes
// through this interface, so tests can answer them without a modal loop.
class Prompter {
public:
    enum Answer { Yes, No, Cancel };

    virtual ~Prompter() = default;
    // Question box with Yes, No and Cancel.
    virtual Answer Question(QWidget* owner, const QString& text, const QString& caption) = 0;
    // Warning box with Yes and No, No being the default; true for Yes.
    virtual bool Warning(QWidget* owner, const QString& text, const QString& caption) = 0;
    // Error box (error icon, one OK button, the default caption).
    virtual void Error(QWidget* owner, const QString& text) = 0;
    virtual void Information(QWidget* owner, const QString& text, const QString& caption) = 0;
    // File dialogs; an empty result means cancelled.
    virtual QString OpenFile(QWidget* owner, const QString& filterText, const QString& pattern) = 0;
    virtual QString SaveFile(QWidget* owner, const QString& title, const QString& filterText,
                             const QString& pattern, const QString& defaultSuffix) = 0;
    // A save dialog that starts at `suggested`, a path whose folder and
    // name are offered (the project's own, say); a prompter without it
    // shows SaveFile's.
    virtual QString SaveFileAt(QWidget* owner, const QString& title, const QString& filterText,
                               const QString& pattern, const QString& defaultSuffix,
                               const QString& /*suggested*/) {
        return SaveFile(owner, title, filterText, pattern, defaultSuffix);
    }
    // The platform's default beep.
    virtual void Beep() = 0;
    // Lets the user pick one of `items`; its index, or -1 when cancelled.
    virtual int Choose(QWidget* /*owner*/, const QString& /*text*/, const QString& /*caption*/,
                       const QStringList& /*items*/) {
        return -1;
    }
    // A question with three answers of its own wording (Yes is the default,
    // Cancel the escape); a prompter without it asks Question.
    virtual Answer AskThreeWay(QWidget* owner, const QString& text, const QString& caption,
                               const QString& /*yes*/, const QString& /*no*/, const QString& /*cancel*/) {
        return Question(owner, text, caption);
    }
};

// The real dialogs.
class QtPrompter : public Prompter {
public:
    Answer Question(QWidget* owner, const QString& text, const QString& caption) override;
    bool Warning(QWidget* owner, const QString& text, const QString& caption) override;
    void Error(QWidget* owner, const QString& text) override;
    void Information(QWidget* owner, const QString& text, const QString& caption) override;
    QString OpenFile(QWidget* owner, const QString& filterText, const QString& pattern) override;
    QString SaveFile(QWidget* owner, const QString& title, const QString& filterText, const QString& pattern,
                     const QString& defaultSuffix) override;
    QString SaveFileAt(QWidget* owner, const QString& title, const QString& filterText,
                       const QString& pattern, const QString& defaultSuffix,
                       const QString& suggested) override;
    void Beep() override;
    int Choose(QWidget* owner, const QString& text, const QString& caption,
               const QStringList& items) override;
    Answer AskThreeWay(QWidget* owner, const QString& text, const QString& caption, const QString& yes,
                       const QString& no, const QString& cancel) override;
};

} // namespace korvex
