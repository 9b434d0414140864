#include "app/common/UiText.h"

#include "framework/StringTable.h"

#include <vector>

namespace korvex {

QString Text(unsigned id) { return QString::fromStdString(LoadTextA(id)); }

std::string FillText(const std::string& format, std::initializer_list<std::string> args) {
    std::vector<std::string> values(args);
    std::string out;
    size_t next = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        char c = format[i];
        if (c != '%' || i + 1 >= format.size()) {
            out += c;
            continue;
        }
        char k = format[i + 1];
        if (k == '%') {
            out += '%';
            ++i;
        } else if (k == 's' || k == 'u' || k == 'd' || k == 'c') {
            if (next < values.size())
                out += values[next];
            ++next;
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace korvex
