// Packing the meshes into the shared buffers. A buffer whose length would be
// 0 (a scene with nothing to draw) is not created, since a device refuses
// zero-length buffers; everything that uses it then skips it. Copies never
// run past the locked length, even if the totals disagree with the objects.
#include "render/geometry_buffers.hpp"

#include <cstdint>
#include <cstring>

#include "render/renderer.hpp"
#include "scene/scene_object.hpp"

IDirect3DVertexBuffer9* vertexBuffer;
IDirect3DIndexBuffer9* indexBuffer;

namespace {

constexpr UINT VertexBytes = sizeof(MeshVertex); // 48

// Locks a whole buffer; NULL when there is none or the lock was refused.
template <typename Buffer>
std::uint8_t* lockWhole(Buffer* buffer)
{
    void* memory = NULL;
    if (buffer == NULL || buffer->Lock(0, 0, &memory, 0) != D3D_OK) {
        return NULL;
    }
    return static_cast<std::uint8_t*>(memory);
}

// Copies each drawable object's indices and records where its share begins.
void packIndices(std::uint8_t* memory)
{
    std::int32_t runningVertex = 0;
    std::int32_t runningIndex = 0;
    for (std::int32_t i = 0; i < objectCount; ++i) {
        SceneObject& object = objectTable[i];
        if (object.drawable == 0) {
            continue;
        }
        object.baseVertex = runningVertex;
        object.firstIndex = runningIndex;
        const std::int32_t indexCount = object.triangleCount * 3;
        if (memory != NULL && indexCount > 0 && runningIndex + indexCount <= totalIndexCount) {
            std::memcpy(memory + static_cast<std::size_t>(runningIndex) * 2, object.indices,
                        static_cast<std::size_t>(indexCount) * 2);
        }
        runningIndex += indexCount;
        runningVertex += object.vertexCount;
    }
}

} // namespace

void buildGeometryBuffers()
{
    if (totalVertexCount > 0) {
        device->CreateVertexBuffer(static_cast<UINT>(totalVertexCount) * VertexBytes, 0, MeshVertexFvf,
                                   D3DPOOL_DEFAULT, &vertexBuffer, NULL);
    }
    if (totalIndexCount > 0) {
        device->CreateIndexBuffer(static_cast<UINT>(totalIndexCount) * 2, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16,
                                  D3DPOOL_DEFAULT, &indexBuffer, NULL);
    }
    uploadVertices();
    std::uint8_t* memory = lockWhole(indexBuffer);
    packIndices(memory);
    if (memory != NULL) {
        indexBuffer->Unlock();
    }
}

void uploadVertices()
{
    std::uint8_t* memory = lockWhole(vertexBuffer);
    if (memory == NULL) {
        return;
    }
    std::int32_t runningVertex = 0;
    for (std::int32_t i = 0; i < objectCount; ++i) {
        const SceneObject& object = objectTable[i];
        if (object.drawable == 0) {
            continue;
        }
        if (object.vertexCount > 0 && runningVertex + object.vertexCount <= totalVertexCount) {
            std::memcpy(memory + static_cast<std::size_t>(runningVertex) * VertexBytes, object.vertices,
                        static_cast<std::size_t>(object.vertexCount) * VertexBytes);
        }
        runningVertex += object.vertexCount;
    }
    vertexBuffer->Unlock();
}

void releaseGeometryBuffers()
{
    if (indexBuffer != NULL) {
        indexBuffer->Release();
        indexBuffer = NULL;
    }
    if (vertexBuffer != NULL) {
        vertexBuffer->Release();
        vertexBuffer = NULL;
    }
}
