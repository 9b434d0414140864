#include "app/frame/TabView.h"

#include "app/common/AppStrings.h"
#include "app/common/UiText.h"
#include "app/editor/MainView.h"
#include "app/live/LivePage.h"
#include "app/widgets/ScrollView.h"
#include "framework/ChangeFlags.h"

namespace korvex {

TabView::TabView(MainViewHost& host, Document& document, QWidget* parent) : QTabWidget(parent) {
    setDocumentMode(true);
    live = new LivePage;
    scroll = new ScrollView;
    scroll->setObjectName(QStringLiteral("mainScroll"));
    mainView = new MainView(host, document);
    scroll->setWidget(mainView);
    addTab(live, Text(kStrTabLive));
    addTab(scroll, Text(kStrTabEditor));
    activeTab = currentIndex();
    connect(this, &QTabWidget::currentChanged, this, [this](int index) {
        activeTab = index;
        ChangeFlags::Mark(ChangeFlags::PanesChanged);
        Q_EMIT ActiveTabChanged(index);
    });
    ChangeFlags::Mark(ChangeFlags::PanesChanged);
}

} // namespace korvex
