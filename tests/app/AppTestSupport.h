#pragma once

#include "app/common/Prompter.h"
#include "app/frame/MainFrame.h"
#include "model/Document.h"
#include "support/EditState.h"
#include "support/TempDir.h"
#include "support/WaitUntil.h"

#include <QPoint>
#include <QString>
#include <deque>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace korvex::test {

// The one application object of the test program.
void EnsureApplication();

// Runs the event loop until it has gone idle at least once, so the frame's
// deferred refreshes (one per idle moment) have run.
void RunIdle(int ms = 30);

// Runs the event loop for a short moment: the pause of WaitUntil in tests
// whose condition is met by queued calls or timers.
void ProcessEvents();

// A window's title as the window system shows it: "[*]" becomes "*" while
// the window is marked modified and goes otherwise.
QString ShownTitle(const QWidget& window);

// Answers every box and file dialog from a script and records what was
// asked.
class FakePrompter : public Prompter {
public:
    Answer Question(QWidget*, const QString& text, const QString& caption) override {
        questions.push_back(text + " | " + caption);
        return questionAnswer;
    }
    bool Warning(QWidget*, const QString& text, const QString&) override {
        warnings.push_back(text);
        return warningAnswer;
    }
    void Error(QWidget*, const QString& text) override { errors.push_back(text); }
    void Information(QWidget*, const QString& text, const QString&) override { infos.push_back(text); }
    QString OpenFile(QWidget*, const QString&, const QString& pattern) override {
        openPatterns.push_back(pattern);
        return openAnswer;
    }
    QString SaveFile(QWidget*, const QString&, const QString&, const QString&, const QString&) override {
        ++saveDialogs;
        return saveAnswer;
    }
    Answer AskThreeWay(QWidget*, const QString& text, const QString& caption, const QString& yes,
                       const QString& no, const QString& cancel) override {
        questions.push_back(text + " | " + caption);
        threeWayButtons.push_back(yes + "," + no + "," + cancel);
        return questionAnswer;
    }
    QString SaveFileAt(QWidget* owner, const QString& title, const QString& filterText,
                       const QString& pattern, const QString& suffix, const QString& suggested) override {
        suggestions.push_back(suggested);
        return SaveFile(owner, title, filterText, pattern, suffix);
    }
    void Beep() override { ++beeps; }
    int Choose(QWidget*, const QString& text, const QString&, const QStringList& items) override {
        choices.push_back(text + " | " + items.join(QLatin1Char(',')));
        return items.indexOf(chooseAnswer);
    }

    Answer questionAnswer = Cancel;
    bool warningAnswer = false;
    QString openAnswer;
    QString saveAnswer;
    QString chooseAnswer; // the item Choose picks; none when it is not offered
    std::vector<QString> questions, warnings, errors, infos, openPatterns, choices;
    std::vector<QString> threeWayButtons; // "yes,no,cancel" of each AskThreeWay
    std::vector<QString> suggestions;     // where each SaveFileAt started
    int saveDialogs = 0;
    int beeps = 0;
};

// A frame without worker threads, shown on the offscreen platform, on the
// editing page, with the change flags drained.
class FrameTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureApplication(); }
    void SetUp() override;
    void TearDown() override;

    MainView& View() { return frame->View(); }
    Document& Doc() { return frame->View().GetDocument(); }
    const RenderState& State() { return frame->View().State(); }
    // A point of the view over canvas point (x, y) of `card` at the current
    // zoom.
    QPoint At(int card, int x, int y);
    // Adds a detector with the given corners on `card` as one edit.
    int AddQuad(int card, std::array<Point, 4> points, uint32_t number = 0);
    void Press(QPoint p);
    void MoveTo(QPoint p);
    void Release(QPoint p);
    void Click(QPoint p);
    void Drag(QPoint from, QPoint to);

    FakePrompter prompts;
    std::unique_ptr<MainFrame> frame;
};

} // namespace korvex::test
