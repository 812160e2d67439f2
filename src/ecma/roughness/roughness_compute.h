// Specific roughness on the hearing model, from a checked signal.
#pragma once

#include <cstdint>

#include "varnholt.h"

namespace varnholt {

// Specific roughness in asper per band of n samples (n within
// ECMA_ROUGHNESS_MIN_SAMPLES ... ECMA_ROUGHNESS_MAX_SAMPLES, the block count
// times 53 x 257 known to fit) in the given sound field. Writes
// ecma_roughness_frame_total(n) x 53 values, frame-major, to out only on
// VH_OK. Statuses: those of the signal preparation (null signal, non-finite
// sample, ...), VH_ERR_ALLOCATION, VH_ERR_NUMERICAL. May throw std::bad_alloc.
vh_status ecma_roughness_compute(const double* signal, std::uint64_t n, vh_sound_field sound_field,
                                 double* out);

}  // namespace varnholt
