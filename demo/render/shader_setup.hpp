// The vertex declaration of the shared 48-byte vertex and the two shader
// programs, assembled from their texts at start-up by D3DXAssembleShader.
#pragma once

#include "d3d9.h"

extern IDirect3DVertexDeclaration9* vertexDeclaration;
extern IDirect3DVertexShader9* vertexShader; // NULL if its text failed to assemble
extern IDirect3DPixelShader9* pixelShader;   // likewise

// position, normal, tangent, colour, texture coordinate 1, end marker.
extern const D3DVERTEXELEMENT9 vertexElements[6];

// Needs the device. A program whose assembly fails is left NULL and the run
// goes on without it.
void createShaderPrograms();
// Releases the programs, then the declaration (each only if it was made).
void releaseShaderPrograms();
