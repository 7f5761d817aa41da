// The spine of the program: WinMain's start-up order, the frame loop with
// its clock, the view matrix built from the camera, and the shutdown order.
#pragma once

#include <cstdint>

// Render settings applied by initRenderer: D3DCULL_CW (2), D3DFILL_SOLID (3).
extern std::uint32_t cullMode;
extern std::uint32_t fillMode;
// timeGetTime after the last start-up step.
extern std::uint32_t startTime;
// The animation clock of the current frame: milliseconds since startTime,
// taken modulo 2^32 so that the counter's wrap does not disturb it.
extern std::int32_t elapsedMs;

void initRenderSettings();
// A left-handed look-at from cameraEye along cameraDirection with cameraUp,
// in single precision, into viewMatrix.
void buildViewMatrix();
