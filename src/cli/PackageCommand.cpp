// korvex-cli package: writes the device configuration package of a project
// as separate files.
#include "cli/Cli.h"
#include "cli/ProjectArgs.h"

#include "files/ConfigPackage.h"
#include "files/ProjectFile.h"
#include "framework/BinaryFile.h"

#include <cstdio>
#include <filesystem>

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
                    "The file names written are printed, one a line.\n"
                    "Exit status: 0 written, 1 failure, 2 bad usage.\n",
                    Usage);
        return ExitOk;
    }
    auto parsed = ParseArgs(args, {}, {}, 2, 2, Usage);
    if (!parsed)
        return ExitUsage;
    const std::string& project = parsed->positional[0];
    std::filesystem::path dir = parsed->positional[1];
    RenderState state = LoadProject(project);
    std::vector<uint8_t> package = BuildConfigPackage(state, project);
    std::vector<PackageEntry> entries;
    if (!ReadPackageEntries(package.data(), package.size(), entries))
        return Failure("the configuration package could not be split into its files");
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec)
        return Failure("could not create '" + dir.string() + "': " + ec.message());
    for (const PackageEntry& e : entries) {
        if (e.name.empty() || e.name.find_first_of("/\\") != std::string::npos || e.name == "." || e.name == "..")
            return Failure("unsafe entry name in package: '" + e.name + "'");
        AtomicFile::WriteAll((dir / e.name).string(), e.content.data(), e.content.size());
        std::printf("%s\n", e.name.c_str());
    }
    return ExitOk;
}

} // namespace
KORVEX_CLI_COMMAND("package", "write a project's configuration package as files", RunPackage);
} // namespace korvex::cli
