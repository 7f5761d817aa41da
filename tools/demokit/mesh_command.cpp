// demokit mesh N: one object's mesh, as the start-up pipeline leaves it, as
// Wavefront OBJ (positions, normals, texture coordinates, faces) or as JSON
// with every vertex field and the index list.
#include <cctype>
#include <cstdio>
#include <memory>
#include <string>

#include "command_line.hpp"
#include "json_writer.hpp"
#include "scene/scene_object.hpp"
#include "startup_scene.hpp"
#include "subcommands.hpp"

namespace {

const char* const MeshHelp =
    "usage: demokit mesh N [--json] [--out FILE]\n"
    "\n"
    "Writes the mesh of object N of the loaded scene (0 is the first object of\n"
    "the scene description; the text cubes follow the description's objects)\n"
    "as Wavefront OBJ: v (position), vn (normal), vt (u, v) and f lines, in the\n"
    "mesh's own vertex and index order.\n"
    "\n"
    "  --json      print the vertices (position, normal, tangent, color, u, v)\n"
    "              and the indices as JSON instead\n"
    "  --out FILE  write to FILE instead of standard output\n";

struct MeshOptions {
    std::int32_t object = -1; // table index of the object
    bool json = false;        // JSON instead of OBJ
    std::string outPath;      // empty: standard output
};

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

MeshOptions parseMeshOptions(Arguments& args)
{
    MeshOptions options;
    bool haveObject = false;
    while (!args.empty()) {
        const std::string argument = args.take();
        if (argument == "--json") {
            options.json = true;
        } else if (argument == "--out") {
            options.outPath = args.takeValue(argument);
        } else if (!argument.empty() && argument[0] == '-' && argument.size() > 1 &&
                   !std::isdigit(static_cast<unsigned char>(argument[1]))) {
            throw UsageError("mesh: unknown option '" + argument + "'");
        } else if (!haveObject) {
            options.object = parseInt32(argument, "object number");
            haveObject = true;
        } else {
            throw UsageError("mesh: more than one object number given");
        }
    }
    if (!haveObject) {
        throw UsageError("mesh: an object number is required (see demokit mesh --help)");
    }
    return options;
}

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

void writeVertexJson(JsonWriter& json, const MeshVertex& vertex)
{
    auto vec3 = [&json](const char* name, Vec3 v) {
        const float components[3] = {v.x, v.y, v.z};
        json.key(name);
        json.floats(components, 3);
    };
    json.beginObject();
    vec3("position", vertex.position);
    vec3("normal", vertex.normal);
    vec3("tangent", vertex.tangent);
    json.field("color", std::int64_t{vertex.color});
    json.field("u", vertex.u);
    json.field("v", vertex.v);
    json.endObject();
}

void writeMeshJson(std::FILE* out, const SceneObject& object, std::int32_t index)
{
    JsonWriter json(out);
    json.beginObject();
    json.field("index", std::int64_t{index});
    json.field("vertexCount", std::int64_t{object.vertexCount});
    json.field("triangleCount", std::int64_t{object.triangleCount});
    json.key("vertices");
    json.beginArray();
    for (std::int32_t k = 0; k < object.vertexCount; ++k) {
        writeVertexJson(json, object.vertices[k]);
    }
    json.endArray();
    json.key("indices");
    json.beginArray();
    for (std::int32_t k = 0; k < 3 * object.triangleCount; ++k) {
        json.value(std::int64_t{object.indices[k]});
    }
    json.endArray();
    json.endObject();
    json.finish();
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

} // namespace

int runMeshCommand(Arguments& args)
{
    if (args.asksForHelp()) {
        std::fputs(MeshHelp, stdout);
        return 0;
    }
    const MeshOptions options = parseMeshOptions(args);
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
