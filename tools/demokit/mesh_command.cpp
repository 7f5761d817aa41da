// demokit mesh N: one object's mesh, as the start-up pipeline leaves it, as
// Wavefront OBJ (positions, normals, texture coordinates, faces) or as JSON
// with every vertex field and the index list.
#include <cctype>
#include <cstdio>
#include <memory>
#include <string>

#include "command_line.hpp"
#include "json_output.hpp"
#include "scene/scene_object.hpp"
#include "startup_scene.hpp"
#include "subcommands.hpp"

namespace {

const char* const MeshDetails =
    "Writes the mesh of object N of the loaded scene (0 is the first object of\n"
    "the scene description; the text cubes follow the description's objects)\n"
    "as Wavefront OBJ: v (position), vn (normal), vt (u, v) and f lines, in the\n"
    "mesh's own vertex and index order.";

struct MeshOptions {
    std::int32_t object = -1; // table index of the object
    bool json = false;        // JSON instead of OBJ
    std::string outPath;      // empty: standard output
};

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

void writeObj(std::FILE* out, const SceneObject& object, std::int32_t index)
{
    std::fprintf(out, "# object %d: %d vertices, %d triangles\n", index, object.vertexCount,
                 object.triangleCount);
    std::fprintf(out, "# each face lists its corners in index order; it faces along "
                      "cross(P2 - P0, P1 - P0)\n");
    auto print3 = [out](const char* tag, Vec3 v) {
        std::fprintf(out, "%s %s %s %s\n", tag, formatFloat(v.x).c_str(), formatFloat(v.y).c_str(),
                     formatFloat(v.z).c_str());
    };
    for (std::int32_t k = 0; k < object.vertexCount; ++k) {
        print3("v", object.vertices[k].position);
    }
    for (std::int32_t k = 0; k < object.vertexCount; ++k) {
        print3("vn", object.vertices[k].normal);
    }
    for (std::int32_t k = 0; k < object.vertexCount; ++k) {
        std::fprintf(out, "vt %s %s\n", formatFloat(object.vertices[k].u).c_str(),
                     formatFloat(object.vertices[k].v).c_str());
    }
    for (std::int32_t t = 0; t < object.triangleCount; ++t) {
        std::fputs("f", out);
        for (int corner = 0; corner < 3; ++corner) {
            const int number = object.indices[3 * t + corner] + 1; // OBJ counts from 1
            std::fprintf(out, " %d/%d/%d", number, number, number);
        }
        std::fputs("\n", out);
    }
}

Json vertexJson(const MeshVertex& vertex)
{
    auto vec3 = [](Vec3 v) {
        const float components[3] = {v.x, v.y, v.z};
        return jsonFloats(components, 3);
    };
    Json json;
    json["position"] = vec3(vertex.position);
    json["normal"] = vec3(vertex.normal);
    json["tangent"] = vec3(vertex.tangent);
    json["color"] = std::int64_t{vertex.color};
    json["u"] = vertex.u;
    json["v"] = vertex.v;
    return json;
}

void writeMeshJson(std::FILE* out, const SceneObject& object, std::int32_t index)
{
    Json json;
    json["index"] = std::int64_t{index};
    json["vertexCount"] = std::int64_t{object.vertexCount};
    json["triangleCount"] = std::int64_t{object.triangleCount};
    Json& vertices = json["vertices"] = Json::array();
    for (std::int32_t k = 0; k < object.vertexCount; ++k) {
        vertices.push_back(vertexJson(object.vertices[k]));
    }
    Json& indices = json["indices"] = Json::array();
    for (std::int32_t k = 0; k < 3 * object.triangleCount; ++k) {
        indices.push_back(std::int64_t{object.indices[k]});
    }
    writeJson(out, json);
}

void writeMesh(const MeshOptions& options)
{
    if (options.object < 0 || options.object >= objectCount) {
        throw UsageError("mesh: object " + std::to_string(options.object) +
                         " is not in the scene (0 to " + std::to_string(objectCount - 1) + ")");
    }
    const SceneObject& object = objectTable[options.object];
    if (object.drawable == 0) {
        throw UsageError("mesh: object " + std::to_string(options.object) + " has no mesh");
    }
    FileHandle file;
    std::FILE* out = stdout;
    if (!options.outPath.empty()) {
        file.reset(std::fopen(options.outPath.c_str(), "w"));
        if (!file) {
            throw ToolError("mesh: cannot write '" + options.outPath + "'");
        }
        out = file.get();
    }
    if (options.json) {
        writeMeshJson(out, object, options.object);
    } else {
        writeObj(out, object, options.object);
    }
    if (std::ferror(out) != 0 || std::fflush(out) != 0) {
        throw ToolError("mesh: writing '" + (options.outPath.empty() ? "stdout" : options.outPath) +
                        "' failed");
    }
}

int runMesh(const MeshOptions& options)
{
    buildStartupScene();
    try {
        writeMesh(options);
    } catch (...) {
        releaseStartupScene();
        throw;
    }
    releaseStartupScene();
    return 0;
}

} // namespace

void addMeshCommand(CLI::App& tool, CommandRun& run)
{
    auto options = std::make_shared<MeshOptions>();
    CLI::App* command = addCommand(tool, "mesh", "One object's mesh as Wavefront OBJ or JSON.", MeshDetails);
    command->add_option("N", options->object, "the object's number in the scene")->required();
    command->add_flag("--json", options->json,
                      "print the vertices (position, normal, tangent, color, u, v) and the indices as JSON instead");
    command->add_option("--out", options->outPath, "write to FILE instead of standard output")->type_name("FILE");
    command->callback([options, &run] { run = [options] { return runMesh(*options); }; });
}
