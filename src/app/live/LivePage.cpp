#include "app/live/LivePage.h"

#include "app/common/AppStrings.h"
#include "app/common/UiText.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace korvex {

LivePage::LivePage(QWidget* parent) : QWidget(parent) {
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0x3a, 0x3f, 0x44));
    pal.setColor(QPalette::WindowText, QColor(0xe8, 0xec, 0xf0));
    setPalette(pal);
    auto* title = new QLabel(Text(kStrLivePageTitle));
    QFont f = title->font();
    f.setPointSizeF(f.pointSizeF() * 1.4);
    f.setBold(true);
    title->setFont(f);
    title->setAlignment(Qt::AlignCenter);
    auto* body = new QLabel(Text(kStrLivePageBody));
    body->setWordWrap(true);
    body->setAlignment(Qt::AlignCenter);
    body->setFixedWidth(520);
    target = new QLabel;
    target->setAlignment(Qt::AlignCenter);
    target->setObjectName(QStringLiteral("liveTarget"));
    auto* layout = new QVBoxLayout(this);
    layout->addStretch(2);
    layout->addWidget(title);
    layout->addSpacing(8);
    auto* centred = new QHBoxLayout;
    centred->addStretch();
    centred->addWidget(body);
    centred->addStretch();
    layout->addLayout(centred);
    layout->addSpacing(8);
    layout->addWidget(target);
    layout->addStretch(3);
    SetTarget(0);
}

void LivePage::SetTarget(uint32_t a) {
    if (a == 0) {
        target->setText(Text(kStrLiveNoDevice));
        return;
    }
    target->setText(Text(kStrLiveDevice) + QStringLiteral(" %1.%2.%3.%4")
                                               .arg(a & 0xFF)
                                               .arg((a >> 8) & 0xFF)
                                               .arg((a >> 16) & 0xFF)
                                               .arg((a >> 24) & 0xFF));
}

} // namespace korvex
