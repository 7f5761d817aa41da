// The scene description loader with its mesh generators: the first byte is
// the described object count (up to 7), the rest the description, with
// every size and detail as the bytes give them. The text wall's message is
// fixed data, so a short one stands in for it: the loader still appends its
// cubes, without spending each run on 3,616 of them.
#include <cstdint>

#include "anim/animation.hpp"
#include "data/embedded_data.hpp"
#include "fuzz_input.hpp"
#include "math/random.hpp"
#include "scene/scene_description.hpp"
#include "scene/scene_loader.hpp"
#include "scene/scene_object.hpp"
#include "scene/transform_hierarchy.hpp"
#include "scroller/cube_text.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzInput input(data, size);
    const std::int32_t count = input.byte() % 8;
    const std::vector<std::uint8_t> description = input.rest();
    sceneDescription = description.data();
    sceneDescriptionSize = static_cast<std::int32_t>(description.size());
    objectCount = count;
    sceneReadPos = 0;
    totalVertexCount = 0;
    totalIndexCount = 0;
    randomSeed = 1;
    scrollMessage = "ab";
    loadScene();
    buildUpdateOrder();
    freeUpdateOrder();
    freeScene();
    sceneDescription = embeddedSceneDescription;
    sceneDescriptionSize = sizeof(embeddedSceneDescription);
    scrollMessage = embeddedScrollMessage;
    return 0;
}
