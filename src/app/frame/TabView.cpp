#include "app/frame/TabView.h"

#include "app/common/UiText.h"
#include "app/editor/MainView.h"
#include "app/live/LiveView.h"
#include "app/widgets/ScrollView.h"
#include "framework/TextIds.h"

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
    activeTab = currentIndex();
    connect(this, &QTabWidget::currentChanged, this, [this](int index) {
        activeTab = index;
        Q_EMIT ActiveTabChanged(index);
    });
}

} // namespace korvex
