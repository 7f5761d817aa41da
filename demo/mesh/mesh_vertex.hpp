// The one vertex format of every mesh, and the size limits that all the mesh
// generators share.
//
// A MeshVertex is 48 bytes; its layout is also that of the shared vertex
// buffer and of the renderer's vertex declaration, so the offsets are fixed.
// Indices are per-object 16-bit triangle lists numbered from the object's own
// first vertex; a triangle (P0, P1, P2) faces along cross(P2 - P0, P1 - P0).
#pragma once

#include <cstddef>
#include <cstdint>

#include "math/vector.hpp"

struct MeshVertex {
    Vec3 position;       // object-space position
    Vec3 normal;         // object-space normal; not always unit length, zero = still to compute
    Vec3 tangent;        // direction of increasing v, perpendicular to the normal
    std::uint32_t color; // D3DCOLOR: alpha 24-31, red 16-23, green 8-15, blue 0-7
    float u;             // first texture coordinate
    float v;             // second texture coordinate
};

static_assert(sizeof(MeshVertex) == 48, "the vertex buffer layout is 48 bytes a vertex");
static_assert(offsetof(MeshVertex, color) == 36, "colour at byte 36");
static_assert(offsetof(MeshVertex, u) == 40, "texture coordinate at byte 40");

// 16-bit indices address at most this many vertices in one object.
constexpr std::int32_t MaxMeshVertices = 65536;
// The highest grid details whose meshes stay within MaxMeshVertices.
constexpr std::int32_t MaxGridDetail = 7; // plane and patch: (2^7 + 1)^2 = 16,641 vertices
constexpr std::int32_t MaxCubeDetail = 6; // cube: 6 x (2^6 + 1)^2 = 25,350 vertices
