// The scene object record and the scene state beside the table.
//
// Everything the scene holds is one SceneObject in one flat array,
// objectTable: camera, light, generated meshes and every cube of the text
// wall. Identity is the index in the table; the hierarchy is the parent index.
// Records are zero-filled plain data that own their vertex, index and key
// arrays; copying a record byte for byte moves that ownership.
#pragma once

#include <cstdint>

#include "math/matrix.hpp"
#include "math/vector.hpp"
#include "mesh/mesh_vertex.hpp"

enum class ObjectKind : std::uint8_t {
    Camera = 1,      // eye position and rotation, no mesh
    Light = 2,       // position and rotation, no mesh
    StoredMesh = 3,  // quad mesh stored in the description, subdivided
    Cube = 4,        // six plane grids
    CubeAlt = 5,     // exactly as Cube
    Plane = 6,       // one grid with normal (0, 1, 0)
    BezierPatch = 7, // tensor-product Bezier surface
};

enum AnimChannel : std::int32_t {
    PositionX = 0,
    PositionY = 1,
    PositionZ = 2,
    RotationX = 3,
    RotationY = 4,
    RotationZ = 5,
};

constexpr std::int32_t ChannelCount = 6;
// The parent value of an object without a parent.
constexpr std::int32_t NoParent = 255;

struct AnimKey {
    std::int32_t time; // milliseconds since the start of playback
    float value;       // control value of the channel's Bezier curve
};

struct SceneObject {
    ObjectKind kind;                          // what the object is
    Vec3 position;                            // translation relative to the parent; a camera's eye
    Vec3 rotation;                            // radians about x, y and z
    Mat4 world;                               // object to world, zero until first ordered
    std::int32_t parent;                      // parent's table index, or NoParent
    std::uint8_t changed;                     // 1 while an evaluation step must renew world
    MeshVertex* vertices;                     // owned, vertexCount entries
    std::uint16_t* indices;                   // owned, 3 x triangleCount entries
    std::int32_t triangleCount;               // triangles in indices (quads while subdividing)
    std::int32_t vertexCount;                 // entries in vertices
    std::int32_t baseVertex;                  // first vertex in the shared vertex buffer
    std::int32_t firstIndex;                  // first index in the shared index buffer
    Vec3 size;                                // per-axis size of a generated mesh
    std::int32_t detail;                      // tessellation or subdivision level
    std::uint8_t texture;                     // procedural texture number, 0 = none
    std::uint8_t drawable;                    // 1 = has a mesh and is drawn
    std::uint8_t animated;                    // 1 = the animation script names it
    std::uint8_t channelActive[ChannelCount]; // loaded and not yet finished
    std::int32_t keyCount[ChannelCount];      // keys per channel
    AnimKey* keys[ChannelCount];              // owned key arrays, script order
};

// Scene state, process-wide.
extern SceneObject* objectTable;     // the table, objectCount records
extern std::int32_t objectCount;     // description's object count before loading, table size after
extern std::int32_t totalVertexCount; // sum of vertexCount over mesh objects
extern std::int32_t totalIndexCount;  // sum of 3 x triangleCount over mesh objects
extern Vec3 cameraEye;               // eye point in world space
extern Vec3 cameraDirection;         // viewing direction, not normalised
extern Vec3 cameraUp;                // up vector, not normalised
extern std::int32_t sceneReadPos;    // next unread byte of the scene description
extern std::int32_t* updateOrder;    // object indices, every parent before its children
extern std::int32_t updateOrderCount; // entries filled in updateOrder
