#include "d3d9/view_rejection.hpp"

#include <algorithm>
#include <cmath>

#include "d3d9/resources.hpp"
#include "shader/program_kernel.hpp"

namespace d3d9 {
namespace {

using shader::kernel::ChunkLanes;

constexpr double UnitRoundoff = 0x1p-24;
constexpr double Denormals = 0x1p-100; // flushed to 0 by some hardware: far below any position seen

// Whether d, the distance beyond a plane, exceeds the margin.
bool beyond(double d, double margin)
{
    return d > margin;
}

} // namespace

std::uint32_t clipOutcodeWithMargin(const float position[4], const float magnitude[4], std::uint32_t roundings,
                                    double viewportWidth, double viewportHeight)
{
    const double n = roundings + HardwareRoundings;
    if (n * UnitRoundoff >= 0.25) {
        return 0; // no bound worth the name
    }
    const double e = 8.0 * n * UnitRoundoff;
    const double x = position[0], y = position[1], z = position[2], w = position[3];
    const double mx = magnitude[0], my = magnitude[1], mz = magnitude[2], mw = magnitude[3];
    const double pixelX = std::fabs(w) * 2.0 / viewportWidth, pixelY = std::fabs(w) * 2.0 / viewportHeight;
    const double sideX = e * (mx + mw) + pixelX + Denormals;
    const double sideY = e * (my + mw) + pixelY + Denormals;
    const double depth = e * (mz + mw) + Denormals;
    return (beyond(-w - x, sideX) ? ClipLeft : 0u) | (beyond(x - w, sideX) ? ClipRight : 0u) |
           (beyond(-w - y, sideY) ? ClipBottom : 0u) | (beyond(y - w, sideY) ? ClipTop : 0u) |
           (beyond(-z, depth) ? ClipNear : 0u) | (beyond(z - w, depth) ? ClipFar : 0u);
}

// The draw's layout as the vertex program's inputs read it: once for the
// draws that follow while it stands.
void ViewRejection::bindLayout(const DrawState& state)
{
    if (layoutVersion_ == state.layoutVersion) {
        return;
    }
    layoutVersion_ = state.layoutVersion;
    const Shader& program = *state.vertexShader;
    bindings_ = bindInputs(*state.elements, program.analysis().inputs);
    for (std::uint32_t n = 0; n < 16; ++n) {
        sliceInputs_[n] = program.positionSlice()->slot(shader::RegisterType::Input, n);
        magnitudeInputs_[n] = program.positionMagnitude() != nullptr
                                  ? program.positionMagnitude()->slot(shader::RegisterType::Input, n)
                                  : ~0u;
    }
}

bool ViewRejection::reachesNoPixel(const DrawCall& call, const DrawState& state, bool exact)
{
    const Shader& program = *state.vertexShader;
    const shader::CompiledProgram* slice = program.positionSlice();
    if (slice == nullptr || !slice->compiled() || call.vertexCount == 0 ||
        (!exact && (program.positionMagnitude() == nullptr || !program.positionMagnitude()->compiled()))) {
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
    if (!exact) {
        const shader::CompiledProgram& magnitude = *program.positionMagnitude();
        magnitudeFile_.resize(std::max(magnitudeFile_.size(), magnitude.fileSize()));
        magnitude.prepareFile(magnitudeFile_.data(), snapshot_.data(), 1.0f);
    }
    const std::int64_t first = static_cast<std::int64_t>(call.baseVertex) + call.minIndex;
    const auto count = static_cast<std::int64_t>(call.vertexCount);
    std::uint32_t common = ClipAll;
    for (std::int64_t done = 0; done < count && common != 0; done += ChunkLanes) {
        const auto lanes = static_cast<std::int32_t>(std::min<std::int64_t>(ChunkLanes, count - done));
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
    const float* p = file_.data() + slice.slot(shader::RegisterType::RastOut, 0);
    std::uint32_t common = ClipAll;
    for (std::int32_t lane = 0; lane < count; ++lane) {
        common &= clipOutcode(p[lane], p[ChunkLanes + lane], p[2 * ChunkLanes + lane], p[3 * ChunkLanes + lane]);
    }
    if (exact || common == 0) {
        return common; // the margin can only take planes away
    }
    const shader::CompiledProgram& magnitude = *program.positionMagnitude();
    magnitude.clearTemporaries(magnitudeFile_.data());
    fetchVerticesIntoFile(bindings_, magnitudeInputs_, stream_, first, count, magnitudeFile_.data());
    magnitude.run(magnitudeFile_.data(), count, nullptr);
    const float* m = magnitudeFile_.data() + magnitude.slot(shader::RegisterType::RastOut, 0);
    const double width = state.viewport.Width, height = state.viewport.Height;
    const std::uint32_t roundings = program.analysis().positionRoundings;
    for (std::int32_t lane = 0; lane < count && common != 0; ++lane) {
        const float position[4] = {p[lane], p[ChunkLanes + lane], p[2 * ChunkLanes + lane], p[3 * ChunkLanes + lane]};
        const float terms[4] = {m[lane], m[ChunkLanes + lane], m[2 * ChunkLanes + lane], m[3 * ChunkLanes + lane]};
        common &= clipOutcodeWithMargin(position, terms, roundings, width, height);
    }
    return common;
}

} // namespace d3d9
