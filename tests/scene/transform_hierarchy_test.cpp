#include <gtest/gtest.h>

#include <algorithm>

#include "support/scene_fixture.hpp"

namespace {

using TransformHierarchy = SceneFixture;

std::vector<std::int32_t> currentOrder()
{
    return std::vector<std::int32_t>(updateOrder, updateOrder + updateOrderCount);
}

TEST_F(TransformHierarchy, ancestorsComeFirstAndEveryObjectOnce)
{
    makeTable(3);
    objectTable[0].parent = 2;
    buildUpdateOrder();
    EXPECT_EQ(currentOrder(), (std::vector<std::int32_t>{2, 0, 1}));
    freeUpdateOrder();
    freeScene();

    // A chain listed child-first, and a parent with several children.
    makeTable(5);
    objectTable[0].parent = 1;
    objectTable[1].parent = 4;
    objectTable[2].parent = 4;
    objectTable[3].parent = 4;
    buildUpdateOrder();
    EXPECT_EQ(currentOrder(), (std::vector<std::int32_t>{4, 1, 0, 2, 3}));
}

TEST_F(TransformHierarchy, worldMatrixTurnsAboutZThenXThenYThenTranslates)
{
    makeTable(1);
    SceneObject& object = objectTable[0];
    object.rotation = {0.4f, -1.1f, 0.7f};
    object.position = {1.0f, 2.0f, 3.0f};
    buildUpdateOrder();
    Mat4 x, y, z;
    mat4RotationX(x, 0.4f);
    mat4RotationY(y, -1.1f);
    mat4RotationZ(z, 0.7f);
    const Mat4 expected = mat4Multiply(z, mat4Multiply(x, y));
    for (int k = 0; k < 12; ++k) {
        EXPECT_NEAR(object.world.e[k], expected.e[k], 1e-7f) << "element " << k;
    }
    EXPECT_EQ(object.world.e[12], 1.0f);
    EXPECT_EQ(object.world.e[13], 2.0f);
    EXPECT_EQ(object.world.e[14], 3.0f);
    EXPECT_EQ(object.world.e[15], 1.0f);

    // Rotation about z alone is exactly mat4RotationZ.
    object.rotation = {0.0f, 0.0f, 0.7f};
    updateWorldMatrix(0);
    for (int k = 0; k < 12; ++k) {
        EXPECT_EQ(object.world.e[k], z.e[k]) << "element " << k;
    }
}

TEST_F(TransformHierarchy, childCombinesItsLocalMatrixWithItsParentsWorld)
{
    makeTable(2);
    objectTable[0].parent = 1; // child listed before its parent
    objectTable[0].position = {1.0f, 0.0f, 0.0f};
    objectTable[1].rotation = {0.0f, 0.0f, 1.57079637f};
    objectTable[1].position = {10.0f, 0.0f, 0.0f};
    buildUpdateOrder();
    EXPECT_NEAR(objectTable[0].world.e[12], 10.0f, 1e-6f);
    EXPECT_NEAR(objectTable[0].world.e[13], 1.0f, 1e-6f);
}

TEST_F(TransformHierarchy, badParentsEndTheWalkInsteadOfRecursing)
{
    // 0 and 1 are each other's parent, 2 is its own, 3 names an object
    // outside the table: all are listed once and get finite matrices.
    makeTable(4);
    objectTable[0].parent = 1;
    objectTable[1].parent = 0;
    objectTable[2].parent = 2;
    objectTable[3].parent = 4; // the object count itself: one past the table
    objectTable[3].position = {5.0f, 0.0f, 0.0f};
    buildUpdateOrder();
    std::vector<std::int32_t> order = currentOrder();
    std::sort(order.begin(), order.end());
    EXPECT_EQ(order, (std::vector<std::int32_t>{0, 1, 2, 3}));
    EXPECT_EQ(objectTable[3].world.e[12], 5.0f);
    EXPECT_EQ(objectTable[3].world.e[0], 1.0f);
    evaluateAnimation(0); // the per-frame walk copes with them as well
}

TEST_F(TransformHierarchy, worldStaysZeroUntilTheFirstOrdering)
{
    makeTable(1);
    for (float element : objectTable[0].world.e) {
        EXPECT_EQ(element, 0.0f);
    }
    buildUpdateOrder();
    EXPECT_EQ(objectTable[0].world.e[0], 1.0f);
}

} // namespace
