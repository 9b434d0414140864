// The frame as an engineer on site meets it: the unsaved mark in the title,
// the close question, the names of undo steps.
#include "AppTestSupport.h"
#include "app/common/Commands.h"
#include "app/common/UiText.h"
#include "app/compare/ComparePane.h"
#include "app/report/ReportWriter.h"
#include "app/session/ProjectSession.h"
#include "framework/StringTable.h"
#include "framework/TextIds.h"
#include "support/CommandRun.h"

#include <QAction>
#include <QListWidget>
#include <functional>

namespace korvex::test {
namespace {

using OnSiteFrameTest = FrameTest;

const std::array<Point, 4> kSquare{{{100, 100}, {140, 100}, {140, 140}, {100, 140}}};

TEST_F(OnSiteFrameTest, TheUnsavedMarkFollowsTheDistanceFromTheSavedState) {
    TempDir dir;
    const std::string path = dir.Path() + "/gate.kvx";
    AddQuad(0, kSquare);
    prompts.saveAnswer = QString::fromStdString(path);
    frame->OnCommand(CmdSave);
    ASSERT_TRUE(prompts.errors.empty()) << prompts.errors[0].toStdString();

    struct Step {
        const char* what;
        std::function<void()> act;
        bool marked;
    };
    const Step steps[] = {
        {"just saved", [] {}, false},
        {"an edit", [&] { AddQuad(1, kSquare); }, true},
        {"undo back to the saved state", [&] { frame->OnCommand(CmdUndo); }, false},
        {"redo", [&] { frame->OnCommand(CmdRedo); }, true},
        {"undo twice, before the saved state",
         [&] {
             frame->OnCommand(CmdUndo);
             frame->OnCommand(CmdUndo);
         },
         true},
        {"redo to the saved state", [&] { frame->OnCommand(CmdRedo); }, false},
        {"undo and a new edit drop the saved state's successor",
         [&] {
             frame->OnCommand(CmdUndo);
             AddQuad(2, kSquare);
         },
         true},
        {"the saved state is no longer reachable forwards", [&] { frame->OnCommand(CmdUndo); }, true},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.act();
        RunIdle();
        const QString mark = step.marked ? QStringLiteral("*") : QString();
        EXPECT_EQ(ShownTitle(*frame).toStdString(), path + mark.toStdString() + " - Korvex");
        EXPECT_EQ(frame->Action(CmdSave)->isEnabled(), step.marked);
        // Closing asks exactly while the mark is shown (Cancel keeps it).
        const size_t asked = prompts.questions.size();
        prompts.questionAnswer = Prompter::Cancel;
        EXPECT_EQ(frame->Projects().MayClose(), !step.marked);
        EXPECT_EQ(prompts.questions.size(), asked + (step.marked ? 1 : 0));
    }

    // The question names the project and its answers say what they do.
    ASSERT_FALSE(prompts.questions.empty());
    EXPECT_TRUE(prompts.questions.back().contains(QStringLiteral("gate.kvx")));
    EXPECT_EQ(prompts.threeWayButtons.back(),
              Text(text::onsite_save) + "," + Text(text::onsite_dont_save) + "," + Text(text::onsite_cancel));
}

TEST_F(OnSiteFrameTest, UndoAndTheComparisonNameEachStep) {
    auto named = [](unsigned id, std::initializer_list<std::string> args) {
        return QString::fromStdString(FillText(LoadTextA(id), args));
    };
    auto edit = [&](auto change) {
        RenderState s = Doc().Current();
        change(s);
        Doc().NewRenderState(std::move(s));
    };
    struct Step {
        const char* what;
        std::function<void()> act;
        QString name;
    };
    const Step steps[] = {
        {"a new detector", [&] { AddQuad(0, kSquare); }, named(text::onsite_step_add, {"A1"})},
        {"a move",
         [&] {
             edit([](RenderState& s) {
                 for (Point& p : s.detectors[0].points)
                     p.x += 6;
             });
         },
         named(text::onsite_step_move, {"A1"})},
        {"a delay", [&] { edit([](RenderState& s) { s.detectors[0].delay = 1500; }); },
         named(text::onsite_step_property, {LoadTextA(text::diff_delay), "A1"})},
        {"a background", [&] { edit([](RenderState& s) { s.backgrounds[1].SetPixelColour(5, 5, 0); }); },
         named(text::onsite_step_background, {"B"})},
        {"two detectors at once",
         [&] {
             edit([](RenderState& s) {
                 s.detectors.push_back(s.detectors[0]);
                 s.detectors.back().card = 2;
                 s.detectors.push_back(s.detectors.back());
                 s.detectors.back().number = 2;
             });
         },
         named(text::onsite_step_add_many, {"2"})},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.act();
        RunIdle();
        EXPECT_EQ(frame->Action(CmdUndo)->text(), named(text::onsite_undo_step, {step.name.toStdString()}));
    }
    frame->OnCommand(CmdUndo);
    RunIdle();
    EXPECT_EQ(frame->Action(CmdRedo)->text(), named(text::onsite_redo_step, {steps[4].name.toStdString()}));
    EXPECT_EQ(frame->Action(CmdUndo)->text(), named(text::onsite_undo_step, {steps[3].name.toStdString()}));

    // "What changed" offers the earlier steps by the same names, and follows
    // later edits of the project.
    prompts.chooseAnswer = named(text::onsite_compare_step, {steps[3].name.toStdString()});
    frame->OnCommand(CmdCompareWith);
    ASSERT_TRUE(prompts.errors.empty()) << prompts.errors[0].toStdString();
    ASSERT_FALSE(prompts.choices.empty());
    EXPECT_TRUE(
        prompts.choices.back().contains(named(text::onsite_compare_step, {steps[1].name.toStdString()})));
    EXPECT_EQ(frame->Comparison().List()->count(), 1);
    AddQuad(3, kSquare);
    RunIdle();
    EXPECT_EQ(frame->Comparison().List()->count(), 2);
}

TEST_F(OnSiteFrameTest, AddingWithTheKeyUsesTheLastClick) {
    struct Case {
        const char* what;
        int card, x, y;
    };
    const Case cases[] = {{"card A", 0, 200, 150}, {"card D", 3, 60, 90}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Click(At(c.card, c.x, c.y));
        frame->OnCommand(CmdAddQuad);
        ASSERT_FALSE(State().detectors.empty());
        const Detector& added = State().detectors.back();
        EXPECT_EQ(int(added.card), c.card);
        EXPECT_EQ(added.Bounds().left, c.x);
        EXPECT_EQ(added.Bounds().top, c.y);
    }
}

TEST_F(OnSiteFrameTest, SaveAsAndTheReportStartAtTheProjectAndRememberTheSite) {
    TempDir dir;
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(dir.Path() + "/config"));
    const std::string project = dir.Path() + "/gate.kvx";
    AddQuad(0, kSquare);
    prompts.saveAnswer = QString::fromStdString(project);
    frame->OnCommand(CmdSave);
    ASSERT_TRUE(prompts.errors.empty()) << prompts.errors[0].toStdString();

    std::vector<ReportSignOff> offered;
    ReportSignOff answer{QStringLiteral("North gate"), QStringLiteral("J. Nowak")};
    frame->askSignOff = [&](ReportSignOff& signOff) {
        offered.push_back(signOff);
        signOff = answer;
        return true;
    };
    struct Case {
        const char* what;
        int command;
        std::string startsAt;
    };
    const Case cases[] = {
        {"save as", CmdSaveAs, project},
        {"the first report", CmdExportReport, dir.Path() + "/gate.pdf"},
        {"the second report", CmdExportReport, dir.Path() + "/gate.pdf"},
    };
    prompts.saveAnswer.clear(); // every dialog is cancelled but the reports'
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.command == CmdExportReport)
            prompts.saveAnswer = QString::fromStdString(dir.Path() + "/report.pdf");
        frame->OnCommand(c.command);
        ASSERT_FALSE(prompts.suggestions.empty());
        EXPECT_EQ(prompts.suggestions.back().toStdString(), c.startsAt);
    }
    qunsetenv("XDG_CONFIG_HOME");
    // The second export starts from what the first was given.
    ASSERT_EQ(offered.size(), 2u);
    EXPECT_TRUE(offered[0].site.isEmpty());
    EXPECT_EQ(offered[1].site, answer.site);
    EXPECT_EQ(offered[1].engineer, answer.engineer);
    const std::string text =
        RunCommand("pdftotext -layout '" + dir.Path() + "/report.pdf' - 2>/dev/null").out;
    ASSERT_FALSE(text.empty()) << "pdftotext (poppler-utils) is needed";
    for (const std::string& expected :
         {answer.site.toStdString(), answer.engineer.toStdString(), LoadTextA(text::onsite_report_signature),
          LoadTextA(text::onsite_report_always_on)})
        EXPECT_NE(text.find(expected), std::string::npos) << expected;
}

TEST_F(OnSiteFrameTest, HelpWithoutAViewerSaysWhereTheGuideIs) {
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", ""); // no desktop opener to be found
    frame->OnCommand(CmdHelp);
    qputenv("PATH", path);
    ASSERT_EQ(prompts.warnings.size(), 1u);
    EXPECT_TRUE(prompts.warnings[0].contains(QStringLiteral("Help.pdf")));
}

} // namespace
} // namespace korvex::test
