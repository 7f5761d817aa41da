#include "d3d9/call_trace.hpp"

#include <cstdio>

#include "win32/window_system.hpp"

namespace d3d9::trace {

bool callsTracedFlag = false;

void traceCalls(bool enabled)
{
    callsTracedFlag = enabled;
}

void Call::writeResult(HRESULT value, std::string_view detail)
{
    const std::string name = value == D3D_OK ? std::string("OK") : resultName(value);
    write(detail.empty() ? name : name + " " + std::string(detail));
}

void Call::writeRefusal(HRESULT value, std::string_view why)
{
    write(resultName(value) + " (" + std::string(why) + ")");
}

std::string resultName(HRESULT result)
{
    switch (result) {
    case D3D_OK: return "OK";
    case D3DERR_INVALIDCALL: return "INVALIDCALL";
    case D3DERR_NOTAVAILABLE: return "NOTAVAILABLE";
    default: return win32::hex(static_cast<unsigned long>(result));
    }
}

std::string floats(const float* values, std::size_t count)
{
    std::string out = "[";
    for (std::size_t i = 0; i < count; ++i) {
        out += (i == 0 ? "" : ", ") + text(static_cast<double>(values[i]));
    }
    return out + "]";
}

std::uint64_t fnv1a(const void* data, std::size_t size, std::uint64_t hash)
{
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    for (std::size_t i = 0; i < size; ++i) {
        hash = (hash ^ bytes[i]) * 0x100000001b3ull;
    }
    return hash;
}

std::string hashText(std::uint64_t value)
{
    char out[24];
    std::snprintf(out, sizeof out, "%016llx", static_cast<unsigned long long>(value));
    return out;
}

std::string hash(const void* data, std::size_t size)
{
    return hashText(fnv1a(data, size));
}

std::string presentParameters(const D3DPRESENT_PARAMETERS& p)
{
    return "{" + std::to_string(p.BackBufferWidth) + "x" + std::to_string(p.BackBufferHeight) + " format " +
           std::to_string(p.BackBufferFormat) + " count " + std::to_string(p.BackBufferCount) + " multisample " +
           std::to_string(p.MultiSampleType) + " quality " + std::to_string(p.MultiSampleQuality) + " swap " +
           std::to_string(p.SwapEffect) + " window " + win32::describeWindow(p.hDeviceWindow) + " windowed " +
           std::to_string(p.Windowed) + " depth " + std::to_string(p.EnableAutoDepthStencil) + " format " +
           std::to_string(p.AutoDepthStencilFormat) + " flags " + std::to_string(p.Flags) + " refresh " +
           std::to_string(p.FullScreen_RefreshRateInHz) + " interval " + std::to_string(p.PresentationInterval) +
           "}";
}

std::string elements(const D3DVERTEXELEMENT9* list, std::size_t count)
{
    std::string out = "[";
    for (std::size_t i = 0; i < count; ++i) {
        const D3DVERTEXELEMENT9& e = list[i];
        out += (i == 0 ? "" : "; ") + std::to_string(e.Stream) + " " + std::to_string(e.Offset) + " " +
               std::to_string(e.Type) + " " + std::to_string(e.Method) + " " + std::to_string(e.Usage) + " " +
               std::to_string(e.UsageIndex);
    }
    return out + "]";
}

} // namespace d3d9::trace
