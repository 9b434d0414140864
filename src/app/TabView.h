#pragma once

#include <QTabWidget>

class QLabel;

namespace korvex {

class MainView;
class MainViewHost;
class ScrollView;

// The page of the live tab until the live pictures arrive in a later
// release: it says so and points to the editor.
class LivePage : public QWidget {
    Q_OBJECT
public:
    explicit LivePage(QWidget* parent = nullptr);
    // The device the user picked in the explorer (network byte order).
    void SetTarget(uint32_t address);

private:
    QLabel* target;
};

// The tab control with the live page (tab 0) and the editing page (tab 1).
class TabView : public QTabWidget {
    Q_OBJECT
public:
    TabView(MainViewHost& host, QWidget* parent = nullptr);

    MainView& View() { return *mainView; }
    ScrollView& Scroll() { return *scroll; }
    LivePage& Live() { return *live; }
    // 0 = live page, 1 = editing page.
    int ActiveTab() const { return activeTab; }

signals:
    void ActiveTabChanged(int tab);

private:
    LivePage* live;
    ScrollView* scroll;
    MainView* mainView;
    int activeTab = 0;
};

} // namespace korvex
