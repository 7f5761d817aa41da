// Test support: triangles just inside and just outside each of the six
// planes of the clip volume, at a hardware back end's margin and either
// side of it, a draw each, for showing that stopping draws a back end finds
// no pixel of changes no picture. Each triangle has an edge along its plane at the
// distance, its third corner further out (or, inside, further in).
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "gl/gl_backend.hpp"
#include "d3dx/assembler.hpp"
#include "support/device_run.hpp"

namespace clipscene {

// Distances beyond a plane in units of its margin (negative: inside). A
// twentieth of the margin is just beside the plane: 5 % of a pixel beside,
// two units in the last place of 1 in depth.
inline const std::vector<double>& distances()
{
    static const std::vector<double> d = {-0.5, -0.05, 0.05, 0.75, 1.0, 1.25, 3.0};
    return d;
}

// The margin the GL back end keeps beyond each plane
// of a 64 x 48 viewport, for the program `mov oPos, v0` with w = 1 and the
// magnitudes of the corner's terms.
inline double margin(int plane, float coordinate)
{
    const double rounding = 8.0 * gl::HardwareRoundings * 0x1p-24 * (std::fabs(coordinate) + 1.0);
    return rounding + (plane < 2 ? 2.0 / DeviceRun::Width : plane < 4 ? 2.0 / DeviceRun::Height : 0.0);
}

// The three corners (x, y, z, w) of the triangle beyond `plane` (left,
// right, bottom, top, near, far) by `units` of its margin: an edge along
// the plane at that distance, the third corner half a unit further out.
inline std::vector<float> triangle(int plane, double units)
{
    const double sign = plane % 2 == 0 ? -1.0 : 1.0;
    std::vector<float> corners;
    for (int k = 0; k < 3; ++k) {
        const double further = k == 2 ? 0.5 : 0.0;
        const float along = k == 0 ? -0.5f : k == 1 ? 0.5f : 0.0f; // the edge's corners, then the third
        float p[4] = {along, k == 2 ? 0.5f : -0.25f, 0.5f, 1.0f};
        if (plane < 4) {
            const int axis = plane / 2;
            p[axis] = static_cast<float>(sign * (1.0 + units * margin(plane, 1.0f) + further));
            p[1 - axis] = along;
        } else {
            const double base = plane == 4 ? 0.0 : 1.0;
            p[2] = static_cast<float>(base + sign * (units * margin(plane, static_cast<float>(base)) + further));
        }
        corners.insert(corners.end(), p, p + 4);
    }
    return corners;
}

// Draws every triangle of the scene that lies inside or at least
// `nearestOutside` units outside, one draw each, each in its own colour;
// returns how many there were.
inline int drawScene(IDirect3DDevice9* device, double nearestOutside)
{
    std::vector<float> vertices;
    int count = 0;
    for (int plane = 0; plane < 6; ++plane) {
        for (const double units : distances()) {
            if (units > 0.0 && units < nearestOutside) {
                continue;
            }
            const std::vector<float> t = triangle(plane, units);
            vertices.insert(vertices.end(), t.begin(), t.end());
            ++count;
        }
    }
    IDirect3DVertexBuffer9* vb = nullptr;
    EXPECT_EQ(device->CreateVertexBuffer(static_cast<UINT>(vertices.size() * 4), 0, 0, D3DPOOL_DEFAULT, &vb, nullptr),
              D3D_OK);
    void* memory = nullptr;
    vb->Lock(0, 0, &memory, 0);
    std::memcpy(memory, vertices.data(), vertices.size() * 4);
    vb->Unlock();
    const BoundDrawing drawing(device, "vs_2_0\ndcl_position v0\nmov oPos, v0\n", "ps_2_0\nmov oC0, c0\n");
    const D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
                                          D3DDECL_END()};
    IDirect3DVertexDeclaration9* declaration = nullptr;
    EXPECT_EQ(device->CreateVertexDeclaration(elements, &declaration), D3D_OK);
    device->SetVertexDeclaration(declaration);
    device->SetStreamSource(0, vb, 0, 16);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0);
    device->BeginScene();
    for (int t = 0; t < count; ++t) {
        // A colour of its own: what a triangle adds shows under the others.
        const float colour[4] = {static_cast<float>(t % 6) / 5.0f, static_cast<float>(t / 6 % 7) / 6.0f, 0.5f, 1.0f};
        device->SetPixelShaderConstantF(0, colour, 1);
        EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 3 * t, 0, 3, 0, 1), D3D_OK);
    }
    device->EndScene();
    device->Present(nullptr, nullptr, nullptr, nullptr);
    vb->Release();
    declaration->Release();
    return count;
}

// The picture with unseen draws stopped equals the one without;
// `stopped` of the scene's draws were stopped.
inline void expectTheSamePicture(const d3d9::BackendDescription& backend, D3DMULTISAMPLE_TYPE samples, int stopped,
                                 double nearestOutside = 0.0)
{
    DeviceRun with(backend, samples, true, 2, true);
    DeviceRun without(backend, samples, true, 2, false);
    ASSERT_NE(with.device, nullptr);
    ASSERT_NE(without.device, nullptr);
    const int count = drawScene(with.device, nearestOutside);
    drawScene(without.device, nearestOutside);
    EXPECT_EQ(with.lastDraws.issued, static_cast<std::uint32_t>(count));
    EXPECT_EQ(with.lastDraws.stopped, static_cast<std::uint32_t>(stopped));
    EXPECT_EQ(without.lastDraws.stopped, 0u);
    ASSERT_EQ(with.lastFrame.size(), without.lastFrame.size());
    int lit = 0, differ = 0;
    for (std::size_t i = 0; i < with.lastFrame.size(); ++i) {
        lit += with.lastFrame[i] != 0xFF000000u ? 1 : 0;
        differ += with.lastFrame[i] != without.lastFrame[i] ? 1 : 0;
    }
    EXPECT_EQ(differ, 0);
    EXPECT_GT(lit, 0); // the triangles well inside show
}

} // namespace clipscene
