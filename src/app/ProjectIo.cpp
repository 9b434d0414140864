#include "app/ProjectIo.h"

#include "app/AppStrings.h"
#include "framework/LocalException.h"

#ifdef KORVEX_HAVE_FILES
#include "files/ConfigPackage.h"
#include "files/Problems.h"
#include "files/ProjectFile.h"
#endif

namespace korvex {

#ifdef KORVEX_HAVE_FILES

bool ProjectFilesAvailable() { return true; }

void SaveProjectTo(Document& document, const std::string& path) { SaveProject(document, path); }

void OpenProjectFrom(Document& document, const std::string& path) { OpenProject(document, path); }

std::vector<std::string> ConfigPackageNames(const RenderState& state) {
    std::vector<uint8_t> package = BuildConfigPackage(state, "test.tdv");
    std::vector<PackageEntry> entries;
    if (!ReadPackageEntries(package.data(), package.size(), entries))
        RaiseError(kStrPackageUnreadable);
    std::vector<std::string> names;
    for (const PackageEntry& e : entries)
        names.push_back(e.name);
    return names;
}

std::vector<std::string> ProblemsOf(const RenderState& state) { return ProblemLines(state); }

#else

bool ProjectFilesAvailable() { return false; }

void SaveProjectTo(Document&, const std::string&) { RaiseError(kStrProjectFilesMissing); }

void OpenProjectFrom(Document&, const std::string&) { RaiseError(kStrProjectFilesMissing); }

std::vector<std::string> ConfigPackageNames(const RenderState&) { RaiseError(kStrProjectFilesMissing); }

std::vector<std::string> ProblemsOf(const RenderState&) { return {}; }

#endif

} // namespace korvex
