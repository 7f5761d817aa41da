// Building the texture list on the device. Each texture is built into an
// ordinary 128 x 128 buffer and copied into the locked staging surface row
// by row at the surface's pitch. If the device refuses the staging texture
// or its lock, the pixels are still built (the script cursor and the random
// sequence move on exactly as before) but nothing is uploaded.
#include "texgen/texture_list.hpp"

#include <cstdint>
#include <cstring>

#include "common/allocation.hpp"
#include "render/renderer.hpp"
#include "texgen/texture_ops.hpp"
#include "texgen/texture_script.hpp"

TextureNode* textureList;

namespace {

constexpr std::size_t RowBytes = TextureWidth * 4; // 512

void copyRows(const std::uint32_t* pixels, const D3DLOCKED_RECT& locked)
{
    if (locked.pBits == NULL || locked.Pitch < static_cast<INT>(RowBytes)) {
        return;
    }
    auto* bits = static_cast<std::uint8_t*>(locked.pBits);
    for (std::int32_t y = 0; y < TextureHeight; ++y) {
        std::memcpy(bits + static_cast<std::size_t>(y) * static_cast<std::size_t>(locked.Pitch),
                    pixels + static_cast<std::size_t>(y) * TextureWidth, RowBytes);
    }
}

} // namespace

TextureNode* buildTextures()
{
    beginTextureScript();
    if (!textureBeginsAtCursor()) {
        return textureList;
    }
    TextureNode* last = NULL;
    for (;;) {
        IDirect3DTexture9* texture = NULL;
        device->CreateTexture(TextureWidth, TextureHeight, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &texture, NULL);
        generateTexture(texture);
        TextureNode* node = allocateZeroed<TextureNode>(1);
        node->deviceTexture = texture;
        if (last == NULL) {
            textureList = node;
        } else {
            last->next = node;
        }
        last = node;
        advancePastTexture();
        if (!textureBeginsAtCursor()) {
            break;
        }
    }
    return textureList;
}

void generateTexture(IDirect3DTexture9* destination)
{
    IDirect3DTexture9* staging = NULL;
    IDirect3DSurface9* surface = NULL;
    D3DLOCKED_RECT locked = {};
    device->CreateTexture(TextureWidth, TextureHeight, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &staging, NULL);
    if (staging != NULL) {
        staging->GetSurfaceLevel(0, &surface);
    }
    const bool isLocked = surface != NULL && surface->LockRect(&locked, NULL, D3DLOCK_DISCARD) == D3D_OK;

    std::uint32_t* pixels = allocateZeroed<std::uint32_t>(TexturePixelCount);
    buildTexturePixels(pixels);
    if (isLocked) {
        copyRows(pixels, locked);
        surface->UnlockRect();
        if (destination != NULL) {
            device->UpdateTexture(staging, destination);
        }
    }
    releaseBlock(pixels);

    if (surface != NULL) {
        surface->Release();
    }
    if (staging != NULL) {
        staging->Release();
    }
}

IDirect3DTexture9* textureAt(int n)
{
    if (textureList == NULL) {
        return NULL;
    }
    const TextureNode* node = textureList;
    for (int i = 0; i < n; ++i) {
        node = node->next != NULL ? node->next : textureList;
    }
    return node->deviceTexture;
}

void releaseTextures()
{
    TextureNode* node = textureList;
    while (node != NULL) {
        TextureNode* next = node->next;
        if (node->deviceTexture != NULL) {
            node->deviceTexture->Release();
        }
        releaseBlock(node);
        node = next;
    }
    textureList = NULL;
    endTextureScript();
}
