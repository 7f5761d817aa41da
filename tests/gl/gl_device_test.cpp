// The OpenGL device through its Direct3D 9 interface on a headless EGL
// context: a clear is limited to the viewport, a triangle lands where the
// software device puts it (rows counted from the top), and the calls it
// refuses are refused as the software device refuses them.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "d3dx/assembler.hpp"
#include "gl/egl_context.hpp"
#include "gl/gl_backend.hpp"
#include "support/clip_plane_scene.hpp"
#include "support/device_run.hpp"

namespace {

// The GL back end under the front end, on a headless context.
struct GlRun {
    std::unique_ptr<gl::EglContext> context = makeContext();
    DeviceRun run{gl::glBackend()};
    IDirect3DDevice9* device = run.device;

    static std::unique_ptr<gl::EglContext> makeContext()
    {
        std::string reason;
        auto context = gl::EglContext::create(reason);
        EXPECT_NE(context, nullptr) << reason;
        return context;
    }
    std::uint32_t pixel(int x, int y) const { return run.pixel(x, y); }
};

} // namespace

TEST(GlDevice, clearIsLimitedToTheViewportAndRowsCountFromTheTop)
{
    GlRun run;
    ASSERT_NE(run.device, nullptr);
    D3DVIEWPORT9 band = {0, 8, 64, 16, 0.0f, 1.0f};
    ASSERT_EQ(run.device->SetViewport(&band), D3D_OK);
    EXPECT_EQ(run.device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF336699u, 1.0f, 0), D3D_OK);
    const D3DRECT corner = {60, 0, 70, 10}; // cut to the band: x 60-63, rows 8-9
    EXPECT_EQ(run.device->Clear(1, &corner, D3DCLEAR_TARGET, 0xFFFF0000u, 1.0f, 0), D3D_OK);
    run.device->Present(nullptr, nullptr, nullptr, nullptr);
    ASSERT_EQ(run.run.lastFrame.size(), 64u * 48u);
    EXPECT_EQ(run.pixel(0, 7), 0xFF000000u);
    EXPECT_EQ(run.pixel(0, 8), 0xFF336699u);
    EXPECT_EQ(run.pixel(30, 23), 0xFF336699u);
    EXPECT_EQ(run.pixel(30, 24), 0xFF000000u);
    EXPECT_EQ(run.pixel(61, 8), 0xFFFF0000u);
    EXPECT_EQ(run.pixel(61, 10), 0xFF336699u);
    EXPECT_EQ(run.pixel(59, 9), 0xFF336699u);
}

TEST(GlDevice, refusesWhatTheSoftwareDeviceRefuses)
{
    GlRun run;
    IDirect3DDevice9* device = run.device;
    ASSERT_NE(device, nullptr);
    const D3DVIEWPORT9 tooTall = {0, 40, 64, 16, 0.0f, 1.0f};
    EXPECT_EQ(device->SetViewport(&tooTall), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->EndScene(), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0, 1), D3DERR_INVALIDCALL); // outside a scene
    EXPECT_EQ(device->BeginScene(), D3D_OK);
    EXPECT_EQ(device->BeginScene(), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_LINELIST, 0, 0, 2, 0, 1), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0, 1), D3DERR_NOTAVAILABLE); // no programs
    EXPECT_EQ(device->EndScene(), D3D_OK);
    IDirect3DTexture9* texture = nullptr;
    EXPECT_EQ(device->CreateTexture(8, 8, 2, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &texture, nullptr),
              D3DERR_NOTAVAILABLE);
    EXPECT_EQ(device->CreateIndexBuffer(6, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, nullptr, nullptr), D3DERR_INVALIDCALL);
    IDirect3DVertexBuffer9* buffer = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(16, 0, 0, D3DPOOL_DEFAULT, &buffer, nullptr), D3D_OK);
    void* memory = nullptr;
    EXPECT_EQ(buffer->Lock(0, 0, &memory, 0), D3D_OK);
    EXPECT_EQ(buffer->Lock(0, 0, &memory, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(buffer->Unlock(), D3D_OK);
    EXPECT_EQ(buffer->Unlock(), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetStreamSource(1, buffer, 0, 16), D3DERR_NOTAVAILABLE);
    buffer->Release();
    EXPECT_EQ(device->CreateVertexShader(nullptr, nullptr), D3DERR_INVALIDCALL);
    const d3dx::AssemblyResult pixel = d3dx::assembleShader("ps_2_0\ndef c0, 1, 0, 0, 1\nmov oC0, c0");
    IDirect3DVertexShader9* wrongKind = nullptr;
    EXPECT_EQ(device->CreateVertexShader(reinterpret_cast<const DWORD*>(pixel.tokens.data()), &wrongKind),
              D3DERR_INVALIDCALL);
}

// Stopping unseen draws changes nothing the GL device draws:
// triangles just inside and outside each clip plane, at the margin kept
// for hardware and either side of it, give the same picture with and
// without; only those beyond the margin (two a plane) are stopped.
TEST(GlDevice, drawsStoppedUnseenWouldHaveDrawnNothing)
{
    const std::unique_ptr<gl::EglContext> context = GlRun::makeContext();
    ASSERT_NE(context, nullptr);
    clipscene::expectTheSamePicture(gl::glBackend(), D3DMULTISAMPLE_NONE, 12);
    clipscene::expectTheSamePicture(gl::glBackend(), D3DMULTISAMPLE_4_SAMPLES, 12);
}

namespace {

// Rewrites the buffer's positions: triangle t covers the quarter of the
// target given by corners[t] (x, y of its top-left corner in clip units).
void placeTriangles(IDirect3DVertexBuffer9* buffer, const std::vector<std::pair<float, float>>& corners)
{
    std::vector<float> xyz;
    for (const auto& [x, y] : corners) {
        const float triangle[9] = {x, y, 0.5f, x + 1.0f, y, 0.5f, x, y - 1.0f, 0.5f};
        xyz.insert(xyz.end(), triangle, triangle + 9);
    }
    void* memory = nullptr;
    ASSERT_EQ(buffer->Lock(0, 0, &memory, 0), D3D_OK);
    std::memcpy(memory, xyz.data(), xyz.size() * sizeof(float));
    buffer->Unlock();
}

} // namespace

// The GL copy of a buffer takes the bytes a draw reads when it draws: a
// frame that draws one triangle of a buffer rewritten whole, then one that
// moves both and draws both, shows each where it was last put (a copy that
// kept the bytes no draw had read, or uploaded them once only, would not).
TEST(GlDevice, aDrawReadsTheBytesLastWrittenWhateverEarlierDrawsRead)
{
    GlRun run;
    IDirect3DDevice9* device = run.device;
    ASSERT_NE(device, nullptr);
    IDirect3DVertexBuffer9* vb = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(2 * 36, 0, 0, D3DPOOL_DEFAULT, &vb, nullptr), D3D_OK);
    const BoundDrawing drawing(device, "vs_2_0\ndcl_position v0\nmov oPos, v0\n",
                               "ps_2_0\ndef c0, 1, 1, 1, 1\nmov oC0, c0\n");
    device->SetFVF(D3DFVF_XYZ);
    device->SetStreamSource(0, vb, 0, 12);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    const auto drawFrame = [&](const std::vector<INT>& triangles) {
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0);
        device->BeginScene();
        for (const INT t : triangles) {
            EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 3 * t, 0, 3, 0, 1), D3D_OK);
        }
        device->EndScene();
        device->Present(nullptr, nullptr, nullptr, nullptr);
    };
    const auto lit = [&](int x, int y) { return run.pixel(x, y) != 0xFF000000u; };
    placeTriangles(vb, {{-1.0f, 1.0f}, {0.0f, 1.0f}}); // top left, top right
    drawFrame({0});
    EXPECT_TRUE(lit(4, 4));
    EXPECT_FALSE(lit(36, 4)); // triangle 1 not drawn
    placeTriangles(vb, {{-1.0f, 0.0f}, {0.0f, 0.0f}}); // bottom left, bottom right
    drawFrame({1});
    EXPECT_FALSE(lit(4, 28));
    EXPECT_TRUE(lit(36, 28));
    drawFrame({0, 1});
    EXPECT_TRUE(lit(4, 28));
    EXPECT_TRUE(lit(36, 28));
    EXPECT_FALSE(lit(4, 4));
    EXPECT_FALSE(lit(36, 4));
    vb->Release();
}

// A context that lost every object and was given back (a browser's WebGL
// context, a new context after a GPU reset): the back end makes its own
// objects again and the front end every copy (buffers with their bytes,
// the texture, both programs), so the program goes on never knowing. The
// loss is played here as a host after a GPU reset plays it: at Present it
// makes a new context current (in which none of the old names exist) and
// tells the back end so with a new context generation.
TEST(GlDevice, aContextThatLostItsObjectsIsRefilledFromTheFrontEnd)
{
    const std::unique_ptr<gl::EglContext> context = GlRun::makeContext();
    ASSERT_NE(context, nullptr);
    std::unique_ptr<gl::EglContext> after; // the context after the loss
    bool lose = false;
    std::uint64_t generation = 7;
    const auto generationNow = [&] {
        if (lose) {
            lose = false;
            after = GlRun::makeContext(); // current from now on
            ++generation;
        }
        return generation;
    };
    DeviceRun run(gl::glBackend(), D3DMULTISAMPLE_4_SAMPLES, true, 2, true, generationNow);
    IDirect3DDevice9* device = run.device;
    ASSERT_NE(device, nullptr);
    IDirect3DVertexBuffer9* vb = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(36, 0, 0, D3DPOOL_DEFAULT, &vb, nullptr), D3D_OK);
    placeTriangles(vb, {{-1.0f, 1.0f}});
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(device->CreateTexture(2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
    D3DLOCKED_RECT texels = {};
    ASSERT_EQ(texture->LockRect(0, &texels, nullptr, 0), D3D_OK);
    for (int y = 0; y < 2; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(texels.pBits) + y * texels.Pitch);
        row[0] = row[1] = 0xFF20C040u;
    }
    texture->UnlockRect(0);
    const BoundDrawing drawing(device, "vs_2_0\ndcl_position v0\nmov oPos, v0\nmov oT0, v0\n",
                               "ps_2_0\ndcl t0.xy\ndcl_2d s0\ntexld r0, t0, s0\nmov oC0, r0\n");
    device->SetFVF(D3DFVF_XYZ);
    device->SetStreamSource(0, vb, 0, 12);
    device->SetTexture(0, texture);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    const auto drawFrame = [&] {
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0);
        device->BeginScene();
        EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0, 1), D3D_OK);
        device->EndScene();
        device->Present(nullptr, nullptr, nullptr, nullptr);
    };
    drawFrame();
    const std::vector<std::uint32_t> before = run.lastFrame;
    EXPECT_EQ(run.pixel(4, 4), 0xFF20C040u);
    lose = true; // at this Present
    drawFrame();
    ASSERT_NE(after, nullptr);
    drawFrame();
    EXPECT_EQ(run.lastFrame, before);
    // What changes after the loss reaches the new copies too.
    placeTriangles(vb, {{0.0f, 0.0f}});
    drawFrame();
    EXPECT_EQ(run.pixel(4, 4), 0xFF000000u);
    EXPECT_EQ(run.pixel(36, 28), 0xFF20C040u);
    vb->Release();
    texture->Release();
}
