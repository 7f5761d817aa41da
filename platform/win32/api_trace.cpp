#include "win32/api_trace.hpp"
#include "win32/call_line.hpp"

#include <cstdio>
#include <utility>

namespace win32 {
namespace {

TraceSink& sink()
{
    static TraceSink instance;
    return instance;
}

} // namespace

void setTraceSink(TraceSink newSink)
{
    sink() = std::move(newSink);
}

bool tracing()
{
    return static_cast<bool>(sink());
}

void trace(const std::string& line)
{
    if (sink()) {
        sink()(line);
    }
}

std::string quoted(const char* text)
{
    return text == nullptr ? std::string("NULL") : "\"" + std::string(text) + "\"";
}

std::string line::text(double value)
{
    char out[32];
    std::snprintf(out, sizeof out, "%.9g", value);
    return out;
}

std::string hex(unsigned long value)
{
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "0x%lx", value);
    return buffer;
}

} // namespace win32
