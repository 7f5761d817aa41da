// Stored quad meshes: read from the scene description, refined by
// subdivision, split into triangles and given smooth normals.
#pragma once

struct SceneObject;

// Reads the quad mesh at sceneReadPos (leaving the position after it),
// subdivides it detail times, triangulates it and computes its normals.
void buildStoredMesh(SceneObject& object);
// Applies passes subdivision steps to the quad mesh held in the object
// (four indices per quad, the quad count in triangleCount).
void subdivideQuads(SceneObject& object, int passes);
// Replaces the quad list by a triangle list, two triangles a quad.
void triangulateQuads(SceneObject& object);
