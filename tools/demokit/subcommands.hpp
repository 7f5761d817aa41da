// The demokit commands. Each adds itself to the tool with its options; once
// the command line is parsed and checked, it leaves its work in run. Bad
// arguments throw UsageError.
#pragma once

#include "command_line.hpp"

void addSceneCommand(CLI::App& tool, CommandRun& run);
void addMeshCommand(CLI::App& tool, CommandRun& run);
void addTexturesCommand(CLI::App& tool, CommandRun& run);
void addSongCommand(CLI::App& tool, CommandRun& run);
void addShadersCommand(CLI::App& tool, CommandRun& run);
void addRecordCommand(CLI::App& tool, CommandRun& run);
void addBenchCommand(CLI::App& tool, CommandRun& run);
void addDigestCommand(CLI::App& tool, CommandRun& run);
