#include "host/backend_list.hpp"

#include <array>
#include <string>

#include "d3d9/null_backend.hpp"
#include "gl/gl_backend.hpp"
#include "raster/software_backend.hpp"

namespace host {

std::span<const d3d9::BackendDescription* const> backends()
{
    static const std::array<const d3d9::BackendDescription*, 3> list = {&raster::softwareBackend(), &gl::glBackend(),
                                                                         &d3d9::nullBackend()};
    return list;
}

const d3d9::BackendDescription* findBackend(std::string_view name)
{
    for (const d3d9::BackendDescription* backend : backends()) {
        if (backend->name == name) {
            return backend;
        }
    }
    return nullptr;
}

std::string backendNames()
{
    std::string names;
    for (const d3d9::BackendDescription* backend : backends()) {
        names += (names.empty() ? "" : "|") + std::string(backend->name);
    }
    return names;
}

} // namespace host
