// The front end's optional log of the program's Direct3D 9 calls, one line a
// call, written to the Win32 stand-in's trace sink so that one log holds the
// whole conversation in order (as a driver's debug channel would). Nothing
// is formatted while no sink is installed.
// Formats: objects by kind and number (vb1, tex3, surf:tex2, device, d3d);
// integers in decimal, flags as 0x hex; floats with %.9g, so equal text
// means equal bits; results as OK, INVALIDCALL or NOTAVAILABLE; byte
// contents as FNV-1a hashes in 16 hex digits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "d3d9.h"
#include "win32/api_trace.hpp"

namespace d3d9::trace {

// Whether the runtime in use was installed with its calls traced.
void traceCalls(bool enabled);
bool callsTraced();

inline bool on()
{
    return callsTraced() && win32::tracing();
}

struct Hex {
    unsigned long value;
};

inline std::string text(const std::string& s) { return s; }
inline std::string text(const char* s) { return s; }
inline std::string text(Hex h) { return win32::hex(h.value); }
std::string text(double value);
template <typename T, typename = std::enable_if_t<std::is_integral_v<T> || std::is_enum_v<T>>>
std::string text(T value)
{
    if constexpr (std::is_enum_v<T>) {
        return std::to_string(static_cast<long long>(value));
    } else {
        return std::to_string(value);
    }
}

// "Name(a, b, c)"
template <typename... Args>
std::string callText(std::string_view name, const Args&... args)
{
    std::string line(name);
    line += '(';
    bool first = true;
    ((line += (first ? "" : ", ") + text(args), first = false), ...);
    return line + ')';
}

template <typename... Args>
void call(std::string_view name, const Args&... args)
{
    if (on()) {
        win32::trace(callText(name, args...));
    }
}

// "Name(a, b) = result"
template <typename... Args>
void callWithResult(const std::string& result, std::string_view name, const Args&... args)
{
    if (on()) {
        win32::trace(callText(name, args...) + " = " + result);
    }
}

std::string resultName(HRESULT result); // OK, INVALIDCALL, NOTAVAILABLE, or hex
std::string floats(const float* values, std::size_t count); // [a, b, ...]
std::string hash(const void* data, std::size_t size);       // FNV-1a, 16 hex digits
std::uint64_t fnv1a(const void* data, std::size_t size, std::uint64_t hash = 0xcbf29ce484222325ull);
std::string hashText(std::uint64_t value);
std::string presentParameters(const D3DPRESENT_PARAMETERS& p);
std::string elements(const D3DVERTEXELEMENT9* elements, std::size_t count);

} // namespace d3d9::trace
