#include "cli/ProjectArgs.h"

#include "cli/Cli.h"

#include <algorithm>
#include <cstdio>

namespace korvex::cli {

std::optional<ParsedArgs> ParseArgs(const std::vector<std::string>& args,
                                    const std::vector<std::string>& valued,
                                    const std::vector<std::string>& flags, size_t minPositional,
                                    size_t maxPositional, const char* usage) {
    ParsedArgs parsed;
    auto has = [](const std::vector<std::string>& list, const std::string& s) {
        return std::find(list.begin(), list.end(), s) != list.end();
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.size() > 1 && a[0] == '-' && a != "--") {
            std::string name = a, value;
            size_t eq = a.find('=');
            bool inlineValue = eq != std::string::npos;
            if (inlineValue) {
                name = a.substr(0, eq);
                value = a.substr(eq + 1);
            }
            if (has(flags, name) && !inlineValue) {
                parsed.options[name] = "";
            } else if (has(valued, name)) {
                if (!inlineValue) {
                    if (i + 1 >= args.size()) {
                        UsageError(name + " needs a value (" + usage + ")");
                        return std::nullopt;
                    }
                    value = args[++i];
                }
                parsed.options[name] = value;
            } else {
                UsageError("unknown option '" + a + "' (" + usage + ")");
                return std::nullopt;
            }
        } else if (a == "--") {
            parsed.positional.insert(parsed.positional.end(), args.begin() + long(i) + 1, args.end());
            break;
        } else {
            parsed.positional.push_back(a);
        }
    }
    if (parsed.positional.size() < minPositional || parsed.positional.size() > maxPositional) {
        UsageError(std::string("wrong number of arguments (") + usage + ")");
        return std::nullopt;
    }
    return parsed;
}

std::optional<unsigned> ParseNumber(const std::string& text, unsigned max) {
    if (text.empty() || text.size() > 9)
        return std::nullopt;
    unsigned value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + unsigned(c - '0');
    }
    if (value > max)
        return std::nullopt;
    return value;
}

bool WriteStdout(const void* bytes, size_t size) {
    if (size != 0 && std::fwrite(bytes, 1, size, stdout) != size)
        return false;
    return std::fflush(stdout) == 0;
}

} // namespace korvex::cli
