#include "app/frame/TabView.h"

#include "app/common/UiText.h"
#include "app/editor/MainView.h"
#include "app/live/LiveView.h"
#include "app/widgets/ScrollView.h"
#include "framework/TextIds.h"

#include <QEvent>
#include <QLabel>

namespace korvex {

TabView::TabView(MainViewHost& host, Document& document, QWidget* parent) : QTabWidget(parent) {
    setDocumentMode(true);
    liveScroll = new ScrollView;
    liveScroll->setObjectName(QStringLiteral("liveScroll"));
    live = new LiveView;
    liveScroll->setWidget(live);
    // The live view changes its size as cameras come and go and as it
    // zooms; the bars follow.
    connect(live, &LiveView::ContentSizeChanged, liveScroll, &ScrollView::Update);
    scroll = new ScrollView;
    scroll->setObjectName(QStringLiteral("mainScroll"));
    mainView = new MainView(host, document);
    scroll->setWidget(mainView);
    addTab(liveScroll, Text(text::frame_tab_live));
    addTab(scroll, Text(text::frame_tab_editor));
    banner = new QLabel(liveScroll);
    banner->setObjectName(QStringLiteral("liveBanner"));
    banner->setAlignment(Qt::AlignCenter);
    banner->setStyleSheet(QStringLiteral("QLabel { background: rgba(40, 40, 40, 210); color: white;"
                                         " font-size: 20pt; font-weight: bold; padding: 18px 32px;"
                                         " border-radius: 8px; }"));
    banner->hide();
    liveScroll->installEventFilter(this);
    activeTab = currentIndex();
    connect(this, &QTabWidget::currentChanged, this, [this](int index) {
        activeTab = index;
        Q_EMIT ActiveTabChanged(index);
    });
}

void TabView::SetLiveBanner(const QString& text) {
    banner->setText(text);
    banner->setVisible(!text.isEmpty());
    PlaceBanner();
}

void TabView::PlaceBanner() {
    if (banner->isHidden())
        return;
    banner->adjustSize();
    // Over the cameras, in the middle of the page's visible part.
    const QRect area = liveScroll->rect();
    banner->move(area.center() - QPoint(banner->width() / 2, banner->height() / 2));
    banner->raise();
}

bool TabView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == liveScroll && (event->type() == QEvent::Resize || event->type() == QEvent::Show))
        PlaceBanner();
    return QTabWidget::eventFilter(watched, event);
}

} // namespace korvex
