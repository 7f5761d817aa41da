// demokit scene: the object table and camera as JSON, at start-up or after
// the animation has been evaluated at a list of elapsed times.
#include <cstdio>
#include <string>
#include <vector>

#include "anim/animation.hpp"
#include "command_line.hpp"
#include "json_writer.hpp"
#include "scene/scene_object.hpp"
#include "startup_scene.hpp"
#include "subcommands.hpp"

namespace {

const char* const SceneHelp =
    "usage: demokit scene [--frames T1,T2,...] [--summary]\n"
    "\n"
    "Prints the scene as start-up leaves it, as JSON: the object and vertex and\n"
    "index totals, the camera vectors, the description's read position and,\n"
    "per object, its kind, parent, transform, mesh parameters, counts and world\n"
    "matrix (16 numbers, row-major).\n"
    "\n"
    "  --frames T1,T2,...  evaluate the animation at these elapsed milliseconds,\n"
    "                      in this order, as successive frames would, and print\n"
    "                      the state after the last one\n"
    "  --summary           leave out the per-object array\n";

struct SceneOptions {
    std::vector<std::int32_t> frames; // elapsed milliseconds to evaluate, in order
    bool summary = false;             // no per-object array
};

std::string kindName(ObjectKind kind)
{
    switch (kind) {
    case ObjectKind::Camera: return "Camera";
    case ObjectKind::Light: return "Light";
    case ObjectKind::StoredMesh: return "StoredMesh";
    case ObjectKind::Cube: return "Cube";
    case ObjectKind::CubeAlt: return "CubeAlt";
    case ObjectKind::Plane: return "Plane";
    case ObjectKind::BezierPatch: return "BezierPatch";
    }
    return "Unknown" + std::to_string(static_cast<int>(kind));
}

void writeVec3(JsonWriter& json, const char* name, Vec3 v)
{
    const float components[3] = {v.x, v.y, v.z};
    json.key(name);
    json.floats(components, 3);
}

void writeObject(JsonWriter& json, std::int32_t index)
{
    const SceneObject& object = objectTable[index];
    json.beginObject();
    json.field("index", std::int64_t{index});
    json.field("kind", kindName(object.kind));
    json.field("parent", std::int64_t{object.parent});
    writeVec3(json, "position", object.position);
    writeVec3(json, "rotation", object.rotation);
    writeVec3(json, "size", object.size);
    json.field("detail", std::int64_t{object.detail});
    json.field("texture", std::int64_t{object.texture});
    json.field("drawable", object.drawable != 0);
    json.field("animated", object.animated != 0);
    json.field("vertexCount", std::int64_t{object.vertexCount});
    json.field("triangleCount", std::int64_t{object.triangleCount});
    json.key("world");
    json.floats(object.world.e, 16);
    json.endObject();
}

void writeScene(JsonWriter& json, bool summary)
{
    json.beginObject();
    json.field("objectCount", std::int64_t{objectCount});
    json.field("totalVertexCount", std::int64_t{totalVertexCount});
    json.field("totalIndexCount", std::int64_t{totalIndexCount});
    writeVec3(json, "cameraEye", cameraEye);
    writeVec3(json, "cameraDirection", cameraDirection);
    writeVec3(json, "cameraUp", cameraUp);
    json.field("sceneReadPos", std::int64_t{sceneReadPos});
    if (!summary) {
        json.key("objects");
        json.beginArray();
        for (std::int32_t i = 0; i < objectCount; ++i) {
            writeObject(json, i);
        }
        json.endArray();
    }
    json.endObject();
    json.finish();
}

SceneOptions parseSceneOptions(Arguments& args)
{
    SceneOptions options;
    while (!args.empty()) {
        const std::string argument = args.take();
        if (argument == "--frames") {
            options.frames = parseInt32List(args.takeValue(argument), "frame time");
        } else if (argument == "--summary") {
            options.summary = true;
        } else {
            throw UsageError("scene: unknown argument '" + argument + "'");
        }
    }
    return options;
}

} // namespace

int runSceneCommand(Arguments& args)
{
    if (args.asksForHelp()) {
        std::fputs(SceneHelp, stdout);
        return 0;
    }
    const SceneOptions options = parseSceneOptions(args);
    buildStartupScene();
    for (std::int32_t now : options.frames) {
        evaluateAnimation(now);
    }
    JsonWriter json(stdout);
    writeScene(json, options.summary);
    releaseStartupScene();
    return 0;
}
