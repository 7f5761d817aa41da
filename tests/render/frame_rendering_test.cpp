// One frame's calls with a hand-made object table: the texture cache, the
// constants of a known object, and the frame with nothing to draw.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/allocation.hpp"
#include "render/frame_rendering.hpp"
#include "render/renderer.hpp"
#include "scene/scene_object.hpp"
#include "support/test_host.hpp"
#include "texgen/texture_list.hpp"

using namespace testhost;

namespace {

// A table of drawable objects with identity world matrices, no parents.
void makeObjects(const std::vector<std::uint8_t>& textures)
{
    objectCount = static_cast<std::int32_t>(textures.size());
    objectTable = allocateZeroed<SceneObject>(textures.size());
    for (std::int32_t i = 0; i < objectCount; ++i) {
        SceneObject& object = objectTable[i];
        object.parent = NoParent;
        object.texture = textures[static_cast<std::size_t>(i)];
        object.drawable = 1;
        object.vertexCount = 10 + i;
        object.triangleCount = 20 + i;
        object.baseVertex = 100 * i;
        object.firstIndex = 1000 * i;
        for (int k = 0; k < 16; k += 5) {
            object.world.e[k] = 1.0f;
        }
    }
}

void makeTextures(int count)
{
    TextureNode* last = nullptr;
    for (int i = 0; i < count; ++i) {
        TextureNode* node = allocateZeroed<TextureNode>(1);
        device->CreateTexture(128, 128, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &node->deviceTexture, nullptr);
        (last == nullptr ? textureList : last->next) = node;
        last = node;
    }
}

void releaseAll()
{
    releaseTextures();
    releaseBlock(objectTable);
    objectCount = 0;
    releaseRecordingDevice();
}

std::vector<std::string> textureCallsAndPresents(const std::vector<std::string>& log)
{
    std::vector<std::string> calls;
    for (const std::string& line : log) {
        if (line.rfind("SetTexture", 0) == 0 || line == "Present() = OK") {
            calls.push_back(line);
        }
    }
    return calls;
}

} // namespace

TEST(FrameRendering, textureCacheSkipsRepeatsAndHandlesNumberZeroAndHighNumbers)
{
    const RunResult result = runInChild([] {
        createRecordingDevice();
        makeTextures(3);
        makeObjects({2, 2, 5, 2, 0, 1, 200, 200, 2});
        objectTable[2].drawable = 0; // between two 2s: must not break the cache
        renderFrame();
        renderFrame();
        releaseAll();
        return 0;
    });
    ASSERT_EQ(result.exitCode, 0);
    const std::string bind3 = "SetTexture(0, tex3) = OK"; // number 2 and 200 (200 mod 3 = 2) are the third
    const std::string flags = "SetTextureStageState(0, 24, 0) = OK";
    const std::vector<std::string> tail = {
        "SetTextureStageState(0, 1, 1) = OK",  // number 0: colour off, stage 0 keeps tex3
        "SetTexture(0, tex2) = OK", flags,     // number 1 is the second texture
        bind3, flags,                     // 200 never matches the signed cache
        bind3, flags,
        bind3, flags,                     // back to 2
        "Present() = OK",
    };
    std::vector<std::string> expected = {bind3, flags};
    expected.insert(expected.end(), tail.begin(), tail.end());
    // The next frame begins without a texture call: its first object has the
    // number the last one of the previous frame had.
    expected.insert(expected.end(), tail.begin(), tail.end());
    EXPECT_EQ(textureCallsAndPresents(result.log), expected);
    EXPECT_EQ(result.log.back(), "live windows 0");
    EXPECT_EQ(result.log[result.log.size() - 2], "live objects 0");
}

TEST(FrameRendering, eachObjectGetsItsMatricesEyeAndDrawEvenWithASingularWorld)
{
    const RunResult result = runInChild([] {
        createRecordingDevice();
        makeTextures(1);
        makeObjects({1, 1});
        objectTable[0].world.e[12] = 1.0f; // translated by (1, 2, 3)
        objectTable[0].world.e[13] = 2.0f;
        objectTable[0].world.e[14] = 3.0f;
        for (int k = 0; k < 15; ++k) {
            objectTable[1].world.e[k] = 0.0f; // no inverse
        }
        cameraEye = Vec3{4.0f, 5.0f, 6.0f};
        renderFrame();
        releaseAll();
        return 0;
    });
    ASSERT_EQ(result.exitCode, 0);
    const std::vector<std::string> constants = linesStartingWith(result.log, "SetVertexShaderConstantF");
    ASSERT_EQ(constants.size(), 8u);
    const std::string transposed = "[1, 0, 0, 1, 0, 1, 0, 2, 0, 0, 1, 3, 0, 0, 0, 1]";
    EXPECT_EQ(constants[0], "SetVertexShaderConstantF(0, " + transposed + ", 4) = OK");
    EXPECT_EQ(constants[1], "SetVertexShaderConstantF(4, [1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, -1, -2, -3, 1], 4) = OK");
    EXPECT_EQ(constants[2], "SetVertexShaderConstantF(8, " + transposed + ", 4) = OK");
    EXPECT_EQ(constants[3], "SetVertexShaderConstantF(12, [4, 5, 6, 0], 1) = OK");
    EXPECT_NE(constants[5].find("nan"), std::string::npos); // the singular block has no inverse
    // No programs were made here: the draws are made, and refused, as the trace shows.
    EXPECT_EQ(linesStartingWith(result.log, "DrawIndexedPrimitive"),
              (std::vector<std::string>{"DrawIndexedPrimitive(4, 0, 0, 10, 0, 20) = NOTAVAILABLE (fixed-function)",
                                        "DrawIndexedPrimitive(4, 100, 0, 11, 1000, 21) = NOTAVAILABLE (fixed-function)"}));
}

TEST(FrameRendering, aFrameWithNothingToDrawIsClearedAndPresented)
{
    const RunResult result = runInChild([] {
        createRecordingDevice();
        makeObjects({});
        renderFrame();
        releaseAll();
        return 0;
    });
    ASSERT_EQ(result.exitCode, 0);
    const std::vector<std::string> frame = sliceLog(result.log, "Clear", "Present() = OK");
    EXPECT_EQ(frame, (std::vector<std::string>{
                         "Clear(0, 0x1, 0xff000000, 1, 0) = OK", "Clear(0, 0x2, 0xff000000, 1, 0) = OK", "BeginScene() = OK",
                         "SetFVF(0x152) = OK", "SetTransform(2, [1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1]) = OK",
                         "SetTransform(3, [1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1]) = OK",
                         "SetStreamSource(0, NULL, 0, 48) = OK", "SetIndices(NULL) = OK", "SetVertexDeclaration(NULL) = OK",
                         "SetVertexShader(NULL) = OK", "SetPixelShader(NULL) = OK", "EndScene() = OK", "Present() = OK"}));
}
