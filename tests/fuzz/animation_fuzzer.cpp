// The animation script loader and channel evaluation, over the stored scene:
// the script is the input, evaluated at a few times including both ends of
// the int32 range.
#include <cstdint>
#include <vector>

#include "anim/animation.hpp"
#include "data/embedded_data.hpp"
#include "fuzz_input.hpp"
#include "scene/scene_loader.hpp"
#include "scene/scene_object.hpp"
#include "scene/transform_hierarchy.hpp"

namespace {

// The stored scene, loaded once: loading it is not what is fuzzed here.
bool loadStoredScene()
{
    loadScene();
    buildUpdateOrder();
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool loaded = loadStoredScene();
    (void)loaded;
    FuzzInput input(data, size);
    const auto when = static_cast<std::int32_t>(input.u32());
    const std::vector<std::uint8_t> script = input.rest();
    animationScript = script.data();
    animationScriptSize = static_cast<std::int32_t>(script.size());
    loadAnimation();
    for (const std::int32_t now : {0, 40, when, 81640, INT32_MAX, INT32_MIN}) {
        evaluateAnimation(now);
    }
    freeAnimation();
    animationScript = embeddedAnimationScript;
    animationScriptSize = sizeof(embeddedAnimationScript);
    return 0;
}
