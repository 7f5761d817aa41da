// The one vertex buffer and one index buffer that every mesh is drawn from.
// Drawable objects are packed in table order without gaps; each object's
// indices stay numbered from 0 and are drawn with its baseVertex.
#pragma once

#include "d3d9.h"

extern IDirect3DVertexBuffer9* vertexBuffer; // totalVertexCount x 48 bytes; NULL when that is 0
extern IDirect3DIndexBuffer9* indexBuffer;   // totalIndexCount x 2 bytes; NULL when that is 0

// The FVF code given at creation and set each frame (position, normal,
// diffuse colour, one texture coordinate); drawing uses the declaration.
constexpr DWORD MeshVertexFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1;

// Creates and fills both buffers and sets every drawable object's
// baseVertex and firstIndex.
void buildGeometryBuffers();
// Rewrites the whole vertex buffer from the objects' vertex arrays.
void uploadVertices();
void releaseGeometryBuffers();
