// The commissioning report (window command and `korvex --report`) read
// back with pdftotext.
#include "AppTestSupport.h"
#include "app/common/Commands.h"
#include "composer/Formula.h"
#include "files/ProjectFile.h"
#include "support/CommandRun.h"

#include <QFile>
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

} // namespace
} // namespace korvex::test
