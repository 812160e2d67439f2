// Sharpness after DIN 45692 from a 240-value specific-loudness pattern.
#pragma once

#include "varnholt.h"

namespace varnholt {

// Sharpness in acum of a pattern whose entries are finite and not negative and
// whose largest entry is `peak` (> 0). Returns VH_ERR_NUMERICAL when the
// result cannot be formed.
vh_status sharpness_din(const double* specific, double peak, double* sharpness) noexcept;

}  // namespace varnholt
