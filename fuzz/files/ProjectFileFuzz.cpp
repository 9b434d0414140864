// The project-file reader on whole files of arbitrary bytes. Reading keeps
// within max(8 x input, 64 MiB) of live memory (run with -timeout for the
// time cap); whatever it accepts must save again, and saving is stable:
// reading the saved file and saving once more gives the same bytes.
#include "../support/MemoryCap.h"
#include "files/ProjectFile.h"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace korvex;
    fuzz::MemoryCap cap(std::max<size_t>(8 * size, size_t(64) << 20));
    std::optional<RenderState> state;
    try {
        state = ParseProject(data, size);
    } catch (const std::out_of_range&) {
        return 0; // a colour picture that does not fit the state: a clean failure
    }
    if (!state)
        return 0;
    // Everything that reads must save.
    std::vector<uint8_t> first = ProjectFileBytes(*state, "fuzz.kvx");
    state.reset();
    std::optional<RenderState> again = ParseProject(first.data(), first.size());
    if (!again)
        std::abort(); // a file we wrote must read back
    if (ProjectFileBytes(*again, "fuzz.kvx") != first)
        std::abort();
    return 0;
}
