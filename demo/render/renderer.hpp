// The renderer's platform objects: the Direct3D object, the full-screen
// device with its back and depth buffers, the projection, the view matrix's
// storage, the letter-boxed viewport and the five fixed render states.
#pragma once

#include "d3d9.h"

struct Mat4;

extern IDirect3D9* direct3d;
extern IDirect3DDevice9* device;
extern Mat4* projectionMatrix; // fixed perspective, set once
extern Mat4* viewMatrix;       // rebuilt every frame from the camera

// Creates the device and sets it up, shader programs included; false when
// the Direct3D object or the device could not be made (and then nothing made
// here is left behind).
bool initRenderer();
void releaseRenderer();

// The device calls of the multisample choice, exposed for tests: the type
// that is checked for and asked for.
constexpr D3DMULTISAMPLE_TYPE RequestedMultisampleType = D3DMULTISAMPLE_4_SAMPLES;
