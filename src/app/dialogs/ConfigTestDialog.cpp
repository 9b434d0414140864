#include "app/dialogs/ConfigTestDialog.h"

#include "app/common/Prompter.h"
#include "app/common/UiText.h"
#include "files/ConfigPackage.h"
#include "framework/LocalException.h"
#include "framework/TextIds.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

namespace korvex {

namespace {
// The names of the package entries built for the alias "test", in order.
std::vector<std::string> ConfigPackageNames(const RenderState& state) {
    std::vector<uint8_t> package = BuildConfigPackage(state, "test.tdv");
    std::vector<PackageEntry> entries;
    if (!ReadPackageEntries(package.data(), package.size(), entries))
        RaiseError(text::app_package_unreadable);
    std::vector<std::string> names;
    for (const PackageEntry& e : entries)
        names.push_back(e.name);
    return names;
}
} // namespace

ConfigTestDialog::ConfigTestDialog(const RenderState& state, Prompter& prompter, QWidget* parent)
    : QDialog(parent), state(state), prompter(prompter) {
    setWindowTitle(Text(text::app_config_test_title));
    auto* label = new QLabel(Text(text::app_config_test_label));
    label->setWordWrap(true);
    list = new QListWidget;
    list->setObjectName(QStringLiteral("c1012"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(list, 1);
    layout->addWidget(buttons);
    resize(360, 360);
}

void ConfigTestDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    Fill();
}

void ConfigTestDialog::Fill() {
    if (filled)
        return;
    filled = true;
    try {
        for (const std::string& name : ConfigPackageNames(state))
            list->addItem(QString::fromStdString(name));
    } catch (const std::exception& e) {
        prompter.Error(this, QString::fromUtf8(e.what()));
    }
}

QStringList ConfigTestDialog::Names() const {
    QStringList names;
    for (int i = 0; i < list->count(); ++i)
        names << list->item(i)->text();
    return names;
}

} // namespace korvex
