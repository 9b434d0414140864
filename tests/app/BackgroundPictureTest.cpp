// Loading any picture as a card's background: scaled with the aspect
// kept, fit or fill as the user picks, one undo step, and files that
// cannot be read refused with a message and no change.
#include "AppTestSupport.h"
#include "app/common/Commands.h"
#include "app/common/UiText.h"
#include "framework/TextIds.h"
#include "image/PictureFit.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QPainter>

namespace korvex::test {
namespace {

class BackgroundPictureTest : public FrameTest {
protected:
    // Writes `bytes` into the temporary folder and answers the file dialog
    // with it.
    void Offer(const QString& name, const QByteArray& bytes) {
        const QString path = QString::fromStdString(dir.Path()) + QLatin1Char('/') + name;
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();
        prompts.openAnswer = path;
    }
    void Load(int card) {
        Click(At(card, 100, 50));
        frame->OnCommand(CmdLoadBackground);
    }

    TempDir dir;
};

QByteArray Encode(const QImage& image, const char* format, int quality = -1) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, quality);
    return bytes;
}

// 640 x 360 (16:9): red on the left half, blue on the right.
QImage WidePhoto() {
    QImage image(640, 360, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.fillRect(0, 0, 320, 360, Qt::red);
    painter.fillRect(320, 0, 320, 360, Qt::blue);
    return image;
}

uint32_t Crc32(const uint8_t* data, size_t size) {
    uint32_t crc = 0xFFFFFFFF;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

// A small PNG whose header (with a correct checksum) claims 30,000 x 30,000.
QByteArray HugePngHeader() {
    QByteArray png = Encode(QImage(8, 8, QImage::Format_RGB32), "png");
    auto* b = reinterpret_cast<uint8_t*>(png.data());
    for (int at : {16, 20}) { // IHDR width, height (big-endian)
        const uint32_t v = 30000;
        b[at] = uint8_t(v >> 24), b[at + 1] = uint8_t(v >> 16), b[at + 2] = uint8_t(v >> 8),
        b[at + 3] = uint8_t(v);
    }
    const uint32_t crc = Crc32(b + 12, 17);
    b[29] = uint8_t(crc >> 24), b[30] = uint8_t(crc >> 16), b[31] = uint8_t(crc >> 8), b[32] = uint8_t(crc);
    return png;
}

TEST_F(BackgroundPictureTest, APhotoOfAnotherShapeFitsOrFillsAsChosenInOneStep) {
    Offer(QStringLiteral("photo.png"), Encode(WidePhoto(), "png"));
    const size_t states = Doc().HistorySize();
    const RenderState before = State();

    prompts.chooseAnswer.clear(); // cancelled: nothing changes
    Load(1);
    ASSERT_EQ(prompts.choices.size(), 1u);
    EXPECT_TRUE(prompts.choices[0].contains(QStringLiteral("640 × 360")));
    EXPECT_EQ(Doc().HistorySize(), states);
    EXPECT_TRUE(State() == before);

    prompts.chooseAnswer = Text(text::picture_fit_bars); // fit: 320 x 180 of picture, bars of 30 rows
    Load(1);
    ASSERT_EQ(Doc().HistorySize(), states + 1);
    const Bitmap& fit = State().backgrounds[1];
    EXPECT_EQ(fit.GetPixelColour(10, 29), kFitBarColour);
    EXPECT_EQ(fit.GetPixelColour(10, 30), 0x0000FFu); // red
    EXPECT_EQ(fit.GetPixelColour(310, 209), 0xFF0000u);
    EXPECT_EQ(fit.GetPixelColour(310, 210), kFitBarColour);
    EXPECT_TRUE(State().backgrounds[0] == before.backgrounds[0]);

    prompts.chooseAnswer = Text(text::picture_fill_crop); // fill: no bars, the middle kept
    Load(1);
    ASSERT_EQ(Doc().HistorySize(), states + 2);
    const Bitmap& fill = State().backgrounds[1];
    EXPECT_EQ(fill.GetPixelColour(0, 0), 0x0000FFu);
    EXPECT_EQ(fill.GetPixelColour(319, 239), 0xFF0000u);
    frame->OnCommand(CmdUndo);
    EXPECT_TRUE(State().backgrounds[1] == fit);
}

TEST_F(BackgroundPictureTest, NarrowCamerasGetAGreyPictureBetweenTheirMargins) {
    RenderState narrow;
    narrow.width = 180;
    narrow.height = 144;
    narrow.EnsureBackgrounds(2);
    Doc().ReplaceWithLoaded(narrow, "");
    View().ProjectReplaced();
    RunIdle();
    const size_t states = Doc().HistorySize();
    QImage photo(360, 288, QImage::Format_RGB32); // the camera's shape: no question
    photo.fill(Qt::red);
    Offer(QStringLiteral("camera.jpg"), Encode(photo, "jpeg", 95));
    Load(0);
    EXPECT_TRUE(prompts.choices.empty());
    ASSERT_TRUE(prompts.errors.empty()) << prompts.errors[0].toStdString();
    ASSERT_EQ(Doc().HistorySize(), states + 1);
    const Bitmap& b = State().backgrounds[0];
    const uint32_t inside = b.GetPixelColour(100, 70);
    EXPECT_EQ(inside & 0xFF, (inside >> 8) & 0xFF); // grey
    EXPECT_NEAR(int(inside & 0xFF), 53, 4);         // the grey of red, give or take the JPEG
    EXPECT_EQ(b.GetPixelColour(10, 70), 0xFFFFFFu); // margin kept
}

TEST_F(BackgroundPictureTest, HostileAndDamagedFilesAreRefusedWithAMessage) {
    const size_t states = Doc().HistorySize();
    Offer(QStringLiteral("huge.png"), HugePngHeader());
    Load(0);
    ASSERT_EQ(prompts.errors.size(), 1u);
    EXPECT_TRUE(prompts.errors[0].contains(QStringLiteral("30000 × 30000")))
        << prompts.errors[0].toStdString();

    QByteArray jpeg = Encode(WidePhoto(), "jpeg", 90);
    Offer(QStringLiteral("cut.jpg"), jpeg.left(jpeg.size() / 2));
    Load(0);
    ASSERT_EQ(prompts.errors.size(), 2u);
    EXPECT_TRUE(prompts.errors[1].contains(QStringLiteral("cut.jpg")));

    QByteArray png = Encode(WidePhoto(), "png");
    Offer(QStringLiteral("cut.png"), png.left(png.size() / 2));
    Load(0);
    ASSERT_EQ(prompts.errors.size(), 3u);
    EXPECT_TRUE(prompts.errors[2].contains(QStringLiteral("cut.png")));

    Offer(QStringLiteral("notes.txt"), QByteArray("just some text"));
    Load(0);
    ASSERT_EQ(prompts.errors.size(), 4u);
    EXPECT_TRUE(prompts.errors[3].contains(QStringLiteral("notes.txt")));
    EXPECT_EQ(Doc().HistorySize(), states);
    EXPECT_TRUE(prompts.choices.empty());
}

TEST_F(BackgroundPictureTest, TheFileDialogOffersBmpFirstAndOtherFormats) {
    prompts.openAnswer.clear();
    Load(0);
    ASSERT_EQ(prompts.openPatterns.size(), 1u);
    EXPECT_TRUE(prompts.openPatterns[0].startsWith(QStringLiteral("*.bmp")));
    EXPECT_TRUE(prompts.openPatterns[0].contains(QStringLiteral("*.png")));
    EXPECT_TRUE(prompts.openPatterns[0].contains(QStringLiteral("*.jpg")));
}

} // namespace
} // namespace korvex::test
