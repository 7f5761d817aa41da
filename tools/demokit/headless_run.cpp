#include "headless_run.hpp"

#include "command_line.hpp"
#include "host/backend_list.hpp"

bool takeRangeOption(const std::string& argument, Arguments& args, RangeOptions& options, const char* command)
{
    const std::string name = command;
    if (argument == "--from") {
        options.from = parseInt32(args.takeValue(argument), "from");
        options.ranged = true;
    } else if (argument == "--to") {
        options.to = parseInt32(args.takeValue(argument), "to");
        options.ranged = true;
    } else if (argument == "--no-multisample") {
        options.multisample = false;
    } else if (argument == "--threads") {
        options.threads = parseInt32(args.takeValue(argument), "threads");
        if (options.threads < 1 || options.threads > 64) {
            throw UsageError(name + ": threads must be 1 to 64");
        }
    } else if (argument == "--device") {
        options.device = args.takeValue(argument);
    } else {
        return false;
    }
    return true;
}

void checkRangeOptions(const RangeOptions& options, const char* command)
{
    const std::string name = command;
    if (options.from < 0 || options.to < options.from) {
        throw UsageError(name + ": the range must satisfy 0 <= from <= to");
    }
    for (const std::string& device : deviceList(options)) {
        if (host::findBackend(device) == nullptr) {
            throw UsageError(name + ": unknown device '" + device + "' (this build has: " + host::backendNames() + ")");
        }
    }
}

std::vector<std::string> deviceList(const RangeOptions& options)
{
    std::vector<std::string> devices;
    std::size_t start = 0;
    while (start <= options.device.size()) {
        const std::size_t comma = options.device.find(',', start);
        devices.push_back(options.device.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) {
            break;
        }
        start = comma + 1;
    }
    return devices;
}

void checkRunEnded(const headless::HeadlessResult& result, const char* command)
{
    if (!result.deviceError.empty()) {
        throw ToolError(std::string(command) + ": the device cannot be had: " + result.deviceError);
    }
    if (result.exitCode != 0) {
        throw ToolError(std::string(command) + ": the program ended with exit code " + std::to_string(result.exitCode));
    }
}
