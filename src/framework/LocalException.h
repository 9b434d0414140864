#pragma once

#include <exception>
#include <string>

namespace korvex {

// The program's one exception type: carries a user-readable text, usually a
// string-table entry. Caught only where a user action ends.
class LocalException : public std::exception {
public:
    explicit LocalException(std::string message) : message(std::move(message)) {}
    const char* what() const noexcept override { return message.c_str(); }

    std::string message;
};

// Throws a LocalException with the text of string-table entry `id`.
[[noreturn]] void RaiseError(unsigned id);

// Throws a LocalException with the given literal text.
[[noreturn]] void RaiseMessage(std::string text);

} // namespace korvex
