// Linked into every test program: the environment the tests expect, however
// they are started (ctest, a preset, or the program run by hand).
#include <cstdlib>

extern "C" {
// Leaks inside system libraries the program does not own (font lookup under
// Qt, the crypto library under libssh2) are reported by LeakSanitizer at exit;
// they are not ours to fix.
const char* __lsan_default_suppressions();
const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\n"
           "leak:libQt6Gui\n"
           "leak:libQt6Core\n"
           "leak:libdbus\n"
           "leak:libcrypto\n";
}
}

namespace {
struct TestEnvironment {
    TestEnvironment() {
        // Widgets draw off screen; string tables come from the build's folder.
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        setenv("KORVEX_LANG_DIR", KORVEX_TEST_LANG_DIR, 0);
    }
};
const TestEnvironment environment;
} // namespace
