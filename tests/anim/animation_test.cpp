#include <gtest/gtest.h>

#include <limits>

#include "anim/animation.hpp"
#include "math/random.hpp"
#include "support/scene_fixture.hpp"

namespace {

class Animation : public SceneFixture {
protected:
    // Loads script into a table of count objects and orders it.
    void load(const ByteStream& script, std::int32_t count)
    {
        useAnimationScript(script);
        makeTable(count);
        loadAnimation();
        buildUpdateOrder();
    }

    void loadStored(std::int32_t count)
    {
        makeTable(count);
        objectTable[0].kind = ObjectKind::Camera;
        objectTable[0].position = {369.608734f, 2.24288607f, -15.5746002f};
        loadAnimation();
        buildUpdateOrder();
    }
};

TEST_F(Animation, storedScriptGivesTheCameraOneCubicChannel)
{
    loadStored(3);
    const SceneObject& camera = objectTable[0];
    EXPECT_EQ(camera.animated, 1);
    EXPECT_EQ(camera.channelActive[PositionX], 1);
    for (int c = 1; c < ChannelCount; ++c) {
        EXPECT_EQ(camera.channelActive[c], 0);
    }
    ASSERT_EQ(camera.keyCount[PositionX], 4);
    const AnimKey expected[4] = {
        {40, -0.651315689f}, {28160, -0.651315689f}, {53520, 2524.48486f}, {81640, 2524.48486f}};
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(camera.keys[PositionX][k].time, expected[k].time);
        EXPECT_EQ(camera.keys[PositionX][k].value, expected[k].value);
    }
    EXPECT_EQ(objectTable[1].animated, 0);
    EXPECT_EQ(objectTable[2].animated, 0);
}

TEST_F(Animation, storedCameraFollowsItsCurveAndHoldsTheLastFrameValue)
{
    loadStored(3);
    SceneObject& camera = objectTable[0];
    const struct {
        std::int32_t now;
        float x;
    } frames[] = {
        {39, 369.608734f},  {40, -0.651315689f}, {20440, 393.901215f}, {40840, 1261.91675f},
        {61240, 2129.93237f}, {81639, 2524.48462f}, {81640, 2524.48462f}, {90000, 2524.48462f},
    };
    for (const auto& frame : frames) {
        evaluateAnimation(frame.now);
        EXPECT_EQ(camera.position.x, frame.x) << "at " << frame.now << " ms";
        EXPECT_EQ(camera.changed, 0);
    }
    EXPECT_EQ(camera.channelActive[PositionX], 0);
    EXPECT_EQ(cameraEye.x, 2524.48462f);
    EXPECT_EQ(camera.world.e[12], 2524.48462f);
}

TEST_F(Animation, oneKeyChannelsAndReversedTimesNeverWriteTheirField)
{
    ByteStream script;
    script.byte(0x01).byte(0).byte(0xfe).byte(1).key(10, 5.0f);      // PositionY, one key
    script.byte(0xfd).byte(2).key(20, 1.0f).key(5, 2.0f).byte(0x00); // PositionZ, last < first
    load(script, 1);
    SceneObject& object = objectTable[0];
    evaluateAnimation(399);
    evaluateAnimation(400);
    EXPECT_EQ(object.position.y, 0.0f);
    EXPECT_EQ(object.channelActive[PositionY], 0);
    EXPECT_EQ(object.channelActive[PositionZ], 1);
    evaluateAnimation(800);
    EXPECT_EQ(object.position.z, 0.0f);
    EXPECT_EQ(object.channelActive[PositionZ], 0);
}

TEST_F(Animation, rotationChannelsDriveTheMatchingComponent)
{
    ByteStream script;
    script.byte(0x01).byte(1).byte(0xfb).byte(2).key(0, 0.0f).key(10, 4.0f).byte(0x00);
    load(script, 2);
    evaluateAnimation(100); // t = 0.25 on a straight line from 0 to 4
    EXPECT_EQ(objectTable[1].rotation.y, 1.0f);
    EXPECT_EQ(objectTable[1].rotation.x, 0.0f);
    EXPECT_EQ(objectTable[1].position.y, 0.0f);
}

TEST_F(Animation, tokensWithoutChannelsAndScriptsWithoutObjectsLoadNothingElse)
{
    ByteStream script;
    script.byte(0x01).byte(0).byte(0x01).byte(2).byte(0x00);
    load(script, 3);
    EXPECT_EQ(objectTable[0].animated, 1);
    EXPECT_EQ(objectTable[1].animated, 0);
    EXPECT_EQ(objectTable[2].animated, 1);
    for (int c = 0; c < ChannelCount; ++c) {
        EXPECT_EQ(objectTable[0].channelActive[c], 0);
        EXPECT_EQ(objectTable[2].channelActive[c], 0);
    }
    freeAnimation();
    freeUpdateOrder();
    freeScene();

    ByteStream empty;
    empty.byte(0x00).byte(0x01).byte(0);
    load(empty, 1);
    EXPECT_EQ(objectTable[0].animated, 0);
}

TEST_F(Animation, keyTimesBecomeMillisecondsAndSaturateOutsideInt32)
{
    ByteStream script;
    script.byte(0x01).byte(0).byte(0xff).byte(4);
    script.key(-1, 0.0f).key(std::numeric_limits<std::int32_t>::max(), 0.0f);
    script.key(std::numeric_limits<std::int32_t>::min(), 0.0f).key(53687091, 0.0f).byte(0x00);
    load(script, 1);
    const AnimKey* keys = objectTable[0].keys[PositionX];
    EXPECT_EQ(keys[0].time, -40);
    EXPECT_EQ(keys[1].time, std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(keys[2].time, std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(keys[3].time, 2147483640);
}

TEST_F(Animation, badRecordsAreSkippedWithoutReadingPastTheScript)
{
    // Object 9 is outside a table of 2: its channel is read and dropped. A
    // channel with no keys stays off and replaces the earlier record (whose
    // keys are released). Code 0x80 is no channel: loading stops there.
    ByteStream script;
    script.byte(0x01).byte(9).byte(0xff).byte(1).key(1, 1.0f);
    script.byte(0x01).byte(0).byte(0xff).byte(2).key(0, 1.0f).key(10, 2.0f);
    script.byte(0xff).byte(0);
    script.byte(0xfe).byte(1).key(0, 3.0f);
    script.byte(0x80).byte(0xfd).byte(1).key(0, 4.0f);
    load(script, 2);
    const SceneObject& object = objectTable[0];
    EXPECT_EQ(object.channelActive[PositionX], 0);
    EXPECT_EQ(object.keyCount[PositionX], 0);
    EXPECT_EQ(object.keys[PositionX], nullptr);
    EXPECT_EQ(object.channelActive[PositionY], 1);
    EXPECT_EQ(object.channelActive[PositionZ], 0);
    evaluateAnimation(1000); // the off channel must not be read
    freeAnimation();
    freeUpdateOrder();
    freeScene();

    // A script cut off inside a key list loads the records before it.
    ByteStream cut;
    cut.byte(0x01).byte(0).byte(0xfa).byte(1).key(0, 1.0f).byte(0xff).byte(3).key(0, 1.0f);
    load(cut, 1);
    EXPECT_EQ(objectTable[0].channelActive[RotationZ], 1);
    EXPECT_EQ(objectTable[0].channelActive[PositionX], 0);
}

TEST_F(Animation, laterRecordOfTheSameChannelWins)
{
    ByteStream script;
    script.byte(0x01).byte(0).byte(0xff).byte(1).key(0, 1.0f);
    script.byte(0xff).byte(2).key(0, 7.0f).key(1, 8.0f).byte(0x00);
    load(script, 1);
    ASSERT_EQ(objectTable[0].keyCount[PositionX], 2);
    EXPECT_EQ(objectTable[0].keys[PositionX][0].value, 7.0f);
}

TEST_F(Animation, movedParentsRenewTheirDescendantsInTheSameFrame)
{
    // 0 <- 1 <- 2: only the root is animated; its grandchild follows it.
    ByteStream script;
    script.byte(0x01).byte(0).byte(0xff).byte(2).key(0, 0.0f).key(10, 8.0f).byte(0x00);
    useAnimationScript(script);
    makeTable(4);
    objectTable[1].parent = 0;
    objectTable[1].position = {0.0f, 1.0f, 0.0f};
    objectTable[2].parent = 1;
    objectTable[2].position = {0.0f, 0.0f, 1.0f};
    loadAnimation();
    buildUpdateOrder();
    evaluateAnimation(200); // root x = 4
    EXPECT_EQ(objectTable[2].world.e[12], 4.0f);
    EXPECT_EQ(objectTable[2].world.e[13], 1.0f);
    EXPECT_EQ(objectTable[2].world.e[14], 1.0f);
    EXPECT_EQ(objectTable[3].world.e[12], 0.0f);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(objectTable[i].changed, 0);
    }
}

TEST_F(Animation, cameraWithAMovingParentKeepsItsOwnView)
{
    ByteStream script;
    script.byte(0x01).byte(0).byte(0xfe).byte(2).key(0, 0.0f).key(10, 8.0f).byte(0x00);
    useAnimationScript(script);
    makeTable(2);
    objectTable[1].kind = ObjectKind::Camera;
    objectTable[1].parent = 0;
    objectTable[1].position = {1.0f, 2.0f, 3.0f};
    loadAnimation();
    buildUpdateOrder();
    evaluateAnimation(200);
    EXPECT_TRUE(vec3Equal(cameraEye, {1.0f, 2.0f, 3.0f}));
    EXPECT_TRUE(vec3Equal(cameraDirection, {0.0f, -1.0f, 0.0f}));
    EXPECT_TRUE(vec3Equal(cameraUp, {0.0f, 0.0f, 1.0f}));
    EXPECT_EQ(objectTable[1].world.e[13], 6.0f); // its world matrix does follow
}

TEST_F(Animation, waitingOrFinishedCameraLeavesTheCameraVectorsAlone)
{
    loadStored(1);
    cameraEye = {9.0f, 9.0f, 9.0f};
    evaluateAnimation(0);
    EXPECT_TRUE(vec3Equal(cameraEye, {9.0f, 9.0f, 9.0f}));
}

} // namespace

// The stored scene at an arbitrary frame, 12,345 ms after the first: the
// camera's vectors and the light's and a cube's placement, to the bit.
TEST_F(Animation, storedSceneAtAnArbitraryTimeIsPinned)
{
    randomSeed = 1; // as at the program's start
    loadScene();
    loadAnimation();
    buildUpdateOrder();
    evaluateAnimation(0);
    evaluateAnimation(12345);
    auto expectVec3 = [](Vec3 v, float x, float y, float z, const char* what) {
        EXPECT_EQ(v.x, x) << what;
        EXPECT_EQ(v.y, y) << what;
        EXPECT_EQ(v.z, z) << what;
    };
    expectVec3(cameraEye, 154.292831f, 2.24288607f, -15.5746002f, "eye");
    expectVec3(cameraDirection, -0.0266043991f, -0.21152924f, 0.977009535f, "direction");
    expectVec3(cameraUp, -0.0011516239f, 0.977361321f, 0.211574048f, "up");
    expectVec3(objectTable[0].rotation, -1.35753655f, -0.0262487251f, -0.00450521987f, "camera rotation");
    expectVec3(objectTable[1].position, 4.07624531f, 1.25450563f, 1.00545394f, "light");
    const float* cube = objectTable[2].world.e;
    expectVec3({cube[12], cube[13], cube[14]}, -0.919519544f, -4.03454065f, -3.23937035f, "cube translation");
}
