// The composer item record reader on arbitrary bytes. An accepted record
// writes back to a record that reads again to the same tree.
#include "composer/Composer.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace korvex;
    ComposerItem item;
    size_t used = 0;
    if (!ReadItem(data, size, item, &used))
        return 0;
    if (used < 20 || used > size)
        std::abort();
    std::vector<uint8_t> out;
    WriteItem(item, out);
    ComposerItem again;
    if (!ReadItem(out.data(), out.size(), again) || out.size() != used)
        std::abort();
    std::vector<uint8_t> twice;
    WriteItem(again, twice);
    if (twice != out)
        std::abort();
    (void)ComposeScript;
    (void)ItemScriptText(item);
    return 0;
}
