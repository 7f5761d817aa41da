#include "d3d9/view_rejection.hpp"

#include <algorithm>
#include <cmath>

#include "d3d9/resources.hpp"
#include "shader/program_kernel.hpp"

namespace d3d9 {
namespace {

using shader::BatchLanes;

constexpr double UnitRoundoff = 0x1p-24;
constexpr double Denormals = 0x1p-100; // flushed to 0 by some hardware: far below any position seen

// How far beyond one plane a position lies (negative: inside), from its
// coordinate a and its w; the magnitude that bounds its error; the pixel
// slack of side planes. Plane by plane, so that lane loops vectorise.
struct PlaneTerms {
    int axis;    // 0 x, 1 y (the side planes, with a pixel of slack), 2 z
    double sign; // the coordinate beyond: sign * a - w (sides, far) or -a (near)
    bool near;
};

// In the bits' order (clip_planes.hpp): near, far, left, right, bottom, top.
constexpr PlaneTerms Planes[ClipPlaneCount] = {{2, -1, true},  {2, 1, false}, {0, -1, false},
                                               {0, 1, false},  {1, -1, false}, {1, 1, false}};

bool marginScale(std::uint32_t roundings, double viewportWidth, double viewportHeight, MarginScale& out)
{
    const double n = roundings + HardwareRoundings;
    if (n * UnitRoundoff >= 0.25) {
        return false; // no bound worth the name
    }
    out = {8.0 * n * UnitRoundoff, {2.0 / viewportWidth, 2.0 / viewportHeight}};
    return true;
}

// Whether the position (a, w) lies beyond the plane by more than its margin.
inline bool beyondMargin(const PlaneTerms& plane, const MarginScale& scale, double a, double w, double ma, double mw)
{
    const double distance = plane.near ? -a : plane.sign * a - w;
    const double margin =
        scale.rounding * (ma + mw) + (plane.axis < 2 ? std::fabs(w) * scale.pixel[plane.axis] : 0.0) + Denormals;
    return distance > margin;
}

// Whether every lane of the chunk lies beyond the plane by more than its
// margin: p and m are the position's and the magnitudes' slots; m is read
// at lane 0 for every lane when `stride` is 0.
bool chunkBeyondMargin(const PlaneTerms& plane, const MarginScale& scale, const float* p, const float* m,
                       std::int32_t stride, std::int32_t count)
{
    const float* a = p + plane.axis * BatchLanes;
    const float* w = p + 3 * BatchLanes;
    const float* ma = m + plane.axis * BatchLanes;
    const float* mw = m + 3 * BatchLanes;
    int beyond = 1;
    for (std::int32_t lane = 0; lane < count; ++lane) {
        beyond &= beyondMargin(plane, scale, a[lane], w[lane], ma[lane * stride], mw[lane * stride]) ? 1 : 0;
    }
    return beyond != 0;
}

// The planes every lane of the chunk lies outside of, exactly.
std::uint32_t commonOutcode(const float* p, std::int32_t count)
{
    const float* x = p;
    const float* y = p + BatchLanes;
    const float* z = p + 2 * BatchLanes;
    const float* w = p + 3 * BatchLanes;
    std::uint32_t left = 1, right = 1, bottom = 1, top = 1, near = 1, far = 1;
    for (std::int32_t lane = 0; lane < count; ++lane) {
        left &= x[lane] < -w[lane] ? 1u : 0u;
        right &= x[lane] > w[lane] ? 1u : 0u;
        bottom &= y[lane] < -w[lane] ? 1u : 0u;
        top &= y[lane] > w[lane] ? 1u : 0u;
        near &= z[lane] < 0.0f ? 1u : 0u;
        far &= z[lane] > w[lane] ? 1u : 0u;
    }
    return left * ClipLeft | right * ClipRight | bottom * ClipBottom | top * ClipTop | near * ClipNear |
           far * ClipFar;
}

} // namespace

std::uint32_t clipOutcodeWithMargin(const float position[4], const float magnitude[4], std::uint32_t roundings,
                                    double viewportWidth, double viewportHeight)
{
    MarginScale scale;
    if (!marginScale(roundings, viewportWidth, viewportHeight, scale)) {
        return 0;
    }
    std::uint32_t outside = 0;
    for (std::uint32_t plane = 0; plane < ClipPlaneCount; ++plane) {
        const PlaneTerms& terms = Planes[plane];
        outside |= beyondMargin(terms, scale, position[terms.axis], position[3], magnitude[terms.axis], magnitude[3])
                       ? 1u << plane
                       : 0u;
    }
    return outside;
}

// The draw's layout as the vertex program's inputs read it: once for the
// draws that follow while it stands.
void ViewRejection::bindLayout(const DrawState& state)
{
    const bool stands = (pending_ & (dirty::Declaration | dirty::VertexShader)) == 0;
    pending_ = 0;
    if (stands) {
        return;
    }
    const Shader& program = *state.vertexShader;
    bindings_ = bindInputs(*state.elements, program.analysis().inputs);
    for (std::uint32_t n = 0; n < 16; ++n) {
        sliceInputs_[n] = program.positionSlice()->slot(shader::RegisterType::Input, n);
    }
}

bool ViewRejection::reachesNoPixel(const DrawCall& call, const DrawState& state, bool exact, DirtyBits changed)
{
    pending_ |= changed;
    const Shader& program = *state.vertexShader;
    const shader::CompiledProgram* slice = program.positionSlice();
    if (slice == nullptr || !slice->compiled() || call.vertexCount == 0 ||
        (!exact && program.positionMagnitude() == nullptr)) {
        return false;
    }
    bindLayout(state);
    stream_ = {state.stream->bytes(), state.stream->size(), state.streamOffset, state.streamStride};
    snapshot_.clear();
    for (const std::uint32_t n : program.analysis().positionSlice.constantsRead) {
        snapshot_.insert(snapshot_.end(), state.vertexConstants + 4 * n, state.vertexConstants + 4 * n + 4);
    }
    file_.resize(std::max(file_.size(), slice->fileSize()));
    slice->prepareFile(file_.data(), snapshot_.data(), 1.0f);
    const std::int64_t first = static_cast<std::int64_t>(call.baseVertex) + call.minIndex;
    const auto count = static_cast<std::int64_t>(call.vertexCount);
    std::uint32_t common = ClipAll;
    for (std::int64_t done = 0; done < count && common != 0; done += BatchLanes) {
        const auto lanes = static_cast<std::int32_t>(std::min<std::int64_t>(BatchLanes, count - done));
        common &= chunkOutcode(state, first + done, lanes, exact);
    }
    return common != 0;
}

std::uint32_t ViewRejection::chunkOutcode(const DrawState& state, std::int64_t first, std::int32_t count, bool exact)
{
    const Shader& program = *state.vertexShader;
    const shader::CompiledProgram& slice = *program.positionSlice();
    slice.clearTemporaries(file_.data());
    fetchVerticesIntoFile(bindings_, sliceInputs_, stream_, first, count, file_.data());
    slice.run(file_.data(), count, nullptr);
    const std::uint32_t position = slice.slot(shader::RegisterType::RastOut, 0);
    magnitudeOffset_ = position;
    const std::uint32_t common = commonOutcode(file_.data() + position, count);
    if (exact || common == 0) {
        return common; // the margin can only take planes away
    }
    // The magnitudes run in the same file, after the position is put by:
    // the magnitude slice is the slice with other modifiers, so it has the
    // same slots, inputs and constants (checked when the program was made).
    std::copy_n(file_.data() + position, 4 * BatchLanes, positions_);
    MarginScale scale;
    if (!marginScale(program.analysis().positionRoundings, state.viewport.Width, state.viewport.Height, scale)) {
        return 0;
    }
    // First for the chunk's largest inputs, in lane 0: the magnitudes only
    // grow with their inputs, so that bounds every lane's. Most draws are
    // far outside; for them that is enough.
    putLargestInputsInLaneZero(count);
    runMagnitudes(program, 1);
    const std::uint32_t coarse = planesBeyondMargin(common, scale, count, true);
    if (coarse == common) {
        return coarse;
    }
    fetchVerticesIntoFile(bindings_, sliceInputs_, stream_, first, count, file_.data());
    runMagnitudes(program, count);
    return planesBeyondMargin(common, scale, count, false);
}

void ViewRejection::putLargestInputsInLaneZero(std::int32_t count)
{
    for (const std::uint32_t offset : sliceInputs_) {
        if (offset == ~0u) {
            continue;
        }
        for (std::uint32_t c = 0; c < 4; ++c) {
            float* lanes = file_.data() + offset + c * BatchLanes;
            float largest = 0.0f;
            for (std::int32_t lane = 0; lane < count; ++lane) {
                const float size = std::fabs(lanes[lane]);
                largest = size > largest || size != size ? size : largest; // a NaN stays, and fails the test
            }
            lanes[0] = largest;
        }
    }
}

void ViewRejection::runMagnitudes(const Shader& program, std::int32_t count)
{
    const shader::CompiledProgram& magnitude = *program.positionMagnitude();
    magnitude.clearTemporaries(file_.data());
    magnitude.run(file_.data(), count, nullptr);
}

// Of the planes in `common`, those every lane lies beyond by more than its
// margin, from the magnitudes in the file (lane 0's for every lane when
// `laneZero`).
std::uint32_t ViewRejection::planesBeyondMargin(std::uint32_t common, const MarginScale& scale, std::int32_t count,
                                                bool laneZero)
{
    const float* magnitudes = file_.data() + magnitudeOffset_;
    std::uint32_t beyond = 0;
    for (std::uint32_t plane = 0; plane < ClipPlaneCount; ++plane) {
        if ((common & (1u << plane)) != 0 &&
            chunkBeyondMargin(Planes[plane], scale, positions_, magnitudes, laneZero ? 0 : 1, count)) {
            beyond |= 1u << plane;
        }
    }
    return beyond;
}

} // namespace d3d9
