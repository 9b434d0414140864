#pragma once

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

namespace korvex::test {

// A new empty folder under the system's temporary folder, named after
// `prefix`; removed with its content when the object goes. Failing to make
// it throws, so a test never writes into a folder it does not own.
class TempDir {
public:
    explicit TempDir(const std::string& prefix = "korvex-test") {
        std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("cannot create a temporary folder for " + prefix);
        path = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path; }
    // The path of `name` inside the folder.
    std::string File(const std::string& name) const { return path + "/" + name; }
    std::string operator/(const std::string& name) const { return File(name); }
    // The names in the folder, sorted.
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(path))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    std::string path;
};

} // namespace korvex::test
