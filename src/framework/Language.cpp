#include "framework/Language.h"

#include "framework/AtomicFile.h"
#include "framework/BinaryFile.h"
#include "framework/StringTable.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvex {

std::string ProgramDirectory() {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return ".";
    std::string path(buf, static_cast<size_t>(n));
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

std::string ResourceDirectoryFor(const std::string& programDirectory) {
    // <prefix>/bin/program with <prefix>/share/korvex is an installed
    // layout; anything else is a build tree (or a copied folder) that keeps
    // everything beside the program.
    const std::string shared = programDirectory + "/../share/korvex";
    struct stat st {};
    if (stat(shared.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return programDirectory;
    char resolved[PATH_MAX];
    if (!realpath(shared.c_str(), resolved))
        return programDirectory;
    return resolved;
}

std::string ResourceDirectory() {
    return ResourceDirectoryFor(ProgramDirectory());
}

std::string LanguageFilePath() {
    std::string dir = ProgramDirectory();
    if (ResourceDirectoryFor(dir) == dir && access(dir.c_str(), W_OK) == 0)
        return dir + "/lang.txt";
    std::string config;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg) {
        config = xdg;
    } else {
        const char* home = std::getenv("HOME");
        config = std::string(home ? home : ".") + "/.config";
    }
    std::string folder = config + "/korvex";
    mkdir(config.c_str(), 0755);
    mkdir(folder.c_str(), 0755);
    return folder + "/lang.txt";
}

std::string ReadLanguageFrom(const std::string& path) {
    // Only a regular file is read: opening a pipe would wait for a writer.
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return "auto";
    try {
        BinaryFile file(path, "rb");
        uint64_t size = file.Size();
        if (size >= 16)
            return "auto";
        std::string text(static_cast<size_t>(size), '\0');
        file.Read(text.data(), text.size());
        size_t cut = text.find_first_of(" \t\r\n\v");
        if (cut != std::string::npos)
            text.resize(cut);
        return text;
    } catch (const std::exception&) {
        return "auto";
    }
}

std::string ReadLanguage() {
    return ReadLanguageFrom(LanguageFilePath());
}

void WriteLanguageTo(const std::string& path, const std::string& name) {
    AtomicFile::WriteAll(path, name.data(), name.size());
}

void WriteLanguage(const std::string& name) {
    WriteLanguageTo(LanguageFilePath(), name);
}

std::vector<std::string> AvailableLanguages() {
    std::vector<std::string> names;
    std::string root = LanguageRoot();
    DIR* d = opendir(root.c_str());
    if (!d)
        return names;
    while (dirent* e = readdir(d)) {
        std::string n = e->d_name;
        if (n == "." || n == "..")
            continue;
        std::string folder = root + "/" + n;
        struct stat st {};
        if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            continue;
        DIR* sub = opendir(folder.c_str());
        if (!sub)
            continue;
        bool hasMui = false;
        while (dirent* f = readdir(sub)) {
            std::string fn = f->d_name;
            if (fn.size() > 4 && fn.compare(fn.size() - 4, 4, ".mui") == 0)
                hasMui = true;
        }
        closedir(sub);
        if (hasMui)
            names.push_back(n);
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace korvex
