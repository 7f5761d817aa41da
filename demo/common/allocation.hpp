// Zero-filled heap blocks for the system's records and arrays.
//
// Every table and mesh array of the program is taken zero-filled, so that a
// field nobody writes reads as 0, and is released by the subsystem that made
// it. The records are plain structures, so calloc and free are all they need;
// copying a record byte for byte moves the ownership of its arrays.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>
#include <type_traits>

template <typename T>
T* allocateZeroed(std::size_t count)
{
    static_assert(std::is_trivially_copyable_v<T>, "system records are plain data");
    // calloc(0) may return NULL; ask for one element so that an empty array is
    // still a distinct, freeable block.
    void* block = std::calloc(count == 0 ? 1 : count, sizeof(T));
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    return static_cast<T*>(block);
}

template <typename T>
void releaseBlock(T*& block)
{
    std::free(block);
    block = nullptr;
}
