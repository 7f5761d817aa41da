// The Direct3D 9 front end over a back end that records what reaches it:
// the checks every back end shares, how failures are sorted, the references
// the device holds, what back ends are handed and when.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <utility>
#include <string>
#include <vector>

#include "d3d9/device.hpp"
#include "d3d9/failures.hpp"
#include "d3d9/null_backend.hpp"
#include "d3d9/runtime.hpp"
#include "d3dx/assembler.hpp"
#include "shader/opcode_table.hpp"
#include "win32/api_trace.hpp"
#include "support/assembled_program.hpp"

namespace {

// What the back end was handed.
struct Seen {
    std::vector<D3DRECT> clearRects;
    int draws = 0;
    std::vector<float> vertexConstants; // c0 and c1 at the last draw
    std::vector<std::size_t> bufferUpdates;
    D3DPRESENT_PARAMETERS backBuffer = {}; // as the back end was made
    D3DVIEWPORT9 drawViewport = {};        // at the last draw
    std::int32_t drawWidth = 0;
    std::int32_t drawHeight = 0;
    d3d9::DrawCounts counts;               // of the last frame presented
    int backEndsMade = 0;
    int programCopies = 0;                 // made by the back ends, all told
    std::vector<d3d9::DirtyBits> dirty;    // at each draw
    std::vector<d3d9::DirtyBits> stoppedDirty; // at each draw the spy stopped
};
Seen seen;
bool spyPositionsExact = false; // the spy culls as a back end with exact positions would, or with the GL margin
std::uint32_t spyLateStops = 0;  // draws the spy says at Present it stopped after taking them

class SpyBackend final : public d3d9::Backend {
public:
    explicit SpyBackend(const D3DPRESENT_PARAMETERS& p) : frames_(d3d9::createNullBackend(p)) {}
    std::unique_ptr<d3d9::DeviceCopy> copyProgram(const d3d9::ProgramContents&) override
    {
        ++seen.programCopies;
        return std::make_unique<d3d9::DeviceCopy>();
    }
    void updateBuffer(const d3d9::BufferContents&, std::size_t offset, std::size_t size) override
    {
        seen.bufferUpdates.push_back(offset);
        seen.bufferUpdates.push_back(size);
    }
    void clear(const d3d9::ClearCall& call, const d3d9::DrawState&) override
    {
        seen.clearRects.insert(seen.clearRects.end(), call.rects, call.rects + call.rectCount);
    }
    d3d9::DrawOutcome draw(const d3d9::DrawCall& call, const d3d9::DrawState& state) override
    {
        const pipeline::CullingMargin margin = {spyPositionsExact, spyPositionsExact ? 0u : 4u,
                                                static_cast<double>(state.viewport.Width),
                                                static_cast<double>(state.viewport.Height)};
        if (culling_.reachesNoPixel(d3d9::cullingDrawOf(call, state, margin))) {
            seen.stoppedDirty.push_back(state.dirty);
            return d3d9::DrawOutcome::Stopped;
        }
        ++seen.draws;
        seen.dirty.push_back(state.dirty);
        seen.vertexConstants.assign(state.vertexConstants, state.vertexConstants + 8);
        seen.drawViewport = state.viewport;
        seen.drawWidth = state.width;
        seen.drawHeight = state.height;
        return d3d9::DrawOutcome::Drawn;
    }
    d3d9::Frame present(bool rendered) override
    {
        d3d9::Frame frame = frames_->present(rendered);
        frame.draws.stopped = std::exchange(spyLateStops, 0);
        return frame;
    }

private:
    std::unique_ptr<d3d9::Backend> frames_;
    pipeline::ViewCulling culling_;
};

class SpyAdapter final : public d3d9::Adapter {
public:
    bool offersMultisample() const override { return true; }
    std::unique_ptr<d3d9::Backend> createBackend(const D3DPRESENT_PARAMETERS& p, const d3d9::BackendOptions&) override
    {
        seen.backBuffer = p;
        ++seen.backEndsMade;
        return std::make_unique<SpyBackend>(p);
    }
};

const d3d9::BackendDescription spyBackend{"spy", "records what reaches it", false,
                                          [](const d3d9::BackendOptions&) -> std::unique_ptr<d3d9::Adapter> {
                                              return std::make_unique<SpyAdapter>();
                                          }};

struct FrontEnd {
    IDirect3D9* direct3d = nullptr;
    IDirect3DDevice9* device = nullptr;
    bool wantPixels = true;
    std::vector<std::string> reported;

    explicit FrontEnd(std::int32_t renderScale = 1,
                      std::function<d3d9::RenderSize(std::int32_t, std::int32_t)> renderSize = {},
                      bool traceCalls = false)
    {
        seen = {};
        d3d9::forgetUnsupportedReports();
        d3d9::setUnsupportedSink([this](std::string_view id, std::string_view) { reported.emplace_back(id); });
        d3d9::BackendOptions options;
        options.sink.wantsPixels = [this] { return wantPixels; };
        options.sink.onPresent = [](const d3d9::Frame& frame) { seen.counts = frame.draws; };
        options.renderScale = renderScale;
        options.renderSize = std::move(renderSize);
        options.traceCalls = traceCalls;
        d3d9::useBackend(spyBackend, options);
        direct3d = d3d9::createDirect3D9(D3D_SDK_VERSION);
        D3DPRESENT_PARAMETERS p = {};
        p.BackBufferWidth = 64;
        p.BackBufferHeight = 48;
        p.BackBufferFormat = D3DFMT_X8R8G8B8;
        p.Windowed = TRUE;
        EXPECT_EQ(direct3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, 0, &p, &device), D3D_OK);
    }
    ~FrontEnd()
    {
        if (device != nullptr) {
            device->Release();
        }
        direct3d->Release();
        d3d9::useNoBackend();
        d3d9::setUnsupportedSink({});
    }
    template <typename Shader>
    Shader* program(const char* text)
    {
        const d3dx::AssemblyResult code = d3dx::assembleShader(text);
        EXPECT_TRUE(code.succeeded) << code.errors;
        Shader* shader = nullptr;
        const auto* tokens = reinterpret_cast<const DWORD*>(code.tokens.data());
        if constexpr (std::is_same_v<Shader, IDirect3DVertexShader9>) {
            EXPECT_EQ(device->CreateVertexShader(tokens, &shader), D3D_OK);
        } else {
            EXPECT_EQ(device->CreatePixelShader(tokens, &shader), D3D_OK);
        }
        return shader;
    }
    // A bound stream, indices, declaration and both programs; the program
    // objects stay the device's alone.
    void bindDrawing(const char* vertexProgram = "vs_2_0\ndcl_position v0\nmov oPos, v0")
    {
        IDirect3DVertexBuffer9* vb = nullptr;
        IDirect3DIndexBuffer9* ib = nullptr;
        ASSERT_EQ(device->CreateVertexBuffer(36, 0, 0, D3DPOOL_DEFAULT, &vb, nullptr), D3D_OK);
        ASSERT_EQ(device->CreateIndexBuffer(6, 0, D3DFMT_INDEX16, D3DPOOL_DEFAULT, &ib, nullptr), D3D_OK);
        auto* vs = program<IDirect3DVertexShader9>(vertexProgram);
        auto* ps = program<IDirect3DPixelShader9>("ps_2_0\nmov oC0, c0");
        device->SetStreamSource(0, vb, 0, 12);
        device->SetIndices(ib);
        device->SetFVF(D3DFVF_XYZ);
        device->SetVertexShader(vs);
        device->SetPixelShader(ps);
        for (IUnknown* object : std::initializer_list<IUnknown*>{vb, ib, vs, ps}) {
            object->Release();
        }
    }
};

// An index buffer some other runtime made.
struct ForeignIndexBuffer final : IDirect3DIndexBuffer9 {
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9**) override { return D3DERR_INVALIDCALL; }
    D3DRESOURCETYPE STDMETHODCALLTYPE GetType() override { return D3DRTYPE_INDEXBUFFER; }
    HRESULT STDMETHODCALLTYPE Lock(UINT, UINT, void**, DWORD) override { return D3DERR_INVALIDCALL; }
    HRESULT STDMETHODCALLTYPE Unlock() override { return D3DERR_INVALIDCALL; }
};

} // namespace

TEST(FrontEnd, theTraceGivesEveryCallItsResultAndShowsRefusedCallsAsRefused)
{
    std::vector<std::string> lines;
    win32::setTraceSink([&lines](const std::string& line) { lines.push_back(line); });
    {
        FrontEnd run(1, {}, true);
        lines.clear();
        const float registers[8] = {};
        const D3DVIEWPORT9 wide = {0, 0, 65, 48, 0.0f, 1.0f};
        run.device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
        run.device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(300), 1);
        run.device->SetStreamSource(1, nullptr, 0, 12);
        run.device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0, 1);
        run.device->SetViewport(&wide);
        run.device->SetVertexShaderConstantF(255, registers, 2);
        run.device->Clear(1, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
        run.device->BeginScene();
        run.device->BeginScene();
        IDirect3DTexture9* texture = nullptr;
        run.device->CreateTexture(4, 4, 2, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &texture, nullptr);
    }
    win32::setTraceSink({});
    const std::vector<std::string> expected = {
        "SetRenderState(22, 2) = OK",
        "SetRenderState(300, 1) = INVALIDCALL (no such render state)",
        "SetStreamSource(1, NULL, 0, 12) = NOTAVAILABLE (vertex-streams)",
        "DrawIndexedPrimitive(4, 0, 0, 3, 0, 1) = INVALIDCALL (not in a scene)",
        "SetViewport(0, 0, 65, 48, 0, 1) = INVALIDCALL (empty, or outside the back buffer)",
        "SetVertexShaderConstantF(255, [...], 2) = INVALIDCALL (past the last register)",
        "Clear(1, 0x1, 0xff000000, 1, 0) = INVALIDCALL (rectangles counted but not given)",
        "BeginScene() = OK",
        "BeginScene() = INVALIDCALL (already in a scene)",
        "CreateTexture(4, 4, 2, 0x0, 21, 0) = NOTAVAILABLE (texture-format)",
    };
    ASSERT_GE(lines.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(expected.size())),
              expected);
}

TEST(FrontEnd, theBackEndIsToldWhatChangedSinceItLastDrew)
{
    d3d9::RenderSize asked = {64, 48};
    FrontEnd f(1, [&](std::int32_t, std::int32_t) { return asked; });
    IDirect3DDevice9* d = f.device;
    f.bindDrawing();
    auto drawOne = [d] {
        d->BeginScene();
        EXPECT_EQ(d->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0, 1), D3D_OK);
        d->EndScene();
    };
    namespace dirty = d3d9::dirty;
    drawOne(); // a new back end: everything
    drawOne(); // nothing
    d->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    drawOne();
    const float registers[4] = {1, 2, 3, 4};
    d->SetVertexShaderConstantF(3, registers, 1);
    d->SetTexture(0, nullptr);
    d->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
    drawOne();
    // A frame nobody wants draws nothing: its changes wait for the next draw.
    d->Present(nullptr, nullptr, nullptr, nullptr);
    f.wantPixels = false;
    const D3DVIEWPORT9 band = {0, 8, 64, 32, 0.0f, 1.0f};
    d->SetViewport(&band);
    d->SetFVF(D3DFVF_XYZ);
    drawOne();
    d->Present(nullptr, nullptr, nullptr, nullptr);
    f.wantPixels = true;
    d->SetPixelShaderConstantF(0, registers, 1);
    drawOne();
    // A back end made again at a new size: everything.
    asked = {128, 96};
    d->Present(nullptr, nullptr, nullptr, nullptr);
    drawOne();
    EXPECT_EQ(seen.dirty, (std::vector<d3d9::DirtyBits>{
                              dirty::All, 0, dirty::RenderStates,
                              dirty::VertexConstants | dirty::Textures | dirty::SamplerStates,
                              dirty::Viewport | dirty::Declaration | dirty::PixelConstants, dirty::All}));
}

TEST(FrontEnd, whatIsNeverOfferedAnswersNotAvailableAndIsReportedOnceById)
{
    FrontEnd f;
    IDirect3DDevice9* d = f.device;
    IDirect3DTexture9* texture = nullptr;
    EXPECT_EQ(d->CreateTexture(8, 8, 2, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &texture, nullptr), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d->CreateTexture(8, 8, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &texture, nullptr), D3DERR_NOTAVAILABLE);
    IDirect3DSurface9* surface = nullptr;
    EXPECT_EQ(d->GetBackBuffer(0, 0, 0, &surface), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d->SetStreamSource(1, nullptr, 0, 0), D3DERR_NOTAVAILABLE);
    const d3dx::AssemblyResult projected = d3dx::assembleShader("ps_2_0\ndcl t0\ndcl_2d s0\ntexldp r0, t0, s0\nmov oC0, r0");
    ASSERT_TRUE(projected.succeeded) << projected.errors;
    IDirect3DPixelShader9* ps = nullptr;
    EXPECT_EQ(d->CreatePixelShader(reinterpret_cast<const DWORD*>(projected.tokens.data()), &ps), D3DERR_NOTAVAILABLE);
    d->BeginScene();
    EXPECT_EQ(d->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0, 1), D3DERR_NOTAVAILABLE); // no programs
    f.bindDrawing();
    EXPECT_EQ(d->DrawIndexedPrimitive(D3DPT_LINELIST, 0, 0, 3, 0, 1), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d->DrawIndexedPrimitive(D3DPT_POINTLIST, 0, 0, 3, 0, 1), D3DERR_NOTAVAILABLE);
    d->EndScene();
    const D3DVERTEXELEMENT9 packed[] = {{0, 0, D3DDECLTYPE_UNUSED - 1, 0, D3DDECLUSAGE_POSITION, 0}, D3DDECL_END()};
    IDirect3DVertexDeclaration9* declaration = nullptr;
    EXPECT_EQ(d->CreateVertexDeclaration(packed, &declaration), D3DERR_NOTAVAILABLE);
    const std::vector<std::string> ids = {"texture-format", "back-buffer-surface", "vertex-streams",
                                          "shader-instruction", "fixed-function", "points-and-lines",
                                          "vertex-element-type"};
    EXPECT_EQ(f.reported, ids);
    EXPECT_EQ(d3d9::unsupportedReported(), ids);
    EXPECT_EQ(seen.draws, 0);
}

TEST(FrontEnd, misuseIsRefusedWithInvalidCallAndChangesNothing)
{
    FrontEnd f;
    IDirect3DDevice9* d = f.device;
    ForeignIndexBuffer foreign;
    EXPECT_EQ(d->SetIndices(&foreign), D3DERR_INVALIDCALL);
    D3DVIEWPORT9 viewport = {0, 8, 64, 32, 0.0f, 1.0f};
    ASSERT_EQ(d->SetViewport(&viewport), D3D_OK);
    const D3DVIEWPORT9 outside = {0, 40, 64, 16, 0.0f, 1.0f};
    const D3DVIEWPORT9 inverted = {0, 0, 64, 16, 0.7f, 0.2f};
    EXPECT_EQ(d->SetViewport(&outside), D3DERR_INVALIDCALL);
    EXPECT_EQ(d->SetViewport(&inverted), D3DERR_INVALIDCALL);
    D3DVIEWPORT9 kept = {};
    d->GetViewport(&kept);
    EXPECT_EQ(kept.Y, 8u);
    EXPECT_EQ(d->SetRenderState(static_cast<D3DRENDERSTATETYPE>(256), 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(d->SetSamplerState(16, D3DSAMP_ADDRESSU, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(d->SetTextureStageState(8, static_cast<D3DTEXTURESTAGESTATETYPE>(1), 1), D3DERR_INVALIDCALL);
    const float four[4] = {};
    EXPECT_EQ(d->SetVertexShaderConstantF(256, four, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(d->SetPixelShaderConstantF(0, nullptr, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(d->Clear(1, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(d->EndScene(), D3DERR_INVALIDCALL);

    // A declaration holds at most 64 elements before its end marker.
    std::vector<D3DVERTEXELEMENT9> elements(64, D3DVERTEXELEMENT9{0, 0, D3DDECLTYPE_FLOAT4, 0, D3DDECLUSAGE_TEXCOORD, 0});
    elements.push_back(D3DDECL_END());
    IDirect3DVertexDeclaration9* declaration = nullptr;
    ASSERT_EQ(d->CreateVertexDeclaration(elements.data(), &declaration), D3D_OK);
    UINT count = 0;
    declaration->GetDeclaration(nullptr, &count);
    EXPECT_EQ(count, 65u);
    declaration->Release();
    elements.insert(elements.begin(), elements.front());
    EXPECT_EQ(d->CreateVertexDeclaration(elements.data(), &declaration), D3DERR_INVALIDCALL);
    EXPECT_TRUE(f.reported.empty());
}

TEST(FrontEnd, backEndSeesOnlyWantedFramesClearsCutToTheViewportAndDefConstants)
{
    FrontEnd f;
    IDirect3DDevice9* d = f.device;
    D3DVIEWPORT9 band = {0, 8, 64, 32, 0.0f, 1.0f};
    d->SetViewport(&band);
    const D3DRECT rects[] = {{60, 0, 70, 10}, {0, 44, 10, 48}}; // the second lies wholly outside
    d->Clear(2, rects, D3DCLEAR_TARGET, 0, 1.0f, 0);
    ASSERT_EQ(seen.clearRects.size(), 1u);
    EXPECT_EQ(seen.clearRects[0].x1, 60);
    EXPECT_EQ(seen.clearRects[0].y1, 8);
    EXPECT_EQ(seen.clearRects[0].x2, 64);
    EXPECT_EQ(seen.clearRects[0].y2, 10);

    f.bindDrawing("vs_2_0\ndef c1, 5, 6, 7, 8\ndcl_position v0\nadd oPos, v0, c1");
    const float set[8] = {1, 2, 3, 4, 9, 9, 9, 9};
    d->SetVertexShaderConstantF(0, set, 2);
    d->BeginScene();
    EXPECT_EQ(d->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0, 1), D3D_OK);
    EXPECT_EQ(d->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 1, 1), D3DERR_INVALIDCALL); // past the indices
    d->EndScene();
    d->Present(nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(seen.draws, 1);
    EXPECT_EQ(seen.vertexConstants, (std::vector<float>{1, 2, 3, 4, 5, 6, 7, 8})); // the def wins over c1

    f.wantPixels = false; // checked, but nothing reaches the back end
    d->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
    d->BeginScene();
    EXPECT_EQ(d->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0, 1), D3D_OK);
    EXPECT_EQ(d->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 1, 1), D3DERR_INVALIDCALL);
    d->EndScene();
    EXPECT_EQ(seen.draws, 1);
    EXPECT_EQ(seen.clearRects.size(), 1u);
}

TEST(FrontEnd, renderScaleEnlargesWhatTheBackEndSeesAndNothingTheProgramSees)
{
    FrontEnd f(3);
    IDirect3DDevice9* d = f.device;
    EXPECT_EQ(seen.backBuffer.BackBufferWidth, 192u);
    EXPECT_EQ(seen.backBuffer.BackBufferHeight, 144u);
    D3DVIEWPORT9 band = {2, 8, 60, 32, 0.25f, 0.75f};
    EXPECT_EQ(d->SetViewport(&band), D3D_OK);
    D3DVIEWPORT9 tooWide = {0, 0, 65, 48, 0.0f, 1.0f}; // checked against the program's 64 x 48
    EXPECT_EQ(d->SetViewport(&tooWide), D3DERR_INVALIDCALL);
    D3DVIEWPORT9 read = {};
    d->GetViewport(&read);
    EXPECT_EQ(std::vector<DWORD>({read.X, read.Y, read.Width, read.Height}), std::vector<DWORD>({2, 8, 60, 32}));

    const D3DRECT rect = {0, 0, 10, 10}; // cut to the viewport first, then scaled
    d->Clear(1, &rect, D3DCLEAR_TARGET, 0, 1.0f, 0);
    ASSERT_EQ(seen.clearRects.size(), 1u);
    EXPECT_EQ(std::vector<LONG>({seen.clearRects[0].x1, seen.clearRects[0].y1, seen.clearRects[0].x2,
                                 seen.clearRects[0].y2}),
              std::vector<LONG>({6, 24, 30, 30}));

    f.bindDrawing();
    d->BeginScene();
    EXPECT_EQ(d->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0, 1), D3D_OK);
    d->EndScene();
    EXPECT_EQ(std::vector<DWORD>({seen.drawViewport.X, seen.drawViewport.Y, seen.drawViewport.Width,
                                  seen.drawViewport.Height}),
              std::vector<DWORD>({6, 24, 180, 96}));
    EXPECT_EQ(seen.drawViewport.MinZ, 0.25f);
    EXPECT_EQ(seen.drawViewport.MaxZ, 0.75f);
    EXPECT_EQ(std::vector<std::int32_t>({seen.drawWidth, seen.drawHeight}), std::vector<std::int32_t>({192, 144}));
}

TEST(FrontEnd, renderSizeFollowsTheHostBetweenFramesAndRoundsEdgesDown)
{
    d3d9::RenderSize asked = {100, 75}; // 1.5625 times the program's 64 x 48 each way
    std::vector<std::int32_t> programSizes;
    FrontEnd f(1, [&](std::int32_t width, std::int32_t height) {
        programSizes = {width, height};
        return asked;
    });
    IDirect3DDevice9* d = f.device;
    EXPECT_EQ(programSizes, std::vector<std::int32_t>({64, 48}));
    EXPECT_EQ(std::vector<UINT>({seen.backBuffer.BackBufferWidth, seen.backBuffer.BackBufferHeight}),
              std::vector<UINT>({100, 75}));
    const D3DVIEWPORT9 band = {2, 8, 60, 32, 0.0f, 1.0f};
    ASSERT_EQ(d->SetViewport(&band), D3D_OK);
    // Edges scaled and rounded down: 2 -> 3.125, 8 -> 12.5, 62 -> 96.875, 40 -> 62.5.
    const D3DRECT rects[2] = {{0, 0, 10, 10}, {10, 0, 11, 10}}; // meet at x = 10: 15.625
    d->Clear(2, rects, D3DCLEAR_TARGET, 0, 1.0f, 0);
    ASSERT_EQ(seen.clearRects.size(), 2u);
    EXPECT_EQ(std::vector<LONG>({seen.clearRects[0].x1, seen.clearRects[0].y1, seen.clearRects[0].x2,
                                 seen.clearRects[0].y2, seen.clearRects[1].x1, seen.clearRects[1].x2}),
              std::vector<LONG>({3, 12, 15, 15, 15, 17}));
    f.bindDrawing();
    const int copiesAtStart = seen.programCopies;
    auto drawOne = [&] {
        d->BeginScene();
        EXPECT_EQ(d->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0, 1), D3D_OK);
        d->EndScene();
        return std::vector<std::int64_t>({seen.drawWidth, seen.drawHeight, seen.drawViewport.X, seen.drawViewport.Y,
                                          seen.drawViewport.Width, seen.drawViewport.Height});
    };
    EXPECT_EQ(drawOne(), std::vector<std::int64_t>({100, 75, 3, 12, 93, 50}));

    // The same size: the back end stays. A new one: made again at the next
    // Present, with a copy of every program, and the viewport follows.
    d->Present(nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(seen.backEndsMade, 1);
    asked = {128, 96};
    EXPECT_EQ(drawOne()[0], 100); // not in the middle of a frame
    d->Present(nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(seen.backEndsMade, 2);
    EXPECT_EQ(seen.programCopies, copiesAtStart + 2);
    EXPECT_EQ(drawOne(), std::vector<std::int64_t>({128, 96, 4, 16, 120, 64}));
    D3DVIEWPORT9 read = {};
    d->GetViewport(&read);
    EXPECT_EQ(std::vector<DWORD>({read.X, read.Y, read.Width, read.Height}), std::vector<DWORD>({2, 8, 60, 32}));

    // No size (a window with none yet) or one past the largest: the render
    // scale, here 1.
    for (const d3d9::RenderSize unusable : {d3d9::RenderSize{0, 96}, d3d9::RenderSize{100000, 96}}) {
        asked = unusable;
        d->Present(nullptr, nullptr, nullptr, nullptr);
        EXPECT_EQ(drawOne(), std::vector<std::int64_t>({64, 48, 2, 8, 60, 32}));
    }
    EXPECT_EQ(seen.backEndsMade, 3);
}

TEST(FrontEnd, deviceHoldsBoundObjectsAndDetachesWhatOutlivesIt)
{
    const std::int32_t before = d3d9::liveObjectCount();
    IDirect3DVertexBuffer9* survivor = nullptr;
    {
        FrontEnd f;
        IDirect3DDevice9* d = f.device;
        IDirect3DVertexBuffer9* bound = nullptr;
        ASSERT_EQ(d->CreateVertexBuffer(24, 0, 0, D3DPOOL_DEFAULT, &bound, nullptr), D3D_OK);
        ASSERT_EQ(d->CreateVertexBuffer(16, 0, 0, D3DPOOL_DEFAULT, &survivor, nullptr), D3D_OK);
        d->SetStreamSource(0, bound, 0, 12);
        EXPECT_EQ(bound->Release(), 1u); // the device's reference remains
        void* memory = nullptr;
        ASSERT_EQ(survivor->Lock(4, 8, &memory, 0), D3D_OK);
        EXPECT_EQ(survivor->Unlock(), D3D_OK);
        EXPECT_EQ(seen.bufferUpdates, (std::vector<std::size_t>{4, 8}));
        IDirect3DDevice9* owner = nullptr;
        ASSERT_EQ(survivor->GetDevice(&owner), D3D_OK);
        EXPECT_EQ(owner, d);
        owner->Release();
    } // the device goes first, with the bound buffer
    EXPECT_EQ(d3d9::liveObjectCount(), before + 1);
    void* memory = nullptr;
    EXPECT_EQ(survivor->Lock(0, 0, &memory, 0), D3D_OK); // its memory stays usable
    EXPECT_EQ(survivor->Unlock(), D3D_OK);
    IDirect3DDevice9* owner = nullptr;
    EXPECT_EQ(survivor->GetDevice(&owner), D3DERR_INVALIDCALL);
    EXPECT_EQ(survivor->Release(), 0u);
    EXPECT_EQ(d3d9::liveObjectCount(), before);
}

namespace {

// Three vertices a draw, positions as given (x, y, z with w = 1).
void fillPositions(IDirect3DDevice9* d, const std::vector<float>& xyz)
{
    IDirect3DVertexBuffer9* vb = nullptr;
    ASSERT_EQ(d->CreateVertexBuffer(static_cast<UINT>(xyz.size() * 4), 0, 0, D3DPOOL_DEFAULT, &vb, nullptr), D3D_OK);
    void* memory = nullptr;
    ASSERT_EQ(vb->Lock(0, 0, &memory, 0), D3D_OK);
    std::memcpy(memory, xyz.data(), xyz.size() * 4);
    vb->Unlock();
    d->SetStreamSource(0, vb, 0, 12);
    vb->Release();
}

} // namespace

// A back end decides which draws no pixel can reach; the front end counts
// what it answered, moves those it stopped late from sent to stopped, and
// keeps the state's changes for the next draw the back end takes.
TEST(FrontEnd, drawsTheBackEndStopsAreCountedAndTheirChangesKept)
{
    FrontEnd f;
    IDirect3DDevice9* d = f.device;
    f.bindDrawing();
    fillPositions(d, {2, 0, 0.5f, 3, 1, 0.5f, 2, 1, 0.5f,          // all right of x = w
                      0.5f, 0, 0.5f, 3, 1, 0.5f, 2, -1, 0.5f,      // one inside
                      -2, 0, 0.5f, 3, 1, 0.5f, 0, 0, -1,           // each outside a different plane
                      0, 0, -1e-7f, 0, 0.5f, -1e-7f, 0.5f, 0, -1e-7f}); // a hair in front of the near plane
    for (const bool exact : {true, false}) {
        spyPositionsExact = exact;
        seen.draws = 0;
        seen.stoppedDirty.clear();
        d->BeginScene();
        for (INT draw = 0; draw < 4; ++draw) {
            EXPECT_EQ(d->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 3 * draw, 0, 3, 0, 1), D3D_OK);
        }
        d->EndScene();
        d->Present(nullptr, nullptr, nullptr, nullptr);
        EXPECT_EQ(seen.counts.issued, 4u);
        // The exact test stops the first and the last; the hardware's margin
        // keeps the last, as the hardware might place it on the plane.
        EXPECT_EQ(seen.counts.stopped, exact ? 2u : 1u) << exact;
        EXPECT_EQ(seen.counts.sent, exact ? 2u : 3u) << exact;
        EXPECT_EQ(seen.draws, static_cast<int>(seen.counts.sent));
    }
    // A change made before a stopped draw is still there for the next draw
    // that is drawn.
    spyPositionsExact = true;
    seen.dirty.clear();
    seen.stoppedDirty.clear();
    const float registers[4] = {1, 2, 3, 4};
    d->SetVertexShaderConstantF(20, registers, 1);
    d->BeginScene();
    d->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0, 1); // stopped
    d->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 3, 0, 3, 0, 1); // drawn
    d->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 3, 0, 3, 0, 1); // drawn, nothing changed since
    d->EndScene();
    ASSERT_EQ(seen.stoppedDirty.size(), 1u);
    ASSERT_EQ(seen.dirty.size(), 2u);
    EXPECT_NE(seen.stoppedDirty[0] & d3d9::dirty::VertexConstants, 0u);
    EXPECT_NE(seen.dirty[0] & d3d9::dirty::VertexConstants, 0u);
    EXPECT_EQ(seen.dirty[1], 0u);
    spyLateStops = 1; // the second was found unseen after it was taken
    d->Present(nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(seen.counts.issued, 3u);
    EXPECT_EQ(seen.counts.stopped, 2u);
    EXPECT_EQ(seen.counts.sent, 1u);

    spyPositionsExact = false;
    f.wantPixels = false; // a frame nobody wants: issued, neither stopped nor sent
    d->BeginScene();
    d->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0, 1);
    d->EndScene();
    d->Present(nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(seen.counts.issued, 1u);
    EXPECT_EQ(seen.counts.stopped + seen.counts.sent, 0u);
}

// Direct3D's validator refuses programs that read past a register file;
// so do the assembler (one line naming the instruction and the register)
// and the front end (D3DERR_INVALIDCALL, before any back end sees them):
// every register file's first index past its end, named directly and
// reached through each matrix macro's rows; the last that fit are taken.
TEST(FrontEnd, programsThatReadPastARegisterFileAreRefusedAndTheLastRegistersTaken)
{
    FrontEnd f;
    const auto create = [&](shader::ShaderType type, const std::vector<std::uint32_t>& tokens) {
        const auto* function = reinterpret_cast<const DWORD*>(tokens.data());
        if (type == shader::ShaderType::Vertex) {
            IDirect3DVertexShader9* shader = nullptr;
            const HRESULT result = f.device->CreateVertexShader(function, &shader);
            EXPECT_EQ(result == D3D_OK, shader != nullptr);
            if (shader != nullptr) {
                shader->Release();
            }
            return result;
        }
        IDirect3DPixelShader9* shader = nullptr;
        const HRESULT result = f.device->CreatePixelShader(function, &shader);
        if (shader != nullptr) {
            shader->Release();
        }
        return result;
    };
    struct File {
        shader::ShaderType type;
        const char* name; // as written
        std::uint32_t count;
        const char* header; // declarations the text needs
    };
    const File files[] = {{shader::ShaderType::Vertex, "c", 256, "vs_2_0\ndcl_position v0\n"},
                          {shader::ShaderType::Vertex, "v", 16, "vs_2_0\n"},
                          {shader::ShaderType::Vertex, "r", 12, "vs_2_0\n"},
                          {shader::ShaderType::Pixel, "c", 32, "ps_2_0\n"},
                          {shader::ShaderType::Pixel, "t", 8, "ps_2_0\n"},
                          {shader::ShaderType::Pixel, "r", 12, "ps_2_0\n"},
                          {shader::ShaderType::Pixel, "v", 2, "ps_2_0\n"}};
    const struct {
        const char* name;
        std::uint32_t rows;
        const char* mask;
    } macros[] = {{"m4x4", 4, ""}, {"m4x3", 3, ".xyz"}, {"m3x4", 4, ""}, {"m3x3", 3, ".xyz"}, {"m3x2", 2, ".xy"}};
    int checked = 0;
    for (const File& file : files) {
        const bool vertex = file.type == shader::ShaderType::Vertex;
        const std::string last = std::string(file.name) + std::to_string(file.count - 1);
        const std::string past = std::string(file.name) + std::to_string(file.count);
        const std::string output = vertex ? "oT0" : "oC0";
        // Named directly: the last is taken, the one past refused.
        const std::string direct = std::string(file.header) + "mov r0, " + last + "\nmov " + output + ", r0\n";
        const d3dx::AssemblyResult taken = d3dx::assembleShader(direct.c_str());
        ASSERT_TRUE(taken.succeeded) << direct << taken.errors;
        EXPECT_EQ(create(file.type, taken.tokens), D3D_OK) << direct;
        const std::string beyond = std::string(file.header) + "mov r0, " + past + "\nmov " + output + ", r0\n";
        EXPECT_FALSE(d3dx::assembleShader(beyond.c_str()).succeeded) << beyond;
        shader::DecodedProgram decoded;
        std::string error;
        ASSERT_TRUE(shader::decodeProgram(taken.tokens.data(), taken.tokens.size(), decoded, error)) << error;
        for (shader::DecodedInstruction& in : decoded.instructions) {
            if (in.info->opcode == shader::Opcode::Mov) {
                in.sources[0].number += 1; // the tokens of the text refused
                break;
            }
        }
        EXPECT_EQ(create(file.type, shader::encodeProgram(decoded)), D3DERR_INVALIDCALL) << beyond;
        // Through each macro's rows, starting where the last row is the last register.
        for (const auto& macro : macros) {
            if (macro.rows > file.count) {
                continue;
            }
            const std::string start = std::string(file.name) + std::to_string(file.count - macro.rows);
            const std::string text = std::string(file.header) + macro.name + " r0" + macro.mask + ", r1, " + start +
                                     "\nmov " + output + ", r0\n";
            const d3dx::AssemblyResult fits = d3dx::assembleShader(text.c_str());
            ASSERT_TRUE(fits.succeeded) << text << fits.errors;
            EXPECT_EQ(create(file.type, fits.tokens), D3D_OK) << text;
            const std::string moved = std::string(file.header) + macro.name + " r0" + macro.mask + ", r1, " +
                                      file.name + std::to_string(file.count - macro.rows + 1) + "\nmov " + output +
                                      ", r0\n";
            const d3dx::AssemblyResult refused = d3dx::assembleShader(moved.c_str());
            EXPECT_FALSE(refused.succeeded) << moved;
            EXPECT_NE(refused.errors.find(std::string("'") + macro.name + "' reads " + past), std::string::npos)
                << refused.errors;
            EXPECT_EQ(create(file.type, tokensWithRowsMoved(text, 1)), D3DERR_INVALIDCALL) << moved;
            ++checked;
        }
    }
    EXPECT_EQ(checked, 3 * 5 + 3 * 5 + 1); // pixel v: only m3x2's two rows fit
    // Outputs and samplers: the last taken, one past refused, as text and as tokens.
    const struct {
        shader::ShaderType type;
        const char* last;
        const char* past;
    } named[] = {{shader::ShaderType::Vertex, "vs_2_0\ndcl_position v0\nmov oT7, v0\n", "mov oT8, v0"},
                 {shader::ShaderType::Vertex, "vs_2_0\ndcl_position v0\nmov oD1, v0\n", "mov oD2, v0"},
                 {shader::ShaderType::Pixel, "ps_2_0\ndcl t0\ndcl_2d s15\ntexld r0, t0, s15\nmov oC0, r0\n",
                  "texld r0, t0, s16"}};
    for (const auto& n : named) {
        const d3dx::AssemblyResult taken = d3dx::assembleShader(n.last);
        ASSERT_TRUE(taken.succeeded) << n.last << taken.errors;
        EXPECT_EQ(create(n.type, taken.tokens), D3D_OK) << n.last;
        EXPECT_FALSE(d3dx::assembleShader((std::string(n.type == shader::ShaderType::Vertex ? "vs_2_0\n" : "ps_2_0\n") +
                                           n.past)
                                              .c_str())
                         .succeeded)
            << n.past;
        shader::DecodedProgram decoded;
        std::string error;
        ASSERT_TRUE(shader::decodeProgram(taken.tokens.data(), taken.tokens.size(), decoded, error)) << error;
        shader::DecodedInstruction& last = decoded.instructions.back();
        shader::DecodedInstruction& instruction = n.type == shader::ShaderType::Pixel
                                                      ? decoded.instructions[decoded.instructions.size() - 2]
                                                      : last;
        if (n.type == shader::ShaderType::Pixel) {
            instruction.sources[1].number += 1; // the sampler
        } else {
            instruction.destination.number += 1;
        }
        EXPECT_EQ(create(n.type, shader::encodeProgram(decoded)), D3DERR_INVALIDCALL) << n.past;
    }
    EXPECT_TRUE(f.reported.empty()); // misuse, not something unoffered
}
