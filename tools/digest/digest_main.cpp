// demo-digest: the generated data as digests, one line a record, so that
// two builds (compilers, build types, targets) can be compared line for
// line. A console program built from the system's sources on every target.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "digest.hpp"

int main(int argc, char** argv)
{
    std::int32_t count = 240;
    if (argc > 1) {
        if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
            std::puts("usage: demo-digest [TIMES]\n"
                      "\n"
                      "Prints digests of the generated data (meshes, textures, song) and, at TIMES\n"
                      "animation times (default 240) from 0 to 82,000 ms, of the camera, the view\n"
                      "matrix, every world matrix and the vertex-program constants. Numbers are\n"
                      "printed as the hex of their bits, so equal text means equal bits.");
            return 0;
        }
        char* end = nullptr;
        const long value = std::strtol(argv[1], &end, 10);
        if (end == argv[1] || *end != '\0' || value < 1 || value > 100000) {
            std::fprintf(stderr, "demo-digest: TIMES must be a whole number from 1 to 100000, not \"%s\"\n", argv[1]);
            return 2;
        }
        count = static_cast<std::int32_t>(value);
    }
    writeDigest(stdout, digestTimes(count));
    return std::fflush(stdout) == 0 ? 0 : 1;
}
