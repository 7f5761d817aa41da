// demokit's own parsing: the numbers and lists its options take (--at,
// --from, --frames, --times ...). Refusals are UsageError, nothing else.
#include <cstdint>
#include <string>

#include "command_line.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        parseInt32(text, "value");
    } catch (const UsageError&) {
    }
    try {
        parseInt32List(text, "value");
    } catch (const UsageError&) {
    }
    return 0;
}
