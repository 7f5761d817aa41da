// demokit digest: the generated data as digests, the same text the
// demo-digest program prints on every target, so that a Linux build can be
// set beside a Windows one line for line.
#include <cstdio>
#include <memory>

#include "command_line.hpp"
#include "digest.hpp"
#include "subcommands.hpp"

namespace {

const char* const DigestDetails =
    "Prints digests of the generated data (meshes, textures, song, 20,000 random\n"
    "rotations and Bezier curves) and, at N animation times (default 240) from 0 to\n"
    "82,000 ms, of the camera, the view matrix, every world matrix and the\n"
    "vertex-program constants. Numbers are the hex of their bits: equal text means\n"
    "equal bits. The Windows builds' demo-digest.exe prints the same.";

} // namespace

void addDigestCommand(CLI::App& tool, CommandRun& run)
{
    auto times = std::make_shared<std::int32_t>(240);
    CLI::App* command =
        addCommand(tool, "digest", "The generated data as digests, to compare builds bit for bit.", DigestDetails);
    command->add_option("--times", *times, "animation times to digest, 1 to 100000 (default 240)")
        ->type_name("N")
        ->check(CLI::Range(1, 100000).description(""));
    command->callback([times, &run] {
        run = [times] {
            writeDigest(stdout, digestTimes(*times));
            return 0;
        };
    });
}
