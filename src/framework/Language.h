#pragma once

#include <string>
#include <vector>

namespace korvex {

// The folder that holds the program file (no trailing slash).
std::string ProgramDirectory();

// The folder that holds the language folders and "Help.pdf". An installed
// program lives in <prefix>/bin and finds them in <prefix>/share/korvex; a
// program in a build tree has them beside it.
std::string ResourceDirectory();
std::string ResourceDirectoryFor(const std::string& programDirectory);

// Where "lang.txt" lives: beside the program when the program runs from its
// build tree and that folder is writable, otherwise
// $XDG_CONFIG_HOME/korvex/lang.txt (~/.config when unset). An installed
// program never writes into the system's program folder, even as root.
std::string LanguageFilePath();

// The language setting: "auto" when the file is missing, unreadable or 16
// bytes or longer; otherwise its content cut at the first space, tab, CR, LF
// or vertical tab.
std::string ReadLanguage();
std::string ReadLanguageFrom(const std::string& path);

// Writes the name without a line end; failures raise the file errors.
void WriteLanguage(const std::string& name);
void WriteLanguageTo(const std::string& path, const std::string& name);

// The language folders beside the program that hold a "*.mui" file, sorted.
std::vector<std::string> AvailableLanguages();

} // namespace korvex
