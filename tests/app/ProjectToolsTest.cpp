// The commissioning report (window command and `korvex --report`) read
// back with pdftotext, and the comparison pane.
#include "AppTestSupport.h"
#include "app/common/Commands.h"
#include "app/common/UiText.h"
#include "app/compare/ComparePane.h"
#include "app/frame/TabView.h"
#include "app/report/ReportWriter.h"
#include "composer/Formula.h"
#include "files/ProjectFile.h"
#include "framework/TextIds.h"
#include "support/CommandRun.h"

#include <QDockWidget>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QTest>
#include <fstream>

namespace korvex::test {
namespace {

class ProjectToolsTest : public FrameTest {
protected:
    // Two detectors on camera A, one on B, and an output using them.
    void MakeProject() {
        AddQuad(0, {{{100, 100}, {140, 100}, {140, 140}, {100, 140}}});
        AddQuad(0, {{{200, 60}, {260, 60}, {260, 120}, {200, 120}}});
        AddQuad(1, {{{20, 20}, {60, 20}, {60, 60}, {20, 60}}});
        RenderState next = State();
        next.detectors[1].directional = true;
        next.detectors[1].angle = 45;
        next.composer_y[0] = *ParseFormula("A1 | A2", nullptr);
        Doc().NewRenderState(next);
    }
    std::string SaveTo(const std::string& name) {
        const std::string path = dir.Path() + "/" + name;
        const std::vector<uint8_t> bytes = ProjectFileBytes(State(), path);
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return path;
    }
    static std::string PdfText(const std::string& pdf) {
        return RunCommand("pdftotext -layout '" + pdf + "' - 2>/dev/null").out;
    }

    TempDir dir;
};

TEST_F(ProjectToolsTest, ExportedReportHoldsTitleTablesFormulasAndProblems) {
    MakeProject();
    prompts.saveAnswer = QString::fromStdString(dir.Path() + "/site report");
    frame->OnCommand(CmdExportReport);
    ASSERT_TRUE(prompts.errors.empty()) << prompts.errors[0].toStdString();
    const std::string text = PdfText(dir.Path() + "/site report.pdf"); // the suffix is added
    ASSERT_FALSE(text.empty()) << "pdftotext (poppler-utils) is needed";
    for (const char* expected : {"Commissioning report", "(not saved)", "(no device connected)", "Camera A",
                                 "Camera B", "Camera D", "A1", "A2", "B1", "quadrilateral, directional",
                                 "45°", "(100, 100) (140, 100) (140, 140) (100, 140)", "880 / 3",
                                 "Y1 = A1 | A2", "No detectors on this camera."})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
    // The problems page: a new project's other Y rows name no detector, so
    // this one is clean.
    EXPECT_NE(text.find("No problems."), std::string::npos) << text;
}

TEST_F(ProjectToolsTest, ReportOptionWritesWithoutAWindowAndFailsCleanly) {
    MakeProject();
    const std::string project = SaveTo("site.kvx");
    const std::string pdf = dir.Path() + "/out.pdf";
    const std::string program = std::string("'") + KORVEX_APP_PATH + "' --report ";
    CommandOutcome r = RunCommand(program + "'" + project + "' '" + pdf + "' 2>/dev/null");
    EXPECT_EQ(r.status, 0);
    const std::string text = PdfText(pdf);
    EXPECT_NE(text.find(project), std::string::npos) << text;
    EXPECT_NE(text.find("Y1 = A1 | A2"), std::string::npos) << text;

    std::ofstream(dir.Path() + "/junk.kvx") << "junk";
    const std::string none = dir.Path() + "/none.pdf";
    EXPECT_EQ(RunCommand(program + "'" + dir.Path() + "/junk.kvx' '" + none + "' 2>/dev/null").status, 1);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(none)));
    EXPECT_EQ(RunCommand(program + "'" + project + "' 2>/dev/null").status, 2);
    EXPECT_EQ(RunCommand(program + "'" + project + "' '" + dir.Path() + "/no/such/folder/x.pdf' 2>/dev/null")
                  .status,
              1);
}

// Only a PDF with its end marker and cross-reference start is taken as
// written: a writer that stopped short leaves neither.
TEST_F(ProjectToolsTest, APdfCutShortIsNotWhole) {
    MakeProject();
    const std::string pdf = dir.Path() + "/whole.pdf";
    QString error;
    ASSERT_TRUE(WriteReportPdf(QString::fromStdString(pdf), State(), ReportFacts{}, &error))
        << error.toStdString();
    QFile file(QString::fromStdString(pdf));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray whole = file.readAll();
    EXPECT_TRUE(IsWholePdf(whole));
    for (qsizetype cut : {whole.size() - 3, whole.size() - 40, whole.size() / 2, qsizetype(5)})
        EXPECT_FALSE(IsWholePdf(whole.left(cut))) << cut << " of " << whole.size();
    EXPECT_FALSE(IsWholePdf(whole + "appended"));
}

TEST_F(ProjectToolsTest, CompareWithAFileListsChangesAndClickingSelects) {
    MakeProject();
    prompts.openAnswer = QString::fromStdString(SaveTo("before.kvx"));
    RenderState next = State();
    next.detectors[2].delay = 2000;
    next.composer_y[0] = *ParseFormula("A1 & A2", nullptr);
    Doc().NewRenderState(next, Selection{});

    prompts.chooseAnswer = Text(text::compare_file); // beside the session's earlier steps
    frame->OnCommand(CmdCompareWith);
    ASSERT_TRUE(prompts.errors.empty()) << prompts.errors[0].toStdString();
    EXPECT_TRUE(frame->ComparisonDock().isVisible());
    QListWidget* list = frame->Comparison().List();
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(0)->text(), QStringLiteral("B1: delay 0.0 s → 2.0 s"));
    EXPECT_TRUE(frame->Comparison().Header()->text().contains(QStringLiteral("before.kvx")));

    frame->Tabs().setCurrentIndex(0);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
    EXPECT_EQ(Doc().SelectedIndex(), 2);
    EXPECT_EQ(frame->Tabs().currentIndex(), 1);

    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(1)).center());
    const std::string y1 = ComposerRow{'Y', 0}.SelectionPrefix();
    EXPECT_EQ(Doc().ComposerPath().substr(0, 2), y1);

    // Compared with itself the pane says there is nothing.
    prompts.openAnswer = QString::fromStdString(SaveTo("now.kvx"));
    frame->OnCommand(CmdCompareWith);
    EXPECT_EQ(list->count(), 0);
    EXPECT_TRUE(frame->Comparison().Header()->text().contains(QStringLiteral("same")));

    // A file that is no project: an error, the pane keeps what it had.
    std::ofstream(dir.Path() + "/junk.kvx") << "junk";
    prompts.openAnswer = QString::fromStdString(dir.Path() + "/junk.kvx");
    frame->OnCommand(CmdCompareWith);
    EXPECT_EQ(prompts.errors.size(), 1u);
}

} // namespace
} // namespace korvex::test
