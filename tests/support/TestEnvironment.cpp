// Linked into every test program: the environment the tests expect, however
// they are started (ctest, a preset, or the program run by hand).
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <unistd.h>

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
        // Settings, recent projects and recovery files of the window go to a
        // folder of this process, never to the user's own.
        home = std::filesystem::temp_directory_path() / ("korvex-test-home-" + std::to_string(::getpid()));
        std::error_code ignored;
        std::filesystem::create_directories(home / "config", ignored);
        std::filesystem::create_directories(home / "state", ignored);
        setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
        setenv("XDG_STATE_HOME", (home / "state").c_str(), 1);
    }
    ~TestEnvironment() {
        std::error_code ignored;
        std::filesystem::remove_all(home, ignored);
    }
    std::filesystem::path home;
};
const TestEnvironment environment;
} // namespace
