// The tool's command line: CLI11's layout made to read like the rest of the
// tool's output, and every command put in.
#include "command_line.hpp"

#include "demo_version.hpp"
#include "subcommands.hpp"

namespace {

const char* const ToolSummary = "Inspects, records and measures the demo with the program's own code.";

const char* const ToolDetails =
    "Run 'demokit <command> --help' for a command's options.\n"
    "\n"
    "Exit codes: 0 done; 1 a file that cannot be read or written, or a run that\n"
    "failed; 2 bad arguments; 3 a file refused for what it holds (empty, not of\n"
    "its kind, beyond the tool's bounds); 130 a recording stopped by Ctrl+C.";

constexpr std::size_t NameColumn = 24; // where descriptions start
constexpr std::size_t LineWidth = 80;

// CLI11's layout with option descriptions wrapped at the line's width, word
// by word, continued under the description column.
class ToolHelpLayout final : public CLI::Formatter {
public:
    std::string make_option_desc(const CLI::Option* option) const override
    {
        return wrap(CLI::Formatter::make_option_desc(option), LineWidth - NameColumn);
    }

private:
    static std::string wrap(const std::string& text, std::size_t width)
    {
        std::string wrapped;
        std::size_t lineLength = 0;
        std::size_t start = 0;
        while (start < text.size()) {
            std::size_t end = text.find(' ', start);
            end = end == std::string::npos ? text.size() : end;
            const std::size_t wordLength = end - start;
            if (lineLength > 0 && lineLength + 1 + wordLength > width) {
                wrapped += '\n';
                lineLength = 0;
            } else if (lineLength > 0) {
                wrapped += ' ';
                ++lineLength;
            }
            wrapped.append(text, start, wordLength);
            lineLength += wordLength;
            start = end + 1;
        }
        return wrapped;
    }
};

} // namespace

CLI::App* addCommand(CLI::App& tool, const std::string& name, const std::string& summary,
                     const std::string& details)
{
    CLI::App* command = tool.add_subcommand(name, summary);
    command->group("Commands");
    command->footer(details); // also replaces the tool's own, which a command inherits
    return command;
}

DemokitCommandLine::DemokitCommandLine() : tool(std::make_unique<CLI::App>(ToolSummary, "demokit"))
{
    auto layout = std::make_shared<ToolHelpLayout>();
    layout->label("Usage", "usage");
    layout->label("SUBCOMMAND", "COMMAND");
    layout->label("SUBCOMMANDS", "COMMANDS");
    layout->column_width(NameColumn);
    tool->formatter(layout);
    tool->footer(ToolDetails);
    tool->set_version_flag("--version", "demokit " DEMO_VERSION, "print the version and exit");
    tool->require_subcommand(1);
    addSceneCommand(*tool, run);
    addMeshCommand(*tool, run);
    addTexturesCommand(*tool, run);
    addSongCommand(*tool, run);
    addShadersCommand(*tool, run);
    addRecordCommand(*tool, run);
    addBenchCommand(*tool, run);
    addDigestCommand(*tool, run);
}
