// PLATFORM_ASSERT: a state that cannot happen unless the platform itself is
// wrong stops the process, in every build (not only with NDEBUG unset).
// Header-only, so that every platform library, the lowest included, can
// use it.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace com {

[[noreturn]] inline void assertionFailed(const char* condition, const char* file, int line)
{
    std::fprintf(stderr, "platform assertion failed: %s (%s:%d)\n", condition, file, line);
    std::abort();
}

} // namespace platform

#define PLATFORM_ASSERT(condition) \
    ((condition) ? static_cast<void>(0) : ::com::assertionFailed(#condition, __FILE__, __LINE__))
