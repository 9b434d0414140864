#pragma once

#include <string_view>
#include <vector>

namespace korvex {

// The pieces of `text` between `separator`s, in order (views into `text`).
// Nothing after a last separator is no piece: "a\n" is one line, "" none,
// while "a\n\nb" keeps its empty middle line.
inline std::vector<std::string_view> SplitAt(std::string_view text, char separator) {
    std::vector<std::string_view> pieces;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find(separator, pos);
        if (end == std::string_view::npos)
            end = text.size();
        pieces.push_back(text.substr(pos, end - pos));
        pos = end + 1;
    }
    return pieces;
}

} // namespace korvex
