#pragma once

#include <QScrollArea>

namespace korvex {

// The container that scrolls one child larger than itself (the main view,
// the live view). The owner sets the child's size; the container follows:
// a line step is 20 pixels, a page step 120, the position is clamped to what the child's size
// allows, and a child smaller than the container sits at (0, 0).
class ScrollView : public QScrollArea {
    Q_OBJECT
public:
    explicit ScrollView(QWidget* parent = nullptr);

    // Fits the bars to the child's current size; called after the child or
    // the container has been resized.
    void Update();

    int X() const;
    int Y() const;

protected:
    void scrollContentsBy(int dx, int dy) override;
    void resizeEvent(QResizeEvent* event) override;
};

} // namespace korvex
