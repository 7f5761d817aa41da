// The program's frames through the software device's fast paths against
// its plain ones: compiled program routines against the reference shader
// machine, and any number of threads against one. Frames must be equal
// pixel for pixel (equal hashes), dense frames and frames where the camera
// is in the text.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "host/headless/headless_host.hpp"
#include "support/test_host.hpp"

namespace {

// 64-bit FNV-1a of each kept frame's pixels, recorded in a child process
// (the program's tables are process-wide: each run starts as a new process).
std::vector<std::uint64_t> record(std::int32_t threads, bool referenceShading, bool multisample)
{
    const std::string path = ::testing::TempDir() + "pipeline_frames.txt";
    std::remove(path.c_str());
    const testhost::RunResult child = testhost::runInChild([&] {
        headless::HeadlessOptions options;
        options.threads = threads;
        options.referenceShading = referenceShading;
        options.multisample = multisample;
        options.keep = {9000, 20000, 20450, 33000};
        std::FILE* out = std::fopen(path.c_str(), "w");
        options.onFrame = [&](const d3d9::Frame& frame, std::int32_t) {
            std::uint64_t hash = 0xcbf29ce484222325ull;
            const std::size_t count = static_cast<std::size_t>(frame.width) * static_cast<std::size_t>(frame.height);
            for (std::size_t i = 0; i < count; ++i) {
                hash = (hash ^ frame.pixels()[i]) * 0x100000001b3ull;
            }
            std::fprintf(out, "%llu\n", static_cast<unsigned long long>(hash));
        };
        const headless::HeadlessResult result = headless::runHeadless(options);
        std::fclose(out);
        return result.exitCode;
    });
    EXPECT_EQ(child.exitCode, 0);
    std::vector<std::uint64_t> hashes;
    std::FILE* in = std::fopen(path.c_str(), "r");
    unsigned long long hash = 0;
    while (in != nullptr && std::fscanf(in, "%llu", &hash) == 1) {
        hashes.push_back(hash);
    }
    if (in != nullptr) {
        std::fclose(in);
    }
    return hashes;
}

} // namespace

TEST(SoftwarePipeline, compiledRoutinesAndAnyThreadCountGiveTheReferenceFrames)
{
    for (const bool multisample : {true, false}) {
        const std::vector<std::uint64_t> reference = record(1, true, multisample);
        ASSERT_EQ(reference.size(), 4u);
        EXPECT_EQ(record(1, false, multisample), reference) << "compiled, one thread";
        EXPECT_EQ(record(3, false, multisample), reference) << "compiled, three threads";
        EXPECT_EQ(record(4, true, multisample), reference) << "machine, four threads";
    }
}
