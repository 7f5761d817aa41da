// Argument handling shared by the demokit subcommands. A bad argument throws
// UsageError, which main turns into one line on stderr and exit code 2.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A failure of the work itself (a file that cannot be written): exit code 1.
struct ToolError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The arguments after the subcommand's name, consumed front to back.
class Arguments {
public:
    Arguments(int argc, char** argv, int first);

    bool empty() const;
    // Whether any of the remaining arguments is --help or -h.
    bool asksForHelp() const;
    // The next argument, taken.
    std::string take();
    // The value that must follow option name.
    std::string takeValue(const std::string& name);

private:
    std::vector<std::string> items_;
    std::size_t next_ = 0;
};

// Whole decimal int32, with an optional sign; what names the value in errors.
std::int32_t parseInt32(const std::string& text, const std::string& what);
// Comma-separated int32 values, at least one.
std::vector<std::int32_t> parseInt32List(const std::string& text, const std::string& what);
bool isHelpOption(const std::string& argument);
