#include "app/editor/BackgroundPicture.h"

#include "app/common/Prompter.h"
#include "app/common/UiText.h"
#include "framework/TextIds.h"
#include "image/PictureFit.h"

#include <QFile>

namespace korvex {

namespace {

// Asks fit or fill when the shapes differ; none when cancelled.
std::optional<PictureFitMode> ChooseFit(Prompter& prompts, QWidget* owner, const Picture& picture,
                                        uint32_t width, uint32_t height) {
    if (SameAspect(picture.width, picture.height, width, height))
        return PictureFitMode::Fit;
    const QString question =
        QString::fromStdString(FillText(Text(text::picture_fit_ask).toStdString(),
                                        {std::to_string(picture.width), std::to_string(picture.height),
                                         std::to_string(width), std::to_string(height)}));
    const int choice = prompts.Choose(owner, question, Text(text::picture_caption),
                                      {Text(text::picture_fit_bars), Text(text::picture_fill_crop)});
    if (choice < 0)
        return std::nullopt;
    return choice == 0 ? PictureFitMode::Fit : PictureFitMode::Fill;
}

} // namespace

QString PicturePatterns() {
    return QStringLiteral("*.bmp *.png *.jpg *.jpeg");
}

std::optional<Bitmap> BackgroundPicture(Prompter& prompts, QWidget* owner, const QString& path,
                                        const RenderState& state, int32_t card) {
    const Bitmap& current = state.backgrounds.at(static_cast<size_t>(card));
    BackgroundSource source = ReadBackgroundSource(QFile::encodeName(path).toStdString(), current);
    if (source.exact)
        return std::move(*source.exact);
    const std::optional<PictureFitMode> mode =
        ChooseFit(prompts, owner, source.picture, state.width, state.height);
    if (!mode)
        return std::nullopt;
    return BackgroundFromPicture(source.picture.Pixels(), state.width, state.height, current, *mode);
}

} // namespace korvex
