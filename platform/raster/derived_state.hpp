// What the software back end derives from the front end's state, renewed
// by the dirty bits (the counterpart of the GL back end's gl_state.cpp and
// its update): the raster state it is set up and scanned with (viewport, culling, depth, the pixel
// program with its constants and textures), and the snapshot of the
// constants its vertex program reads. Each is made once for the draws that
// follow while its sources stand, and held by the frame's queue.
#pragma once

#include <memory>

#include "d3d9/draw_state.hpp"
#include "d3d9/backend.hpp"
#include "raster/frame_commands.hpp"
#include "shader/compiled_program.hpp"

namespace raster {

// A program as the software back end keeps it: its analysis (what the
// shader machine runs) and, for a vertex program, its shading; for a pixel
// program, its compiled routine where it compiles.
struct SoftwareProgram final : d3d9::DeviceCopy {
    std::shared_ptr<const shader::ProgramAnalysis> program;
    std::shared_ptr<const VertexShading> shading;                // a vertex program's
    std::shared_ptr<const shader::CompiledProgram> pixelRoutine; // NULL: the machine runs the pixel program
};

// `reference`: run programs on the shader machine, never compiled.
std::unique_ptr<SoftwareProgram> makeSoftwareProgram(const d3d9::ProgramContents& shader, bool reference);

class DerivedState {
public:
    // Renews what the changed state feeds (each bit's effect is listed at
    // the definition), then fills the draw's pointers to what it derived,
    // held by the recording queue.
    void update(const d3d9::DrawState& state, d3d9::DirtyBits changed, FrameCommands& recording, DrawCommand& draw);
    // The recording queue started a new frame: the snapshot went with the old one.
    void startFrame() { snapshotStands_ = false; }

private:
    std::shared_ptr<const RasterState> raster_;
    std::size_t snapshot_ = 0; // in the recording queue's pool
    bool snapshotStands_ = false;
};

} // namespace raster
