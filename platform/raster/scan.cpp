// Scan conversion of set-up triangles into a band of rows of the target.
// Entry point: rasterizeTriangles. Each triangle in order, each of its rows
// in the band, the row's possibly covered columns in quads of QuadPixels
// pixels: the coverage of every sample of the quad (edge functions for a
// small triangle, EdgeRows; exact column runs for a large one,
// RowCoverage), then the samples' depths z/w from the depth plane at the
// sample positions, D16 quantisation, the less-or-equal test and write,
// and the pixels into the shading batch with the masks of their passing
// samples, or, for a triangle the pixel program gives one colour
// (ScreenTriangle::flat), that colour straight into those samples. A
// pixel's results depend only on the pixel, never on where the band, the
// run or a batch begins, so any split of rows gives the same bits.
#include <algorithm>
#include <cstddef>
#include <cstring>

#include "raster/coverage.hpp"
#include "raster/edge_coverage.hpp"
#include "raster/pixel_batch.hpp"
#include "raster/raster_formats.hpp"
#include "raster/rasterizer.hpp"
#include "raster/wide_clones.hpp"

namespace raster {

namespace {

struct DepthMode {
    float slopeX;            // of the depth plane
    std::int32_t alwaysPass; // all ones with the depth test off, else 0
    bool write;
};

// Lane k of a quad is sample k % Samples of pixel k / Samples. The loops
// over a quad's lanes have a fixed length, so that they vectorise whole;
// what a lane needs is laid out in tables of that length.
template <std::int32_t Samples>
struct QuadLanes {
    static constexpr std::int32_t Count = QuadPixels * Samples;
    alignas(16) std::int32_t pixel[Count]; // within the quad
    alignas(16) float sampleX[Count];      // pixel + sample x offset: exact in a float

    explicit QuadLanes(const SamplePattern& pattern)
    {
        for (std::int32_t k = 0; k < Count; ++k) {
            pixel[k] = k / Samples;
            sampleX[k] = static_cast<float>(k / Samples) +
                         static_cast<float>(pattern.dx[k % Samples]) / static_cast<float>(SubpixelScale);
        }
    }
};

// Per row: the depth plane's value at column 0 on each lane's sample y.
template <std::int32_t Samples>
void loadDepthLanes(const ScreenTriangle& tri, std::int32_t row, const SamplePattern& pattern, float* atColumnZero)
{
    float bySample[Samples];
    for (std::int32_t s = 0; s < Samples; ++s) {
        const float sampleY =
            static_cast<float>(row) + static_cast<float>(pattern.dy[s]) / static_cast<float>(SubpixelScale);
        bySample[s] = tri.depthPlane[1] * sampleY + tri.depthPlane[2];
    }
    for (std::int32_t p = 0; p < QuadPixels; ++p)
        for (std::int32_t s = 0; s < Samples; ++s)
            atColumnZero[p * Samples + s] = bySample[s];
}

// Coverage of a quad's lanes (all ones or zero) by the edge functions of a
// small triangle.
template <std::int32_t Samples>
struct EdgeLanes {
    const EdgeRows<Samples>& edges;
    std::int32_t last;

    void cover(const QuadLanes<Samples>&, std::int32_t column, std::int32_t* covered) const
    {
        edges.cover(column, last, covered);
    }
};

// The same from each sample's run of covered columns, for a large triangle.
template <std::int32_t Samples>
struct RunLanes {
    static constexpr std::int32_t Count = QuadLanes<Samples>::Count;
    alignas(16) std::int32_t first[Count];
    alignas(16) std::int32_t last[Count];

    void load(const std::int32_t* sampleFirst, const std::int32_t* sampleLast)
    {
        for (std::int32_t p = 0; p < QuadPixels; ++p)
            for (std::int32_t s = 0; s < Samples; ++s) {
                first[p * Samples + s] = sampleFirst[s];
                last[p * Samples + s] = sampleLast[s];
            }
    }

    void cover(const QuadLanes<Samples>& lanes, std::int32_t column, std::int32_t* covered) const
    {
        for (std::int32_t k = 0; k < Count; ++k) {
            const std::int32_t x = column + lanes.pixel[k];
            covered[k] = -static_cast<std::int32_t>((x >= first[k]) & (x <= last[k]));
        }
    }
};

// A flat triangle's colour, written straight into the samples that pass:
// the row's colour samples, or NULL for a triangle that is shaded.
struct FlatFill {
    std::uint32_t* colours;
    std::uint32_t colour;
};

// A quad's lanes copied from the target, those past `used` (outside the
// triangle's box) as 0, and back, so that the loops between them have a
// fixed length.
template <typename T, std::int32_t Count>
[[gnu::always_inline]] inline void loadLanes(T (&lanes)[Count], const T* from, std::int32_t used)
{
    if (used == Count)
        std::memcpy(lanes, from, sizeof lanes);
    else
        for (std::int32_t k = 0; k < Count; ++k)
            lanes[k] = k < used ? from[k] : 0;
}

template <typename T, std::int32_t Count>
[[gnu::always_inline]] inline void storeLanes(T* to, const T (&lanes)[Count], std::int32_t used)
{
    if (used == Count)
        std::memcpy(to, lanes, sizeof lanes);
    else
        for (std::int32_t k = 0; k < used; ++k)
            to[k] = lanes[k];
}

// The colour into the passing lanes of the quad at `column`, `used` lanes
// of it in the target.
template <std::int32_t Count>
[[gnu::always_inline]] inline void fillPassing(const FlatFill& fill, std::int32_t column, const std::int32_t* pass,
                                               std::int32_t used)
{
    std::uint32_t* samples = fill.colours + static_cast<std::size_t>(column) * (Count / QuadPixels);
    alignas(16) std::uint32_t colours[Count];
    loadLanes(colours, samples, used);
    for (std::int32_t k = 0; k < Count; ++k) {
        const auto passing = static_cast<std::uint32_t>(pass[k]);
        colours[k] = (fill.colour & passing) | (colours[k] & ~passing);
    }
    storeLanes(samples, colours, used);
}

// The quad at `column`: the coverage of its lanes by `cover`, then depth
// test and write for the covered ones; stored: the depths of its first
// `pixels` pixels, the ones inside the triangle's bounding box (the others
// are not covered, and neither read nor written). Gives each pixel's mask
// of passing samples. Works on a copy of the depths, so that the loops
// have a fixed length. Not inlined: inlined, the compiler turns the lane
// tables into scalars and the loops no longer vectorise. Built for AVX2 as
// well, where its sixteen lanes of four samples take two registers, not
// four (callgrind: 40 % fewer of its instructions at 2160p).
template <std::int32_t Samples, typename Cover>
RASTER_WIDE_CLONES [[gnu::noinline]] void testQuad(const QuadLanes<Samples>& lanes, const Cover& cover,
                                                   const float* atColumnZero, const DepthMode& mode,
                                                   std::uint16_t* stored, std::int32_t column, std::int32_t pixels,
                                                   std::uint32_t* masks, const FlatFill& fill)
{
    constexpr std::int32_t Count = QuadLanes<Samples>::Count;
    alignas(16) std::int32_t covered[Count];
    cover.cover(lanes, column, covered);
    const std::int32_t used = pixels * Samples;
    alignas(16) std::uint16_t old[Count];
    loadLanes(old, stored, used);
    const float base = static_cast<float>(column);
    alignas(16) std::int32_t depth[Count];
    alignas(16) std::int32_t pass[Count];
    for (std::int32_t k = 0; k < Count; ++k) {
        depth[k] = quantiseDepth(mode.slopeX * (base + lanes.sampleX[k]) + atColumnZero[k]);
        pass[k] = covered[k] & ((depth[k] <= static_cast<std::int32_t>(old[k]) ? -1 : 0) | mode.alwaysPass);
    }
    for (std::int32_t p = 0; p < QuadPixels; ++p) {
        std::uint32_t mask = 0;
        for (std::int32_t s = 0; s < Samples; ++s)
            mask |= static_cast<std::uint32_t>(pass[p * Samples + s]) & (1u << s);
        masks[p] = mask;
    }
    if (fill.colours != nullptr)
        fillPassing<Count>(fill, column, pass, used);
    if (!mode.write)
        return;
    alignas(16) std::uint16_t updated[Count];
    for (std::int32_t k = 0; k < Count; ++k)
        updated[k] = static_cast<std::uint16_t>((depth[k] & pass[k]) | (old[k] & ~pass[k]));
    storeLanes(stored, updated, used);
}

// Asks the cache for the colour and depth of pixels [first, last] of a row
// ahead of their use: triangles land anywhere in a target many times the
// size of the cache, and a small one's rows are each new lines. Always
// inlined: the compiler takes a function of nothing but prefetches for one
// without effect and drops the calls.
template <std::int32_t Samples>
[[gnu::always_inline]] inline void prefetchRow(const RenderTarget& target, std::int32_t row, std::int32_t first,
                                               std::int32_t last)
{
    constexpr std::size_t Line = 64;
    first = std::max(first, 0);
    last = std::min(last, target.width - 1);
    if (row >= target.height || first > last)
        return;
    const std::size_t begin =
        (static_cast<std::size_t>(row) * static_cast<std::size_t>(target.width) + static_cast<std::size_t>(first)) *
        Samples;
    const std::size_t count = static_cast<std::size_t>(last - first + 1) * Samples;
    const auto* depth = reinterpret_cast<const char*>(target.depth.data() + begin);
    for (std::size_t offset = 0; offset < count * sizeof(std::uint16_t); offset += Line)
        __builtin_prefetch(depth + offset, 1);
    const auto* color = reinterpret_cast<const char*>(target.color.data() + begin);
    for (std::size_t offset = 0; offset < count * sizeof(std::uint32_t); offset += Line)
        __builtin_prefetch(color + offset, 1);
}

// The first rows of a triangle in the band, asked for while the one before
// it is scanned.
template <std::int32_t Samples>
[[gnu::always_inline]] inline void prefetchTop(const RenderTarget& target, const ScreenTriangle& tri,
                                               std::int32_t firstRow, std::int32_t endRow)
{
    constexpr std::int32_t Rows = 2;
    const std::int32_t top = std::max(tri.minY, firstRow);
    const std::int32_t bottom = std::min({tri.maxY, endRow - 1, top + Rows - 1});
    for (std::int32_t row = top; row <= bottom; ++row)
        prefetchRow<Samples>(target, row, tri.minX, tri.maxX);
}

// What every row of a triangle needs: where it writes and how it tests.
template <std::int32_t Samples>
struct TriangleScan {
    RenderTarget& target;
    const ScreenTriangle& tri;
    std::int32_t right; // last column of the bounding box in the target
    const QuadLanes<Samples>& lanes;
    const SamplePattern& pattern;
    DepthMode mode;
    PixelShading& shading; // for a triangle that is not flat
};

// Columns first .. last of one row, quad by quad, lane coverage from `cover`.
template <std::int32_t Samples, typename Cover>
void scanRun(const TriangleScan<Samples>& scan, std::int32_t row, std::int32_t first, std::int32_t last,
             const Cover& cover)
{
    constexpr std::int32_t Ahead = 2;  // rows
    constexpr std::int32_t Reach = 12; // pixels the run may move by in those rows, mostly
    prefetchRow<Samples>(scan.target, row + Ahead, first - Reach, last + Reach);
    alignas(16) float atColumnZero[QuadLanes<Samples>::Count];
    loadDepthLanes<Samples>(scan.tri, row, scan.pattern, atColumnZero);
    const std::size_t rowStart = static_cast<std::size_t>(row) * static_cast<std::size_t>(scan.target.width) * Samples;
    std::uint16_t* depths = scan.target.depth.data() + rowStart;
    const FlatFill fill{scan.tri.flat ? scan.target.color.data() + rowStart : nullptr, scan.tri.flatColour};
    for (std::int32_t column = first; column <= last; column += QuadPixels) {
        std::uint32_t masks[QuadPixels];
        // Past the run but in the box the quad's depths are rewritten
        // unchanged: the row is this band's alone, and whole quads go faster.
        testQuad<Samples>(scan.lanes, cover, atColumnZero, scan.mode,
                          depths + static_cast<std::size_t>(column) * Samples, column,
                          std::min(QuadPixels, scan.right - column + 1), masks, fill);
        if (fill.colours == nullptr)
            scan.shading.addRun(column, row, masks, std::min(QuadPixels, last - column + 1));
    }
}

template <std::int32_t Samples>
void scanByEdges(const TriangleScan<Samples>& scan, std::int32_t top, std::int32_t bottom, std::int32_t left,
                 std::int32_t right)
{
    EdgeRows<Samples> edges;
    edges.begin(scan.tri, top, left, scan.pattern);
    for (std::int32_t row = top; row <= bottom; ++row, edges.advance()) {
        std::int32_t first = left, last = right;
        if (edges.span(first, last))
            scanRun(scan, row, first, last, EdgeLanes<Samples>{edges, last});
    }
}

template <std::int32_t Samples>
void scanByRuns(const TriangleScan<Samples>& scan, std::int32_t top, std::int32_t bottom, std::int32_t left,
                std::int32_t right)
{
    RowCoverage<Samples> coverage;
    coverage.begin(scan.tri, top, left, right, scan.pattern);
    RunLanes<Samples> runLanes;
    for (std::int32_t row = top; row <= bottom; ++row, coverage.advance()) {
        std::int32_t first[Samples], last[Samples];
        coverage.columns(first, last);
        std::int32_t runFirst = right + 1, runLast = left - 1;
        for (std::int32_t s = 0; s < Samples; ++s)
            if (first[s] <= last[s]) {
                runFirst = std::min(runFirst, first[s]);
                runLast = std::max(runLast, last[s]);
            }
        if (runFirst > runLast)
            continue;
        runLanes.load(first, last);
        scanRun(scan, row, runFirst, runLast, runLanes);
    }
}

template <std::int32_t Samples>
void scanTriangle(RenderTarget& target, const RasterState& state, const QuadLanes<Samples>& lanes,
                  const SamplePattern& pattern, const ScreenTriangle& tri, std::int32_t firstRow, std::int32_t endRow,
                  PixelShading& shading)
{
    const std::int32_t left = std::max(tri.minX, 0);
    const std::int32_t right = std::min(tri.maxX, target.width - 1);
    const std::int32_t top = std::max({tri.minY, firstRow, 0});
    const std::int32_t bottom = std::min({tri.maxY, endRow - 1, target.height - 1});
    if (top > bottom || left > right)
        return;
    if (!tri.flat)
        shading.beginTriangle(tri);
    const TriangleScan<Samples> scan{
        target, tri, right, lanes, pattern, {tri.depthPlane[0], state.depthTest ? 0 : -1, state.depthWrite}, shading};
    if (EdgeRows<Samples>::fits(tri))
        scanByEdges(scan, top, bottom, left, right);
    else
        scanByRuns(scan, top, bottom, left, right);
    if (!tri.flat)
        shading.flush();
}

template <std::int32_t Samples>
void scanAll(RenderTarget& target, const RasterState& state, const ScreenTriangle* triangles, std::size_t count,
             std::int32_t firstRow, std::int32_t endRow)
{
    PixelShading shading(target, state);
    // With multisampling off, a pixel's samples all lie at its centre.
    static constexpr SamplePattern centred{Samples, {}, {}};
    const SamplePattern& pattern = state.multisample ? samplePattern(Samples) : centred;
    const QuadLanes<Samples> lanes(pattern);
    for (std::size_t t = 0; t < count; ++t) {
        if (t + 1 < count)
            prefetchTop<Samples>(target, triangles[t + 1], firstRow, endRow);
        scanTriangle<Samples>(target, state, lanes, pattern, triangles[t], firstRow, endRow, shading);
    }
}

} // namespace

// Targets of 1, 2 or 4 samples; a draw without a pixel program changes nothing.
void rasterizeTriangles(RenderTarget& target, const RasterState& state, const ScreenTriangle* triangles,
                        std::size_t count, std::int32_t firstRow, std::int32_t endRow)
{
    if (!state.shade)
        return;
    if (target.samples == 4)
        scanAll<4>(target, state, triangles, count, firstRow, endRow);
    else if (target.samples == 2)
        scanAll<2>(target, state, triangles, count, firstRow, endRow);
    else if (target.samples == 1)
        scanAll<1>(target, state, triangles, count, firstRow, endRow);
}

} // namespace raster
