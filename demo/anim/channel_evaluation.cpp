// Per-frame channel evaluation. A channel waits while now is before its first
// key, runs (writing its field every frame) until now reaches its last key,
// and is then switched off without writing the last key's value. Objects that
// moved, and all their descendants, get new world matrices in update order.
#include <cstdint>

#include "anim/animation.hpp"
#include "anim/bernstein.hpp"
#include "scene/scene_loader.hpp"
#include "scene/scene_object.hpp"
#include "scene/transform_hierarchy.hpp"

namespace {

// The position or rotation component that channel c drives.
float& channelField(SceneObject& object, std::int32_t c)
{
    Vec3& target = c < RotationX ? object.position : object.rotation;
    return vec3Component(target, c % 3);
}

// Differences of key times are taken as int32 with wrap-around, so extreme
// times cannot overflow.
std::int32_t wrappingDifference(std::int32_t a, std::int32_t b)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}

void evaluateChannel(SceneObject& object, std::int32_t c, std::int32_t now)
{
    const AnimKey* keys = object.keys[c];
    const std::int32_t first = keys[0].time;
    const std::int32_t last = keys[object.keyCount[c] - 1].time;
    if (now < first) {
        return;
    }
    if (now >= last) {
        object.channelActive[c] = 0;
        return;
    }
    object.changed = 1;
    const double elapsed = wrappingDifference(now, first);
    const double span = wrappingDifference(last, first);
    const float t = static_cast<float>(elapsed / span);
    const auto degree = static_cast<std::uint8_t>(object.keyCount[c] - 1);
    channelField(object, c) = bezierValue(keys, degree, t);
}

// Flags every later object in update order whose parent has been flagged.
void markDescendantsChanged(std::int32_t fromOrderIndex)
{
    for (std::int32_t j = fromOrderIndex + 1; j < objectCount; ++j) {
        const std::int32_t parent = parentIndexOf(updateOrder[j]);
        if (parent >= 0 && objectTable[parent].changed == 1) {
            objectTable[updateOrder[j]].changed = 1;
        }
    }
}

} // namespace

float bezierValue(const AnimKey* keys, std::uint8_t n, float t)
{
    float sum = 0.0f;
    for (std::int32_t i = 0; i <= n; ++i) {
        const double weight = bernsteinBasis(n, static_cast<std::uint8_t>(i), t);
        sum = static_cast<float>(sum + weight * keys[i].value);
    }
    return sum;
}

void evaluateAnimation(std::int32_t now)
{
    for (std::int32_t k = 0; k < objectCount; ++k) {
        const std::int32_t index = updateOrder[k];
        SceneObject& object = objectTable[index];
        if (object.animated == 1) {
            for (std::int32_t c = 0; c < ChannelCount; ++c) {
                if (object.channelActive[c] != 0) {
                    evaluateChannel(object, c, now);
                }
            }
        }
        if (object.changed == 1) {
            if (object.kind == ObjectKind::Camera) {
                updateCameraVectors(object);
            }
            updateWorldMatrix(index);
            markDescendantsChanged(k);
        }
        object.changed = 0;
    }
}
