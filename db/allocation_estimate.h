// The space a directory entry is taken to occupy, for the scan's progress.
#pragma once

#include <cstdint>

namespace varnoke {

// ((size + cluster - 1) / cluster) * cluster in single precision, without
// rounding the quotient: size + cluster - 1 but for rounding error. With no
// cluster size (0) it is the size itself.
float AllocationEstimate(std::int32_t size, std::int32_t cluster);

}  // namespace varnoke
