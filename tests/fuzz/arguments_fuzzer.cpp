// demokit's command line: any list of arguments, parsed with every command
// defined and nothing run. Refusals are CLI11's ParseError or the tool's
// UsageError, nothing else.
#include <cstdint>
#include <string>
#include <vector>

#include "command_line.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The arguments are the input's NUL-separated pieces, after the tool's name.
    std::vector<std::string> arguments;
    std::string piece;
    for (std::size_t k = 0; k < size; ++k) {
        if (data[k] == 0) {
            arguments.push_back(piece);
            piece.clear();
        } else {
            piece += static_cast<char>(data[k]);
        }
    }
    arguments.push_back(piece);
    std::vector<char*> argv = {const_cast<char*>("demokit")};
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    DemokitCommandLine commandLine;
    try {
        commandLine.tool->parse(static_cast<int>(argv.size()), argv.data());
    } catch (const CLI::ParseError&) {
    } catch (const UsageError&) {
    }
    return 0;
}
