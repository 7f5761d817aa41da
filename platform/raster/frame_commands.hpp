// The frame's command queue: the clears and draws of one frame, in the
// order the program gave them. A clear and a draw are commands of their own
// kind, each kept in a list of its kind; the queue's order is a list of
// (kind, index) entries, which the scanning dispatches through a table
// checked to cover every kind.
//
// Who owns what, for as long as the queue holds a frame:
// - a draw's program, shading, linkage and raster state are shared objects
//   the queue holds (hold), once for each run of draws that shares one,
//   until reset;
// - its vertex and index bytes are the front end's memory, valid until its
//   geometry is done: the back end runs it before the front end changes a
//   buffer (beforeResourceChange) and at Present;
// - its constant snapshot is a range of the queue's pool;
// - its triangles are made by its geometry stage and read by the scanning.
// The lists keep their room from frame to frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "d3d9/backend.hpp"
#include "pipeline/draw_linkage.hpp"
#include "pipeline/vertex_fetch.hpp"
#include "raster/rasterizer.hpp"
#include "raster/vertex_stage.hpp"

namespace raster {

enum class CommandKind : std::uint8_t { Clear, Draw };
constexpr std::size_t CommandKinds = 2;

struct ClearCommand {
    std::vector<D3DRECT> rects; // inside the target, non-empty, at the render size
    bool colour = false;
    bool depth = false;
    D3DCOLOR colourValue = 0;
    float depthValue = 1.0f;
};

struct DrawCommand {
    d3d9::DrawCall call = {};
    const shader::ProgramAnalysis* program = nullptr; // the vertex program's
    const VertexShading* shading = nullptr;
    const pipeline::DrawLinkage* linkage = nullptr;
    const RasterState* state = nullptr;
    std::size_t constants = 0;       // the snapshot's first float in the pool
    pipeline::VertexStream stream;
    const std::uint8_t* indices = nullptr; // the index buffer's first byte
    std::size_t indexBytes = 2;
    bool cullUnseen = true;                // stop the draw when every vertex lies outside one plane
    bool stopped = false;                  // the geometry stage found no vertex can be seen
    std::vector<ScreenTriangle> triangles; // made by the geometry stage
};

struct Command {
    CommandKind kind;
    std::uint32_t index;   // in the list of its kind
    std::int32_t firstRow; // the rows it touches: a clear's at once, a draw's once its geometry is done
    std::int32_t endRow;
};

class FrameCommands {
public:
    // The kinds of shared object a draw points to; one of each is held for
    // a run of draws that shares it (a count per draw would cost two atomic
    // operations a pointer).
    enum Held { Program, Shading, Linkage, State, HeldKinds };

    ClearCommand& addClear(std::int32_t firstRow, std::int32_t endRow);
    DrawCommand& addDraw(); // its rows are set by setDrawRows

    // Holds what `object` points to while the queue holds the frame.
    template <typename T>
    const T* hold(const std::shared_ptr<T>& object, Held kind)
    {
        if (object != nullptr && object.get() != lastHeld_[kind]) {
            held_.push_back(object);
            lastHeld_[kind] = object.get();
        }
        return object.get();
    }

    std::vector<float>& constantPool() { return constants_; }
    const float* constantsOf(const DrawCommand& draw) const { return constants_.data() + draw.constants; }

    const std::vector<Command>& commands() const { return order_; }
    const ClearCommand& clear(std::uint32_t index) const { return clears_[index]; }
    const DrawCommand& draw(std::uint32_t index) const { return draws_[index]; }
    DrawCommand& draw(std::uint32_t index) { return draws_[index]; }

    // The draws whose geometry is still to do: [firstUnshaded(), drawCount()).
    std::uint32_t firstUnshaded() const { return shaded_; }
    std::uint32_t drawCount() const { return drawCount_; }
    // Once their geometry is done: each draw's rows from its triangles.
    void setDrawRows();

    // Sorts the commands into bands of bandRows rows, keeping their order
    // (a band need not look at every command); draws with no triangle go
    // nowhere.
    void bin(std::int32_t bands, std::int32_t bandRows);
    const std::vector<std::uint32_t>& commandsInBand(std::int32_t band) const
    {
        return bins_[static_cast<std::size_t>(band)];
    }

    bool empty() const { return order_.empty(); }
    // Lets go of the frame: the held objects may go; the lists keep their room.
    void reset();

private:
    std::vector<Command> order_;
    std::vector<ClearCommand> clears_;
    std::vector<DrawCommand> draws_;
    std::uint32_t clearCount_ = 0; // in use
    std::uint32_t drawCount_ = 0;
    std::uint32_t shaded_ = 0;     // draws whose geometry is done
    std::vector<float> constants_; // the draws' constant snapshots
    std::vector<std::shared_ptr<const void>> held_;
    const void* lastHeld_[HeldKinds] = {};
    std::vector<std::vector<std::uint32_t>> bins_; // commands (indices into order_) of each band
};

} // namespace raster
