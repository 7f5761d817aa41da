#include "headless_run.hpp"

#include "command_line.hpp"

#include "host/backend_list.hpp"

void addRangeOptions(CLI::App& command, RangeOptions& options, const std::string& deviceHelp)
{
    command
        .add_option_function<std::int32_t>(
            "--from", [&options](const std::int32_t& from) { options.from = from, options.ranged = true; },
            "the first elapsed time of the range (default 0 ms)")
        ->type_name("A");
    command
        .add_option_function<std::int32_t>(
            "--to", [&options](const std::int32_t& to) { options.to = to, options.ranged = true; },
            "the last elapsed time of the range (default 82000 ms, the whole timeline)")
        ->type_name("B");
    command.add_option("--device", options.device, deviceHelp)->type_name("NAME");
    command
        .add_flag_callback(
            "--no-multisample", [&options] { options.multisample = false; },
            "the device answers that it has no multisampling")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    command.add_option("--threads", options.threads, "rasterizer threads, 1 to 64 (default one a core)")
        ->type_name("N")
        ->check(CLI::Range(1, 64).description(""));
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
