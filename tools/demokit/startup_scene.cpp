#include "startup_scene.hpp"

#include "anim/animation.hpp"
#include "scene/scene_loader.hpp"
#include "scene/transform_hierarchy.hpp"

void buildStartupScene()
{
    loadScene();
    loadAnimation();
    buildUpdateOrder();
}

void releaseStartupScene()
{
    freeAnimation();
    freeUpdateOrder();
    freeScene();
}
