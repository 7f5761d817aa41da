#include "json_writer.hpp"

#include <cmath>

JsonWriter::JsonWriter(std::FILE* out) : out_(out) {}

void JsonWriter::separate()
{
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (!firstInScope_.empty()) {
        if (!firstInScope_.back()) {
            std::fputc(',', out_);
        }
        firstInScope_.back() = false;
    }
}

void JsonWriter::beginObject()
{
    separate();
    std::fputc('{', out_);
    firstInScope_.push_back(true);
}

void JsonWriter::endObject()
{
    firstInScope_.pop_back();
    std::fputc('}', out_);
}

void JsonWriter::beginArray()
{
    separate();
    std::fputc('[', out_);
    firstInScope_.push_back(true);
}

void JsonWriter::endArray()
{
    firstInScope_.pop_back();
    std::fputc(']', out_);
}

void JsonWriter::key(const char* name)
{
    separate();
    std::fprintf(out_, "\"%s\":", name);
    afterKey_ = true;
}

void JsonWriter::value(std::int64_t number)
{
    separate();
    std::fprintf(out_, "%lld", static_cast<long long>(number));
}

void JsonWriter::value(float number)
{
    separate();
    std::fputs(std::isfinite(number) ? formatFloat(number).c_str() : "null", out_);
}

void JsonWriter::value(bool flag)
{
    separate();
    std::fputs(flag ? "true" : "false", out_);
}

void JsonWriter::value(const std::string& text)
{
    separate();
    std::fputc('"', out_);
    for (char c : text) {
        if (c == '"' || c == '\\') {
            std::fputc('\\', out_);
        }
        std::fputc(c, out_);
    }
    std::fputc('"', out_);
}

void JsonWriter::floats(const float* numbers, int count)
{
    beginArray();
    for (int k = 0; k < count; ++k) {
        value(numbers[k]);
    }
    endArray();
}

void JsonWriter::finish()
{
    std::fputc('\n', out_);
}

std::string formatFloat(float number)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(number));
    return text;
}
