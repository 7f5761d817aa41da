// Test support: a small hand-made object table in the process-wide scene
// state, released (keys, order, meshes, table) when the fixture ends.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "anim/animation.hpp"
#include "common/allocation.hpp"
#include "data/embedded_data.hpp"
#include "scene/scene_description.hpp"
#include "scene/scene_loader.hpp"
#include "scene/scene_object.hpp"
#include "scene/transform_hierarchy.hpp"
#include "scroller/cube_text.hpp"

// Little-endian byte streams for scripts and descriptions.
class ByteStream {
public:
    ByteStream& byte(std::uint8_t value)
    {
        bytes_.push_back(value);
        return *this;
    }
    ByteStream& u16(std::uint16_t value)
    {
        return byte(value & 0xff).byte(value >> 8);
    }
    ByteStream& u32(std::uint32_t value)
    {
        for (int shift = 0; shift < 32; shift += 8) {
            byte(static_cast<std::uint8_t>(value >> shift));
        }
        return *this;
    }
    ByteStream& i32(std::int32_t value) { return u32(static_cast<std::uint32_t>(value)); }
    ByteStream& f32(float value)
    {
        std::uint32_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        return u32(bits);
    }
    ByteStream& vec3(Vec3 v) { return f32(v.x).f32(v.y).f32(v.z); }
    // One animation key: time in 40 ms units, then the value.
    ByteStream& key(std::int32_t units, float value) { return i32(units).f32(value); }

    const std::uint8_t* data() const { return bytes_.data(); }
    std::int32_t size() const { return static_cast<std::int32_t>(bytes_.size()); }

private:
    std::vector<std::uint8_t> bytes_;
};

// Puts every input of the scene back to the embedded data on both ends of a
// test, and releases whatever the test built.
class SceneFixture : public ::testing::Test {
protected:
    void SetUp() override { restoreInputs(); }

    void TearDown() override
    {
        if (objectTable != nullptr) {
            freeAnimation();
            freeUpdateOrder();
            freeScene();
        }
        restoreInputs();
    }

    // A table of count zero-filled objects without parents.
    void makeTable(std::int32_t count)
    {
        objectCount = count;
        objectTable = allocateZeroed<SceneObject>(count);
        for (std::int32_t i = 0; i < count; ++i) {
            objectTable[i].parent = NoParent;
        }
    }

    void useAnimationScript(const ByteStream& script)
    {
        animationScript = script.data();
        animationScriptSize = script.size();
    }

    void useSceneDescription(const ByteStream& description, std::int32_t count)
    {
        sceneDescription = description.data();
        sceneDescriptionSize = description.size();
        objectCount = count;
    }

private:
    static void restoreInputs()
    {
        animationScript = embeddedAnimationScript;
        animationScriptSize = sizeof(embeddedAnimationScript);
        sceneDescription = embeddedSceneDescription;
        sceneDescriptionSize = sizeof(embeddedSceneDescription);
        scrollMessage = embeddedScrollMessage;
        objectCount = EmbeddedSceneObjectCount;
        sceneReadPos = 0;
        totalVertexCount = 0;
        totalIndexCount = 0;
        cameraEye = cameraDirection = cameraUp = {0.0f, 0.0f, 0.0f};
    }
};
