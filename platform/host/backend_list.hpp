// The back ends a host can run the program on, by name: what `--device`
// and DEMO_DEVICE choose from. Adding a back end means adding it here; no
// host changes.
#pragma once

#include <span>
#include <string_view>

#include "d3d9/backend.hpp"

namespace host {

// Every back end, the reference (software) first.
std::span<const d3d9::BackendDescription* const> backends();
// The back end of that name, or NULL.
const d3d9::BackendDescription* findBackend(std::string_view name);
// "gl|software" style list of the names, for usage lines.
std::string backendNames();

} // namespace host
