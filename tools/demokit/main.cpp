// demokit: the companion command line. It links the same system code as the
// program and inspects, records and measures what it builds.
#include <cstdio>
#include <exception>
#include <new>
#include <string>

#include "command_line.hpp"
#include "input_file.hpp"

namespace {

// "record: " for a failure inside a command, "" before one was named.
std::string commandPrefix(CLI::App& tool)
{
    const std::vector<CLI::App*> chosen = tool.get_subcommands();
    return chosen.empty() ? "" : chosen.front()->get_name() + ": ";
}

int fail(const std::string& message, int code)
{
    std::fprintf(stderr, "demokit: %s\n", message.c_str());
    return code;
}

} // namespace

int main(int argc, char** argv)
{
    DemokitCommandLine commandLine;
    CLI::App& tool = *commandLine.tool;
    try {
        try {
            tool.parse(argc, argv);
        } catch (const CLI::CallForHelp& help) {
            return tool.exit(help); // the chosen command's help on stdout, exit code 0
        } catch (const CLI::CallForVersion& version) {
            return tool.exit(version);
        } catch (const CLI::ParseError& error) {
            if (tool.get_subcommands().empty()) {
                const bool named = argc > 1 && argv[1][0] != '-';
                return fail(named ? "unknown command '" + std::string(argv[1]) + "' (see demokit --help)"
                                  : "a command is required (see demokit --help)",
                            2);
            }
            return fail(commandPrefix(tool) + error.what(), 2);
        }
        return commandLine.run();
    } catch (const UsageError& error) {
        return fail(error.what(), 2);
    } catch (const InputError& error) {
        return fail(error.what(), 3);
    } catch (const ToolError& error) {
        return fail(error.what(), 1);
    } catch (const std::bad_alloc&) {
        return fail("out of memory", 1);
    }
}
