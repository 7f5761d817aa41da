// Test support: one back end behind the runtime's front end, driven through
// IDirect3D9 and IDirect3DDevice9 directly, with a small back buffer whose
// presented frames are kept for the test to read.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "d3d9/runtime.hpp"
#include "d3dx/assembler.hpp"

struct DeviceRun {
    static constexpr int Width = 64;
    static constexpr int Height = 48;

    IDirect3D9* direct3d = nullptr;
    IDirect3DDevice9* device = nullptr;
    std::vector<std::uint32_t> lastFrame;
    bool lastRendered = false;
    d3d9::DrawCounts lastDraws;
    bool wantPixels = true;
    // Called with each presented frame instead of reading it at once.
    std::function<void(const d3d9::Frame&)> onFrame;

    explicit DeviceRun(const d3d9::BackendDescription& backend, D3DMULTISAMPLE_TYPE samples = D3DMULTISAMPLE_NONE,
                       bool multisample = true, std::int32_t threads = 2, bool stopUnseenDraws = true,
                       std::function<std::uint64_t()> contextGeneration = {})
    {
        d3d9::BackendOptions options;
        options.contextGeneration = std::move(contextGeneration);
        options.multisample = multisample;
        options.threads = threads;
        options.stopUnseenDraws = stopUnseenDraws;
        options.sink.onPresent = [this](const d3d9::Frame& frame) {
            if (onFrame) {
                onFrame(frame);
                return;
            }
            lastFrame.assign(frame.pixels(), frame.pixels() + frame.width * frame.height);
            lastRendered = frame.rendered;
            lastDraws = frame.draws;
        };
        options.sink.wantsPixels = [this] { return wantPixels; };
        d3d9::useBackend(backend, options);
        direct3d = d3d9::createDirect3D9(D3D_SDK_VERSION);
        D3DPRESENT_PARAMETERS p = {};
        p.BackBufferWidth = Width;
        p.BackBufferHeight = Height;
        p.BackBufferFormat = D3DFMT_A8R8G8B8;
        p.MultiSampleType = samples;
        p.Windowed = TRUE;
        p.EnableAutoDepthStencil = TRUE;
        p.AutoDepthStencilFormat = D3DFMT_D16;
        EXPECT_EQ(direct3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, &device),
                  D3D_OK);
    }
    ~DeviceRun()
    {
        if (device != nullptr) {
            EXPECT_EQ(device->Release(), 0u);
        }
        if (direct3d != nullptr) {
            direct3d->Release();
        }
        d3d9::useNoBackend();
    }
    DeviceRun(const DeviceRun&) = delete;
    DeviceRun& operator=(const DeviceRun&) = delete;

    std::uint32_t pixel(int x, int y) const { return lastFrame[static_cast<std::size_t>(y) * Width + x]; }
};

// What most device tests draw with: a triangle list's three indices 0, 1, 2
// and the two programs of the texts, bound; the caller releases what it is
// handed.
struct BoundDrawing {
    IDirect3DIndexBuffer9* indices = nullptr;
    IDirect3DVertexShader9* vertexShader = nullptr;
    IDirect3DPixelShader9* pixelShader = nullptr;

    BoundDrawing(IDirect3DDevice9* device, const char* vertexText, const char* pixelText)
    {
        EXPECT_EQ(device->CreateIndexBuffer(6, 0, D3DFMT_INDEX16, D3DPOOL_DEFAULT, &indices, nullptr), D3D_OK);
        void* memory = nullptr;
        indices->Lock(0, 0, &memory, 0);
        const WORD corners[3] = {0, 1, 2};
        std::memcpy(memory, corners, sizeof corners);
        indices->Unlock();
        const d3dx::AssemblyResult vs = d3dx::assembleShader(vertexText);
        const d3dx::AssemblyResult ps = d3dx::assembleShader(pixelText);
        EXPECT_TRUE(vs.succeeded && ps.succeeded) << vs.errors << ps.errors;
        device->CreateVertexShader(reinterpret_cast<const DWORD*>(vs.tokens.data()), &vertexShader);
        device->CreatePixelShader(reinterpret_cast<const DWORD*>(ps.tokens.data()), &pixelShader);
        device->SetIndices(indices);
        device->SetVertexShader(vertexShader);
        device->SetPixelShader(pixelShader);
    }
    ~BoundDrawing()
    {
        for (IUnknown* object : std::initializer_list<IUnknown*>{indices, vertexShader, pixelShader}) {
            object->Release();
        }
    }
    BoundDrawing(const BoundDrawing&) = delete;
    BoundDrawing& operator=(const BoundDrawing&) = delete;
};
