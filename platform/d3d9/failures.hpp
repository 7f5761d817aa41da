// How the platform sorts what goes wrong, as a driver does:
// - the caller's misuse answers the HRESULT the real API documents, and
//   nothing more is said;
// - what this platform never offers answers D3DERR_NOTAVAILABLE and is
//   reported once per process under a stable id (tests assert the id,
//   never the wording);
// - a state that cannot happen unless the platform itself is wrong stops
//   the process through PLATFORM_ASSERT, which stays on in every build.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "com/assertion.hpp"
#include "d3d9.h"

namespace d3d9 {

// Reports `id` (a short kebab-case name such as "points-and-lines") with a
// sentence for people the first time it is seen, and answers
// D3DERR_NOTAVAILABLE, so that a call site reads `return notOffered(...)`.
HRESULT notOffered(std::string_view id, std::string_view what);

// Where the reports go (stderr, "d3d9: not offered: ID: WHAT", by default;
// an empty function restores that).
void setUnsupportedSink(std::function<void(std::string_view id, std::string_view what)> sink);
// The ids reported so far in this process, in the order first seen.
std::vector<std::string> unsupportedReported();
void forgetUnsupportedReports();

} // namespace d3d9

