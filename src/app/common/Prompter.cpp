#include "app/common/Prompter.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace korvex {

namespace {
// A caption for boxes the text leaves without one: the program's name, as
// the platform's default caption would show it.
QString DefaultCaption() { return QStringLiteral("Korvex"); }

QString Filter(const QString& filterText, const QString& pattern) {
    QString text = filterText.isEmpty() ? pattern : filterText;
    return text + QStringLiteral(" (") + pattern + QStringLiteral(")");
}
} // namespace

Prompter::Answer QtPrompter::Question(QWidget* owner, const QString& text, const QString& caption) {
    auto r = QMessageBox::question(owner, caption.isEmpty() ? DefaultCaption() : caption, text,
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

QString QtPrompter::OpenFile(QWidget* owner, const QString& filterText, const QString& pattern) {
    return QFileDialog::getOpenFileName(owner, QString(), QDir::homePath(), Filter(filterText, pattern));
}

QString QtPrompter::SaveFile(QWidget* owner, const QString& title, const QString& filterText, const QString& pattern,
                             const QString& defaultSuffix) {
    QFileDialog dialog(owner, title, QDir::homePath(), Filter(filterText, pattern));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(defaultSuffix);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}

void QtPrompter::Beep() { QApplication::beep(); }

int QtPrompter::Choose(QWidget* owner, const QString& text, const QString& caption, const QStringList& items) {
    bool ok = false;
    QString chosen = QInputDialog::getItem(owner, caption.isEmpty() ? DefaultCaption() : caption, text, items, 0,
                                           false, &ok);
    return ok ? static_cast<int>(items.indexOf(chosen)) : -1;
}

} // namespace korvex
