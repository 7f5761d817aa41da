// The state a clear or draw is made with, as the front end keeps it and a
// back end reads it: plain values and pointers to what a back end reads of
// the front end's objects (their contents, and the copy it keeps beside
// each), valid during the call. Dirty bits, one a kind of state the program sets,
// say what changed since the back end's last draw, so that a back end
// renews only what it derived from those (each back end's update function
// says which bit renews what).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "d3d9.h"
#include "pipeline/draw_linkage.hpp"
#include "shader/compiled_program.hpp"
#include "shader/program_analysis.hpp"

namespace d3d9 {

// What a back end keeps beside one front-end object.
class DeviceCopy {
public:
    virtual ~DeviceCopy() = default;
};

// The slot for a back end's copy, in every object a back end copies.
class CopyHolder {
public:
    DeviceCopy* copy() const { return copy_.get(); }
    void setCopy(std::unique_ptr<DeviceCopy> copy) { copy_ = std::move(copy); }

protected:
    CopyHolder() = default;
    ~CopyHolder() = default;

private:
    std::unique_ptr<DeviceCopy> copy_;
};

// What a back end reads of a vertex or index buffer.
class BufferContents : public virtual CopyHolder {
public:
    const std::uint8_t* bytes() const { return bytes_.data(); }
    std::size_t size() const { return bytes_.size(); }
    D3DFORMAT format() const { return format_; } // an index buffer's INDEX16 or INDEX32
    // A number that names the contents: new at creation and at every Lock
    // and Unlock, never given to two contents of any buffers (what a back
    // end keeps about them stands while it does).
    std::uint64_t contentStamp() const { return contentStamp_; }

protected:
    BufferContents(UINT length, D3DFORMAT format);
    ~BufferContents() = default;
    void renewContentStamp();

    std::vector<std::uint8_t> bytes_;
    D3DFORMAT format_;
    std::uint64_t contentStamp_;
};

// What a back end reads of a texture: A8R8G8B8 texels, pitch() of them
// from one row to the next, row 0 first.
class TextureContents : public virtual CopyHolder {
public:
    UINT width() const { return width_; }
    UINT height() const { return height_; }
    D3DPOOL pool() const { return pool_; }
    const std::uint32_t* texels() const { return texels_.data(); }
    std::uint32_t pitch() const { return pitch_; }
    // FNV-1a of the pixels row after row, without the padding.
    std::uint64_t contentHash() const;

protected:
    TextureContents(UINT width, UINT height, D3DPOOL pool, std::int32_t rowPadding);
    ~TextureContents() = default;

    UINT width_;
    UINT height_;
    D3DPOOL pool_;
    std::uint32_t pitch_; // texels a row
    std::vector<std::uint32_t> texels_;
};

// What a back end reads of a shader program: its bytecode, decoded and
// analysed once, and, for a vertex program, its position slice and the
// slice's magnitudes compiled for the culling of draws that reach no pixel
// (NULL for the magnitudes when the slice's error is not bounded; the two
// have the same register file: the magnitudes run in the slice's).
class ProgramContents : public virtual CopyHolder {
public:
    shader::ShaderType type() const { return analysis_->type; }
    const std::vector<std::uint32_t>& tokens() const { return tokens_; }
    const shader::ProgramAnalysis& analysis() const { return *analysis_; }
    // For a back end whose queued work may outlive the program object.
    const std::shared_ptr<const shader::ProgramAnalysis>& sharedAnalysis() const { return analysis_; }
    const shader::CompiledProgram* positionSlice() const { return positionSlice_.get(); }
    const shader::CompiledProgram* positionMagnitude() const { return positionMagnitude_.get(); }
    // constants (4 floats a register, `registers` of them) with the defs put in.
    void applyDefinitions(float* constants, std::uint32_t registers) const
    {
        shader::applyDefinitions(*analysis_, constants, registers);
    }
    // Whether a def names a register in [start, start + count).
    bool definesAnyIn(std::uint32_t start, std::uint32_t count) const
    {
        return shader::definesAnyIn(*analysis_, start, count);
    }

protected:
    ProgramContents(std::vector<std::uint32_t> tokens, shader::ProgramAnalysis analysis);
    ~ProgramContents();

    std::vector<std::uint32_t> tokens_;
    std::shared_ptr<const shader::ProgramAnalysis> analysis_;
    std::unique_ptr<const shader::CompiledProgram> positionSlice_;
    std::unique_ptr<const shader::CompiledProgram> positionMagnitude_;
};

constexpr std::uint32_t VertexConstantRegisters = shader::VertexConstantRegisters;
constexpr std::uint32_t PixelConstantRegisters = shader::PixelConstantRegisters;
constexpr std::uint32_t SamplerCount = 16;
constexpr std::uint32_t StreamCount = 16; // the streams a device takes (one is offered)
constexpr std::uint32_t RenderStateCount = 256;
constexpr std::uint32_t TextureStageCount = 8;
constexpr std::uint32_t TextureStageStateCount = 33;
constexpr std::uint32_t SamplerStateCount = 14;

// What changed: one bit a kind of state the program sets. The front end
// sets them in one place (Device::markChanged) and clears them once a back
// end has drawn with them; a back end made again sees them all set.
using DirtyBits = std::uint32_t;
namespace dirty {
constexpr DirtyBits RenderStates = 1u << 0;    // SetRenderState
constexpr DirtyBits SamplerStates = 1u << 1;   // SetSamplerState
constexpr DirtyBits Textures = 1u << 2;        // SetTexture
constexpr DirtyBits VertexShader = 1u << 3;    // SetVertexShader
constexpr DirtyBits PixelShader = 1u << 4;     // SetPixelShader
constexpr DirtyBits VertexConstants = 1u << 5; // SetVertexShaderConstantF, or a vertex program's defs
constexpr DirtyBits PixelConstants = 1u << 6;  // SetPixelShaderConstantF, or a pixel program's defs
constexpr DirtyBits Viewport = 1u << 7;        // SetViewport, or a new render size
constexpr DirtyBits Streams = 1u << 8;         // SetStreamSource
constexpr DirtyBits Indices = 1u << 9;         // SetIndices
constexpr DirtyBits Declaration = 1u << 10;    // SetVertexDeclaration, SetFVF
constexpr DirtyBits All = (1u << 11) - 1;
} // namespace dirty

struct DrawState {
    std::int32_t width = 0;  // the back buffer's size
    std::int32_t height = 0;
    D3DVIEWPORT9 viewport = {};
    DWORD renderStates[RenderStateCount] = {};
    DWORD samplerStates[SamplerCount][SamplerStateCount] = {};

    const ProgramContents* vertexShader = nullptr;
    const ProgramContents* pixelShader = nullptr;
    const BufferContents* stream = nullptr;
    UINT streamOffset = 0;
    UINT streamStride = 0;
    const BufferContents* indices = nullptr;
    const std::vector<D3DVERTEXELEMENT9>* elements = nullptr; // the declaration's, or the FVF's; end marker included
    // The layout and programs linked: made again by the front end before a
    // draw whenever the declaration or a program changed (Declaration,
    // VertexShader and PixelShader say so); a back end may keep it.
    std::shared_ptr<const pipeline::DrawLinkage> linkage;
    const TextureContents* textures[SamplerCount] = {};

    // The constant registers as the bound programs read them: what the
    // program set, with the bound program's defs put in.
    float vertexConstants[4 * VertexConstantRegisters] = {};
    float pixelConstants[4 * PixelConstantRegisters] = {};

    DirtyBits dirty = dirty::All; // changed since the back end last drew
};

} // namespace d3d9
