// korvex-cli package: writes the device configuration package of a project
// as separate files.
#include "cli/Cli.h"
#include "cli/ProjectArgs.h"
#include "files/ConfigPackage.h"
#include "files/PackageFolder.h"
#include "files/ProjectFile.h"

#include <cstdio>

namespace korvex::cli {
namespace {

const char* const Usage = "korvex-cli package PROJECT.kvx OUTDIR";

int RunPackage(const std::vector<std::string>& args) {
    if (WantsHelp(args)) {
        std::printf("usage: %s\n\n"
                    "Builds the configuration package the device reads and writes its entries\n"
                    "into OUTDIR (created when missing): det1.bmp .. detN.bmp, config.txt and\n"
                    "compose.txt, byte for byte as the project file's package holds them. The\n"
                    "alias in config.txt is the project's file name without its extension.\n"
                    "OUTDIR may hold an older package, which is replaced whole: afterwards the\n"
                    "folder holds exactly the new files, and on a failure (a full disk, say)\n"
                    "it still holds the old package untouched. A folder holding anything else\n"
                    "is refused. The file names written are printed, one a line.\n"
                    "Exit status: 0 written, 1 failure, 2 bad usage.\n",
                    Usage);
        return ExitOk;
    }
    auto parsed = ParseArgs(args, {}, {}, 2, 2, Usage);
    if (!parsed)
        return ExitUsage;
    const std::string& project = parsed->positional[0];
    RenderState state = LoadProject(project);
    std::vector<uint8_t> package = BuildConfigPackage(state, project);
    std::vector<PackageEntry> entries;
    if (!ReadPackageEntries(package.data(), package.size(), entries))
        return Failure("the configuration package could not be split into its files");
    // Raises, leaving the folder as it was, when it cannot be replaced whole.
    WritePackageFolder(entries, parsed->positional[1]);
    for (const PackageEntry& e : entries)
        std::printf("%s\n", e.name.c_str());
    return ExitOk;
}

} // namespace
KORVEX_CLI_COMMAND("package", "write a project's configuration package as files", RunPackage);
} // namespace korvex::cli
