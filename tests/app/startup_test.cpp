// The program's start-up and shutdown, through its own WinMain on the test
// host: the order of every call and its arguments, and the ways it ends
// early (a missing library, a refused device).
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "d3dx/assembler.hpp"
#include "d3dx9.h"
#include "win32/module_table.hpp"
#include "data/shader_programs.hpp"
#include "support/expected_textures.hpp"
#include "support/recording_device.hpp"
#include "support/test_host.hpp"

using namespace testhost;

namespace {

std::string programLine(const char* call, const char* text, const char* name)
{
    const d3dx::AssemblyResult result = d3dx::assembleShader(text);
    const std::size_t bytes = result.tokens.size() * 4;
    return std::string(call) + "(" + std::to_string(bytes) + " bytes " +
           hashText(recording::fnv1a(result.tokens.data(), bytes)) + ") = " + name;
}

std::vector<std::string> expectedStartup()
{
    std::vector<std::string> lines = {
        "LoadLibraryA(\"d3d9.dll\") = d3d9.dll",
        "LoadLibraryA(\"d3dx9_24.dll\") = d3dx9_24.dll",
        "LoadLibraryA(\"user32.dll\") = user32.dll",
        "GetProcAddress(user32.dll, \"PostQuitMessage\") = entry",
        "GetProcAddress(user32.dll, \"DefWindowProcA\") = entry",
        "GetProcAddress(user32.dll, \"RegisterClassExA\") = entry",
        "GetProcAddress(user32.dll, \"CreateWindowExA\") = entry",
        "GetProcAddress(user32.dll, \"PeekMessageA\") = entry",
        "GetProcAddress(user32.dll, \"DispatchMessageA\") = entry",
        "GetProcAddress(user32.dll, \"TranslateMessage\") = entry",
        "GetModuleHandleA(NULL) = program",
        "RegisterClassExA(\"demo\", 0x40) = 49152",
        "CreateWindowExA(0x300, \"demo\", \"demo\", 0xcf0000, 180, 180, 1024, 768) = hwnd16",
        "GetProcAddress(d3d9.dll, \"Direct3DCreate9\") = entry",
        "Direct3DCreate9(32) = d3d",
        "CheckDeviceMultiSampleType(0, 1, 21, 0, 4) = OK",
        "SetWindowPos(hwnd16, 0, 0, 1024, 768, 0x40) = 1", // the full-screen device shows its window, inside:
        "CreateDevice(0, 1, hwnd16, 0x40, {1024x768 format 21 count 0 multisample 4 quality 0 swap 1 window hwnd16 "
        "windowed 0 depth 1 format 80 flags 0 refresh 0 interval 1}) = OK",
        "SetViewport(0, 64, 1024, 640, 0, 1) = OK",
        "SetRenderState(22, 2) = OK",
        "SetRenderState(7, 1) = OK",
        "SetRenderState(161, 1) = OK",
        "SetRenderState(8, 3) = OK",
        "SetRenderState(137, 0) = OK",
        "CreateVertexDeclaration([0 0 2 0 0 0; 0 12 2 0 3 0; 0 24 2 0 6 0; 0 36 4 0 10 0; 0 40 1 0 5 1; "
        "255 0 17 0 0 0]) = decl1",
        "GetProcAddress(d3dx9_24.dll, \"D3DXAssembleShader\") = entry",
        "D3DXAssembleShader(500, 0x2) = OK",
        programLine("CreateVertexShader", vertexShaderText, "vs1"),
        "Release(ID3DXBuffer) = 0",
        "D3DXAssembleShader(359, 0x2) = OK",
        programLine("CreatePixelShader", pixelShaderText, "ps1"),
        "Release(ID3DXBuffer) = 0",
        "SetCursor(NULL) = cursor",
        "Clear(0, 0x1, 0xff000000, 1, 0) = OK",
        "BeginScene() = OK",
        "EndScene() = OK",
        "Present() = OK",
        "Sleep(25)",
    };
    int next = 1;
    for (const std::string& hash : expectedTextureHashes()) {
        const std::string texture = "tex" + std::to_string(next);
        const std::string staging = "tex" + std::to_string(next + 1);
        next += 2;
        const std::vector<std::string> textureLines = {
            "CreateTexture(128, 128, 1, 0x0, 21, 0) = " + texture,
            "CreateTexture(128, 128, 1, 0x0, 21, 2) = " + staging,
            "GetSurfaceLevel(" + staging + ", 0) = OK",
            "LockRect(surf:" + staging + ", 0x2000) = OK",
            "UnlockRect(surf:" + staging + ") = OK",
            "UpdateTexture(" + staging + ", " + texture + ") = OK pixels " + hash,
            "Release(surf:" + staging + ") = 0", // it gives back its reference on the texture, untraced
            "Release(" + staging + ") = 0",
        };
        lines.insert(lines.end(), textureLines.begin(), textureLines.end());
    }
    const std::vector<std::string> bufferLines = {
        "CreateVertexBuffer(4168224, 0x0, 0x152, 0) = vb1", // 86,838 vertices of 48 bytes
        "CreateIndexBuffer(260640, 0x8, 101, 0) = ib1",     // 130,320 16-bit indices
        "Lock(vb1, 0, 0, 0x0) = OK",
        "Unlock(vb1) = OK",
        "Lock(ib1, 0, 0, 0x0) = OK",
        "Unlock(ib1) = OK",
        "timeGetTime() = 41", // the start time: one retrace and the 25 ms pause
    };
    lines.insert(lines.end(), bufferLines.begin(), bufferLines.end());
    return lines;
}

std::vector<std::string> startupOf(const RunResult& result)
{
    std::vector<std::string> lines;
    for (const std::string& line : result.log) {
        if (line.rfind("PeekMessageA", 0) == 0) {
            break;
        }
        lines.push_back(line);
    }
    return lines;
}

} // namespace

TEST(Startup, callsComeInTheirFixedOrderWithTheirArguments)
{
    const RunResult result = runDemo({});
    EXPECT_EQ(result.exitCode, 0);
    const std::vector<std::string> expected = expectedStartup();
    const std::vector<std::string> actual = startupOf(result);
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(actual[i], expected[i]) << "line " << i;
    }
}

TEST(Startup, everyCallOfWin32D3dxAndDirect3DHasTheOneLineShape)
{
    // Name(arguments) = result, or = result (why) when refused; only the
    // calls that return nothing (and the host's input) end at the bracket.
    const std::regex shape(R"(^[A-Za-z][A-Za-z0-9]*\(.*\)( = [^ ].*)?$)");
    const std::regex voidCall(R"(^(Sleep|PostQuitMessage|input)\()");
    const RunResult result = runDemo({});
    ASSERT_EQ(result.exitCode, 0);
    std::size_t calls = 0;
    for (const std::string& line : result.log) {
        if (line.rfind("returned ", 0) == 0) {
            break; // the host's closing lines
        }
        ++calls;
        EXPECT_TRUE(std::regex_match(line, shape)) << line;
        if (line.find(" = ") == std::string::npos) {
            EXPECT_TRUE(std::regex_search(line, voidCall)) << "no result on the line: " << line;
        }
    }
    EXPECT_GT(calls, 100u);
}

TEST(Startup, withoutMultisamplingOnlyTheSampleTypeAndSwapEffectChange)
{
    HostOptions options;
    options.device.refuseMultisample = true;
    const RunResult result = runDemo(options);
    EXPECT_EQ(result.exitCode, 0);
    std::vector<std::string> expected = expectedStartup();
    for (std::string& line : expected) {
        if (line.rfind("CheckDeviceMultiSampleType", 0) == 0) {
            line = "CheckDeviceMultiSampleType(0, 1, 21, 0, 4) = NOTAVAILABLE";
        } else if (line.rfind("CreateDevice", 0) == 0) {
            line.replace(line.find("multisample 4 quality 0 swap 1"), 30, "multisample 0 quality 0 swap 3");
        }
    }
    EXPECT_EQ(startupOf(result), expected);
}

TEST(Startup, refusedDeviceOrDirect3DEndsQuietlyWithZeroAndNothingLeftBehind)
{
    const std::vector<std::string> ending = {
        "FreeLibrary(user32.dll) = 1", "FreeLibrary(d3dx9_24.dll) = 1", "FreeLibrary(d3d9.dll) = 1",
        "UnregisterClassA(\"demo\") = 0 (windows of the class live)", "returned 0", "live objects 0", "live windows 1",
    };
    HostOptions refused;
    refused.device.refuseDevice = true;
    HostOptions noDirect3D;
    noDirect3D.device.failDirect3DCreate = true;
    for (const HostOptions& options : {refused, noDirect3D}) {
        const RunResult result = runDemo(options);
        EXPECT_EQ(result.exitCode, 0);
        ASSERT_GE(result.log.size(), ending.size() + 1);
        const std::vector<std::string> tail(result.log.end() - static_cast<std::ptrdiff_t>(ending.size()),
                                            result.log.end());
        EXPECT_EQ(tail, ending);
        // The Direct3D object made before the refusal is released; no song,
        // scene, texture or frame follows.
        const std::string beforeEnding = result.log[result.log.size() - ending.size() - 1];
        EXPECT_EQ(beforeEnding, options.device.refuseDevice ? "Release(d3d) = 0" : "Direct3DCreate9(32) = NULL");
        EXPECT_EQ(findLine(result.log, "SetCursor"), -1);
        EXPECT_EQ(findLine(result.log, "Present"), -1);
        EXPECT_EQ(findLine(result.log, "CreateVertexDeclaration"), -1);
        EXPECT_EQ(findLine(result.log, "Sleep"), -1);
    }
}

TEST(Startup, missingLibraryEndsTheProcessWithMinusOneAfterFreeingTheLoadedOnes)
{
    struct Case {
        bool d3d9, d3dx, user32;
        std::vector<std::string> log;
    };
    const std::vector<Case> cases = {
        {false, true, true, {"LoadLibraryA(\"d3d9.dll\") = NULL (no such module)"}},
        {true, false, true,
         {"LoadLibraryA(\"d3d9.dll\") = d3d9.dll", "LoadLibraryA(\"d3dx9_24.dll\") = NULL (no such module)",
          "FreeLibrary(d3d9.dll) = 1"}},
        {true, true, false,
         {"LoadLibraryA(\"d3d9.dll\") = d3d9.dll", "LoadLibraryA(\"d3dx9_24.dll\") = d3dx9_24.dll",
          "LoadLibraryA(\"user32.dll\") = NULL (no such module)", "FreeLibrary(d3dx9_24.dll) = 1",
          "FreeLibrary(d3d9.dll) = 1"}},
    };
    for (const Case& c : cases) {
        HostOptions options;
        options.withD3d9 = c.d3d9;
        options.withD3dx = c.d3dx;
        options.withUser32 = c.user32;
        const RunResult result = runDemo(options);
        EXPECT_EQ(result.exitCode, 255); // exit(-1)
        EXPECT_EQ(result.log, c.log);    // and nothing after it: WinMain never returned
    }
}

TEST(Shutdown, releasesEverythingInTheFixedOrder)
{
    const RunResult result = runDemo({});
    // What is still bound keeps the device's reference until the device goes:
    // the buffers, programs, declaration and the last texture drawn with.
    const std::vector<std::string> expected = {
        "Sleep(35)",
        "Release(ib1) = 1",
        "Release(vb1) = 1",
        "Release(tex1) = 0",
        "Release(tex3) = 0",
        "Release(tex5) = 1",
        "Release(tex7) = 0",
        "Release(tex9) = 0",
        "Release(tex11) = 0",
        "Release(vs1) = 1",
        "Release(ps1) = 1",
        "Release(decl1) = 1",
        "ShowCursor(1) = 1",
        "Release(device) = 0",
        "Release(d3d) = 0",
        "FreeLibrary(user32.dll) = 1",
        "FreeLibrary(d3dx9_24.dll) = 1",
        "FreeLibrary(d3d9.dll) = 1",
        "UnregisterClassA(\"demo\") = 0 (windows of the class live)",
        "returned 0",
        "live objects 0",
        "live windows 1", // never destroyed: it ends with the process
    };
    EXPECT_EQ(sliceLog(result.log, "Sleep(35)", "live windows"), expected);
}

namespace {

// An assembler that refuses every text, with an error message.
HRESULT WINAPI refuseToAssemble(LPCSTR, UINT, const D3DXMACRO*, LPD3DXINCLUDE, DWORD, LPD3DXBUFFER* code,
                                LPD3DXBUFFER* errors)
{
    *code = nullptr;
    D3DXCreateBuffer(16, errors);
    return D3DXERR_INVALIDDATA;
}

} // namespace

TEST(Startup, failedAssemblyLeavesTheProgramOutAndTheRunGoesOn)
{
    HostOptions options;
    options.assembler = win32::exportEntry(&refuseToAssemble);
    const RunResult result = runDemo(options);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(findLine(result.log, "CreateVertexShader"), -1);
    EXPECT_EQ(findLine(result.log, "CreatePixelShader"), -1);
    // Only the two error buffers are released, once each.
    EXPECT_EQ(linesStartingWith(result.log, "Release(ID3DXBuffer)"),
              (std::vector<std::string>{"Release(ID3DXBuffer) = 0", "Release(ID3DXBuffer) = 0"}));
    EXPECT_GE(findLine(result.log, "SetVertexShader(NULL) = OK"), 0);
    EXPECT_GE(findLine(result.log, "DrawIndexedPrimitive"), 0);
    EXPECT_EQ(result.log[result.log.size() - 2], "live objects 0");
}
