// A back end that draws nothing: every call is checked and traced by the
// front end, draws no pixel could reach are counted as stopped by the exact
// test (the positions the software back end would compute), and Present
// hands over an opaque black frame. For measuring the program's own work
// and the runtime's, and for tests that read the call trace.
#pragma once

#include "d3d9/backend.hpp"

namespace d3d9 {

std::unique_ptr<Backend> createNullBackend(const D3DPRESENT_PARAMETERS& parameters,
                                           const BackendOptions& options = {});
// Its description: an adapter that offers multisampling as the options say.
const BackendDescription& nullBackend();

} // namespace d3d9
