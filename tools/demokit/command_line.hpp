// demokit's command line on CLI11: the errors every command throws, and the
// tool with its commands defined, parsed without running anything (main runs
// what parsing chose; the fuzzer parses only).
//
// A bad argument throws UsageError (or CLI11's own ParseError), which main
// turns into one line on stderr and exit code 2.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include <CLI/CLI.hpp>

#include "tool_errors.hpp"

// The work the parsed command line asks for; set by the chosen command once
// its options are complete and checked.
using CommandRun = std::function<int()>;

// A command of the tool: summary is its line in the tool's list and the top
// of its help; details follow its options in its help.
CLI::App* addCommand(CLI::App& tool, const std::string& name, const std::string& summary,
                     const std::string& details);

// The tool with every command defined; parse it, then call run.
struct DemokitCommandLine {
    DemokitCommandLine();
    std::unique_ptr<CLI::App> tool;
    CommandRun run;
};
