// The software back end: draws on the CPU, bit for bit the same on every
// machine, executing the programs' bytecode. The reference picture.
#pragma once

#include "d3d9/backend.hpp"

namespace raster {

// Its description, for hosts: needs nothing but a CPU.
const d3d9::BackendDescription& softwareBackend();

} // namespace raster
