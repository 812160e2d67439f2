// Specific loudness of one hearing-model band from its RMS sound pressure.
#pragma once

#include <cstddef>

namespace varnholt {

// Specific loudness (sone per band) of band b for an RMS pressure p_rms in Pa,
// with the band's threshold in quiet removed and the result clipped at 0.
// Linear in p_rms at low pressure; the log-log slope drops stepwise above
// 15, 25, ..., 85 dB. Returns a quiet NaN for b >= 53, a negative or
// non-finite p_rms, or a non-finite result; callers test the result with
// is_finite_value.
double ecma_band_loudness(double p_rms, std::size_t b) noexcept;

}  // namespace varnholt
