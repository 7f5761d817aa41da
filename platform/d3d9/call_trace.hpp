// The front end's optional log of the program's Direct3D 9 calls, one line a
// call, written to the Win32 stand-in's trace sink so that one log holds the
// whole conversation in order (as a driver's debug channel would). Nothing
// is formatted while no sink is installed.
//
// Every entry point has one shape, the one the Win32 and D3DX stand-ins'
// share (win32/call_line.hpp, whose argument formats this uses): it opens a
// trace::Call with its arguments, refuses misuse through call.refuse (the
// documented HRESULT and why) or what is not offered through
// call.notOffered, and returns through call.result (or call.made,
// call.returns). The line is written as the call returns, with what it
// returned:
//   SetRenderState(7, 1) = OK
//   SetRenderState(300, 1) = INVALIDCALL (no such render state)
//   CreateVertexBuffer(6144, 0x0, 0x152, 0) = vb1
// so a refused call shows as refused. (A call the runtime makes inside
// another, SetWindowPos inside CreateDevice, comes before its line.)
//
// Formats: objects by kind and number (vb1, tex3, surf:tex2, device, d3d);
// integers in decimal, flags as 0x hex; floats with %.9g, so equal text
// means equal bits; results as OK, INVALIDCALL or NOTAVAILABLE; byte
// contents as FNV-1a hashes in 16 hex digits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "d3d9.h"
#include "d3d9/failures.hpp"
#include "win32/api_trace.hpp"
#include "win32/call_line.hpp"

namespace d3d9::trace {

// Whether the runtime in use was installed with its calls traced.
void traceCalls(bool enabled);
extern bool callsTracedFlag; // traceCalls' setting, read inline by every entry point

inline bool on()
{
    return callsTracedFlag && win32::tracing();
}

// The argument formats every stand-in shares.
using win32::line::callText;
using win32::line::Hex;
using win32::line::lazy;
using win32::line::Lazy;
using win32::line::text;

std::string resultName(HRESULT result); // OK, INVALIDCALL, NOTAVAILABLE, or hex

// One entry point's line (see above). Cheap while calls are not traced (a
// flag read, and a pointer tested at the end): entry points run thousands
// of times a frame, so everything that formats is out of line.
class Call : public win32::CallLine {
public:
    template <typename... Args>
    explicit Call(std::string_view name, const Args&... args) : CallLine(on(), name, args...)
    {
    }

    // The call went ahead; `detail` follows the result (a content hash).
    HRESULT result(HRESULT value, std::string_view detail = {})
    {
        if (text_ != nullptr) [[unlikely]] {
            writeResult(value, detail);
        }
        return value;
    }
    // Misuse, or what is not offered: the result and why.
    HRESULT refuse(HRESULT value, std::string_view why)
    {
        if (text_ != nullptr) [[unlikely]] {
            writeRefusal(value, why);
        }
        return value;
    }
    // What no device offers: reported once under its id (notOffered), and
    // refused with D3DERR_NOTAVAILABLE and the id.
    HRESULT notOffered(std::string_view id, std::string_view what)
    {
        return refuse(d3d9::notOffered(id, what), id);
    }
    // An object was made: its name.
    HRESULT made(const std::string& name)
    {
        if (text_ != nullptr) [[unlikely]] {
            write(name);
        }
        return D3D_OK;
    }

private:
    [[gnu::cold]] void writeResult(HRESULT value, std::string_view detail);
    [[gnu::cold]] void writeRefusal(HRESULT value, std::string_view why);
};

std::string floats(const float* values, std::size_t count); // [a, b, ...]
std::string hash(const void* data, std::size_t size);       // FNV-1a, 16 hex digits
std::uint64_t fnv1a(const void* data, std::size_t size, std::uint64_t hash = 0xcbf29ce484222325ull);
std::string hashText(std::uint64_t value);
std::string presentParameters(const D3DPRESENT_PARAMETERS& p);
std::string elements(const D3DVERTEXELEMENT9* elements, std::size_t count);

} // namespace d3d9::trace
