#include "app/common/Prompter.h"

#include "app/common/AppSettings.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

namespace korvex {

namespace {
// A caption for boxes the text leaves without one: the program's name, as
// the platform's default caption would show it.
QString DefaultCaption() {
    return QStringLiteral("Korvex");
}

QString Filter(const QString& filterText, const QString& pattern) {
    QString text = filterText.isEmpty() ? pattern : filterText;
    return text + QStringLiteral(" (") + pattern + QStringLiteral(")");
}
} // namespace

Prompter::Answer QtPrompter::Question(QWidget* owner, const QString& text, const QString& caption) {
    auto r =
        QMessageBox::question(owner, caption.isEmpty() ? DefaultCaption() : caption, text,
                              QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
    if (r == QMessageBox::Yes)
        return Yes;
    if (r == QMessageBox::No)
        return No;
    return Cancel;
}

bool QtPrompter::Warning(QWidget* owner, const QString& text, const QString& caption) {
    auto r = QMessageBox::warning(owner, caption.isEmpty() ? DefaultCaption() : caption, text,
                                  QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    return r == QMessageBox::Yes;
}

void QtPrompter::Error(QWidget* owner, const QString& text) {
    QMessageBox::critical(owner, DefaultCaption(), text);
}

void QtPrompter::Information(QWidget* owner, const QString& text, const QString& caption) {
    QMessageBox::information(owner, caption.isEmpty() ? DefaultCaption() : caption, text);
}

// Each kind of file dialog starts in the folder it was last used in.
QString QtPrompter::OpenFile(QWidget* owner, const QString& filterText, const QString& pattern) {
    const QString key = DialogKey("open", pattern);
    QString path =
        QFileDialog::getOpenFileName(owner, QString(), LastFolder(key), Filter(filterText, pattern));
    RememberFolder(key, path);
    return path;
}

QString QtPrompter::SaveFile(QWidget* owner, const QString& title, const QString& filterText,
                             const QString& pattern, const QString& defaultSuffix) {
    return SaveFileAt(owner, title, filterText, pattern, defaultSuffix, QString());
}

QString QtPrompter::SaveFileAt(QWidget* owner, const QString& title, const QString& filterText,
                               const QString& pattern, const QString& defaultSuffix,
                               const QString& suggested) {
    const QString key = DialogKey("save", pattern);
    // A path as the starting point selects its name in its folder.
    QFileDialog dialog(owner, title, suggested.isEmpty() ? LastFolder(key) : suggested,
                       Filter(filterText, pattern));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(defaultSuffix);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    RememberFolder(key, dialog.selectedFiles().first());
    return dialog.selectedFiles().first();
}

Prompter::Answer QtPrompter::AskThreeWay(QWidget* owner, const QString& text, const QString& caption,
                                         const QString& yes, const QString& no, const QString& cancel) {
    QMessageBox box(QMessageBox::Question, caption.isEmpty() ? DefaultCaption() : caption, text,
                    QMessageBox::NoButton, owner);
    QPushButton* yesButton = box.addButton(yes, QMessageBox::AcceptRole);
    QPushButton* noButton = box.addButton(no, QMessageBox::DestructiveRole);
    QPushButton* cancelButton = box.addButton(cancel, QMessageBox::RejectRole);
    box.setDefaultButton(yesButton);
    box.setEscapeButton(cancelButton);
    box.exec();
    if (box.clickedButton() == yesButton)
        return Yes;
    if (box.clickedButton() == noButton)
        return No;
    return Cancel;
}

void QtPrompter::Beep() {
    QApplication::beep();
}

int QtPrompter::Choose(QWidget* owner, const QString& text, const QString& caption,
                       const QStringList& items) {
    bool ok = false;
    QString chosen = QInputDialog::getItem(owner, caption.isEmpty() ? DefaultCaption() : caption, text, items,
                                           0, false, &ok);
    return ok ? static_cast<int>(items.indexOf(chosen)) : -1;
}

} // namespace korvex
