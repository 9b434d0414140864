#include "app/editor/BackgroundPicture.h"

#include "app/common/Prompter.h"
#include "app/common/UiText.h"
#include "framework/LocalException.h"
#include "framework/TextIds.h"
#include "image/PictureFit.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QStringList>
#include <algorithm>
#include <cstring>

namespace korvex {

namespace {

std::string Utf8(const QString& text) {
    return text.toUtf8().toStdString();
}

[[noreturn]] void Refuse(unsigned id, std::initializer_list<std::string> args) {
    throw LocalException(FillText(Text(id).toStdString(), args));
}

// Entropy-coded JPEG data never holds 0xFF 0xD9 except as the end marker,
// so a file without it near its end was cut short. The JPEG reader only
// warns about that and fills the missing rows with grey.
bool JpegEndsProperly(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const qint64 tail = std::min<qint64>(file.size(), 256);
    file.seek(file.size() - tail);
    return file.read(tail).contains(QByteArray("\xFF\xD9", 2));
}

// While it lives, counts the complaints the picture readers log about the
// data they decode (a JPEG cut short, a damaged block): they still hand
// back a picture then, with grey where the data was missing. Reading runs
// on the UI thread only, so one capture at a time.
class ReaderComplaints {
public:
    ReaderComplaints() {
        count = 0;
        previous = qInstallMessageHandler(&ReaderComplaints::Handle);
    }
    ~ReaderComplaints() { qInstallMessageHandler(previous); }
    int Count() const { return count; }

private:
    static void Handle(QtMsgType type, const QMessageLogContext& context, const QString& message) {
        if (context.category && std::strncmp(context.category, "qt.gui.imageio", 14) == 0 &&
            type >= QtWarningMsg)
            ++count;
        else if (previous)
            previous(type, context, message);
    }
    static inline int count = 0;
    static inline QtMessageHandler previous = nullptr;
};

bool LooksLikeBmp(const QString& path) {
    QFile file(path);
    return path.endsWith(QStringLiteral(".bmp"), Qt::CaseInsensitive) ||
           (file.open(QIODevice::ReadOnly) && file.read(2) == "BM");
}

// Any picture the readers know, as 24-bit pixels; the size is checked
// before anything is decoded, and the readers never take more than
// kPictureReaderLimit_MB for one picture.
QImage ReadPicture(const QString& path) {
    QImageReader::setAllocationLimit(kPictureReaderLimit_MB);
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true); // phone photos carry their turn in EXIF
    const std::string name = Utf8(QFileInfo(path).fileName());
    const QSize size = reader.size();
    const uint64_t limit = kMaxBackgroundPixels;
    auto tooLarge = [&](QSize s) {
        Refuse(text::picture_too_large, {name, std::to_string(s.width()), std::to_string(s.height()),
                                         std::to_string(limit / 1'000'000)});
    };
    if (size.isValid() && uint64_t(size.width()) * uint64_t(size.height()) > limit)
        tooLarge(size);
    QImage image;
    ReaderComplaints complaints;
    if (!reader.read(&image) || image.isNull())
        throw LocalException(
            FillText(Text(text::picture_unreadable).toStdString(), {name, Utf8(reader.errorString())}));
    if (uint64_t(image.width()) * uint64_t(image.height()) > limit)
        tooLarge(image.size());
    if (complaints.Count() > 0 || (reader.format() == "jpeg" && !JpegEndsProperly(path)))
        Refuse(text::picture_damaged, {name});
    return image.convertToFormat(QImage::Format_BGR888);
}

// Asks fit or fill when the shapes differ; none when cancelled.
std::optional<PictureFitMode> ChooseFit(Prompter& prompts, QWidget* owner, QSize picture, uint32_t width,
                                        uint32_t height) {
    if (SameAspect(uint32_t(picture.width()), uint32_t(picture.height()), width, height))
        return PictureFitMode::Fit;
    const QString question =
        QString::fromStdString(FillText(Text(text::picture_fit_ask).toStdString(),
                                        {std::to_string(picture.width()), std::to_string(picture.height()),
                                         std::to_string(width), std::to_string(height)}));
    const int choice = prompts.Choose(owner, question, Text(text::picture_caption),
                                      {Text(text::picture_fit_bars), Text(text::picture_fill_crop)});
    if (choice < 0)
        return std::nullopt;
    return choice == 0 ? PictureFitMode::Fit : PictureFitMode::Fill;
}

} // namespace

QString PicturePatterns() {
    QStringList patterns{QStringLiteral("*.bmp")};
    for (const QByteArray& format : QImageReader::supportedImageFormats()) {
        const QString pattern = QStringLiteral("*.") + QString::fromLatin1(format).toLower();
        if (!patterns.contains(pattern))
            patterns << pattern;
    }
    return patterns.join(QLatin1Char(' '));
}

std::optional<Bitmap> BackgroundPicture(Prompter& prompts, QWidget* owner, const QString& path,
                                        const RenderState& state, int32_t card) {
    const Bitmap& current = state.backgrounds.at(static_cast<size_t>(card));
    // The exact BMP path first: such a file loads pixel for pixel, into the
    // margins-kept copy of the card's background.
    Bitmap exact = current;
    try {
        exact.LoadBmpFile(path.toStdString());
        return exact;
    } catch (const LocalException& bmpError) {
        QImage image;
        try {
            image = ReadPicture(path);
        } catch (const LocalException&) {
            // A BMP that neither reader takes keeps the BMP check's own
            // message, which says what is wrong with it.
            if (LooksLikeBmp(path))
                throw bmpError;
            throw;
        }
        const std::optional<PictureFitMode> mode =
            ChooseFit(prompts, owner, image.size(), state.width, state.height);
        if (!mode)
            return std::nullopt;
        const PixelsBgr pixels{image.constBits(), uint32_t(image.width()), uint32_t(image.height()),
                               size_t(image.bytesPerLine())};
        return BackgroundFromPicture(pixels, state.width, state.height, current, *mode);
    }
}

} // namespace korvex
