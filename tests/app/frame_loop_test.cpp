// The frame loop through the program's own WinMain: one message a frame,
// Escape and the window's destruction as the two ways out, the frame that
// takes the quit still drawn, the clock's wrap, and one frame's constants.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "anim/animation.hpp"
#include "app/main_loop.hpp"
#include "math/matrix.hpp"
#include "render/renderer.hpp"
#include "scene/scene_loader.hpp"
#include "scene/scene_object.hpp"
#include "scene/transform_hierarchy.hpp"
#include "support/test_host.hpp"

using namespace testhost;

namespace {

ScriptedInput inputAfter(std::int32_t present, ScriptedInput::Kind kind, UINT key = 0)
{
    ScriptedInput input;
    input.afterPresent = present;
    input.kind = kind;
    input.key = key;
    return input;
}

std::int32_t countLines(const std::vector<std::string>& log, const std::string& prefix, std::size_t from,
                        std::size_t to)
{
    std::int32_t count = 0;
    for (std::size_t i = from; i < to && i < log.size(); ++i) {
        count += log[i].rfind(prefix, 0) == 0 ? 1 : 0;
    }
    return count;
}

std::string floatList(const float* values, int count)
{
    std::string out = "[";
    char text[32];
    for (int i = 0; i < count; ++i) {
        std::snprintf(text, sizeof text, "%.9g", values[i]);
        out += (i == 0 ? "" : ", ") + std::string(text);
    }
    return out + "]";
}

constexpr std::int32_t DrawableObjects = 3 - 2 + 3616; // the description's cube and the text wall

} // namespace

TEST(FrameLoop, escapeRequestsTheQuitAndTheFrameThatTakesItIsStillDrawn)
{
    const RunResult result = runDemo({});
    ASSERT_EQ(result.exitCode, 0);
    const std::vector<std::string> peeks = linesStartingWith(result.log, "PeekMessageA");
    // Two empty frames, Escape, the WM_CHAR that TranslateMessage made of it
    // (posted, so it comes first), then the quit.
    EXPECT_EQ(peeks, (std::vector<std::string>{
                         "PeekMessageA(NULL, 0, 0, 1) = 0", "PeekMessageA(NULL, 0, 0, 1) = 0",
                         "PeekMessageA(NULL, 0, 0, 1) = 0x100", "PeekMessageA(NULL, 0, 0, 1) = 0x102",
                         "PeekMessageA(NULL, 0, 0, 1) = 0x12"}));
    const std::int32_t escape = findLine(result.log, "PeekMessageA(NULL, 0, 0, 1) = 0x100");
    ASSERT_GE(escape, 0);
    // Each line is written as its call returns: the window procedure's
    // PostQuitMessage before the DispatchMessageA that called it.
    const std::vector<std::string> handling(result.log.begin() + escape + 1, result.log.begin() + escape + 4);
    EXPECT_EQ(handling, (std::vector<std::string>{"TranslateMessage(0x100) = 1", "PostQuitMessage(0)",
                                                  "DispatchMessageA(hwnd16, 0x100, 0x1b) = 0"}));
    // The quit is translated and dispatched like any message, then its frame
    // is drawn in full before shutdown begins.
    const std::int32_t quit = findLine(result.log, "PeekMessageA(NULL, 0, 0, 1) = 0x12");
    const std::int32_t shutdown = findLine(result.log, "Sleep(35)");
    ASSERT_GT(shutdown, quit);
    EXPECT_EQ(result.log[quit + 1], "TranslateMessage(0x12) = 0");
    EXPECT_EQ(result.log[quit + 2], "DispatchMessageA(NULL, 0x12, 0x0) = 0");
    EXPECT_EQ(countLines(result.log, "Present() = OK", quit, shutdown), 1);
    EXPECT_EQ(countLines(result.log, "DrawIndexedPrimitive", quit, shutdown), DrawableObjects);
    // Five frames after the blank one; Escape does not destroy the window.
    EXPECT_EQ(linesStartingWith(result.log, "Present() = OK").size(), 6u);
    EXPECT_EQ(findLine(result.log, "DestroyWindow"), -1);
    EXPECT_EQ(result.log.back(), "live windows 1");
}

TEST(FrameLoop, anEmptyQueueIsNeitherTranslatedNorDispatched)
{
    const RunResult result = runDemo({});
    const std::int32_t first = findLine(result.log, "PeekMessageA");
    ASSERT_GE(first, 0);
    EXPECT_EQ(result.log[first], "PeekMessageA(NULL, 0, 0, 1) = 0");
    EXPECT_EQ(result.log[first + 1].rfind("timeGetTime()", 0), 0u);
}

TEST(FrameLoop, closingTheWindowDestroysItAndQuitsLikeEscape)
{
    HostOptions options;
    options.input = {inputAfter(3, ScriptedInput::Kind::CloseButton)};
    const RunResult result = runDemo(options);
    EXPECT_EQ(result.exitCode, 0);
    // The calls inside the dispatch come before its line, innermost first.
    const std::int32_t close = findLine(result.log, "DispatchMessageA(hwnd16, 0x112, 0xf060) = 0");
    ASSERT_GE(close, 3);
    const std::vector<std::string> handling(result.log.begin() + close - 3, result.log.begin() + close);
    EXPECT_EQ(handling, (std::vector<std::string>{"PostQuitMessage(0)", "DestroyWindow(hwnd16) = 1",
                                                  "SendMessageA(hwnd16, 0x10) = 0"}));
    EXPECT_GE(findLine(result.log, "PeekMessageA(NULL, 0, 0, 1) = 0x12", close), 0);
    EXPECT_EQ(result.log.back(), "live windows 0");

    options.input = {inputAfter(3, ScriptedInput::Kind::DestroyWindow)};
    const RunResult destroyed = runDemo(options);
    EXPECT_EQ(destroyed.exitCode, 0);
    const std::int32_t destroy = findLine(destroyed.log, "DestroyWindow(hwnd16) = 1");
    ASSERT_GE(destroy, 1);
    EXPECT_EQ(destroyed.log[destroy - 1], "PostQuitMessage(0)");
}

TEST(FrameLoop, otherKeysAndTheReleaseOfEscapeDoNotQuit)
{
    HostOptions options;
    options.input = {inputAfter(3, ScriptedInput::Kind::KeyDown, 'A'),
                     inputAfter(4, ScriptedInput::Kind::KeyUp, VK_ESCAPE),
                     inputAfter(4, ScriptedInput::Kind::KeyDown, VK_SPACE),
                     inputAfter(7, ScriptedInput::Kind::KeyDown, VK_ESCAPE)};
    const RunResult result = runDemo(options);
    EXPECT_EQ(result.exitCode, 0);
    const std::int32_t quit = findLine(result.log, "PostQuitMessage");
    ASSERT_GE(quit, 0);
    // Escape arrives after present 7, but the WM_CHAR of the space bar,
    // posted by TranslateMessage, is taken first: one frame more.
    EXPECT_EQ(countLines(result.log, "Present() = OK", 0, static_cast<std::size_t>(quit)), 8);
    EXPECT_EQ(linesStartingWith(result.log, "PostQuitMessage").size(), 1u);
}

TEST(FrameLoop, elapsedTimeSurvivesTheWrapOfTheMillisecondCounter)
{
    HostOptions wrapping;
    wrapping.clockStart = 0xFFFFFFFFu - 45; // the counter wraps during the first frames
    const RunResult plain = runDemo({});
    const RunResult wrapped = runDemo(wrapping);
    const std::vector<std::string> times = linesStartingWith(wrapped.log, "timeGetTime()");
    ASSERT_GE(times.size(), 3u);
    EXPECT_EQ(times.front(), "timeGetTime() = 4294967291"); // the start time
    EXPECT_LT(std::stoul(times.back().substr(std::string("timeGetTime() = ").size())), 1000u); // wrapped
    EXPECT_EQ(linesStartingWith(wrapped.log, "SetTransform(2"), linesStartingWith(plain.log, "SetTransform(2"));
    EXPECT_EQ(linesStartingWith(wrapped.log, "SetVertexShaderConstantF(0"),
              linesStartingWith(plain.log, "SetVertexShaderConstantF(0"));
}

TEST(FrameLoop, firstFrameLoadsTheStoredCubesMatricesAndDrawsEveryObjectOnce)
{
    const RunResult result = runDemo({});
    // The first frame runs at elapsed time 0: the clock has not moved since
    // the start time was taken.
    loadScene();
    loadAnimation();
    buildUpdateOrder();
    evaluateAnimation(0);
    Mat4 view{};
    viewMatrix = &view;
    buildViewMatrix();
    viewMatrix = nullptr;
    Mat4 projection{};
    projection.e[0] = static_cast<float>(1.0 / std::tan(0.45717653092240035));
    projection.e[5] = static_cast<float>(1.0 / std::tan(0.3428823981918003));
    projection.e[10] = 1.0050251f;
    projection.e[11] = 1.0f;
    projection.e[14] = -0.50251257f;
    const SceneObject cube = objectTable[2];
    Mat4 wvp = mat4Multiply(cube.world, mat4Multiply(view, projection));
    mat4Transpose(wvp);
    Mat4 worldTransposed = cube.world;
    mat4Transpose(worldTransposed);
    const Mat4 inverse = mat4InverseAffine(cube.world);
    const float eye[4] = {cameraEye.x, cameraEye.y, cameraEye.z, 0.0f};
    const std::int32_t baseVertex = 0;
    const std::int32_t vertexCount = cube.vertexCount;
    const std::int32_t triangleCount = cube.triangleCount;
    freeAnimation();
    freeUpdateOrder();
    freeScene();

    const std::int32_t frame = findLine(result.log, "PeekMessageA");
    ASSERT_GE(frame, 0);
    const std::vector<std::string> expected = {
        "Clear(0, 0x1, 0xff000000, 1, 0) = OK",
        "Clear(0, 0x2, 0xff000000, 1, 0) = OK",
        "Lock(vb1, 0, 0, 0x0) = OK",
        "Unlock(vb1) = OK",
        "BeginScene() = OK",
        "SetFVF(0x152) = OK",
        "SetTransform(2, " + floatList(view.e, 16) + ") = OK",
        "SetTransform(3, " + floatList(projection.e, 16) + ") = OK",
        "SetStreamSource(0, vb1, 0, 48) = OK",
        "SetIndices(ib1) = OK",
        "SetVertexDeclaration(decl1) = OK",
        "SetVertexShader(vs1) = OK",
        "SetPixelShader(ps1) = OK",
        "SetTexture(0, tex" + std::to_string(2 * (cube.texture % 6) + 1) + ") = OK",
        "SetTextureStageState(0, 24, 0) = OK",
        "SetVertexShaderConstantF(0, " + floatList(wvp.e, 16) + ", 4) = OK",
        "SetVertexShaderConstantF(4, " + floatList(inverse.e, 16) + ", 4) = OK",
        "SetVertexShaderConstantF(8, " + floatList(worldTransposed.e, 16) + ", 4) = OK",
        "SetVertexShaderConstantF(12, " + floatList(eye, 4) + ", 1) = OK",
        "DrawIndexedPrimitive(4, " + std::to_string(baseVertex) + ", 0, " + std::to_string(vertexCount) + ", 0, " +
            std::to_string(triangleCount) + ") = OK",
    };
    const std::vector<std::string> actual(result.log.begin() + frame + 2,
                                          result.log.begin() + frame + 2 + static_cast<std::ptrdiff_t>(expected.size()));
    EXPECT_EQ(actual, expected);
    const std::int32_t end = findLine(result.log, "Present() = OK", static_cast<std::size_t>(frame));
    EXPECT_EQ(countLines(result.log, "DrawIndexedPrimitive", frame, end), DrawableObjects);
    EXPECT_EQ(countLines(result.log, "SetVertexShaderConstantF", frame, end), 4 * DrawableObjects);
    EXPECT_EQ(result.log[end - 1], "EndScene() = OK");
}
