// demokit scene: the object table and camera as JSON, at start-up or after
// the animation has been evaluated at a list of elapsed times.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "anim/animation.hpp"
#include "command_line.hpp"
#include "json_output.hpp"
#include "scene/scene_object.hpp"
#include "startup_scene.hpp"
#include "subcommands.hpp"

namespace {

const char* const SceneDetails =
    "Prints the scene as start-up leaves it, as JSON: the object and vertex and\n"
    "index totals, the camera vectors, the description's read position and,\n"
    "per object, its kind, parent, transform, mesh parameters, counts and world\n"
    "matrix (16 numbers, row-major).";

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

Json vec3(Vec3 v)
{
    const float components[3] = {v.x, v.y, v.z};
    return jsonFloats(components, 3);
}

Json objectJson(std::int32_t index)
{
    const SceneObject& object = objectTable[index];
    Json json;
    json["index"] = std::int64_t{index};
    json["kind"] = kindName(object.kind);
    json["parent"] = std::int64_t{object.parent};
    json["position"] = vec3(object.position);
    json["rotation"] = vec3(object.rotation);
    json["size"] = vec3(object.size);
    json["detail"] = std::int64_t{object.detail};
    json["texture"] = std::int64_t{object.texture};
    json["drawable"] = object.drawable != 0;
    json["animated"] = object.animated != 0;
    json["vertexCount"] = std::int64_t{object.vertexCount};
    json["triangleCount"] = std::int64_t{object.triangleCount};
    json["world"] = jsonFloats(object.world.e, 16);
    return json;
}

Json sceneJson(bool summary)
{
    Json json;
    json["objectCount"] = std::int64_t{objectCount};
    json["totalVertexCount"] = std::int64_t{totalVertexCount};
    json["totalIndexCount"] = std::int64_t{totalIndexCount};
    json["cameraEye"] = vec3(cameraEye);
    json["cameraDirection"] = vec3(cameraDirection);
    json["cameraUp"] = vec3(cameraUp);
    json["sceneReadPos"] = std::int64_t{sceneReadPos};
    if (!summary) {
        Json& objects = json["objects"] = Json::array();
        for (std::int32_t i = 0; i < objectCount; ++i) {
            objects.push_back(objectJson(i));
        }
    }
    return json;
}

int runScene(const SceneOptions& options)
{
    buildStartupScene();
    for (std::int32_t now : options.frames) {
        evaluateAnimation(now);
    }
    writeJson(stdout, sceneJson(options.summary));
    releaseStartupScene();
    return 0;
}

} // namespace

void addSceneCommand(CLI::App& tool, CommandRun& run)
{
    auto options = std::make_shared<SceneOptions>();
    CLI::App* command = addCommand(tool, "scene", "The object table and camera after start-up (or after frames), as JSON.",
                                   SceneDetails);
    command->add_option("--frames", options->frames,
                        "evaluate the animation at these elapsed milliseconds, in this order, as successive "
                        "frames would, and print the state after the last one")
        ->delimiter(',')
        ->type_name("T1,T2,...");
    command->add_flag("--summary", options->summary, "leave out the per-object array");
    command->callback([options, &run] { run = [options] { return runScene(*options); }; });
}
