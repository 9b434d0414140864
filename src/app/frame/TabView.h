#pragma once

#include <QTabWidget>

class QLabel;

namespace korvex {

class Document;
class LiveView;
class MainView;
class MainViewHost;
class ScrollView;

// The tab control with the live page (tab 0) and the editing page (tab 1),
// each view in its own scroll container.
class TabView : public QTabWidget {
    Q_OBJECT
public:
    TabView(MainViewHost& host, Document& document, QWidget* parent = nullptr);

    MainView& View() { return *mainView; }
    ScrollView& Scroll() { return *scroll; }
    LiveView& Live() { return *live; }
    // 0 = live page, 1 = editing page.
    int ActiveTab() const { return activeTab; }
    // A line shown over the live page's cameras while the device cannot
    // send them (it restarts); empty hides it.
    void SetLiveBanner(const QString& text);
    QLabel& LiveBanner() { return *banner; }

Q_SIGNALS:
    void ActiveTabChanged(int tab);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void PlaceBanner();

    ScrollView* liveScroll;
    QLabel* banner;
    LiveView* live;
    ScrollView* scroll;
    MainView* mainView;
    int activeTab = 0;
};

} // namespace korvex
