// The culling of draws no pixel can see: the box a draw's positions take,
// kept per buffer content; the test of its image under an affine position
// against the planes, which must never stop a draw the per-vertex test
// would keep; and that per-vertex test's hardware margin.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "d3d9/null_backend.hpp"
#include "pipeline/clip_planes.hpp"
#include "pipeline/position_bounds.hpp"
#include "pipeline/view_culling.hpp"
#include "shader/compiled_program.hpp"
#include "support/assembled_program.hpp"
#include "support/device_run.hpp"

namespace {

using pipeline::CullingDraw;
using pipeline::CullingMargin;
using pipeline::InputBinding;
using pipeline::InputBox;
using pipeline::VertexRun;

constexpr float NaN = std::numeric_limits<float>::quiet_NaN();
constexpr float Infinity = std::numeric_limits<float>::infinity();

// A vertex program's position slice and magnitudes compiled, as the front
// end makes them.
struct Slice {
    std::shared_ptr<shader::ProgramAnalysis> analysis;
    std::unique_ptr<shader::CompiledProgram> slice;
    std::unique_ptr<shader::CompiledProgram> magnitude;

    explicit Slice(const std::string& body)
        : analysis(loadAssembledProgram("vs_2_0\ndcl_position v0\n" + body)),
          slice(std::make_unique<shader::CompiledProgram>(analysis->positionSlice, shader::ShaderType::Vertex)),
          magnitude(std::make_unique<shader::CompiledProgram>(analysis->positionMagnitude, shader::ShaderType::Vertex))
    {
    }
};

// Vertices of (x, y, z) floats and the constants, drawn as one run.
struct Draw {
    std::vector<float> xyz;
    std::vector<float> constants = std::vector<float>(4 * 256, 0.0f);
    std::vector<InputBinding> bindings = {{0, D3DDECLTYPE_FLOAT3, 0}};
    std::uint64_t content = 0;

    CullingDraw of(const Slice& program, const CullingMargin& margin) const
    {
        CullingDraw draw;
        draw.program = {program.analysis.get(), program.slice.get(), program.magnitude.get()};
        draw.bindings = bindings;
        draw.position = program.analysis->affinePosition.found ? &bindings[0] : nullptr;
        draw.run.stream = {reinterpret_cast<const std::uint8_t*>(xyz.data()), xyz.size() * 4, 0, 12};
        draw.run.content = content;
        draw.run.first = 0;
        draw.run.count = static_cast<std::int64_t>(xyz.size() / 3);
        draw.constants = constants.data();
        draw.margin = margin;
        return draw;
    }
    // c0 - c3 as the rows of the position's map: oPos.i = v . c_i.
    void setRows(const float rows[16]) { std::memcpy(constants.data(), rows, 16 * sizeof(float)); }
};

const float Identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

// w = z + 2, x and y as they are, z scaled: a perspective of sorts, so
// that w and the planes vary over a box.
const float Perspective[16] = {1.5f, 0, 0.25f, 0, 0, 2, 0, 0.5f, 0, 0, 1.01f, -0.1f, 0, 0, 1, 2};

const CullingMargin Exact = {true, 0, 64, 48};
const CullingMargin Hardware = {false, 4, 64, 48};

// The corners of the box [low, high] and `inside` points within it.
std::vector<float> pointsOfBox(const float low[3], const float high[3], int inside, std::mt19937& random)
{
    std::vector<float> xyz;
    for (int corner = 0; corner < 8; ++corner) {
        for (int c = 0; c < 3; ++c) {
            xyz.push_back((corner >> c & 1) != 0 ? high[c] : low[c]);
        }
    }
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    for (int p = 0; p < inside; ++p) {
        for (int c = 0; c < 3; ++c) {
            xyz.push_back(low[c] + unit(random) * (high[c] - low[c]));
        }
    }
    return xyz;
}

} // namespace

// The box as the vertex fetch reads the run: every element type's
// components and defaults, runs that start before the stream or end past
// it (those vertices read (0, 0, 0, 1)), and a NaN or an infinity in the
// element (not in what follows it) making the box say nothing.
TEST(PositionBounds, theBoxIsWhatTheVertexFetchReads)
{
    std::mt19937 random(7);
    std::uniform_int_distribution<int> byte(0, 255);
    std::vector<std::uint8_t> bytes(40 * 20);
    for (std::uint8_t& b : bytes) {
        b = static_cast<std::uint8_t>(byte(random));
    }
    // Plain floats where floats are read, so that most boxes are finite.
    std::uniform_real_distribution<float> value(-100.0f, 100.0f);
    for (std::size_t at = 0; at + 4 <= 40 * 20; at += 4) {
        if (at % 40 < 16) {
            const float f = value(random);
            std::memcpy(&bytes[at], &f, 4);
        }
    }
    for (const BYTE type : {D3DDECLTYPE_FLOAT1, D3DDECLTYPE_FLOAT2, D3DDECLTYPE_FLOAT3, D3DDECLTYPE_FLOAT4,
                            D3DDECLTYPE_D3DCOLOR, D3DDECLTYPE_UBYTE4N, D3DDECLTYPE_SHORT2}) {
        for (const std::int64_t first : {-2, 0, 3, 17}) {
            for (const std::int64_t count : {1, 2, 5, 8}) {
                VertexRun run;
                run.stream = {bytes.data(), bytes.size(), 4, 40};
                run.first = first;
                run.count = count;
                const InputBinding binding = {0, type, 0};
                InputBox box;
                ASSERT_TRUE(pipeline::measureInputBox(run, binding, box)) << int{type};
                float low[4] = {Infinity, Infinity, Infinity, Infinity}, high[4] = {-Infinity, -Infinity, -Infinity, -Infinity};
                for (std::int64_t v = first; v < first + count; ++v) {
                    float read[4] = {0, 0, 0, 1};
                    const std::int64_t at = 4 + v * 40;
                    if (v >= 0 && at + static_cast<std::int64_t>(pipeline::elementSize(type)) <= 800) {
                        pipeline::decodeElement(type, bytes.data() + at, read);
                    }
                    for (int c = 0; c < 4; ++c) {
                        low[c] = std::min(low[c], read[c]);
                        high[c] = std::max(high[c], read[c]);
                    }
                }
                for (int c = 0; c < 4; ++c) {
                    EXPECT_EQ(box.low[c], low[c]) << int{type} << " " << first << " " << count << " " << c;
                    EXPECT_EQ(box.high[c], high[c]) << int{type} << " " << first << " " << count << " " << c;
                }
            }
        }
    }
    // A NaN just past a FLOAT3 is not the element's; in it, it is.
    std::vector<float> xyzw = {1, 2, 3, NaN, 4, 5, 6, NaN};
    VertexRun run;
    run.stream = {reinterpret_cast<const std::uint8_t*>(xyzw.data()), xyzw.size() * 4, 0, 16};
    run.count = 2;
    InputBox box;
    EXPECT_TRUE(pipeline::measureInputBox(run, {0, D3DDECLTYPE_FLOAT3, 0}, box));
    EXPECT_EQ(box.high[2], 6.0f);
    EXPECT_EQ(box.high[3], 1.0f);
    EXPECT_FALSE(pipeline::measureInputBox(run, {0, D3DDECLTYPE_FLOAT4, 0}, box));
    xyzw[5] = -Infinity;
    EXPECT_FALSE(pipeline::measureInputBox(run, {0, D3DDECLTYPE_FLOAT3, 0}, box));
}

// A kept box stands while the stream's content stamp does: bytes changed
// under the same stamp are not looked at again, a new stamp is measured
// afresh, and runs that share a slot of the table each get their own.
TEST(PositionBounds, aKeptBoxStandsUntilTheContentChanges)
{
    std::vector<float> xyz(3 * 200000, 0.5f);
    pipeline::InputBounds bounds;
    VertexRun run;
    run.stream = {reinterpret_cast<const std::uint8_t*>(xyz.data()), xyz.size() * 4, 0, 12};
    run.content = 41;
    run.count = 3;
    const InputBinding position = {0, D3DDECLTYPE_FLOAT3, 0};
    InputBox box;
    ASSERT_TRUE(bounds.boxOf(run, position, box));
    EXPECT_EQ(box.high[0], 0.5f);
    xyz[0] = 9.0f; // written without a new stamp: the kept box stands
    ASSERT_TRUE(bounds.boxOf(run, position, box));
    EXPECT_EQ(box.high[0], 0.5f);
    run.content = 42; // the stamp a write gives
    ASSERT_TRUE(bounds.boxOf(run, position, box));
    EXPECT_EQ(box.high[0], 9.0f);
    VertexRun other = run; // the same slot, another run
    other.first = 8 * 8192;
    xyz[3 * 8 * 8192 + 1] = -7.0f;
    ASSERT_TRUE(bounds.boxOf(other, position, box));
    EXPECT_EQ(box.low[1], -7.0f);
    ASSERT_TRUE(bounds.boxOf(run, position, box));
    EXPECT_EQ(box.high[0], 9.0f);
    EXPECT_EQ(box.low[1], 0.5f);
}

// The bounds stop a draw only where the per-vertex test stops every one of
// its vertices, exactly and with the hardware margin alike: boxes beside
// each plane at distances from well inside, through straddling and the
// margin's reach, to well beyond, under two maps; the per-vertex test runs
// the same map through a temporary (not the affine form, so not bounded).
// Well beyond, the bounds decide alone.
TEST(PositionBounds, theBoundsStopOnlyWhatThePerVertexTestStops)
{
    const Slice affine("m4x4 oPos, v0, c0\n");
    const Slice perVertex("m4x4 r0, v0, c0\nmov oPos, r0\n");
    ASSERT_TRUE(affine.analysis->affinePosition.found);
    ASSERT_FALSE(perVertex.analysis->affinePosition.found);
    ASSERT_EQ(affine.analysis->positionRoundings, perVertex.analysis->positionRoundings);
    std::mt19937 random(3);
    int decided = 0, undecidedFar = 0;
    for (const float* rows : {Identity, Perspective}) {
        for (const CullingMargin& margin : {Exact, Hardware}) {
            for (std::int32_t plane = 0; plane < pipeline::ClipPlaneCount; ++plane) {
                const pipeline::PlaneAxis& e = pipeline::Planes[plane];
                for (const double beyond : {-0.5, -1e-3, 0.0, 1e-7, 3e-7, 1e-6, 1e-5, 1e-3, 0.25}) {
                    // A box 0.2 wide, its nearest face `beyond` past the
                    // plane's place for the identity map (w = 1).
                    float low[3] = {-0.1f, -0.1f, 0.4f}, high[3] = {0.1f, 0.1f, 0.6f};
                    const double place = plane == 0 ? 0.0 : 1.0;
                    const auto nearest = static_cast<float>(place + beyond);
                    const int axis = e.axis;
                    if (e.sign > 0) { // near, left, bottom: beyond lies toward -inf
                        high[axis] = -nearest;
                        low[axis] = high[axis] - 0.2f;
                    } else {
                        low[axis] = nearest;
                        high[axis] = low[axis] + 0.2f;
                    }
                    Draw draw;
                    draw.xyz = pointsOfBox(low, high, 40, random);
                    draw.setRows(rows);
                    pipeline::ViewCulling culling;
                    const bool byBounds = culling.boundsStop(draw.of(affine, margin));
                    const bool byVertices = culling.reachesNoPixel(draw.of(perVertex, margin));
                    if (byBounds) {
                        ++decided;
                        EXPECT_TRUE(byVertices) << "plane " << plane << " at " << beyond << (margin.exact ? " exact" : "");
                    }
                    if (rows == Identity && (beyond >= 0.25 || (margin.exact && beyond >= 1e-5))) {
                        undecidedFar += byBounds ? 0 : 1;
                    }
                    if (beyond <= 0.0 && rows == Identity) {
                        EXPECT_FALSE(byBounds) << "plane " << plane << " at " << beyond; // straddling or inside
                    }
                }
            }
        }
    }
    EXPECT_EQ(undecidedFar, 0);
    EXPECT_GT(decided, 40);
}

// What the bounds cannot decide goes to the per-vertex test: a slice that
// is not affine, a NaN or an infinite position in the run, a constant that
// is not finite. A NaN coordinate lies beyond every plane it reaches; a
// draw whose other vertices lie beyond one of those stops.
TEST(PositionBounds, whatTheBoundsCannotDecideFallsToThePerVertexTest)
{
    const Slice affine("m4x4 oPos, v0, c0\n");
    const Slice plain("mov oPos, v0\n");
    Draw draw;
    draw.setRows(Identity);
    draw.xyz = {2, 0, 0.5f, 3, 1, 0.5f, 2, 1, 0.5f}; // right of x = w
    pipeline::ViewCulling culling;
    EXPECT_TRUE(culling.boundsStop(draw.of(affine, Exact)));
    EXPECT_FALSE(culling.boundsStop(draw.of(plain, Exact)));
    EXPECT_TRUE(culling.reachesNoPixel(draw.of(plain, Exact)));
    for (const float odd : {NaN, Infinity}) {
        Draw withOdd = draw;
        withOdd.xyz[4] = odd;
        EXPECT_FALSE(culling.boundsStop(withOdd.of(affine, Exact))) << odd;
        EXPECT_TRUE(culling.reachesNoPixel(withOdd.of(affine, Exact))) << odd;
    }
    Draw oddConstant = draw;
    oddConstant.constants[1] = NaN; // x takes y * NaN
    EXPECT_FALSE(culling.boundsStop(oddConstant.of(affine, Exact)));
    oddConstant.constants[1] = Infinity;
    EXPECT_FALSE(culling.boundsStop(oddConstant.of(affine, Hardware)));
    // Inside: nothing stops it.
    Draw inside = draw;
    inside.xyz = {0, 0, 0.5f, 0.5f, 0, 0.5f, 0, 0.5f, 0.5f};
    EXPECT_FALSE(culling.reachesNoPixel(inside.of(affine, Exact)));
    EXPECT_FALSE(culling.reachesNoPixel(inside.of(affine, Hardware)));
    // One outcode for every reader: outside every plane a NaN reaches, a
    // guard band wider.
    const float nanX[4] = {NaN, 0, 0.5f, 1};
    EXPECT_EQ(pipeline::viewOutcode(nanX), std::uint32_t{pipeline::ClipLeft | pipeline::ClipRight});
    const float nanW[4] = {0, 0, 0.5f, NaN};
    EXPECT_EQ(pipeline::viewOutcode(nanW), std::uint32_t{pipeline::ClipAll - pipeline::ClipNear});
    const float right[4] = {2, 0, 0.5f, 1};
    EXPECT_EQ(pipeline::viewOutcode(right), std::uint32_t{pipeline::ClipRight});
    EXPECT_EQ(pipeline::outcode(right, 4.0f, 1.0f), 0u);
}

// The margin a hardware back end gets: beyond a plane by more than it is
// outside, by it or less is not; for the side planes a pixel of the
// viewport, for near and far the bound on the roundings alone.
TEST(ViewCulling, theHardwareMarginIsAPixelBesideAndTheRoundingBoundInDepth)
{
    const float terms[4] = {1, 1, 1, 1}; // magnitudes of x, y, z, w
    const std::uint32_t roundings = 8;   // the program's and the hardware's
    const double rounding = 8.0 * roundings * 0x1p-24 * 2.0; // (M_a + M_w) = 2
    const double pixel = 2.0 / 64.0;
    struct Plane {
        std::uint32_t bit;
        int component;
        double sign; // the coordinate beyond the plane: w + d (or -w - d, or -d for near)
        double margin;
    };
    const Plane planes[] = {{pipeline::ClipLeft, 0, -1, rounding + pixel}, {pipeline::ClipRight, 0, 1, rounding + pixel},
                            {pipeline::ClipBottom, 1, -1, rounding + 2.0 / 48.0},
                            {pipeline::ClipTop, 1, 1, rounding + 2.0 / 48.0},
                            {pipeline::ClipNear, 2, -1, rounding}, {pipeline::ClipFar, 2, 1, rounding}};
    for (const Plane& plane : planes) {
        for (const double scale : {0.5, 0.9, 1.1, 2.0}) { // either side, as far as floats near 1 tell
            const double d = plane.margin * scale;
            float p[4] = {0, 0, 0.5f, 1};
            const double base = plane.bit == pipeline::ClipNear ? 0.0 : 1.0;
            p[plane.component] = static_cast<float>(plane.sign * (base + d));
            const std::uint32_t outside = pipeline::outcodeWithMargin(p, terms, roundings, 64, 48);
            EXPECT_EQ((outside & plane.bit) != 0, scale > 1.0) << plane.bit << " at " << scale << " of the margin";
            EXPECT_NE(pipeline::viewOutcode(p) & plane.bit, 0u); // outside, exactly
        }
    }
}

// Through the runtime: a draw stopped by its bounds is drawn once a write
// to its buffer brings it into view, and stopped again once another takes
// it out (a bound made stale by a write is never used).
TEST(PositionBounds, aWriteToTheBufferIsSeenByTheNextDraw)
{
    DeviceRun run(d3d9::nullBackend());
    ASSERT_NE(run.device, nullptr);
    IDirect3DDevice9* d = run.device;
    const BoundDrawing drawing(d, "vs_2_0\ndcl_position v0\nm4x4 oPos, v0, c0\n", "ps_2_0\nmov oC0, c0\n");
    d->SetVertexShaderConstantF(0, Identity, 4);
    d->SetFVF(D3DFVF_XYZ);
    IDirect3DVertexBuffer9* vb = nullptr;
    ASSERT_EQ(d->CreateVertexBuffer(36, 0, D3DFVF_XYZ, D3DPOOL_DEFAULT, &vb, nullptr), D3D_OK);
    d->SetStreamSource(0, vb, 0, 12);
    const auto write = [vb](float x) {
        void* memory = nullptr;
        ASSERT_EQ(vb->Lock(0, 0, &memory, 0), D3D_OK);
        const float xyz[9] = {x, 0, 0.5f, x + 1, 1, 0.5f, x, 1, 0.5f};
        std::memcpy(memory, xyz, sizeof xyz);
        vb->Unlock();
    };
    const auto stoppedAfter = [&](float x) {
        write(x);
        d->BeginScene();
        d->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0, 1);
        d->EndScene();
        d->Present(nullptr, nullptr, nullptr, nullptr);
        return run.lastDraws.stopped == 1;
    };
    EXPECT_TRUE(stoppedAfter(2.0f));
    EXPECT_FALSE(stoppedAfter(0.0f));
    EXPECT_TRUE(stoppedAfter(3.0f));
    EXPECT_FALSE(stoppedAfter(-0.5f));
    vb->Release();
}
