// Refusing to write what was read from a file only in part.
#include "cli/Cli.h"
#include "cli/ProjectArgs.h"
#include "files/ProjectFile.h"

#include <cstdio>

namespace korvex::cli {

int RefuseIncomplete(const std::string& path, const ReadGaps& gaps, bool force) {
    if (gaps.Complete())
        return ExitOk;
    if (!force)
        return Failure(IncompleteFileText(path, gaps) +
                       " Saving it would lose that for good; --force saves what was "
                       "read. Nothing written");
    std::fprintf(stderr, "korvex-cli: %s Saved what was read (--force).\n",
                 IncompleteFileText(path, gaps).c_str());
    return ExitOk;
}

} // namespace korvex::cli
