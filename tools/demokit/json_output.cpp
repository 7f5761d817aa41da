// Writing a document: nlohmann-json does the structure, the escaping of
// strings and the integers; floats, which every document holds as the float
// they came from, are printed here with nine significant digits.
#include "json_output.hpp"

#include <cmath>

namespace {

void append(std::string& text, const Json& value)
{
    switch (value.type()) {
    case Json::value_t::object: {
        text += '{';
        bool first = true;
        for (const auto& [key, member] : value.items()) {
            text += first ? "" : ",";
            text += Json(key).dump();
            text += ':';
            append(text, member);
            first = false;
        }
        text += '}';
        break;
    }
    case Json::value_t::array: {
        text += '[';
        bool first = true;
        for (const Json& element : value) {
            text += first ? "" : ",";
            append(text, element);
            first = false;
        }
        text += ']';
        break;
    }
    case Json::value_t::number_float: {
        const auto number = static_cast<float>(value.get<double>()); // exact: it was a float
        text += std::isfinite(number) ? formatFloat(number) : "null";
        break;
    }
    default:
        text += value.dump(-1, ' ', false, Json::error_handler_t::replace);
        break;
    }
}

} // namespace

Json jsonFloats(const float* numbers, int count)
{
    Json array = Json::array();
    for (int k = 0; k < count; ++k) {
        array.push_back(numbers[k]);
    }
    return array;
}

void writeJson(std::FILE* out, const Json& document)
{
    std::string text;
    append(text, document);
    text += '\n';
    std::fwrite(text.data(), 1, text.size(), out);
}

std::string formatFloat(float number)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(number));
    return text;
}
