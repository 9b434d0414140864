// korvex-cli background: sets a camera's background from a picture file,
// as the window's Load background picture does.
#include "cli/Cli.h"
#include "cli/ProjectArgs.h"
#include "files/ProjectFile.h"
#include "image/PictureFit.h"
#include "image/PictureReader.h"
#include "model/DetectorEdits.h"
#include "model/Document.h"

#include <cctype>
#include <cstdio>
#include <string>

namespace korvex::cli {
namespace {

const char* const Usage = "korvex-cli background PROJECT.kvx --card A PICTURE [--fit | --fill] [-o OUT.kvx]";

std::string Size(uint32_t width, uint32_t height) {
    return std::to_string(width) + "x" + std::to_string(height);
}

// The card's new background from the picture file, or none (with the
// reason printed) when the picture has another shape and no fit was chosen.
std::optional<Bitmap> NewBackground(const std::string& path, const RenderState& state, uint32_t card,
                                    std::optional<PictureFitMode> mode) {
    const Bitmap& current = state.backgrounds[card];
    BackgroundSource source = ReadBackgroundSource(path, current);
    if (source.exact)
        return std::move(*source.exact);
    const Picture& picture = source.picture;
    if (!mode && SameAspect(picture.width, picture.height, state.width, state.height))
        mode = PictureFitMode::Fit;
    if (!mode) {
        Failure("'" + path + "' is " + Size(picture.width, picture.height) + " and the camera picture " +
                Size(state.width, state.height) +
                ": add --fit to show all of it with grey bars, or --fill to fill the camera picture and "
                "crop the rest. Nothing written");
        return std::nullopt;
    }
    return BackgroundFromPicture(picture.Pixels(), state.width, state.height, current, *mode);
}

int RunBackground(const std::vector<std::string>& args) {
    if (WantsHelp(args)) {
        std::printf("usage: %s\n\n"
                    "Sets camera A..H's background from PICTURE, as the window's Load background\n"
                    "picture does, and saves the project (or OUT.kvx with -o). A 24-bit BMP of\n"
                    "the camera's picture size goes in pixel for pixel; any other BMP, PNG or\n"
                    "JPEG picture of at most 40 million pixels is scaled to the camera picture\n"
                    "with its shape kept. When its shape differs from the camera's, say how:\n"
                    "--fit shows all of it with grey bars, --fill fills the camera picture and\n"
                    "crops the rest. Cameras narrower than 320 pixels get a grey picture.\n"
                    "A picture that is cut short or damaged, and a project file that is\n"
                    "incomplete, are refused. The file is replaced only once the new one is\n"
                    "complete; on any error it is left as it was.\n"
                    "Exit status: 0 saved, 1 refused or failed (nothing written), 2 bad usage.\n",
                    Usage);
        return ExitOk;
    }
    auto parsed = ParseArgs(args, {"--card", "-o"}, {"--fit", "--fill"}, 2, 2, Usage);
    if (!parsed)
        return ExitUsage;
    const std::string letter = parsed->options.count("--card") ? parsed->options["--card"] : "";
    const char card = letter.size() == 1 ? char(std::toupper(static_cast<unsigned char>(letter[0]))) : 0;
    if (card < 'A' || card > 'H')
        return UsageError("--card must be a camera letter from A to H (" + std::string(Usage) + ")");
    const bool fit = parsed->options.count("--fit") != 0, fill = parsed->options.count("--fill") != 0;
    if (fit && fill)
        return UsageError("--fit and --fill exclude each other");
    std::optional<PictureFitMode> mode;
    if (fit || fill)
        mode = fit ? PictureFitMode::Fit : PictureFitMode::Fill;
    const std::string& project = parsed->positional[0];
    const std::string& picturePath = parsed->positional[1];
    const std::string out = parsed->options.count("-o") ? parsed->options["-o"] : project;
    if (out.empty())
        return UsageError("-o needs a file name");

    Document document;
    document.New();
    OpenProject(document, project);
    const uint32_t index = uint32_t(card - 'A');
    if (index >= document.Current().backgrounds.size())
        return Failure(std::string("the project has no camera ") + card + " (cameras A to " +
                       char('A' + document.Current().backgrounds.size() - 1) + "). Nothing written");
    std::optional<Bitmap> background = NewBackground(picturePath, document.Current(), index, mode);
    if (!background)
        return ExitFailure;
    if (!SetBackground(document, int32_t(index), std::move(*background)))
        return Failure(std::string("camera ") + card + " could not take the picture. Nothing written");
    SaveProject(document, out);
    return ExitOk;
}

} // namespace
KORVEX_CLI_COMMAND("background", "set a camera's background from a BMP, PNG or JPEG picture", RunBackground);
} // namespace korvex::cli
