// Roughness of one hearing-model band in one analysis block, from its
// weighted modulation spectrum.
#pragma once

#include <cstddef>

namespace varnholt {

// Shape of the band's roughness over modulation rate, from its centre
// frequency: the rate of greatest roughness and the slopes on either side.
struct RoughnessBandShape {
  double lambda;              // log2 of the centre frequency in kHz
  double best_rate_hz;        // rate of greatest roughness
  double high_rate_exponent;  // steepness of the fall above best_rate_hz
  double amplitude_divisor;   // scales peak amplitudes to roughness
};

// The shape of band b (0..52).
RoughnessBandShape roughness_band_shape(std::size_t b) noexcept;

// Roughness values below this are reported as 0.
inline constexpr double ECMA_ROUGHNESS_FLOOR = 0.074376;

// Roughness of band b (0..52) from phi, its weighted modulation power
// spectrum (257 finite, non-negative bins 2.9296875 Hz apart): the ten most
// prominent peaks with refined rates, weighted by rate, grouped into the
// strongest harmonic complex, weighted by its fundamental rate. Always >= 0
// for such input; the caller still tests it with is_finite_value.
double ecma_band_roughness(const double* phi, std::size_t b) noexcept;

}  // namespace varnholt
