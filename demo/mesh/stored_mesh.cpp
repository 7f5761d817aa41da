// Stored quad meshes: the payload reader, the subdivision step and the split
// into triangles.
//
// While a mesh is being refined its index array holds four corners a quad
// and triangleCount holds the quad count. One subdivision pass appends a face
// point per quad and an edge point per unique edge (edges are the same when
// their midpoints are exactly equal), then moves edge points and old vertices
// by the Catmull-Clark rules. Every sum and average is single precision in
// the order written; new vertex numbers are 16-bit. Only positions are
// computed: new vertices have zero normal, tangent and colour.
#include "mesh/stored_mesh.hpp"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <unordered_map>

#include "common/allocation.hpp"
#include "mesh/mesh_vertex.hpp"
#include "mesh/vertex_attributes.hpp"
#include "scene/scene_description.hpp"
#include "scene/scene_object.hpp"

namespace {

// The temporaries of one pass over V vertices and F quads.
struct SubdivisionPass {
    std::int32_t oldVertexCount; // V
    std::int32_t quadCount;      // F
    std::int32_t uniqueEdges;    // U
    MeshVertex* facePoints;      // F records, face point of quad q at q
    MeshVertex* edgePoints;      // 4F records, midpoint of edge e of quad q at 4q + e
    // 4F entries: first the lowest edge with the same midpoint, then that
    // edge's rank. 32-bit, as 4F may pass 65,536 before V + F + U does.
    std::int32_t* edgeSlot;
};

// Sums gathered for one new vertex while the pass moves points.
struct PointSums {
    Vec3 edgeSum;       // edge point: face points and endpoints; old vertex: edge points
    Vec3 faceSum;       // old vertex: face points around it
    std::int32_t count; // terms in edgeSum
};

void readStoredVertices(SceneObject& object, std::int32_t vertexCount)
{
    object.vertexCount = vertexCount;
    object.vertices = allocateZeroed<MeshVertex>(static_cast<std::size_t>(vertexCount));
    for (std::int32_t k = 0; k < vertexCount; ++k) {
        const Vec3 p = takeSceneVec3();
        object.vertices[k].position = {p.x * object.size.x, p.y * object.size.y, p.z * object.size.z};
    }
}

// Reads all storedCount quads so that the read position ends after the
// payload, but keeps only the first quadCount of them (the array has room for
// no more) and drops any quad with a corner past the vertex array.
void readStoredQuads(SceneObject& object, std::int32_t quadCount, std::int32_t storedCount)
{
    object.indices = allocateZeroed<std::uint16_t>(4 * static_cast<std::size_t>(quadCount));
    std::int32_t kept = 0;
    for (std::int32_t q = 0; q < storedCount; ++q) {
        std::uint16_t corners[4];
        bool inRange = true;
        for (std::uint16_t& corner : corners) {
            corner = takeSceneU16();
            inRange = inRange && corner < object.vertexCount;
        }
        if (q < quadCount && inRange) {
            for (int e = 0; e < 4; ++e) {
                object.indices[4 * kept + e] = corners[e];
            }
            ++kept;
        }
    }
    object.triangleCount = kept;
}

void makeFaceAndEdgePoints(const SceneObject& object, SubdivisionPass& pass)
{
    for (std::int32_t q = 0; q < pass.quadCount; ++q) {
        const std::uint16_t* corner = object.indices + 4 * q;
        Vec3 p[4];
        for (int e = 0; e < 4; ++e) {
            p[e] = object.vertices[corner[e]].position;
        }
        pass.facePoints[q].position = vec3Scale(vec3Add(vec3Add(vec3Add(p[0], p[1]), p[2]), p[3]), 0.25f);
        for (int e = 0; e < 4; ++e) {
            pass.edgePoints[4 * q + e].position = vec3Scale(vec3Add(p[e], p[(e + 1) % 4]), 0.5f);
            pass.edgeSlot[4 * q + e] = 4 * q + e;
        }
    }
}

// A midpoint as a key that is equal exactly when vec3Equal says the points
// are: the bits of each coordinate, with -0 read as +0. (A point with a NaN
// equals no point; it gets no key.)
struct EdgeKey {
    std::uint32_t bits[3];
    bool operator==(const EdgeKey& other) const
    {
        return bits[0] == other.bits[0] && bits[1] == other.bits[1] && bits[2] == other.bits[2];
    }
};

struct EdgeKeyHash {
    std::size_t operator()(const EdgeKey& key) const
    {
        std::uint64_t h = 0xcbf29ce484222325ull;
        for (const std::uint32_t b : key.bits) {
            h = (h ^ b) * 0x100000001b3ull;
        }
        return static_cast<std::size_t>(h ^ (h >> 29));
    }
};

bool edgeKeyOf(Vec3 p, EdgeKey& key)
{
    const float coordinates[3] = {p.x, p.y, p.z};
    for (int c = 0; c < 3; ++c) {
        const float v = coordinates[c] == 0.0f ? 0.0f : coordinates[c];
        if (v != v) {
            return false;
        }
        std::memcpy(&key.bits[c], &v, sizeof v);
    }
    return true;
}

// Points every edge at the lowest-numbered edge with the same midpoint and
// returns the number of edges left pointing at themselves. The first edge
// of each midpoint is remembered by key, so that a mesh of many quads costs
// one look-up an edge rather than a comparison with every other edge.
std::int32_t mergeSharedEdges(SubdivisionPass& pass)
{
    const std::int32_t edgeCount = 4 * pass.quadCount;
    std::unordered_map<EdgeKey, std::int32_t, EdgeKeyHash> firstWithMidpoint;
    firstWithMidpoint.reserve(static_cast<std::size_t>(edgeCount));
    for (std::int32_t e = 0; e < edgeCount; ++e) {
        EdgeKey key;
        if (edgeKeyOf(pass.edgePoints[e].position, key)) {
            pass.edgeSlot[e] = firstWithMidpoint.emplace(key, e).first->second;
        }
    }
    std::int32_t unique = 0;
    for (std::int32_t e = 0; e < edgeCount; ++e) {
        unique += pass.edgeSlot[e] == e ? 1 : 0;
    }
    return unique;
}

// Old vertices, then face points, then unique edge points in order of first
// occurrence; edgeSlot becomes each edge's rank among the unique edges.
MeshVertex* buildPassVertices(const SceneObject& object, SubdivisionPass& pass)
{
    const std::int32_t firstFace = pass.oldVertexCount;
    const std::int32_t firstEdge = firstFace + pass.quadCount;
    MeshVertex* out = allocateZeroed<MeshVertex>(static_cast<std::size_t>(firstEdge + pass.uniqueEdges));
    for (std::int32_t k = 0; k < pass.oldVertexCount; ++k) {
        out[k] = object.vertices[k];
    }
    for (std::int32_t q = 0; q < pass.quadCount; ++q) {
        out[firstFace + q] = pass.facePoints[q];
    }
    std::int32_t rank = 0;
    for (std::int32_t e = 0; e < 4 * pass.quadCount; ++e) {
        if (pass.edgeSlot[e] == e) {
            out[firstEdge + rank] = pass.edgePoints[e];
            pass.edgeSlot[e] = rank++;
        } else {
            pass.edgeSlot[e] = pass.edgeSlot[pass.edgeSlot[e]]; // an earlier edge, already ranked
        }
    }
    return out;
}

// Four quads for each old quad (a, b, c, d), keeping its winding:
// (a, Eab, F, Eda), (Eab, b, Ebc, F), (F, Ebc, c, Ecd), (Eda, F, Ecd, d).
std::uint16_t* buildPassQuads(const SceneObject& object, const SubdivisionPass& pass)
{
    std::uint16_t* out = allocateZeroed<std::uint16_t>(16 * static_cast<std::size_t>(pass.quadCount));
    const std::uint16_t edgeBase = static_cast<std::uint16_t>(pass.oldVertexCount + pass.quadCount);
    for (std::int32_t q = 0; q < pass.quadCount; ++q) {
        const std::uint16_t* c = object.indices + 4 * q;
        std::uint16_t e[4];
        for (int k = 0; k < 4; ++k) {
            e[k] = static_cast<std::uint16_t>(edgeBase + static_cast<std::uint16_t>(pass.edgeSlot[4 * q + k]));
        }
        const std::uint16_t f = static_cast<std::uint16_t>(pass.oldVertexCount + q);
        const std::uint16_t quads[16] = {c[0], e[0], f, e[3], e[0], c[1], e[1], f,
                                         f, e[1], c[2], e[2], e[3], f, e[2], c[3]};
        for (int k = 0; k < 16; ++k) {
            out[16 * q + k] = quads[k];
        }
    }
    return out;
}

// Each new quad holds exactly one edge point whose next corner is the face
// point, and the corner before it is an old vertex. Gathering the terms in
// one pass over the quads adds them in the same order as a scan of all quads
// per edge point would, and nothing read here is moved by this step.
void smoothEdgePoints(MeshVertex* vertices, const std::uint16_t* quads, std::int32_t quadCount,
                      std::int32_t oldCount, std::int32_t firstEdge, std::int32_t endEdge,
                      PointSums* sums)
{
    for (std::int32_t q = 0; q < quadCount; ++q) {
        const std::uint16_t* c = quads + 4 * q;
        for (int p = 0; p < 4; ++p) {
            const std::uint16_t next = c[(p + 1) % 4];
            if (c[p] < firstEdge || next < oldCount) continue;
            PointSums& sum = sums[c[p]];
            sum.edgeSum = vec3Add(vec3Add(sum.edgeSum, vertices[next].position), vertices[c[(p + 3) % 4]].position);
            sum.count += 2;
            break;
        }
    }
    // Every unique edge lies on an old quad, so every count is at least 2.
    for (std::int32_t k = firstEdge; k < endEdge; ++k) {
        vertices[k].position = vec3Divide(sums[k].edgeSum, static_cast<float>(sums[k].count));
    }
}

// Each new quad holds exactly one old vertex, followed by an edge point and
// the face point, which this step does not move; one pass over the quads
// gathers the terms of every old vertex in quad order.
void moveOldVertices(MeshVertex* vertices, const std::uint16_t* quads, std::int32_t quadCount,
                     std::int32_t oldCount, PointSums* sums)
{
    for (std::int32_t q = 0; q < quadCount; ++q) {
        const std::uint16_t* c = quads + 4 * q;
        for (int p = 0; p < 4; ++p) {
            if (c[p] >= oldCount) continue;
            PointSums& sum = sums[c[p]];
            sum.edgeSum = vec3Add(sum.edgeSum, vertices[c[(p + 1) % 4]].position);
            sum.faceSum = vec3Add(sum.faceSum, vertices[c[(p + 2) % 4]].position);
            sum.count += 1;
            break;
        }
    }
    for (std::int32_t i = 0; i < oldCount; ++i) {
        const std::int32_t n = sums[i].count;
        if (n == 0) continue; // a vertex no quad uses stays put instead of dividing by zero
        const float count = static_cast<float>(n);
        const Vec3 faceAverage = vec3Divide(sums[i].faceSum, count);
        const Vec3 edgeAverage = vec3Divide(sums[i].edgeSum, count);
        const Vec3 own = vec3Scale(vertices[i].position, static_cast<float>(n - 3));
        vertices[i].position = vec3Divide(vec3Add(vec3Add(faceAverage, vec3Scale(edgeAverage, 2.0f)), own), count);
    }
}

void releasePass(SubdivisionPass& pass)
{
    releaseBlock(pass.facePoints);
    releaseBlock(pass.edgePoints);
    releaseBlock(pass.edgeSlot);
}

// One subdivision step; false, with the mesh unchanged, when its result
// would not fit the 16-bit index range.
bool subdivideOnce(SceneObject& object)
{
    SubdivisionPass pass = {};
    pass.oldVertexCount = object.vertexCount;
    pass.quadCount = object.triangleCount;
    // Past the limit before any edge point is counted: skip the edge merge.
    if (pass.oldVertexCount + pass.quadCount > MaxMeshVertices) return false;

    const std::size_t edgeCount = 4 * static_cast<std::size_t>(pass.quadCount);
    pass.facePoints = allocateZeroed<MeshVertex>(static_cast<std::size_t>(pass.quadCount));
    pass.edgePoints = allocateZeroed<MeshVertex>(edgeCount);
    pass.edgeSlot = allocateZeroed<std::int32_t>(edgeCount);
    makeFaceAndEdgePoints(object, pass);
    pass.uniqueEdges = mergeSharedEdges(pass);
    const std::int32_t newVertexCount = pass.oldVertexCount + pass.quadCount + pass.uniqueEdges;
    // A result past 65,536 vertices could not be indexed: keep the previous mesh.
    if (newVertexCount > MaxMeshVertices) {
        releasePass(pass);
        return false;
    }

    MeshVertex* vertices = buildPassVertices(object, pass);
    std::uint16_t* quads = buildPassQuads(object, pass);
    const std::int32_t newQuadCount = 4 * pass.quadCount;
    PointSums* sums = allocateZeroed<PointSums>(static_cast<std::size_t>(newVertexCount));
    smoothEdgePoints(vertices, quads, newQuadCount, pass.oldVertexCount,
                     pass.oldVertexCount + pass.quadCount, newVertexCount, sums);
    moveOldVertices(vertices, quads, newQuadCount, pass.oldVertexCount, sums);
    releaseBlock(sums);

    releaseBlock(object.indices);
    releaseBlock(object.vertices);
    object.vertices = vertices;
    object.indices = quads;
    object.vertexCount = newVertexCount;
    object.triangleCount = newQuadCount;
    releasePass(pass);
    return true;
}

} // namespace

void buildStoredMesh(SceneObject& object)
{
    const std::int32_t vertexCount = takeSceneU16();
    const std::int32_t quadCount = takeSceneU16();
    readStoredVertices(object, vertexCount);
    const std::int32_t storedQuadCount = takeSceneU16();
    readStoredQuads(object, quadCount, storedQuadCount);
    subdivideQuads(object, object.detail);
    triangulateQuads(object);
    computeMissingNormals(object);
}

void subdivideQuads(SceneObject& object, int passes)
{
    for (int k = 0; k < passes; ++k) {
        if (!subdivideOnce(object)) return;
    }
}

void triangulateQuads(SceneObject& object)
{
    const std::int32_t quadCount = object.triangleCount;
    std::uint16_t* triangles = allocateZeroed<std::uint16_t>(6 * static_cast<std::size_t>(quadCount));
    for (std::int32_t q = 0; q < quadCount; ++q) {
        const std::uint16_t* c = object.indices + 4 * q;
        const std::uint16_t split[6] = {c[0], c[1], c[2], c[0], c[2], c[3]};
        for (int k = 0; k < 6; ++k) {
            triangles[6 * q + k] = split[k];
        }
    }
    releaseBlock(object.indices);
    object.indices = triangles;
    object.triangleCount = 2 * quadCount;
}
