// The auditory filter of one hearing-model band: a fifth-order complex
// resonator at the band's centre frequency whose real part is the band signal.
#pragma once

#include <cstddef>
#include <cstdint>

#include "varnholt.h"

namespace varnholt {

// Filters `length` samples of `prepared` with the filter of band b (0..52) and
// writes the band signal, 2 * Re(y), to band_out[0 .. length-1]. The output
// lags the input by one sample. `prepared` and `band_out` must not overlap.
// Statuses: prepared or band_out null -> VH_ERR_NULL_POINTER; b > 52 ->
// VH_ERR_INVALID_ARGUMENT; a non-finite output -> VH_ERR_NUMERICAL (the
// values before it stay written).
vh_status ecma_auditory_filter(const double* prepared, std::uint64_t length, std::size_t b,
                               double* band_out) noexcept;

}  // namespace varnholt
