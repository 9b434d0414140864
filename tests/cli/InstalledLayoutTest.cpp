// korvex-cli copied into an installed layout (<prefix>/bin with
// <prefix>/share/korvex) finds its languages there and its language choice
// in the user's configuration folder, and reports its version.
#include "support/CommandRun.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

using Outcome = korvex::test::CommandOutcome;
using korvex::test::ReadWholeFile;

class InstalledLayout : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("kx-installed-" + std::to_string(::getpid()));
        fs::remove_all(root);
        fs::create_directories(root / "usr/bin");
        fs::create_directories(root / "usr/share/korvex");
        fs::create_directories(root / "config/korvex");
        fs::copy_file(KORVEX_CLI_PATH, root / "usr/bin/korvex-cli");
        fs::copy(fs::path(KORVEX_TEST_LANG_DIR) / "pl", root / "usr/share/korvex/pl");
    }
    void TearDown() override { fs::remove_all(root); }

    // Runs `program` with `arguments` under `environment` (env syntax).
    Outcome Run(const std::string& environment, const std::string& program, const std::string& arguments) {
        return korvex::test::RunCommandWithErrors("env " + environment + " '" + program + "' " + arguments,
                                                  root / "stderr.txt");
    }

    fs::path root;
};

TEST_F(InstalledLayout, LanguageComesFromTheShareFolderAndTheUsersChoice) {
    const std::string installed = (root / "usr/bin/korvex-cli").string();
    const std::string missing = "'" + (root / "missing.kvx").string() + "'";
    // The reference texts, from the build tree's language folders.
    const Outcome polish = Run("LANGUAGE=pl", KORVEX_CLI_PATH, "info " + missing);
    const Outcome english = Run("LANGUAGE=en", KORVEX_CLI_PATH, "info " + missing);
    ASSERT_NE(polish.status, 0);
    ASSERT_NE(polish.err, english.err) << "the build tree should offer a Polish text for a missing file";

    // Installed: the choice is in $XDG_CONFIG_HOME/korvex/lang.txt; a
    // lang.txt beside the program (a folder the user may well be able to
    // write, as root) is not the installed program's.
    std::ofstream(root / "config/korvex/lang.txt") << "pl";
    std::ofstream(root / "usr/bin/lang.txt") << "en";
    const std::string environment =
        "-u KORVEX_LANG_DIR LANGUAGE=en XDG_CONFIG_HOME='" + (root / "config").string() + "'";
    const Outcome chosen = Run(environment, installed, "info " + missing);
    EXPECT_EQ(chosen.status, polish.status);
    EXPECT_EQ(chosen.err, polish.err);

    // "auto" follows the system language, still from the share folder.
    std::ofstream(root / "config/korvex/lang.txt") << "auto";
    const Outcome automatic = Run("-u KORVEX_LANG_DIR LANGUAGE=pl XDG_CONFIG_HOME='" + (root / "config").string() +
                                      "'",
                                  installed, "info " + missing);
    EXPECT_EQ(automatic.err, polish.err);
}

TEST_F(InstalledLayout, VersionIsTheProjectVersion) {
    const Outcome version = Run("-u KORVEX_LANG_DIR", (root / "usr/bin/korvex-cli").string(), "--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "korvex-cli " KORVEX_EXPECTED_VERSION "\n");
    // The command list names the option too.
    const Outcome help = Run("", KORVEX_CLI_PATH, "--help");
    EXPECT_NE(help.out.find("--version"), std::string::npos);
}

} // namespace
