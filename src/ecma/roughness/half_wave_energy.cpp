// Positive half-wave energies of band-signal quarters and blocks.
#include "ecma/roughness/half_wave_energy.h"

#include <algorithm>
#include <array>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace varnholt {

double quarter_energy(const double* x) noexcept {
  double sum = 0.0;
  for (std::size_t i = 0; i < ECMA_ENERGY_QUARTER; ++i) {
    const double v = std::max(x[i], 0.0);
    sum += v * v;
  }
  return sum;
}

// Two quarters to a vector register: the four sums, each still in sample
// order, hide each other's addition latency without changing any rounding
// (max(x, 0) passes the positive half-wave and squares to zero otherwise).
void quarter_energies(const double* const* x, double* energies) noexcept {
#if defined(__SSE2__)
  const double* const x0 = x[0];
  const double* const x1 = x[1];
  const double* const x2 = x[2];
  const double* const x3 = x[3];
  const __m128d zero = _mm_setzero_pd();
  __m128d s01 = zero;
  __m128d s23 = zero;
  for (std::size_t i = 0; i < ECMA_ENERGY_QUARTER; ++i) {
    const __m128d v01 = _mm_max_pd(_mm_set_pd(x1[i], x0[i]), zero);
    const __m128d v23 = _mm_max_pd(_mm_set_pd(x3[i], x2[i]), zero);
    s01 = _mm_add_pd(s01, _mm_mul_pd(v01, v01));
    s23 = _mm_add_pd(s23, _mm_mul_pd(v23, v23));
  }
  _mm_storeu_pd(energies, s01);
  _mm_storeu_pd(energies + 2, s23);
#else
  for (std::size_t g = 0; g < 4; ++g) energies[g] = quarter_energy(x[g]);
#endif
}

double block_energy_of(const double* block) noexcept {
  std::array<double, ECMA_ENERGY_QUARTERS> quarters{};
  for (std::size_t q = 0; q < ECMA_ENERGY_QUARTERS; ++q) {
    quarters[q] = quarter_energy(block + q * ECMA_ENERGY_QUARTER);
  }
  return block_energy(quarters.data());
}

}  // namespace varnholt
