#include "app/device/OptionMaskDialog.h"

#include "app/common/UiText.h"
#include "framework/TextIds.h"
#include "live/LiveInterfaces.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace korvex {

OptionMaskDialog::OptionMaskDialog(OptionMaskState& state, QWidget* parent) : QDialog(parent), state(state) {
    setObjectName(QStringLiteral("optionMaskDialog"));
    setWindowTitle(Text(text::live_option_mask_title));
    auto* layout = new QVBoxLayout(this);
    auto* explain = new QLabel(Text(text::live_option_mask_explain));
    explain->setWordWrap(true);
    layout->addWidget(explain);
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(18);
    // Three columns of eight: bits 0-7, 8-15, 16-23, one byte each.
    for (int n = 0; n < kBoxCount; ++n) {
        auto* box = new QCheckBox(QString::fromStdString(
            FillText(Text(text::live_option_mask_bit).toStdString(), {std::to_string(n)})));
        box->setObjectName(QStringLiteral("box%1").arg(kFirstBox + n));
        box->setProperty("controlId", kFirstBox + n);
        connect(box, &QCheckBox::clicked, this, &OptionMaskDialog::Rebuild);
        grid->addWidget(box, n % 8, n / 8);
        boxes[size_t(n)] = box;
    }
    layout->addLayout(grid);
    auto* buttons = new QDialogButtonBox;
    QPushButton* close = buttons->addButton(Text(text::live_close), QDialogButtonBox::RejectRole);
    close->setObjectName(QStringLiteral("closeButton"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    // From now on the replies carry the (empty) mask; once the dialog has
    // returned the mask is absent again.
    state.SetMask(0);
    state.Open();
    connect(this, &QDialog::finished, this, [this] { this->state.Close(); });
}

OptionMaskDialog::~OptionMaskDialog() {
    // However the dialog ends, the mask is absent afterwards.
    state.Close();
}

QCheckBox* OptionMaskDialog::Box(int id) const {
    if (id < kFirstBox || id >= kFirstBox + kBoxCount)
        return nullptr;
    return boxes[size_t(id - kFirstBox)];
}

void OptionMaskDialog::Rebuild() {
    state.RebuildFromBoxes([this](int id) { return Box(id)->isChecked(); });
}

} // namespace korvex
