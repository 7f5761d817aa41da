// WinMain: start-up, the frame loop and shutdown, in their fixed order.
// One thread; the frame rate is set by the device's one-retrace Present.
#include "app/main_loop.hpp"

#include "anim/animation.hpp"
#include "app/window.hpp"
#include "data/embedded_data.hpp"
#include "math/matrix.hpp"
#include "math/vector.hpp"
#include "music/song_reader.hpp"
#include "render/frame_matrices.hpp"
#include "render/frame_rendering.hpp"
#include "render/geometry_buffers.hpp"
#include "render/renderer.hpp"
#include "scene/scene_loader.hpp"
#include "scene/scene_object.hpp"
#include "scene/transform_hierarchy.hpp"
#include "texgen/texture_list.hpp"
#include "windows.h"

std::uint32_t cullMode;
std::uint32_t fillMode;
std::uint32_t startTime;
std::int32_t elapsedMs;

void initRenderSettings()
{
    cullMode = D3DCULL_CW;
    fillMode = D3DFILL_SOLID;
}

void buildViewMatrix()
{
    lookAtCamera(*viewMatrix);
}

namespace {

void showBlankFrame()
{
    device->Clear(0, NULL, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    device->BeginScene();
    device->EndScene();
    device->Present(NULL, NULL, NULL, NULL);
}

// Generation, all before the clock starts, so that the animation begins
// with the first frame.
void buildWorld()
{
    loadScene();
    buildTextures();
    buildGeometryBuffers();
    loadAnimation();
    buildUpdateOrder();
}

void runFrames()
{
    std::uint32_t message = 0;
    do {
        message = pumpMessage();
        // Unsigned difference: the counter's wrap cancels out.
        elapsedMs = static_cast<std::int32_t>(timeGetTime() - startTime);
        evaluateAnimation(elapsedMs);
        buildViewMatrix();
        renderFrame();
    } while (message != WM_QUIT); // the frame that took the quit is still drawn
}

void shutDown()
{
    Sleep(35);
    releaseSong();
    freeAnimation();
    releaseGeometryBuffers();
    releaseTextures();
    freeUpdateOrder();
    freeScene();
    releaseRenderer();
    shutdownWindow();
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    initRenderSettings();
    initWindow();
    if (!initRenderer()) {
        shutdownWindow();
        return 0;
    }
    readSong(embeddedSong, sizeof embeddedSong);
    SetCursor(NULL);
    showBlankFrame();
    Sleep(25);
    buildWorld();
    startTime = timeGetTime();
    runFrames();
    shutDown();
    return 0;
}
