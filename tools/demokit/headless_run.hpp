// Options shared by demokit record and bench: the timeline range and the
// device settings, parsed from the command line, and the check that the
// program ran to its end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/headless/headless_host.hpp"
#include "host/virtual_display.hpp"

namespace CLI {
class App;
}

using host::TimelineEndMs;

struct RangeOptions {
    std::int32_t from = 0;
    std::int32_t to = TimelineEndMs;
    bool ranged = false;       // --from or --to given
    bool multisample = true;   // --no-multisample clears it
    std::int32_t threads = 0;  // --threads N
    std::string device = "software"; // --device: gl or software (bench: a comma list)
};

// The names in --device, in order.
std::vector<std::string> deviceList(const RangeOptions& options);

// Adds --from, --to, --no-multisample, --threads and --device to command;
// deviceHelp says what --device takes there.
void addRangeOptions(CLI::App& command, RangeOptions& options, const std::string& deviceHelp);
// Refuses an empty or negative range and devices that are not built.
void checkRangeOptions(const RangeOptions& options, const char* command);
// Throws ToolError when the program did not end normally.
void checkRunEnded(const headless::HeadlessResult& result, const char* command);
