// The software device through its Direct3D 9 interface: what its checks
// answer, clears limited to the viewport, a triangle drawn by programs and
// resolved from four samples, frames whose pixel work is skipped, and the
// calls it refuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "d3dx/assembler.hpp"
#include "raster/software_backend.hpp"
#include "support/clip_plane_scene.hpp"
#include "support/device_run.hpp"

namespace {

// The software back end under the front end, four samples unless asked.
struct SoftwareRun : DeviceRun {
    explicit SoftwareRun(D3DMULTISAMPLE_TYPE samples = D3DMULTISAMPLE_4_SAMPLES, bool multisample = true,
                         std::int32_t threads = 2)
        : DeviceRun(raster::softwareBackend(), samples, multisample, threads)
    {
    }
};

template <typename Shader>
Shader* makeShader(IDirect3DDevice9* device, const char* text)
{
    const d3dx::AssemblyResult code = d3dx::assembleShader(text);
    EXPECT_TRUE(code.succeeded) << code.errors;
    Shader* shader = nullptr;
    HRESULT result;
    if constexpr (std::is_same_v<Shader, IDirect3DVertexShader9>) {
        result = device->CreateVertexShader(reinterpret_cast<const DWORD*>(code.tokens.data()), &shader);
    } else {
        result = device->CreatePixelShader(reinterpret_cast<const DWORD*>(code.tokens.data()), &shader);
    }
    EXPECT_EQ(result, D3D_OK);
    return shader;
}

// One triangle in clip space with a red program: (-1, 1), (0, 1), (-1, -1),
// clockwise on screen, so the default counter-clockwise culling keeps it.
void drawRedTriangle(IDirect3DDevice9* device, bool wound = true,
                     const char* pixelProgram = "ps_2_0\ndef c0, 1.0, 0.0, 0.0, 1.0\nmov oC0, c0")
{
    const float corners[3][3] = {{-1, 1, 0.5f}, {0, 1, 0.5f}, {-1, -1, 0.5f}};
    const std::uint16_t indices[3] = {0, static_cast<std::uint16_t>(wound ? 1 : 2),
                                      static_cast<std::uint16_t>(wound ? 2 : 1)};
    IDirect3DVertexBuffer9* vb = nullptr;
    IDirect3DIndexBuffer9* ib = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(sizeof corners, 0, 0, D3DPOOL_DEFAULT, &vb, nullptr), D3D_OK);
    ASSERT_EQ(device->CreateIndexBuffer(sizeof indices, 0, D3DFMT_INDEX16, D3DPOOL_DEFAULT, &ib, nullptr), D3D_OK);
    void* memory = nullptr;
    vb->Lock(0, 0, &memory, 0);
    std::memcpy(memory, corners, sizeof corners);
    vb->Unlock();
    ib->Lock(0, 0, &memory, 0);
    std::memcpy(memory, indices, sizeof indices);
    ib->Unlock();
    const D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0}, D3DDECL_END()};
    IDirect3DVertexDeclaration9* declaration = nullptr;
    ASSERT_EQ(device->CreateVertexDeclaration(elements, &declaration), D3D_OK);
    auto* vs = makeShader<IDirect3DVertexShader9>(device, "vs_2_0\ndcl_position v0\nmov oPos, v0");
    auto* ps = makeShader<IDirect3DPixelShader9>(device, pixelProgram);
    device->SetStreamSource(0, vb, 0, 12);
    device->SetIndices(ib);
    device->SetVertexDeclaration(declaration);
    device->SetVertexShader(vs);
    device->SetPixelShader(ps);
    device->BeginScene();
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0, 1), D3D_OK);
    device->EndScene();
    // The device keeps what is bound; the program's references go.
    for (IUnknown* object : std::initializer_list<IUnknown*>{vb, ib, declaration, vs, ps}) {
        object->Release();
    }
}

} // namespace

TEST(SoftwareDevice, answersTheMultisampleCheckAsADeviceWithTwoAndFourSamples)
{
    d3d9::useBackend(raster::softwareBackend(), {});
    IDirect3D9* d3d = d3d9::createDirect3D9(D3D_SDK_VERSION);
    auto check = [&d3d](D3DMULTISAMPLE_TYPE type) {
        return d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_A8R8G8B8, FALSE, type, nullptr);
    };
    EXPECT_EQ(check(D3DMULTISAMPLE_2_SAMPLES), D3D_OK);
    EXPECT_EQ(check(D3DMULTISAMPLE_4_SAMPLES), D3D_OK);
    EXPECT_EQ(check(D3DMULTISAMPLE_8_SAMPLES), D3DERR_NOTAVAILABLE);
    d3d->Release();
    d3d9::BackendOptions without;
    without.multisample = false;
    d3d9::useBackend(raster::softwareBackend(), without);
    d3d = d3d9::createDirect3D9(D3D_SDK_VERSION);
    EXPECT_EQ(check(D3DMULTISAMPLE_4_SAMPLES), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(check(D3DMULTISAMPLE_NONE), D3D_OK);
    d3d->Release();
    EXPECT_EQ(d3d9::createDirect3D9(31), nullptr);
    d3d9::useNoBackend();
}

TEST(SoftwareDevice, clearsOnlyTheViewportAndPresentsTheResolvedFrame)
{
    SoftwareRun run;
    D3DVIEWPORT9 band = {0, 8, 64, 32, 0.0f, 1.0f};
    ASSERT_EQ(run.device->SetViewport(&band), D3D_OK);
    run.device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF336699, 1.0f, 0);
    run.device->Present(nullptr, nullptr, nullptr, nullptr);
    EXPECT_TRUE(run.lastRendered);
    EXPECT_EQ(run.pixel(10, 7), 0xFF000000u);  // above the band: never written
    EXPECT_EQ(run.pixel(10, 8), 0xFF336699u);
    EXPECT_EQ(run.pixel(63, 39), 0xFF336699u);
    EXPECT_EQ(run.pixel(10, 40), 0xFF000000u); // below it
    D3DVIEWPORT9 tooTall = {0, 8, 64, 48, 0.0f, 1.0f};
    EXPECT_EQ(run.device->SetViewport(&tooTall), D3DERR_INVALIDCALL);
}

TEST(SoftwareDevice, drawsWithItsProgramsAndAveragesFourSamplesOnEdges)
{
    SoftwareRun run;
    run.device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    drawRedTriangle(run.device);
    run.device->Present(nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(run.pixel(4, 4), 0xFFFF0000u);   // inside
    EXPECT_EQ(run.pixel(60, 40), 0xFF000000u); // outside
    // Along the hypotenuse some pixels are partly covered: between the two.
    int partial = 0;
    for (int x = 0; x < 64; ++x) {
        const std::uint32_t red = (run.pixel(x, 24) >> 16) & 0xFF;
        partial += red > 0 && red < 255 ? 1 : 0;
    }
    EXPECT_GE(partial, 1);

    SoftwareRun single(D3DMULTISAMPLE_NONE);
    single.device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    drawRedTriangle(single.device);
    single.device->Present(nullptr, nullptr, nullptr, nullptr);
    for (int x = 0; x < 64; ++x) {
        const std::uint32_t red = (single.pixel(x, 24) >> 16) & 0xFF;
        EXPECT_TRUE(red == 0 || red == 255) << "one sample a pixel: no blend at " << x;
    }
}

// A pixel program's colour becomes a byte by rounding to the nearest of
// 256 levels: 0.3 is 76.5 levels, so 77, and 0.5 is 127.5, so 128; a
// conversion that truncated would lose a level on every shaded pixel.
TEST(SoftwareDevice, colourChannelsRoundToTheNearestLevel)
{
    SoftwareRun run(D3DMULTISAMPLE_NONE);
    run.device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    drawRedTriangle(run.device, true, "ps_2_0\ndef c0, 0.3, 0.5, 1.0, 0.3\nmov oC0, c0");
    run.device->Present(nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(run.pixel(4, 4), 0x4D4D80FFu); // alpha 77, red 77, green 128, blue 255
}

TEST(SoftwareDevice, cullsCounterClockwiseTrianglesByDefault)
{
    SoftwareRun run;
    run.device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    drawRedTriangle(run.device, false);
    run.device->Present(nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(run.pixel(4, 4), 0xFF000000u);
    run.device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    drawRedTriangle(run.device, false);
    run.device->Present(nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(run.pixel(4, 4), 0xFFFF0000u);
}

TEST(SoftwareDevice, aFrameNobodyWantsIsNotRenderedButStillChecked)
{
    SoftwareRun run;
    run.device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0);
    run.device->Present(nullptr, nullptr, nullptr, nullptr);
    run.wantPixels = false;
    run.device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF00FF00, 1.0f, 0);
    run.device->BeginScene();
    EXPECT_EQ(run.device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0, 1), D3DERR_NOTAVAILABLE); // no programs
    run.device->EndScene();
    run.device->Present(nullptr, nullptr, nullptr, nullptr);
    EXPECT_FALSE(run.lastRendered);
    EXPECT_EQ(run.pixel(5, 5), 0xFF0000FFu); // the last rendered frame
}

TEST(SoftwareDevice, refusesMisuseAndWhatItDoesNotOffer)
{
    SoftwareRun run;
    IDirect3DDevice9* d = run.device;
    IDirect3DVertexBuffer9* vb = nullptr;
    EXPECT_EQ(d->CreateVertexBuffer(0, 0, 0, D3DPOOL_DEFAULT, &vb, nullptr), D3DERR_INVALIDCALL);
    ASSERT_EQ(d->CreateVertexBuffer(16, 0, 0, D3DPOOL_DEFAULT, &vb, nullptr), D3D_OK);
    void* memory = nullptr;
    EXPECT_EQ(vb->Lock(8, 16, &memory, 0), D3DERR_INVALIDCALL); // past the end
    EXPECT_EQ(vb->Lock(0, 0, &memory, 0), D3D_OK);
    EXPECT_EQ(vb->Lock(0, 0, &memory, 0), D3DERR_INVALIDCALL); // already locked
    EXPECT_EQ(vb->Unlock(), D3D_OK);
    EXPECT_EQ(vb->Unlock(), D3DERR_INVALIDCALL);
    vb->Release();
    IDirect3DTexture9* texture = nullptr;
    EXPECT_EQ(d->CreateTexture(16, 16, 2, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &texture, nullptr), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d->CreateTexture(0, 16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &texture, nullptr), D3DERR_INVALIDCALL);
    const DWORD garbage[] = {0x12345678, 0x0000FFFF};
    IDirect3DVertexShader9* vs = nullptr;
    EXPECT_EQ(d->CreateVertexShader(garbage, &vs), D3DERR_INVALIDCALL);
    auto* ps = makeShader<IDirect3DPixelShader9>(d, "ps_2_0\nmov oC0, c0");
    EXPECT_EQ(d->CreateVertexShader(garbage, nullptr), D3DERR_INVALIDCALL);
    ps->Release();
    EXPECT_EQ(d->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0, 1), D3DERR_INVALIDCALL); // outside a scene
    d->BeginScene();
    EXPECT_EQ(d->BeginScene(), D3DERR_INVALIDCALL);
    EXPECT_EQ(d->DrawIndexedPrimitive(D3DPT_LINELIST, 0, 0, 3, 0, 1), D3DERR_NOTAVAILABLE);
    d->EndScene();
    const float constants[4] = {};
    EXPECT_EQ(d->SetVertexShaderConstantF(255, constants, 2), D3DERR_INVALIDCALL);
    EXPECT_EQ(d->SetPixelShaderConstantF(31, constants, 1), D3D_OK);
}

// Draws wait in the device's queue until Present; each must still see the
// buffers and textures as they were when it was made, even when the program
// rewrites them, or releases them, before the frame is presented.
TEST(SoftwareDevice, queuedDrawsSeeResourcesAsTheyWereWhenDrawn)
{
    for (const std::int32_t threads : {1, 2, 3}) {
        SoftwareRun run(D3DMULTISAMPLE_NONE, true, threads);
        IDirect3DDevice9* d = run.device;
        IDirect3DVertexBuffer9* vb = nullptr;
        IDirect3DIndexBuffer9* ib = nullptr;
        IDirect3DTexture9* texture = nullptr;
        ASSERT_EQ(d->CreateVertexBuffer(36, 0, 0, D3DPOOL_DEFAULT, &vb, nullptr), D3D_OK);
        ASSERT_EQ(d->CreateIndexBuffer(6, 0, D3DFMT_INDEX16, D3DPOOL_DEFAULT, &ib, nullptr), D3D_OK);
        ASSERT_EQ(d->CreateTexture(1, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
        auto fill = [](auto* resource, const void* bytes, std::size_t size) {
            void* memory = nullptr;
            ASSERT_EQ(resource->Lock(0, 0, &memory, 0), D3D_OK);
            std::memcpy(memory, bytes, size);
            resource->Unlock();
        };
        auto paint = [&](std::uint32_t colour) {
            D3DLOCKED_RECT locked = {};
            ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
            std::memcpy(locked.pBits, &colour, 4);
            texture->UnlockRect(0);
        };
        const std::uint16_t indices[3] = {0, 1, 2};
        fill(ib, indices, sizeof indices);
        const float upperLeft[9] = {-1, 1, 0.5f, 0, 1, 0.5f, -1, 0, 0.5f};
        const float lowerRight[9] = {0, 0, 0.5f, 1, 0, 0.5f, 0, -1, 0.5f};
        fill(vb, upperLeft, sizeof upperLeft);
        paint(0xFFFF0000u);
        const D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
                                              D3DDECL_END()};
        IDirect3DVertexDeclaration9* declaration = nullptr;
        ASSERT_EQ(d->CreateVertexDeclaration(elements, &declaration), D3D_OK);
        auto* vs = makeShader<IDirect3DVertexShader9>(
            d, "vs_2_0\ndef c0, 0.5, 0.5, 0.0, 1.0\ndcl_position v0\nmov oPos, v0\nmov oT0, c0");
        auto* ps = makeShader<IDirect3DPixelShader9>(d, "ps_2_0\ndcl t0.xy\ndcl_2d s0\ntexld r0, t0, s0\nmov oC0, r0");
        d->SetStreamSource(0, vb, 0, 12);
        d->SetIndices(ib);
        d->SetVertexDeclaration(declaration);
        d->SetVertexShader(vs);
        d->SetPixelShader(ps);
        d->SetTexture(0, texture);
        d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
        d->BeginScene();
        EXPECT_EQ(d->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0, 1), D3D_OK);
        fill(vb, lowerRight, sizeof lowerRight); // rewritten under the queued draw
        paint(0xFF00FF00u);                      // likewise
        EXPECT_EQ(d->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0, 1), D3D_OK);
        // A smaller clear between draws keeps its place in the order.
        const D3DRECT corner = {0, 0, 2, 2};
        d->Clear(1, &corner, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0);
        d->EndScene();
        // The program lets go of everything before Present.
        d->SetStreamSource(0, nullptr, 0, 0);
        d->SetTexture(0, nullptr);
        for (IUnknown* object : std::initializer_list<IUnknown*>{vb, ib, texture, declaration, vs, ps}) {
            object->Release();
        }
        d->Present(nullptr, nullptr, nullptr, nullptr);
        EXPECT_EQ(run.pixel(1, 1), 0xFF0000FFu) << threads;   // the later clear
        EXPECT_EQ(run.pixel(4, 4), 0xFFFF0000u) << threads;   // the first draw: old position, red
        EXPECT_EQ(run.pixel(36, 28), 0xFF00FF00u) << threads; // the second: new position, green
        EXPECT_EQ(run.pixel(60, 4), 0xFF000000u) << threads;
    }
}

// The software device stops draws by the exact test (from their bounds, or
// from the positions it shades): every triangle wholly beyond a plane is
// stopped. Beyond a side plane by a pixel or more, the picture is
// the one it draws when every draw reaches it. (Nearer, its guard band would
// reach a border pixel's sample, or snap an edge onto one, where the exact
// test, as ever, draws nothing: the pictures of every frame are as before.)
TEST(SoftwareDevice, drawsStoppedUnseenWouldHaveDrawnNothing)
{
    clipscene::expectTheSamePicture(raster::softwareBackend(), D3DMULTISAMPLE_NONE, 18, 1.0);
    clipscene::expectTheSamePicture(raster::softwareBackend(), D3DMULTISAMPLE_4_SAMPLES, 18, 1.0);
}

TEST(SoftwareDevice, framesHandedOverOnceResolvedAreWholeAndInOrder)
{
    // Each frame is handed over from the device's workers while the program
    // goes on: a clear of its own colour and a triangle, frame after frame,
    // the last one before the device goes. Each must be the whole frame (the
    // triangle's pixel and the clear's), never the next one's.
    std::vector<std::uint32_t> handed;
    {
        SoftwareRun run(D3DMULTISAMPLE_4_SAMPLES, true, 3);
        run.onFrame = [&handed](const d3d9::Frame& frame) {
            EXPECT_TRUE(frame.rendered);
            frame.whenResolved([&handed, width = frame.width](const std::uint32_t* pixels) {
                handed.push_back(pixels[47 * width + 63]); // the clear's
                handed.push_back(pixels[2 * width + 2]);   // the triangle's
            });
        };
        for (std::uint32_t k = 0; k < 12; ++k) {
            run.device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u | (k * 0x0A0B0Cu), 1.0f, 0);
            drawRedTriangle(run.device);
            run.device->Present(nullptr, nullptr, nullptr, nullptr);
        }
    }
    ASSERT_EQ(handed.size(), 24u);
    for (std::uint32_t k = 0; k < 12; ++k) {
        EXPECT_EQ(handed[2 * k], 0xFF000000u | (k * 0x0A0B0Cu)) << "frame " << k;
        EXPECT_EQ(handed[2 * k + 1], 0xFFFF0000u) << "frame " << k;
    }
}

TEST(SoftwareDevice, withMultisamplingTurnedOffEverySampleTakesThePixelsCentre)
{
    // Four samples a pixel with D3DRS_MULTISAMPLEANTIALIAS off draw what one
    // sample a pixel draws: no edge pixel is partly covered; turned on
    // again, the edges are averaged.
    auto frameOf = [](D3DMULTISAMPLE_TYPE samples, BOOL multisample) {
        SoftwareRun run(samples);
        run.device->SetRenderState(D3DRS_MULTISAMPLEANTIALIAS, multisample);
        run.device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
        drawRedTriangle(run.device);
        run.device->Present(nullptr, nullptr, nullptr, nullptr);
        return run.lastFrame;
    };
    const std::vector<std::uint32_t> single = frameOf(D3DMULTISAMPLE_NONE, TRUE);
    EXPECT_EQ(frameOf(D3DMULTISAMPLE_4_SAMPLES, FALSE), single);
    const std::vector<std::uint32_t> averaged = frameOf(D3DMULTISAMPLE_4_SAMPLES, TRUE);
    EXPECT_NE(averaged, single);
    EXPECT_TRUE(std::any_of(averaged.begin(), averaged.end(),
                            [](std::uint32_t p) { return p != 0xFF000000u && p != 0xFFFF0000u; }));
}

TEST(SoftwareDevice, eachDrawOfAFrameIsScannedWithTheStateItWasIssuedWith)
{
    // Two draws of one frame, with the viewport and the pixel program's
    // constant changed between them (and a frame nobody wants in between,
    // whose changes must still reach the next draw): each keeps its own.
    SoftwareRun run(D3DMULTISAMPLE_NONE);
    IDirect3DDevice9* d = run.device;
    const D3DVIEWPORT9 left = {0, 0, 32, 48, 0.0f, 1.0f}, right = {32, 0, 32, 48, 0.0f, 1.0f};
    const float red[4] = {1, 0, 0, 1}, green[4] = {0, 1, 0, 1}, blue[4] = {0, 0, 1, 1};
    d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    d->SetViewport(&left);
    d->SetPixelShaderConstantF(0, red, 1);
    drawRedTriangle(d, true, "ps_2_0\nmov oC0, c0");
    d->SetViewport(&right);
    d->SetPixelShaderConstantF(0, green, 1);
    drawRedTriangle(d, true, "ps_2_0\nmov oC0, c0");
    d->Present(nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(run.pixel(2, 2), 0xFFFF0000u);
    EXPECT_EQ(run.pixel(34, 2), 0xFF00FF00u);

    run.wantPixels = false;
    d->SetPixelShaderConstantF(0, blue, 1);
    d->BeginScene();
    d->EndScene();
    d->Present(nullptr, nullptr, nullptr, nullptr);
    run.wantPixels = true;
    d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    d->BeginScene();
    d->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0, 1); // what drawRedTriangle left bound
    d->EndScene();
    d->Present(nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(run.pixel(34, 2), 0xFF0000FFu);
    EXPECT_EQ(run.pixel(2, 2), 0xFFFF0000u); // outside the viewport the clear left the first frame's red
}
