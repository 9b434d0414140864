// The export dialog with its real worker thread, joining small AVI files.

#include "app/export/ExportDialog.h"

#include "AppTestSupport.h"
#include "app/sinks/ExportRunner.h"
#include "export/AviWriter.h"
#include "framework/StringTable.h"
#include "framework/TextIds.h"

#include <QCommandLinkButton>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace korvex::test {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

uint32_t U32(const std::string& bytes, size_t at) {
    uint32_t v = 0;
    std::memcpy(&v, bytes.data() + at, 4);
    return v;
}

// An AVI of `frames` frames whose bytes say which file and frame they are.
void MakeAvi(const std::string& path, int frames, char tag) {
    AviWriter writer(path);
    writer.SetPictureSize(320, 240);
    for (int i = 0; i < frames; ++i) {
        std::string frame = std::string("frame ") + tag + std::to_string(i);
        writer.AddFrameCopy(reinterpret_cast<const uint8_t*>(frame.data()),
                            static_cast<uint32_t>(frame.size()));
    }
    writer.Commit();
}

class ExportDialogTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureApplication(); }
    void SetUp() override {
        dialog = std::make_unique<ExportDialog>([](ExportDialog& d) { return MakeExportRunner(d); });
        dialog->showError = [this](QWidget*, const QString& text) { errors << text; };
        dialog->show();
    }
    void WaitForEnd() {
        ASSERT_TRUE(WaitUntil([&] { return !dialog->Busy(); }, std::chrono::seconds(10), ProcessEvents));
        RunIdle(30);
    }
    QWidget* Ctl(int id) { return dialog->Control(id); }

    TempDir temp;
    std::unique_ptr<ExportDialog> dialog;
    QStringList errors;
};

TEST_F(ExportDialogTest, JoinsTwoFilesWhileTheControlsAreLockedAndClosingIsRefused) {
    auto* copy = static_cast<QCommandLinkButton*>(Ctl(ExportDialog::Copy));
    auto* reencode = static_cast<QCommandLinkButton*>(Ctl(ExportDialog::Reencode));
    EXPECT_EQ(copy->description(), QString::fromStdString(LoadTextA(text::export_choose_first)));
    EXPECT_TRUE(reencode->description().isEmpty());

    const std::string a = temp.Path() + "/a.avi", b = temp.Path() + "/b.avi";
    MakeAvi(a, 100, 'a');
    MakeAvi(b, 50, 'b');
    QString filter;
    dialog->askInputFiles = [&](QWidget*, const QString& f) {
        filter = f;
        return QStringList{QString::fromStdString(a), QString::fromStdString(b)};
    };
    static_cast<QPushButton*>(Ctl(ExportDialog::Choose))->click();
    EXPECT_TRUE(filter.contains("*.avi"));
    EXPECT_EQ(dialog->Folder(), temp.Path());
    EXPECT_EQ(dialog->Names(), (std::vector<std::string>{"a.avi", "b.avi"}));
    EXPECT_EQ(static_cast<QListWidget*>(Ctl(ExportDialog::Files))->count(), 2);
    EXPECT_EQ(copy->description(), QString::fromStdString(LoadTextA(text::export_copy_tip)));
    EXPECT_EQ(reencode->description(), QString::fromStdString(LoadTextA(text::export_reencode_tip)));

    const std::string out = temp.Path() + "/joined";
    QString initial;
    dialog->askOutputFile = [&](QWidget*, const QString&, const QString& start) {
        initial = start;
        return QString::fromStdString(out);
    };
    copy->click();
    EXPECT_EQ(initial.toStdString(), temp.Path() + "/" + LoadTextA(text::filter_export_file_name));
    for (int id : {ExportDialog::Choose, ExportDialog::Files, ExportDialog::Copy, ExportDialog::Reencode})
        EXPECT_FALSE(Ctl(id)->isEnabled()) << id;
    dialog->reject(); // refused while the job runs
    dialog->close();
    EXPECT_TRUE(dialog->isVisible());
    WaitForEnd();
    EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
    for (int id : {ExportDialog::Choose, ExportDialog::Files, ExportDialog::Copy, ExportDialog::Reencode})
        EXPECT_TRUE(Ctl(id)->isEnabled()) << id;
    EXPECT_EQ(static_cast<QLabel*>(Ctl(ExportDialog::Status))->text(),
              QString::fromStdString(LoadTextA(text::export_finished)));
    EXPECT_EQ(static_cast<QProgressBar*>(Ctl(ExportDialog::Progress))->value(), 0);

    const std::string joined = ReadFile(out + ".avi");
    ASSERT_GT(joined.size(), 524u);
    EXPECT_EQ(joined.substr(0, 4), "RIFF");
    EXPECT_EQ(U32(joined, 48), 150u);  // total frames
    EXPECT_EQ(U32(joined, 140), 150u); // stream length
    EXPECT_NE(joined.find("frame b49"), std::string::npos);
    dialog->reject();
    EXPECT_FALSE(dialog->isVisible());
}

TEST_F(ExportDialogTest, CancelledOutputStartsNothingAndABadInputIsReportedAndReset) {
    const std::string bad = temp.Path() + "/bad.avi";
    std::ofstream(bad, std::ios::binary) << "RIFF\x04\0\0\0WAVE";
    dialog->SetFiles({QString::fromStdString(bad)});
    dialog->askOutputFile = [](QWidget*, const QString&, const QString&) { return QString(); };
    static_cast<QPushButton*>(Ctl(ExportDialog::Copy))->click();
    EXPECT_FALSE(dialog->Busy());
    EXPECT_TRUE(Ctl(ExportDialog::Copy)->isEnabled());

    const std::string out = temp.Path() + "/out.avi";
    dialog->askOutputFile = [&](QWidget*, const QString&, const QString&) {
        return QString::fromStdString(out);
    };
    static_cast<QPushButton*>(Ctl(ExportDialog::Copy))->click();
    WaitForEnd();
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].startsWith(QString::fromStdString(LoadTextA(text::io_read_failed))))
        << errors[0].toStdString();
    EXPECT_TRUE(errors[0].contains("bad.avi"));
    EXPECT_FALSE(fs::exists(out));
    EXPECT_TRUE(Ctl(ExportDialog::Copy)->isEnabled());
}

TEST_F(ExportDialogTest, DestroyingTheDialogMidJobStopsTheWorker) {
    const std::string a = temp.Path() + "/a.avi";
    MakeAvi(a, 2000, 'a');
    dialog->SetFiles({QString::fromStdString(a), QString::fromStdString(a), QString::fromStdString(a)});
    const std::string out = temp.Path() + "/out.avi";
    dialog->askOutputFile = [&](QWidget*, const QString&, const QString&) {
        return QString::fromStdString(out);
    };
    static_cast<QPushButton*>(Ctl(ExportDialog::Copy))->click();
    EXPECT_TRUE(dialog->Busy());
    dialog.reset(); // the frame going away: the worker is stopped, the job abandoned
    RunIdle(30);
    EXPECT_FALSE(fs::exists(out));
}

} // namespace
} // namespace korvex::test
