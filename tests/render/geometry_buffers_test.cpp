// Packing meshes into the shared buffers: offsets, contents, the per-frame
// rewrite, and a scene with nothing to draw.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/allocation.hpp"
#include "render/geometry_buffers.hpp"
#include "render/renderer.hpp"
#include "scene/scene_loader.hpp"
#include "scene/scene_object.hpp"
#include "support/test_host.hpp"
#include "win32/api_trace.hpp"

using namespace testhost;

namespace {

struct MeshSize {
    std::int32_t vertices;
    std::int32_t triangles;
    bool drawable;
};

// Objects whose vertex k has position.x = 1000 * object + k and whose
// indices count down from their vertex count, so that every byte tells
// where it came from.
void makeMeshes(const std::vector<MeshSize>& sizes)
{
    objectCount = static_cast<std::int32_t>(sizes.size());
    objectTable = allocateZeroed<SceneObject>(sizes.size());
    totalVertexCount = 0;
    totalIndexCount = 0;
    for (std::int32_t i = 0; i < objectCount; ++i) {
        const MeshSize& size = sizes[static_cast<std::size_t>(i)];
        SceneObject& object = objectTable[i];
        object.parent = NoParent;
        object.drawable = size.drawable ? 1 : 0;
        object.vertexCount = size.vertices;
        object.triangleCount = size.triangles;
        object.baseVertex = -7; // untouched unless drawable
        object.firstIndex = -7;
        object.vertices = allocateZeroed<MeshVertex>(static_cast<std::size_t>(size.vertices));
        object.indices = allocateZeroed<std::uint16_t>(static_cast<std::size_t>(size.triangles) * 3);
        for (std::int32_t k = 0; k < size.vertices; ++k) {
            object.vertices[k].position.x = static_cast<float>(1000 * i + k);
        }
        for (std::int32_t k = 0; k < size.triangles * 3; ++k) {
            object.indices[k] = static_cast<std::uint16_t>((size.vertices - 1 - k % size.vertices + 65536) % 65536);
        }
        if (size.drawable) {
            totalVertexCount += size.vertices;
            totalIndexCount += size.triangles * 3;
        }
    }
}

// Compares the locked buffers with the objects and logs what it finds.
void checkBufferContents()
{
    void* memory = nullptr;
    std::string verdict = "contents match";
    vertexBuffer->Lock(0, 0, &memory, 0);
    const auto* vertices = static_cast<const MeshVertex*>(memory);
    for (std::int32_t i = 0; i < objectCount; ++i) {
        const SceneObject& o = objectTable[i];
        if (o.drawable != 0 && std::memcmp(vertices + o.baseVertex, o.vertices, o.vertexCount * sizeof(MeshVertex))) {
            verdict = "vertices of object " + std::to_string(i) + " differ";
        }
    }
    vertexBuffer->Unlock();
    indexBuffer->Lock(0, 0, &memory, 0);
    const auto* indices = static_cast<const std::uint16_t*>(memory);
    for (std::int32_t i = 0; i < objectCount; ++i) {
        const SceneObject& o = objectTable[i];
        if (o.drawable != 0 && std::memcmp(indices + o.firstIndex, o.indices, o.triangleCount * 6)) {
            verdict = "indices of object " + std::to_string(i) + " differ";
        }
    }
    indexBuffer->Unlock();
    win32::trace(verdict);
}

void logOffsets()
{
    for (std::int32_t i = 0; i < objectCount; ++i) {
        win32::trace("object " + std::to_string(i) + " at " + std::to_string(objectTable[i].baseVertex) + ", " +
                     std::to_string(objectTable[i].firstIndex));
    }
}

void releaseAll()
{
    releaseGeometryBuffers();
    freeScene();
    releaseRecordingDevice();
}

} // namespace

TEST(GeometryBuffers, drawableObjectsArePackedInTableOrderWithUnshiftedIndices)
{
    const RunResult result = runInChild([] {
        createRecordingDevice();
        makeMeshes({{24, 12, true}, {5, 3, false}, {4, 2, true}, {100, 50, true}});
        buildGeometryBuffers();
        logOffsets();
        checkBufferContents();
        releaseAll();
        return 0;
    });
    ASSERT_EQ(result.exitCode, 0);
    EXPECT_EQ(linesStartingWith(result.log, "Create"),
              (std::vector<std::string>{"CreateDevice(0, 1, NULL, 0x40, {1024x768 format 21 count 0 multisample 0 "
                                        "quality 0 swap 3 window NULL windowed 1 depth 1 format 80 flags 0 refresh 0 "
                                        "interval 0}) = OK",
                                        "CreateVertexBuffer(6144, 0x0, 0x152, 0) = vb1",
                                        "CreateIndexBuffer(384, 0x8, 101, 0) = ib1"}));
    EXPECT_EQ(linesStartingWith(result.log, "object "),
              (std::vector<std::string>{"object 0 at 0, 0", "object 1 at -7, -7", "object 2 at 24, 36",
                                        "object 3 at 28, 42"}));
    EXPECT_GE(findLine(result.log, "contents match"), 0);
    EXPECT_EQ(result.log[result.log.size() - 2], "live objects 0");
}

TEST(GeometryBuffers, vertexChangesReachTheBufferAtTheNextUpload)
{
    const RunResult result = runInChild([] {
        createRecordingDevice();
        makeMeshes({{3, 1, true}, {3, 1, true}});
        buildGeometryBuffers();
        objectTable[1].vertices[2].normal.y = 0.25f;
        uploadVertices();
        checkBufferContents();
        releaseAll();
        return 0;
    });
    ASSERT_EQ(result.exitCode, 0);
    EXPECT_GE(findLine(result.log, "contents match"), 0);
}

TEST(GeometryBuffers, aSceneWithNothingToDrawMakesNoBuffers)
{
    const RunResult result = runInChild([] {
        createRecordingDevice();
        makeMeshes({{5, 2, false}});
        buildGeometryBuffers();
        uploadVertices();
        logOffsets();
        releaseAll();
        return 0;
    });
    ASSERT_EQ(result.exitCode, 0);
    EXPECT_EQ(findLine(result.log, "CreateVertexBuffer"), -1); // a zero-length buffer would be refused
    EXPECT_EQ(findLine(result.log, "CreateIndexBuffer"), -1);
    EXPECT_EQ(findLine(result.log, "Lock"), -1);
    EXPECT_EQ(linesStartingWith(result.log, "object "), std::vector<std::string>{"object 0 at -7, -7"});
    EXPECT_EQ(result.log[result.log.size() - 2], "live objects 0");
}
