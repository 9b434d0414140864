#include "app/widgets/ScrollView.h"

#include "AppTestSupport.h"

#include <QScrollBar>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

namespace korvex {
namespace {

// A 300 x 200 container, shown, around a child whose size the test sets.
class ScrollViewTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::EnsureApplication(); }
    void SetUp() override {
        child = new QWidget;
        child->resize(1000, 800);
        view.setWidget(child);
        view.resize(300, 200);
        view.show();
        view.Update();
    }
    QScrollBar& Horizontal() { return *view.horizontalScrollBar(); }
    QScrollBar& Vertical() { return *view.verticalScrollBar(); }
    void Resize(int w, int h) {
        child->resize(w, h);
        view.Update();
    }

    ScrollView view;
    QWidget* child = nullptr;
};

TEST_F(ScrollViewTest, PageRequestsMoveByAFixedStepWhateverTheViewportSize) {
    ASSERT_GT(Vertical().maximum(), 240);
    Vertical().triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(view.Y(), 120);
    Vertical().triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(view.Y(), 240);
    Vertical().triggerAction(QAbstractSlider::SliderPageStepSub);
    EXPECT_EQ(view.Y(), 120);
    Horizontal().triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(view.X(), 120);
    EXPECT_EQ(child->pos(), QPoint(-120, -120));

    // The same step after the container has grown, and from the keyboard.
    view.resize(500, 400);
    view.Update();
    QTest::keyClick(&view, Qt::Key_PageDown);
    EXPECT_EQ(view.Y(), 240);
    QTest::keyClick(&view, Qt::Key_PageUp);
    QTest::keyClick(&view, Qt::Key_PageUp);
    EXPECT_EQ(view.Y(), 0);

    // The thumb still shows how much of the child is in sight.
    EXPECT_EQ(Vertical().pageStep(), view.viewport()->height());
}

TEST_F(ScrollViewTest, StepsStopAtTheEndsOfTheChild) {
    Vertical().triggerAction(QAbstractSlider::SliderPageStepSub);
    EXPECT_EQ(view.Y(), 0);
    Vertical().triggerAction(QAbstractSlider::SliderToMaximum);
    const int bottom = view.Y();
    EXPECT_EQ(bottom, 800 - view.viewport()->height());
    Vertical().triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(view.Y(), bottom);
    Vertical().triggerAction(QAbstractSlider::SliderSingleStepSub);
    EXPECT_EQ(view.Y(), bottom - 20);
    Vertical().triggerAction(QAbstractSlider::SliderToMinimum);
    EXPECT_EQ(view.Y(), 0);
}

TEST_F(ScrollViewTest, LineStepSurvivesResizesOfTheContainer) {
    view.resize(260, 180);
    view.Update();
    Horizontal().triggerAction(QAbstractSlider::SliderSingleStepAdd);
    Vertical().triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(view.X(), 20);
    EXPECT_EQ(view.Y(), 20);
}

TEST_F(ScrollViewTest, AShrunkChildPullsThePositionBackInsideItsRange) {
    Vertical().setValue(500);
    Horizontal().setValue(600);
    Resize(700, 400);
    EXPECT_EQ(view.Y(), 400 - view.viewport()->height());
    EXPECT_EQ(view.X(), 700 - view.viewport()->width());
    EXPECT_EQ(child->pos(), QPoint(-view.X(), -view.Y()));

    // A child smaller than the container sits at the origin, unscrolled.
    Resize(100, 50);
    EXPECT_EQ(view.X(), 0);
    EXPECT_EQ(view.Y(), 0);
    EXPECT_EQ(child->pos(), QPoint(0, 0));
    EXPECT_EQ(Vertical().maximum(), 0);
}

} // namespace
} // namespace korvex
