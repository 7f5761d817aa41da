// demokit: the companion command line. It links the same system code as the
// program and inspects what it builds.
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <string>

#include "command_line.hpp"
#include "input_file.hpp"
#include "subcommands.hpp"

namespace {

const char* const ToolHelp =
    "usage: demokit <command> [options]\n"
    "\n"
    "Inspects, records and measures the demo with the program's own code.\n"
    "\n"
    "commands:\n"
    "  scene     the object table and camera after start-up (or after frames), as JSON\n"
    "  mesh N    one object's mesh as Wavefront OBJ or JSON\n"
    "  textures  the script's textures as PNG files\n"
    "  song      the embedded song (or a MIDI file) read into events, as JSON\n"
    "  shaders   the vertex and pixel programs assembled, as bytecode files or text\n"
    "  record    the demo run headless with the software device: frames as PNG or video\n"
    "  bench     start-up time and frame rates of a headless run\n"
    "  digest    the generated data as digests, to compare builds bit for bit\n"
    "\n"
    "Run 'demokit <command> --help' for a command's options.\n"
    "\n"
    "Exit codes: 0 done; 1 a file that cannot be read or written, or a run that\n"
    "failed; 2 bad arguments; 3 a file refused for what it holds (empty, not of\n"
    "its kind, beyond the tool's bounds).\n";

int dispatch(const std::string& command, Arguments& args)
{
    if (command == "scene") {
        return runSceneCommand(args);
    }
    if (command == "mesh") {
        return runMeshCommand(args);
    }
    if (command == "textures") {
        return runTexturesCommand(args);
    }
    if (command == "song") {
        return runSongCommand(args);
    }
    if (command == "record") {
        return runRecordCommand(args);
    }
    if (command == "bench") {
        return runBenchCommand(args);
    }
    if (command == "digest") {
        return runDigestCommand(args);
    }
    if (command == "shaders") {
        return runShadersCommand(args);
    }
    throw UsageError("unknown command '" + command + "' (see demokit --help)");
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fputs("demokit: a command is required (see demokit --help)\n", stderr);
        return 2;
    }
    const std::string command = argv[1];
    if (isHelpOption(command)) {
        std::fputs(ToolHelp, stdout);
        return 0;
    }
    try {
        Arguments args(argc, argv, 2);
        return dispatch(command, args);
    } catch (const UsageError& error) {
        std::fprintf(stderr, "demokit: %s\n", error.what());
        return 2;
    } catch (const InputError& error) {
        std::fprintf(stderr, "demokit: %s\n", error.what());
        return 3;
    } catch (const ToolError& error) {
        std::fprintf(stderr, "demokit: %s\n", error.what());
        return 1;
    } catch (const std::bad_alloc&) {
        std::fputs("demokit: out of memory\n", stderr);
        return 1;
    }
}
