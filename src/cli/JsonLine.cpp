#include "cli/JsonLine.h"

namespace korvex::cli {
namespace {

std::string Scalar(const Json& value) {
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

void Append(std::string& out, const Json& value) {
    if (value.is_object()) {
        out += '{';
        for (auto it = value.begin(); it != value.end(); ++it) {
            if (it != value.begin())
                out += ", ";
            out += Scalar(Json(it.key()));
            out += ": ";
            Append(out, it.value());
        }
        out += '}';
    } else if (value.is_array()) {
        out += '[';
        for (auto it = value.begin(); it != value.end(); ++it) {
            if (it != value.begin())
                out += ", ";
            Append(out, *it);
        }
        out += ']';
    } else {
        out += Scalar(value);
    }
}

} // namespace

std::string JsonLine(const Json& value) {
    std::string out;
    Append(out, value);
    return out;
}

} // namespace korvex::cli
