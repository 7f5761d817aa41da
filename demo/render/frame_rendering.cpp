// The per-frame draw. Constant registers: c0-c3 the transposed
// world x view x projection, c4-c7 the inverse of the world matrix (not
// transposed, so m4x4 through it applies the inverse transpose to normals),
// c8-c11 the transposed world matrix, c12 the eye.
#include "render/frame_rendering.hpp"

#include <cstring>

#include "common/allocation.hpp"
#include "math/matrix.hpp"
#include "render/frame_matrices.hpp"
#include "render/geometry_buffers.hpp"
#include "render/renderer.hpp"
#include "render/shader_setup.hpp"
#include "scene/scene_object.hpp"
#include "texgen/texture_list.hpp"

std::int8_t currentTexture = -1;

namespace {

void setTransform(D3DTRANSFORMSTATETYPE state, const Mat4& matrix)
{
    D3DMATRIX copy;
    std::memcpy(&copy, matrix.e, sizeof copy);
    device->SetTransform(state, &copy);
}

// Binds texture t, or disables stage 0's colour for 0, when t is not the
// number handled last. Texture 0 keeps whatever stage 0 held before.
void switchTexture(std::uint8_t t)
{
    if (t == currentTexture) { // compared as integers: 128 and up never match
        return;
    }
    currentTexture = static_cast<std::int8_t>(t);
    if (t != 0) {
        device->SetTexture(0, textureAt(t));
        device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
    } else {
        device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_DISABLE);
    }
}

struct FrameMatrices {
    Mat4* viewProjection;
    Mat4* worldViewProjection;
    Mat4* worldTransposed;
    Mat4* worldInverse;
};

void drawObject(const SceneObject& object, const FrameMatrices& m)
{
    switchTexture(object.texture);
    computeObjectConstants(object, *m.viewProjection, *m.worldViewProjection, *m.worldInverse, *m.worldTransposed);
    const float eye[4] = {cameraEye.x, cameraEye.y, cameraEye.z, 0.0f};
    device->SetVertexShaderConstantF(0, m.worldViewProjection->e, 4);
    device->SetVertexShaderConstantF(4, m.worldInverse->e, 4);
    device->SetVertexShaderConstantF(8, m.worldTransposed->e, 4);
    device->SetVertexShaderConstantF(12, eye, 1);
    device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, object.baseVertex, 0, static_cast<UINT>(object.vertexCount),
                                 static_cast<UINT>(object.firstIndex), static_cast<UINT>(object.triangleCount));
}

} // namespace

void renderFrame()
{
    device->Clear(0, NULL, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    device->Clear(0, NULL, D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    uploadVertices();
    device->BeginScene();
    device->SetFVF(MeshVertexFvf);
    setTransform(D3DTS_VIEW, *viewMatrix);
    setTransform(D3DTS_PROJECTION, *projectionMatrix);

    const FrameMatrices m = {allocateZeroed<Mat4>(1), allocateZeroed<Mat4>(1), allocateZeroed<Mat4>(1),
                             allocateZeroed<Mat4>(1)};
    *m.viewProjection = mat4Multiply(*viewMatrix, *projectionMatrix);
    device->SetStreamSource(0, vertexBuffer, 0, sizeof(MeshVertex));
    device->SetIndices(indexBuffer);
    device->SetVertexDeclaration(vertexDeclaration);
    device->SetVertexShader(vertexShader);
    device->SetPixelShader(pixelShader);
    for (std::int32_t i = 0; i < objectCount; ++i) {
        if (objectTable[i].drawable != 0) {
            drawObject(objectTable[i], m);
        }
    }
    Mat4* blocks[4] = {m.viewProjection, m.worldViewProjection, m.worldTransposed, m.worldInverse};
    for (Mat4*& block : blocks) {
        releaseBlock(block);
    }

    device->EndScene();
    device->Present(NULL, NULL, NULL, NULL);
}
