#pragma once

#include <QString>
#include <initializer_list>
#include <string>

namespace korvex {

// The text of string-table entry `id` as a QString.
QString Text(unsigned id);

// Fills the printf-style placeholders (%s, %u, %d, %c) of a string-table
// text with `args`, in order, without ever handing the text to printf: a
// text from a language file cannot make the program read arguments that
// are not there. "%%" gives "%". Missing arguments leave nothing.
std::string FillText(const std::string& format, std::initializer_list<std::string> args);

} // namespace korvex
