// The demokit subcommands. Each takes the arguments after its name and
// returns the process exit code; bad arguments throw UsageError.
#pragma once

class Arguments;

int runSceneCommand(Arguments& args);
int runMeshCommand(Arguments& args);
int runTexturesCommand(Arguments& args);
int runSongCommand(Arguments& args);
int runShadersCommand(Arguments& args);
int runRecordCommand(Arguments& args);
int runBenchCommand(Arguments& args);
int runDigestCommand(Arguments& args);
