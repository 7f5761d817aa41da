// One shape for every stand-in's entry point (Win32, D3DX, Direct3D 9) in
// the trace: the call opened with its arguments, then either the result on
// the line, or a refusal with Windows' documented result, the last error
// where Windows sets one, and why:
//   LoadLibraryA("d3d9.dll") = d3d9.dll
//   LoadLibraryA("none.dll") = NULL (no such module)
//   Sleep(25)
// Nothing is formatted while nobody traces: the arguments' text is made in
// the constructor only then, and costly arguments are lazy.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <type_traits>

#include "windows.h"
#include "win32/api_trace.hpp"

namespace win32::line {

struct Hex {
    unsigned long value;
};

// An argument whose text is costly (an object's name, a matrix's floats):
// made only while calls are traced.
template <typename Make>
struct Lazy {
    Make make;
};
template <typename Make>
Lazy<Make> lazy(Make make)
{
    return {std::move(make)};
}
template <typename Make>
std::string text(const Lazy<Make>& argument)
{
    return argument.make();
}

inline std::string text(const std::string& s) { return s; }
inline std::string text(const char* s) { return s; }
inline std::string text(Hex h) { return hex(h.value); }
std::string text(double value); // %.9g: equal text, equal bits
template <typename T, typename = std::enable_if_t<std::is_integral_v<T> || std::is_enum_v<T>>>
std::string text(T value)
{
    if constexpr (std::is_enum_v<T>) {
        return std::to_string(static_cast<long long>(value));
    } else {
        return std::to_string(value);
    }
}

// A string argument, quoted, or NULL (made only while traced).
inline auto quotedText(const char* s)
{
    return lazy([s] { return quoted(s); });
}

// "Name(a, b, c)"
template <typename... Args>
std::string callText(std::string_view name, const Args&... args)
{
    std::string out(name);
    out += '(';
    bool first = true;
    ((out += (first ? "" : ", ") + text(args), first = false), ...);
    return out + ')';
}

} // namespace win32::line

namespace win32 {

// One entry point's line (see above): the call's text, made only when
// traced, and the line written with what it returned. The stand-ins'
// entry points use ApiCall; the Direct3D 9 front end adds its results'
// names (d3d9/call_trace.hpp).
class CallLine {
public:
    CallLine(const CallLine&) = delete;
    CallLine& operator=(const CallLine&) = delete;

    // Whether the line is being made (for a costly detail).
    bool traced() const { return text_ != nullptr; }
    // The call went ahead and returned value, shown as its text.
    template <typename T>
    T returns(T value)
    {
        if (text_ != nullptr) [[unlikely]] {
            write(line::text(value));
        }
        return value;
    }

protected:
    template <typename... Args>
    CallLine(bool traced, std::string_view name, const Args&... args)
    {
        if (traced) [[unlikely]] {
            text_ = std::make_unique<std::string>(line::callText(name, args...));
        }
    }
    ~CallLine() = default;

    // "Name(arguments) = result"
    [[gnu::cold]] void write(const std::string& result) { win32::trace(*text_ + " = " + result); }

    std::unique_ptr<std::string> text_; // the call's text, while traced
};

// A Win32 or D3DX entry point's line, made while a sink is installed.
class ApiCall : public CallLine {
public:
    template <typename... Args>
    explicit ApiCall(std::string_view name, const Args&... args) : CallLine(tracing(), name, args...)
    {
    }

    using CallLine::returns;
    // The call went ahead and returned value, shown as `shown` (a handle's
    // name, say).
    template <typename T>
    T returns(T value, std::string_view shown)
    {
        if (text_ != nullptr) [[unlikely]] {
            write(std::string(shown));
        }
        return value;
    }
    // A call with no result (void).
    void done()
    {
        if (text_ != nullptr) [[unlikely]] {
            win32::trace(*text_);
        }
    }
    // Refused as Windows refuses: value, shown as `shown`; lastError set
    // where Windows sets one (0: it sets none); why, for the reader.
    template <typename T>
    T refuse(T value, std::string_view shown, DWORD lastError, std::string_view why)
    {
        if (lastError != 0) {
            SetLastError(lastError);
        }
        if (text_ != nullptr) [[unlikely]] {
            write(std::string(shown) + " (" + std::string(why) + ")");
        }
        return value;
    }
};

} // namespace win32
