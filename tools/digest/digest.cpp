#include "digest.hpp"

#include <cstring>

#include "anim/animation.hpp"
#include "data/embedded_data.hpp"
#include "math/matrix.hpp"
#include "music/song_reader.hpp"
#include "render/frame_matrices.hpp"
#include "scene/scene_loader.hpp"
#include "scene/scene_object.hpp"
#include "scene/transform_hierarchy.hpp"
#include "texgen/texture_ops.hpp"
#include "texgen/texture_script.hpp"

namespace {

// FNV-1a, 64 bits.
class Hash {
public:
    void add(const void* data, std::size_t size)
    {
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        for (std::size_t i = 0; i < size; ++i) {
            value_ = (value_ ^ bytes[i]) * 0x100000001b3ull;
        }
    }
    void add(float v) { add(&v, sizeof v); }
    void add(std::uint32_t v) { add(&v, sizeof v); }
    void add(const Mat4& m) { add(m.e, sizeof m.e); }
    void add(Vec3 v) { add(v.x), add(v.y), add(v.z); }
    unsigned long long value() const { return value_; }

private:
    unsigned long long value_ = 0xcbf29ce484222325ull;
};

std::uint32_t bits(float v)
{
    std::uint32_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

void printVec3(std::FILE* out, const char* name, Vec3 v)
{
    std::fprintf(out, " %s %08lx %08lx %08lx", name, static_cast<unsigned long>(bits(v.x)),
                 static_cast<unsigned long>(bits(v.y)), static_cast<unsigned long>(bits(v.z)));
}

// Field by field: the hash never sees padding.
void hashMesh(Hash& hash, const SceneObject& object)
{
    for (std::int32_t v = 0; v < object.vertexCount; ++v) {
        const MeshVertex& vertex = object.vertices[v];
        hash.add(vertex.position), hash.add(vertex.normal), hash.add(vertex.tangent);
        hash.add(vertex.color), hash.add(vertex.u), hash.add(vertex.v);
    }
    for (std::int32_t i = 0; i < 3 * object.triangleCount; ++i) {
        hash.add(static_cast<std::uint32_t>(object.indices[i]));
    }
}

void writeMeshes(std::FILE* out)
{
    Hash all;
    for (std::int32_t i = 0; i < objectCount; ++i) {
        const SceneObject& object = objectTable[i];
        if (object.vertexCount == 0) {
            continue;
        }
        Hash mesh;
        hashMesh(mesh, object);
        all.add(&i, sizeof i);
        hashMesh(all, object);
        // The stored meshes, patches and planes one by one; the text cubes together.
        if (object.kind != ObjectKind::Cube) {
            std::fprintf(out, "mesh %d kind %d vertices %d triangles %d %016llx\n", static_cast<int>(i),
                         static_cast<int>(object.kind), static_cast<int>(object.vertexCount),
                         static_cast<int>(object.triangleCount), mesh.value());
        }
    }
    std::fprintf(out, "meshes %d objects %016llx\n", static_cast<int>(objectCount), all.value());
}

void writeTextures(std::FILE* out)
{
    std::vector<std::uint32_t> pixels(TexturePixelCount);
    beginTextureScript();
    for (int n = 0; textureBeginsAtCursor(); ++n) {
        std::fill(pixels.begin(), pixels.end(), 0u);
        buildTexturePixels(pixels.data());
        advancePastTexture();
        Hash hash;
        hash.add(pixels.data(), pixels.size() * 4);
        std::fprintf(out, "texture %d %016llx\n", n, hash.value());
    }
    endTextureScript();
}

void writeSong(std::FILE* out)
{
    const bool read = readSong(embeddedSong, static_cast<std::int32_t>(sizeof embeddedSong));
    std::fprintf(out, "song read %d tracks %d division %d ticksPerMs %08lx\n", read ? 1 : 0,
                 static_cast<int>(trackCount), static_cast<int>(division), static_cast<unsigned long>(bits(ticksPerMs)));
    for (std::int32_t t = 0; t < trackCount; ++t) {
        Hash hash;
        int events = 0;
        for (const MidiEvent* e = songTracks[t].first; e != nullptr; e = e->next, ++events) {
            const std::uint32_t fields[5] = {e->status, bits(e->deltaTime), e->data1, e->data2, e->channel};
            hash.add(fields, sizeof fields);
        }
        std::fprintf(out, "track %d events %d %016llx\n", static_cast<int>(t), events, hash.value());
    }
    releaseSong();
}

void writeFrame(std::FILE* out, std::int32_t now, const Mat4& projection)
{
    evaluateAnimation(now);
    Mat4 view{};
    lookAtCamera(view);
    const Mat4 viewProjection = mat4Multiply(view, projection);
    Hash worlds;
    Hash constants;
    for (std::int32_t i = 0; i < objectCount; ++i) {
        const SceneObject& object = objectTable[i];
        worlds.add(object.world);
        if (object.drawable == 0) {
            continue;
        }
        Mat4 worldViewProjection{}, worldInverse{}, worldTransposed{};
        computeObjectConstants(object, viewProjection, worldViewProjection, worldInverse, worldTransposed);
        constants.add(worldViewProjection), constants.add(worldInverse), constants.add(worldTransposed);
        constants.add(cameraEye), constants.add(0.0f); // c12
    }
    Hash viewHash;
    viewHash.add(view);
    std::fprintf(out, "time %d", static_cast<int>(now));
    printVec3(out, "eye", cameraEye);
    printVec3(out, "direction", cameraDirection);
    printVec3(out, "up", cameraUp);
    std::fprintf(out, " view %016llx worlds %016llx constants %016llx\n", viewHash.value(), worlds.value(),
                 constants.value());
}

// A fixed pseudo-random sequence of its own (the system's generator has
// state the program's order depends on).
class Sequence {
public:
    float next(float low, float high)
    {
        state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
        const auto top = static_cast<std::uint32_t>(state_ >> 40); // 24 bits
        return low + (high - low) * (static_cast<float>(top) / 16777216.0f);
    }

private:
    unsigned long long state_ = 12345;
};

// Rotations about all three axes with translations, and their inverses:
// the stored scene's own rotations exercise too few combinations.
void writeRotations(std::FILE* out, int count)
{
    Sequence random;
    Hash hash;
    for (int k = 0; k < count; ++k) {
        Mat4 x{}, y{}, z{};
        mat4RotationX(x, random.next(-7.0f, 7.0f));
        mat4RotationY(y, random.next(-7.0f, 7.0f));
        mat4RotationZ(z, random.next(-7.0f, 7.0f));
        Mat4 world = mat4Multiply(mat4Multiply(x, y), z);
        world.e[12] = random.next(-50.0f, 50.0f);
        world.e[13] = random.next(-50.0f, 50.0f);
        world.e[14] = random.next(-50.0f, 50.0f);
        hash.add(world);
        hash.add(mat4InverseAffine(world));
    }
    std::fprintf(out, "rotations %d %016llx\n", count, hash.value());
}

// Bezier channels of every degree the scripts allow at arbitrary times.
void writeCurves(std::FILE* out, int count)
{
    Sequence random;
    Hash hash;
    AnimKey keys[8] = {};
    for (int k = 0; k < count; ++k) {
        const auto n = static_cast<std::uint8_t>(2 + k % 7);
        for (int i = 0; i < n; ++i) {
            keys[i].value = random.next(-100.0f, 100.0f);
        }
        hash.add(bezierValue(keys, n, random.next(0.0f, 1.0f)));
    }
    std::fprintf(out, "curves %d %016llx\n", count, hash.value());
}

} // namespace

std::vector<std::int32_t> digestTimes(std::int32_t count)
{
    std::vector<std::int32_t> times = {0};
    // 40 to 81,640 ms, in steps that vary so that no time falls on a key
    // grid by accident.
    for (std::int32_t k = 1; k + 1 < count; ++k) {
        const std::int64_t spread = 40 + (81600LL * k) / (count - 1) + (k * 37) % 23;
        times.push_back(static_cast<std::int32_t>(spread));
    }
    if (count > 1) {
        times.push_back(82000);
    }
    return times;
}

void writeDigest(std::FILE* out, const std::vector<std::int32_t>& times)
{
    loadScene();
    writeMeshes(out);
    writeTextures(out);
    loadAnimation();
    buildUpdateOrder();
    writeSong(out);
    writeRotations(out, 20000);
    writeCurves(out, 20000);
    Mat4 projection{};
    setProjection(projection);
    for (std::int32_t now : times) {
        writeFrame(out, now, projection);
    }
    freeAnimation();
    freeUpdateOrder();
    freeScene();
}
