// The tuning window: which controls a detector enables, what reaches the
// live thread's selection, the plot, the pointer read-outs, click-to-set
// with its question, and the saved trace.
#include "AppTestSupport.h"
#include "app/common/UiText.h"
#include "app/sinks/LiveForwarders.h"
#include "app/tuning/TuningFrame.h"
#include "framework/TextIds.h"
#include "model/Detector.h"
#include "model/Document.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <thread>

namespace korvex::test {
namespace {

class TuningWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureApplication(); }
    void SetUp() override {
        // A project with one selected plain detector (card C, number 5).
        document.New();
        RenderState s = document.Current();
        s.detectors.push_back(Plain());
        document.NewRenderState(std::move(s), Selection{0, ""});
        frame.SetSelection(&sink);
        frame.SetAsker([this](QWidget*, const QString& text, const QString& caption) {
            questions.push_back(text + " | " + caption);
            return answer;
        });
        frame.resize(340, 600);
        frame.show();
        QTest::qWait(1);
    }
    static Detector Plain(uint32_t card = 2, uint32_t number = 5) {
        Detector d;
        d.card = card;
        d.number = number;
        d.feature_threshold = 880;
        d.threshold = 40;
        return d;
    }
    // A trace whose total is 1000: 400 at the first sample, then 600 at
    // the middle one.
    static TuningCurve Trace() {
        TuningTrace t{};
        t[0] = 400;
        t[125] = 600;
        return TuningCurve::FromTrace(t);
    }
    TuningView& View() { return frame.View(); }

    const Detector& Selected() { return *document.SelectedDetector(); }

    Document document;
    TuningForwarder sink;
    TuningFrame frame{document};
    bool answer = true;
    std::vector<QString> questions;
};

TEST_F(TuningWindowTest, EnablingRulesAndTheSelectionForTheLiveThread) {
    int camera = 0, detector = 0;
    bool once = false;
    EXPECT_FALSE(frame.FeatureEdit().isEnabled());
    EXPECT_FALSE(frame.RequestButton().isEnabled());
    EXPECT_TRUE(frame.FeatureEdit().text().isEmpty());
    EXPECT_FALSE(sink.GetTuningRequest(camera, detector, once));

    Detector d = Plain();
    frame.ShowDetector(&d);
    EXPECT_TRUE(frame.FeatureEdit().isEnabled());
    EXPECT_TRUE(frame.ThresholdEdit().isEnabled());
    EXPECT_TRUE(frame.RequestButton().isEnabled());
    EXPECT_EQ(frame.FeatureEdit().text(), QStringLiteral("880"));
    EXPECT_EQ(frame.ThresholdEdit().text(), QStringLiteral("40"));
    // Card and number - 1 reach the live thread.
    ASSERT_TRUE(sink.GetTuningRequest(camera, detector, once));
    EXPECT_EQ(camera, 2);
    EXPECT_EQ(detector, 4);

    // A contrast detector: fields and button off, values still shown.
    d.contrast = true;
    frame.ShowDetector(&d);
    EXPECT_FALSE(frame.FeatureEdit().isEnabled());
    EXPECT_FALSE(frame.RequestButton().isEnabled());
    EXPECT_EQ(frame.FeatureEdit().text(), QStringLiteral("880"));
    frame.SetCurve(Trace());
    const QImage plot = View().Plot();
    EXPECT_EQ(plot.pixel(220, 2) & 0xFFFFFF, 0xC80000u); // cross-hair still drawn

    frame.ShowDetector(nullptr);
    EXPECT_TRUE(frame.ThresholdEdit().text().isEmpty());
    EXPECT_FALSE(sink.GetTuningRequest(camera, detector, once));
    // The trace stays when the selection goes.
    EXPECT_EQ(View().Curve().Total(), 1000u);
}

TEST_F(TuningWindowTest, EqualTextsAreNotRewrittenAndOnlyTypingEdits) {
    Detector d = Selected();
    frame.ShowDetector(&d);
    const int start = document.CurrentIndex();
    QSignalSpy changed(&frame.FeatureEdit(), &QLineEdit::textChanged);
    frame.FeatureEdit().setCursorPosition(1);
    frame.ShowDetector(&d);
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(frame.FeatureEdit().cursorPosition(), 1);
    d.feature_threshold = 500;
    frame.ShowDetector(&d);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(document.CurrentIndex(), start); // the window's own update is no edit

    // Typing edits the selected detector through the document, one state
    // per accepted change; the other threshold stays.
    frame.FeatureEdit().setFocus();
    frame.FeatureEdit().selectAll();
    QTest::keyClicks(&frame.FeatureEdit(), QStringLiteral("72"));
    EXPECT_EQ(Selected().feature_threshold, 72u);
    EXPECT_EQ(Selected().threshold, 40u);
    EXPECT_EQ(document.CurrentIndex(), start + 2); // "7", then "72"
    frame.ThresholdEdit().setFocus();
    frame.ThresholdEdit().selectAll();
    QTest::keyClick(&frame.ThresholdEdit(), Qt::Key_Backspace);
    EXPECT_EQ(Selected().threshold, 0u); // no number: 0
    EXPECT_EQ(Selected().feature_threshold, 72u);
    // A text that gives the same value makes no state.
    const int now = document.CurrentIndex();
    QTest::keyClicks(&frame.ThresholdEdit(), QStringLiteral("0"));
    EXPECT_EQ(document.CurrentIndex(), now);

    EXPECT_EQ(TuningFrame::LeadingNumber(QStringLiteral("12ab")), 12u);
    EXPECT_EQ(TuningFrame::LeadingNumber(QStringLiteral("x12")), 0u);
    EXPECT_EQ(TuningFrame::LeadingNumber(QStringLiteral("99999999999999")), 0xFFFFFFFFu);
}

TEST_F(TuningWindowTest, RequestButtonIsReportedOnce) {
    Detector d = Plain();
    frame.ShowDetector(&d);
    QTest::mouseClick(&frame.RequestButton(), Qt::LeftButton);
    QTest::mouseClick(&frame.RequestButton(), Qt::LeftButton);
    int camera, detector;
    bool once = false;
    ASSERT_TRUE(sink.GetTuningRequest(camera, detector, once));
    EXPECT_TRUE(once);
    ASSERT_TRUE(sink.GetTuningRequest(camera, detector, once));
    EXPECT_FALSE(once);
}

TEST_F(TuningWindowTest, PlotCurveAndCrossHair) {
    Detector d = Plain();
    frame.ShowDetector(&d);
    // Without a trace the plot is white, cross-hair included.
    QImage empty = View().Plot();
    for (int x : {0, 100, 220, 249})
        for (int y : {0, empty.height() / 2, empty.height() - 1})
            ASSERT_EQ(empty.pixel(x, y) & 0xFFFFFF, 0xFFFFFFu);

    frame.SetCurve(Trace());
    QImage plot = View().Plot();
    const int h = plot.height();
    // Bin 0 holds 40 % of the total, bins from 125 on all of it.
    EXPECT_EQ(plot.pixel(10, h - 1) & 0xFFFFFF, 0x007F00u);
    EXPECT_EQ(plot.pixel(10, h - h * 4 / 10 + 1) & 0xFFFFFF, 0x007F00u);
    EXPECT_EQ(plot.pixel(10, h - h * 4 / 10 - 2) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(plot.pixel(130, 0) & 0xFFFFFF, 0x007F00u);
    // Feature 880: the red line at column 220; threshold 40 of 1000.
    EXPECT_EQ(plot.pixel(220, 1) & 0xFFFFFF, 0xC80000u);
    EXPECT_EQ(plot.pixel(219, 1) & 0xFFFFFF, 0x007F00u);
    const int row = h - h * 40 / 1000;
    EXPECT_EQ(plot.pixel(5, row) & 0xFFFFFF, 0xC80000u);
}

TEST_F(TuningWindowTest, PointerReadoutsAndClickToSet) {
    Detector d = Selected();
    frame.ShowDetector(&d);
    const int start = document.CurrentIndex();
    const QRect area = View().contentsRect();
    const QPoint middle = area.topLeft() + QPoint(area.width() / 2, area.height() / 2);

    // No trace: the pointer reads nothing and a click asks nothing.
    QTest::mouseMove(&View(), middle);
    EXPECT_TRUE(frame.FeatureReadout().text().isEmpty());
    QTest::mouseClick(&View(), Qt::LeftButton, Qt::NoModifier, middle);
    EXPECT_TRUE(questions.empty());
    EXPECT_EQ(document.CurrentIndex(), start);

    frame.SetCurve(Trace());
    QTest::mouseMove(&View(), middle + QPoint(1, 0));
    QTest::mouseMove(&View(), middle);
    const unsigned wantFeature = unsigned(area.width() / 2 * 1000 / area.width());
    const unsigned wantThreshold = unsigned((area.height() - area.height() / 2) * 1000 / area.height());
    EXPECT_EQ(frame.FeatureReadout().text(), QString::number(wantFeature));
    EXPECT_EQ(frame.ThresholdReadout().text(), QString::number(wantThreshold));

    answer = false;
    QTest::mouseClick(&View(), Qt::LeftButton, Qt::NoModifier, middle);
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_TRUE(questions[0].endsWith(QStringLiteral(" | Threshold tuning")));
    EXPECT_EQ(document.CurrentIndex(), start); // No: nothing changes

    answer = true;
    QTest::mouseClick(&View(), Qt::LeftButton, Qt::NoModifier, middle);
    // Both thresholds in one undo state.
    EXPECT_EQ(document.CurrentIndex(), start + 1);
    EXPECT_EQ(Selected().feature_threshold, wantFeature);
    EXPECT_EQ(Selected().threshold, wantThreshold);
    document.Undo();
    EXPECT_EQ(Selected().feature_threshold, 880u);
    EXPECT_EQ(Selected().threshold, 40u);
}

TEST_F(TuningWindowTest, TraceFromTheLiveThreadArrivesWholeAndSaves) {
    RenderState s = document.Current();
    s.detectors.push_back(Plain(1, 3));
    document.NewRenderState(std::move(s), Selection{1, ""});
    frame.ShowDetector(document.SelectedDetector());
    sink.AttachView(&frame, [this](const TuningCurve& c) { frame.SetCurve(c); });
    EXPECT_FALSE(frame.SaveButton().isEnabled());
    TuningTrace t{};
    t.fill(2);
    std::thread live([&] { sink.SetTrace(t); });
    live.join();
    // The trace reaches the window through the event queue.
    EXPECT_TRUE(
        WaitUntil([&] { return View().Curve().Total() == 500u; }, std::chrono::seconds(10), ProcessEvents));
    EXPECT_TRUE(frame.SaveButton().isEnabled());

    TempDir dir;
    const QString path = QString::fromStdString(dir.Path()) + QStringLiteral("/trace.csv");
    frame.SetFileChooser([&](QWidget*) { return path; });
    // The trace keeps the camera and number it came for.
    frame.ShowDetector(nullptr);
    QTest::mouseClick(&frame.SaveButton(), Qt::LeftButton);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    ASSERT_GE(lines.size(), 251);
    EXPECT_EQ(lines[0], QByteArray("camera,detector,bin,feature_threshold,sample,cumulative"));
    EXPECT_EQ(lines[1], QByteArray("1,3,0,0,2,2"));
    EXPECT_EQ(lines[250], QByteArray("1,3,249,996,2,500"));
}

TEST_F(TuningWindowTest, ThePaneSaysWhatItShows) {
    frame.ShowDetector(document.SelectedDetector());
    frame.SetCurve(Trace());
    const QRect area = View().contentsRect();
    const QPoint middle = area.topLeft() + QPoint(area.width() / 2, area.height() / 2);
    QTest::mouseMove(&View(), middle + QPoint(1, 0));
    QTest::mouseMove(&View(), middle);
    answer = false;
    QTest::mouseClick(&View(), Qt::LeftButton, Qt::NoModifier, middle);
    ASSERT_EQ(questions.size(), 1u);
    const QString feature = frame.FeatureReadout().text(), threshold = frame.ThresholdReadout().text();

    struct Case {
        const char* what;
        QString text;
        std::vector<QString> holds;
    };
    const Case cases[] = {
        {"the detector is named", frame.DetectorLine().text(), {QStringLiteral("C5")}},
        {"the pointer's values are labelled",
         frame.PointerLine().text(),
         {feature, threshold, Text(text::onsite_tuning_readout).section(QLatin1Char(' '), 0, 0)}},
        {"the question names the detector, the new values and the old",
         questions[0],
         {QStringLiteral("C5"), feature, threshold, QStringLiteral("880"), QStringLiteral("40")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const QString& part : c.holds)
            EXPECT_TRUE(c.text.contains(part)) << c.text.toStdString() << " lacks " << part.toStdString();
    }

    // Another detector keeps the trace, and says whose it is.
    RenderState s = document.Current();
    s.detectors.push_back(Plain(0, 2));
    document.NewRenderState(std::move(s), Selection{1, ""});
    frame.ShowDetector(document.SelectedDetector());
    EXPECT_TRUE(frame.DetectorLine().text().contains(QStringLiteral("A2")));
    EXPECT_TRUE(frame.DetectorLine().text().contains(QStringLiteral("C5")));
    EXPECT_TRUE(frame.SaveButton().isEnabled());
    // A new project: the trace's detector is gone, and so is the trace.
    document.New();
    frame.ShowDetector(nullptr);
    EXPECT_EQ(View().Curve().Total(), 0u);
    EXPECT_FALSE(frame.SaveButton().isEnabled());
    EXPECT_EQ(frame.DetectorLine().text(), Text(text::onsite_tuning_none));
}

} // namespace
} // namespace korvex::test
