// World matrices from each object's position, rotation and parent, and the
// update order that lists every parent before its children.
#pragma once

#include <cstdint>

// Renews objectTable[i].world = Z * X * Y rotation, then translation, then
// the parent's world matrix; the parent's matrix must be current.
void updateWorldMatrix(std::int32_t i);
// Makes updateOrder (parents first) and computes every world matrix once.
void buildUpdateOrder();
// Lists object i after its not yet listed ancestors, root first.
void addToUpdateOrder(std::int32_t i);
void freeUpdateOrder();
// The parent of object i as a usable table index, or -1 when it has none or
// names no object of the table. (NoParent, 255, is also a valid index.)
std::int32_t parentIndexOf(std::int32_t i);
