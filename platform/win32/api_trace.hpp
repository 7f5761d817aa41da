// An optional log of the stand-in's Win32 calls, one line a call, for tests
// that check the order and arguments of what the program asks of Windows.
// Devices that record their calls write to the same sink, so that one log
// holds the whole conversation in order. Without a sink nothing is formatted.
// Entry points write their lines through win32::ApiCall (call_line.hpp).
#pragma once

#include <functional>
#include <string>

namespace win32 {

using TraceSink = std::function<void(const std::string& line)>;

// Installs the sink (an empty one switches tracing off).
void setTraceSink(TraceSink sink);
bool tracing();
void trace(const std::string& line);

// Formatting helpers for trace lines.
std::string quoted(const char* text);   // "text", or NULL
std::string hex(unsigned long value);   // 0x1b

} // namespace win32
