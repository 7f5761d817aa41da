// wine-compare: the comparisons of the Wine checks.
//
//   wine-compare tokens OURS.bin THEIRS.bin
//     Both files as 32-bit little-endian tokens; exit 0 when they are equal,
//     else 1 after printing every differing token (index, ours, theirs).
//   wine-compare frame SHOT.png FRAMES_DIR FIRST_MS STEP_MS
//     Finds the frame of FRAMES_DIR (the PNG sequence of demokit record, in
//     file-name order, frame i at FIRST_MS + i * STEP_MS) closest to the
//     screenshot by mean absolute difference, prints its time and figures,
//     and exits 0 when at least MinWithinPercent of the pixels are within
//     ChannelTolerance on every channel and the mean absolute difference is
//     at most MaxMeanDifference.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "command_line.hpp"
#include "png_file.hpp"

namespace {

// A pixel agrees when no channel differs by more than this (out of 255):
// Wine draws through Mesa's OpenGL, which rounds and interpolates slightly
// differently from the software device.
constexpr int ChannelTolerance = 24;
constexpr double MinWithinPercent = 93.0;
constexpr double MaxMeanDifference = 2.0;

std::vector<std::uint32_t> readTokens(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw ToolError("cannot read " + path);
    }
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (bytes.size() % 4 != 0) {
        throw ToolError(path + " is not a whole number of tokens");
    }
    std::vector<std::uint32_t> tokens(bytes.size() / 4);
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        tokens[i] = std::uint32_t{bytes[4 * i]} | std::uint32_t{bytes[4 * i + 1]} << 8 |
                    std::uint32_t{bytes[4 * i + 2]} << 16 | std::uint32_t{bytes[4 * i + 3]} << 24;
    }
    return tokens;
}

std::string hex(std::uint32_t token)
{
    char text[11];
    std::snprintf(text, sizeof text, "0x%08X", token);
    return text;
}

// The program with its declarations and constants gathered before the code
// in the order Wine's assembler writes them: input and output declarations,
// sampler declarations, constant definitions, then every other instruction,
// each group in source order. Direct3D 9 does not fix that order, so two
// assemblers may differ in it and still mean the same program.
std::vector<std::uint32_t> grouped(const std::vector<std::uint32_t>& tokens)
{
    if (tokens.empty()) {
        return tokens;
    }
    std::vector<std::vector<std::uint32_t>> groups(4);
    std::size_t i = 1;
    while (i < tokens.size() && tokens[i] != 0x0000FFFFu) {
        const std::uint32_t opcode = tokens[i] & 0xFFFFu;
        const std::size_t length = 1 + ((tokens[i] >> 24) & 0xFu);
        const std::size_t end = std::min(tokens.size(), i + length);
        std::size_t group = 3;
        if (opcode == 31 && i + 2 < tokens.size()) {
            const std::uint32_t reg = tokens[i + 2];
            const std::uint32_t type = ((reg >> 28) & 7u) | ((reg >> 8) & 0x18u);
            group = type == 10 ? 1 : 0;
        } else if (opcode == 81) {
            group = 2;
        }
        groups[group].insert(groups[group].end(), tokens.begin() + static_cast<std::ptrdiff_t>(i),
                             tokens.begin() + static_cast<std::ptrdiff_t>(end));
        i = end;
    }
    std::vector<std::uint32_t> result{tokens[0]};
    for (const auto& group : groups) {
        result.insert(result.end(), group.begin(), group.end());
    }
    result.insert(result.end(), tokens.begin() + static_cast<std::ptrdiff_t>(std::min(i, tokens.size())), tokens.end());
    return result;
}

int countDifferences(const std::vector<std::uint32_t>& ours, const std::vector<std::uint32_t>& theirs, bool print)
{
    int differences = 0;
    for (std::size_t i = 0; i < std::max(ours.size(), theirs.size()); ++i) {
        const bool inOurs = i < ours.size();
        const bool inTheirs = i < theirs.size();
        if (inOurs && inTheirs && ours[i] == theirs[i]) {
            continue;
        }
        ++differences;
        if (print) {
            std::printf("  token %zu: ours %s, Wine %s\n", i, inOurs ? hex(ours[i]).c_str() : "(none)",
                        inTheirs ? hex(theirs[i]).c_str() : "(none)");
        }
    }
    return differences;
}

// Exit 0 when the programs are equal token for token, or equal once both
// are grouped as Wine groups them (the figures of both are printed).
int compareTokens(const std::string& oursPath, const std::string& theirsPath)
{
    const std::vector<std::uint32_t> ours = readTokens(oursPath);
    const std::vector<std::uint32_t> theirs = readTokens(theirsPath);
    std::printf("ours %s: %zu tokens, Wine %s: %zu tokens\n", oursPath.c_str(), ours.size(), theirsPath.c_str(), theirs.size());
    const int exact = countDifferences(ours, theirs, true);
    std::printf("token for token: %d differing tokens\n", exact);
    if (exact == 0) {
        return 0;
    }
    const int regrouped = countDifferences(grouped(ours), grouped(theirs), true);
    std::printf("with declarations and constants grouped before the code: %d differing tokens\n", regrouped);
    return regrouped == 0 ? 0 : 1;
}

struct Figures {
    double meanDifference = 0.0; // mean absolute difference per channel
    double withinPercent = 0.0;  // drawn pixels within ChannelTolerance on every channel
};

// Pixels black in both pictures (the bands above and below the viewport and
// the empty background) would agree whatever was drawn; only the others count
// towards withinPercent.
constexpr int BlackLevel = 8;

Figures compareImages(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b, std::size_t pixels)
{
    std::uint64_t sum = 0;
    std::uint64_t within = 0;
    std::uint64_t drawn = 0;
    for (std::size_t p = 0; p < pixels; ++p) {
        int worst = 0;
        int brightest = 0;
        for (int c = 0; c < 3; ++c) {
            const int d = std::abs(int{a[4 * p + c]} - int{b[4 * p + c]});
            sum += static_cast<std::uint64_t>(d);
            worst = std::max(worst, d);
            brightest = std::max({brightest, int{a[4 * p + c]}, int{b[4 * p + c]}});
        }
        if (brightest > BlackLevel) {
            ++drawn;
            within += worst <= ChannelTolerance ? 1 : 0;
        }
    }
    return {static_cast<double>(sum) / (3.0 * static_cast<double>(pixels)),
            drawn == 0 ? 100.0 : 100.0 * static_cast<double>(within) / static_cast<double>(drawn)};
}

int compareFrame(const std::string& shotPath, const std::string& framesDir, long firstMs, long stepMs)
{
    std::int32_t width = 0;
    std::int32_t height = 0;
    const std::vector<std::uint8_t> shot = readPngFile(shotPath, width, height);
    std::vector<std::filesystem::path> frames;
    for (const auto& entry : std::filesystem::directory_iterator(framesDir)) {
        if (entry.path().extension() == ".png") {
            frames.push_back(entry.path());
        }
    }
    std::sort(frames.begin(), frames.end());
    if (frames.empty()) {
        throw ToolError("no PNG frames in " + framesDir);
    }
    Figures best{1e9, 0.0};
    std::size_t bestIndex = 0;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        std::int32_t w = 0;
        std::int32_t h = 0;
        const std::vector<std::uint8_t> frame = readPngFile(frames[i].string(), w, h);
        if (w != width || h != height) {
            throw ToolError(frames[i].string() + " is " + std::to_string(w) + "x" + std::to_string(h) +
                            ", the screenshot " + std::to_string(width) + "x" + std::to_string(height));
        }
        const Figures figures = compareImages(shot, frame, static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
        if (figures.meanDifference < best.meanDifference) {
            best = figures;
            bestIndex = i;
        }
    }
    std::printf("best match: %s at %ld ms: mean absolute difference %.2f, %.2f%% of drawn pixels within %d "
                "(bounds: at least %.1f%%, mean at most %.1f)\n",
                frames[bestIndex].filename().string().c_str(), firstMs + static_cast<long>(bestIndex) * stepMs,
                best.meanDifference, best.withinPercent, ChannelTolerance, MinWithinPercent, MaxMeanDifference);
    return best.withinPercent >= MinWithinPercent && best.meanDifference <= MaxMeanDifference ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    try {
        const std::vector<std::string> args(argv + 1, argv + argc);
        if (args.size() == 3 && args[0] == "tokens") {
            return compareTokens(args[1], args[2]);
        }
        if (args.size() == 5 && args[0] == "frame") {
            return compareFrame(args[1], args[2], std::stol(args[3]), std::stol(args[4]));
        }
        std::fprintf(stderr, "usage: wine-compare tokens OURS THEIRS | frame SHOT.png FRAMES_DIR FIRST_MS STEP_MS\n");
        return 2;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "wine-compare: %s\n", error.what());
        return 1;
    }
}
