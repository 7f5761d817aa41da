// Transform hierarchy. The order is index order, except that an object's
// ancestors not yet listed are placed immediately before it, root first.
//
// A parent index outside the table counts as no parent, and a cycle of
// parents is broken where the walk up the chain meets an object it has
// already passed, so bad scene data cannot recurse without end.
#include "scene/transform_hierarchy.hpp"

#include "common/allocation.hpp"
#include "scene/scene_object.hpp"

namespace {

constexpr std::int32_t NoParentIndex = -1;

// Scratch of buildUpdateOrder: 1 for every object already in updateOrder (2
// while on the chain being walked), and the chain of ancestors being walked.
std::uint8_t* listedObjects = nullptr;
std::int32_t* ancestorChain = nullptr;

void appendToUpdateOrder(std::int32_t i)
{
    updateOrder[updateOrderCount] = i;
    updateOrderCount += 1;
    listedObjects[i] = 1;
    updateWorldMatrix(i);
}

} // namespace

std::int32_t parentIndexOf(std::int32_t i)
{
    const std::int32_t parent = objectTable[i].parent;
    if (parent == NoParent || parent < 0 || parent >= objectCount) {
        return NoParentIndex;
    }
    return parent;
}

void updateWorldMatrix(std::int32_t i)
{
    SceneObject& object = objectTable[i];
    Mat4 x, y, z;
    mat4RotationX(x, object.rotation.x);
    mat4RotationY(y, object.rotation.y);
    mat4RotationZ(z, object.rotation.z);
    object.world = mat4Multiply(x, y);
    mat4PreMultiply(object.world, z);
    object.world.e[12] = object.position.x;
    object.world.e[13] = object.position.y;
    object.world.e[14] = object.position.z;
    const std::int32_t parent = parentIndexOf(i);
    if (parent != NoParentIndex) {
        object.world = mat4Multiply(object.world, objectTable[parent].world);
    }
}

void addToUpdateOrder(std::int32_t i)
{
    if (listedObjects[i] != 0) {
        return;
    }
    // Walk up to the first ancestor that is listed or has no parent, marking
    // the chain so that a cycle ends the walk, then list the chain root first.
    std::int32_t length = 0;
    for (std::int32_t at = i; at != NoParentIndex && listedObjects[at] == 0; at = parentIndexOf(at)) {
        ancestorChain[length++] = at;
        listedObjects[at] = 2;
    }
    while (length > 0) {
        appendToUpdateOrder(ancestorChain[--length]);
    }
}

void buildUpdateOrder()
{
    updateOrderCount = 0;
    updateOrder = allocateZeroed<std::int32_t>(objectCount);
    listedObjects = allocateZeroed<std::uint8_t>(objectCount);
    ancestorChain = allocateZeroed<std::int32_t>(objectCount);
    for (std::int32_t i = 0; i < objectCount; ++i) {
        addToUpdateOrder(i);
    }
    releaseBlock(ancestorChain);
    releaseBlock(listedObjects);
}

void freeUpdateOrder()
{
    releaseBlock(updateOrder);
    updateOrderCount = 0;
}
