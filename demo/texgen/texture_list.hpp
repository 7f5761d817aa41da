// The texture list: every texture of the script as a Direct3D texture, in
// script order. Pixels are built in system memory and reach the
// default-pool texture through one UpdateTexture each.
#pragma once

#include "d3d9.h"

struct TextureNode {
    IDirect3DTexture9* deviceTexture; // one reference, owned by the node; NULL if the device refused it
    TextureNode* next;                // following node, or NULL
};

extern TextureNode* textureList; // head, NULL when the script has no texture

// Creates and fills every texture; returns the head. Needs the device.
TextureNode* buildTextures();
// Builds the texture that begins at the script cursor into destination; on
// return the cursor stands on that texture's EndTexture byte.
void generateTexture(IDirect3DTexture9* destination);
// Entry n mod count (n <= 0 gives the head): number 1 is the script's second
// texture, the number equal to the count its first. NULL for an empty list.
IDirect3DTexture9* textureAt(int n);
// Releases every texture and node, then the layer.
void releaseTextures();
