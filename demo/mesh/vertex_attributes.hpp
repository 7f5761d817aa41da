// Attribute passes over a finished mesh: smooth normals where they are
// missing, texture coordinates from normals, tangents from the triangles.
#pragma once

struct SceneObject;

// Gives every vertex whose normal is (0, 0, 0) the normalised sum of the unit
// facing directions of the triangles around it.
void computeMissingNormals(SceneObject& object);
// u = asin(normal.x) / pi + 0.5, v = asin(normal.y) / pi + 0.5.
void computeTexCoordsFromNormals(SceneObject& object);
// The direction of increasing v, made perpendicular to the normal.
void computeTangents(SceneObject& object);
