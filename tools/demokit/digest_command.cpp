// demokit digest: the generated data as digests, the same text the
// demo-digest program prints on every target, so that a Linux build can be
// set beside a Windows one line for line.
#include <cstdio>

#include "command_line.hpp"
#include "digest.hpp"
#include "subcommands.hpp"

namespace {

const char* const DigestHelp =
    "usage: demokit digest [--times N]\n"
    "\n"
    "Prints digests of the generated data (meshes, textures, song, 20,000 random\n"
    "rotations and Bezier curves) and, at N animation times (default 240) from 0 to\n"
    "82,000 ms, of the camera, the view matrix, every world matrix and the\n"
    "vertex-program constants. Numbers are the hex of their bits: equal text means\n"
    "equal bits. The Windows builds' demo-digest.exe prints the same.\n";

} // namespace

int runDigestCommand(Arguments& args)
{
    if (args.asksForHelp()) {
        std::fputs(DigestHelp, stdout);
        return 0;
    }
    std::int32_t times = 240;
    while (!args.empty()) {
        const std::string argument = args.take();
        if (argument == "--times") {
            times = parseInt32(args.takeValue(argument), "times");
            if (times < 1 || times > 100000) {
                throw UsageError("digest: times must be 1 to 100000");
            }
        } else {
            throw UsageError("digest: unknown argument '" + argument + "'");
        }
    }
    writeDigest(stdout, digestTimes(times));
    return 0;
}
