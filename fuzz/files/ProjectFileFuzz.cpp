// The project-file reader on arbitrary bytes. Whatever it accepts must save
// again, and saving is stable: reading the saved file and saving once more
// gives the same bytes.
#include "files/ProjectFile.h"
#include "framework/LocalException.h"

#include <cstdlib>
#include <stdexcept>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace korvex;
    std::optional<RenderState> state;
    try {
        state = ParseProject(data, size);
    } catch (const std::out_of_range&) {
        return 0; // a colour picture that does not fit the state: a clean failure
    }
    if (!state || state->detectors.size() > 8)
        return 0;
    std::vector<uint8_t> first;
    try {
        first = ProjectFileBytes(*state, "fuzz.kvx");
    } catch (const LocalException&) {
        return 0; // refused before writing (e.g. too many rows for the size)
    } catch (const std::out_of_range&) {
        return 0; // a detector's card has no background
    }
    std::optional<RenderState> again = ParseProject(first.data(), first.size());
    if (!again)
        std::abort(); // a file we wrote must read back
    if (ProjectFileBytes(*again, "fuzz.kvx") != first)
        std::abort();
    return 0;
}
