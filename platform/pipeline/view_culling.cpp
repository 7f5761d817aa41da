#include "pipeline/view_culling.hpp"

#include <algorithm>
#include <cmath>

#include "pipeline/clip_planes.hpp"
#include "pipeline/constant_snapshot.hpp"

namespace pipeline {
namespace {

using shader::BatchLanes;

// The factors of a hardware margin for one draw.
struct MarginScale {
    double rounding; // e: times the magnitudes
    double pixel[2]; // a pixel of the viewport in x and y, times |w|
};

bool marginScale(std::uint32_t roundings, double viewportWidth, double viewportHeight, MarginScale& out)
{
    out.pixel[0] = 2.0 / viewportWidth;
    out.pixel[1] = 2.0 / viewportHeight;
    return hardwareRoundingFactor(roundings, out.rounding);
}

// Whether the position (a, w) lies beyond the plane by more than its
// margin (a NaN position does; a NaN margin stops nothing).
inline bool beyondMargin(const PlaneAxis& plane, bool near, const MarginScale& scale, double a, double w, double ma,
                         double mw)
{
    const double distance = near ? -a : -plane.sign * a - w;
    const double margin =
        scale.rounding * (ma + mw) + (plane.side ? std::fabs(w) * scale.pixel[plane.axis] : 0.0) + FlushedDenormals;
    return distance > margin || distance != distance;
}

// Whether every lane of the chunk lies beyond the plane by more than its
// margin: p and m are the position's and the magnitudes' slots; m is read
// at lane 0 for every lane when `stride` is 0.
bool chunkBeyondMargin(std::int32_t plane, const MarginScale& scale, const float* p, const float* m,
                       std::int32_t stride, std::int32_t count)
{
    const PlaneAxis& axis = Planes[plane];
    const float* a = p + axis.axis * BatchLanes;
    const float* w = p + 3 * BatchLanes;
    const float* ma = m + axis.axis * BatchLanes;
    const float* mw = m + 3 * BatchLanes;
    int beyond = 1;
    for (std::int32_t lane = 0; lane < count; ++lane) {
        beyond &= beyondMargin(axis, plane == 0, scale, a[lane], w[lane], ma[lane * stride], mw[lane * stride]) ? 1 : 0;
    }
    return beyond != 0;
}

// The planes every lane of the chunk lies outside of, exactly.
std::uint32_t commonOutcode(const float* p, std::int32_t count)
{
    std::uint32_t common = ClipAll;
    for (std::int32_t lane = 0; lane < count; ++lane) {
        const float position[4] = {p[lane], p[BatchLanes + lane], p[2 * BatchLanes + lane], p[3 * BatchLanes + lane]};
        common &= viewOutcode(position);
    }
    return common;
}

} // namespace

std::uint32_t outcodeWithMargin(const float position[4], const float magnitude[4], std::uint32_t roundings,
                                double viewportWidth, double viewportHeight)
{
    MarginScale scale;
    if (!marginScale(roundings, viewportWidth, viewportHeight, scale)) {
        return 0;
    }
    std::uint32_t outside = 0;
    for (std::int32_t plane = 0; plane < ClipPlaneCount; ++plane) {
        const PlaneAxis& axis = Planes[plane];
        outside |= beyondMargin(axis, plane == 0, scale, position[axis.axis], position[3], magnitude[axis.axis],
                                magnitude[3])
                       ? 1u << plane
                       : 0u;
    }
    return outside;
}

bool ViewCulling::boundsStop(const CullingDraw& draw)
{
    const shader::ProgramAnalysis& analysis = *draw.program.analysis;
    const shader::AffinePosition& affine = analysis.affinePosition;
    if (!affine.found) {
        return false;
    }
    InputBox box;
    if (draw.position == nullptr || !bounds_.boxOf(draw.run, *draw.position, box)) {
        return false;
    }
    return planeBeyondBox(affine, analysis.positionRoundings, draw.constants, box, draw.margin) != 0;
}

// The slice's input slots (only draws the bounds leave undecided get here).
void ViewCulling::bindSlice(const CullingDraw& draw)
{
    for (int n = 0; n < shader::VertexInputRegisters; ++n) {
        sliceInputs_[n] = draw.program.slice->slot(shader::RegisterType::Input, static_cast<std::uint32_t>(n));
    }
}

bool ViewCulling::reachesNoPixel(const CullingDraw& draw)
{
    const shader::CompiledProgram* slice = draw.program.slice;
    if (slice == nullptr || !slice->compiled() || draw.run.count <= 0 ||
        (!draw.margin.exact && draw.program.magnitude == nullptr)) {
        return false;
    }
    if (boundsStop(draw)) {
        return true;
    }
    bindSlice(draw);
    snapshot_.clear();
    appendConstantSnapshot(draw.program.analysis->positionSlice, draw.constants, shader::VertexConstantRegisters, snapshot_);
    file_.resize(std::max(file_.size(), slice->fileSize()));
    slice->prepareFile(file_.data(), snapshot_.data());
    std::uint32_t common = ClipAll;
    for (std::int64_t done = 0; done < draw.run.count && common != 0; done += BatchLanes) {
        const auto lanes = static_cast<std::int32_t>(std::min<std::int64_t>(BatchLanes, draw.run.count - done));
        common &= chunkOutcode(draw, draw.run.first + done, lanes);
    }
    return common != 0;
}

std::uint32_t ViewCulling::chunkOutcode(const CullingDraw& draw, std::int64_t first, std::int32_t count)
{
    const shader::CompiledProgram& slice = *draw.program.slice;
    slice.clearTemporaries(file_.data());
    fetchVerticesIntoFile(draw.bindings, sliceInputs_, draw.run.stream, first, count, file_.data());
    slice.run(file_.data(), count, nullptr);
    positionOffset_ = slice.slot(shader::RegisterType::RastOut, 0);
    const std::uint32_t common = commonOutcode(file_.data() + positionOffset_, count);
    if (draw.margin.exact || common == 0) {
        return common; // the margin can only take planes away
    }
    // The magnitudes run in the same file, after the position is put by:
    // the magnitude slice is the slice with other modifiers, so it has the
    // same slots, inputs and constants (checked when the program was made).
    std::copy_n(file_.data() + positionOffset_, 4 * BatchLanes, positions_);
    const std::uint32_t roundings = draw.program.analysis->positionRoundings + draw.margin.hardwareRoundings;
    // First for the chunk's largest inputs, in lane 0: the magnitudes only
    // grow with their inputs, so that bounds every lane's. Most draws are
    // far outside; for them that is enough.
    putLargestInputsInLaneZero(count);
    runMagnitudes(*draw.program.magnitude, 1);
    const std::uint32_t coarse = planesBeyondMargin(common, draw.margin, roundings, count, true);
    if (coarse == common) {
        return coarse;
    }
    fetchVerticesIntoFile(draw.bindings, sliceInputs_, draw.run.stream, first, count, file_.data());
    runMagnitudes(*draw.program.magnitude, count);
    return planesBeyondMargin(common, draw.margin, roundings, count, false);
}

void ViewCulling::putLargestInputsInLaneZero(std::int32_t count)
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

void ViewCulling::runMagnitudes(const shader::CompiledProgram& magnitude, std::int32_t count)
{
    magnitude.clearTemporaries(file_.data());
    magnitude.run(file_.data(), count, nullptr);
}

// Of the planes in `common`, those every lane lies beyond by more than its
// margin, from the magnitudes in the file (lane 0's for every lane when
// `laneZero`).
std::uint32_t ViewCulling::planesBeyondMargin(std::uint32_t common, const CullingMargin& margin,
                                              std::uint32_t roundings, std::int32_t count, bool laneZero)
{
    MarginScale scale;
    if (!marginScale(roundings, margin.viewportWidth, margin.viewportHeight, scale)) {
        return 0;
    }
    const float* magnitudes = file_.data() + positionOffset_;
    std::uint32_t beyond = 0;
    for (std::int32_t plane = 0; plane < ClipPlaneCount; ++plane) {
        if ((common & (1u << plane)) != 0 &&
            chunkBeyondMargin(plane, scale, positions_, magnitudes, laneZero ? 0 : 1, count)) {
            beyond |= 1u << plane;
        }
    }
    return beyond;
}

} // namespace pipeline
