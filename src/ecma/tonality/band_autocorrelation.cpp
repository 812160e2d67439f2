// Block autocorrelations by the Wiener-Khinchin route: power spectrum of the
// zero-padded block, transformed back.
#include "ecma/tonality/band_autocorrelation.h"

#include <algorithm>
#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/checks.h"
#include "ecma/band_loudness.h"
#include "ecma/tonality/tonal_band_groups.h"

namespace varnholt {
namespace {

// Added to the energy normaliser so that lags with vanishing overlap energy
// stay bounded.
constexpr double NORMALISER_FLOOR = 1e-12;

// Half-wave rectifies the block into the scratch (the inner hair cells pass
// one polarity), zero from L to 2L, and accumulates its running energies:
// E_f[m] over the first m samples and E_b[m] from sample m to the end. The
// two sums run in one loop, each in its own order, so that each hides the
// other's addition latency.
void rectify_block(const double* block, std::size_t length, double* scratch, double* forward_energy,
                   double* backward_energy) noexcept {
  for (std::size_t m = 0; m < length; ++m) scratch[m] = std::max(0.0, block[m]);
  std::fill(scratch + length, scratch + 2 * length, 0.0);
  double forward = 0.0;
  double backward = 0.0;
  forward_energy[0] = forward;
  backward_energy[length] = backward;
  for (std::size_t k = 0; k < length; ++k) {
    const double f = scratch[k];
    const double r = scratch[length - 1 - k];
    forward = forward + f * f;
    backward = backward + r * r;
    forward_energy[k + 1] = forward;
    backward_energy[length - 1 - k] = backward;
  }
}

// Square roots of x[0 .. count-1] in place, two to a vector register where
// the target has one (std::sqrt alone stays scalar, as it may set errno).
// Square roots are correctly rounded either way.
void sqrt_in_place(double* x, std::size_t count) noexcept {
  std::size_t m = 0;
#if defined(__SSE2__)
  for (; m + 2 <= count; m += 2) _mm_storeu_pd(x + m, _mm_sqrt_pd(_mm_loadu_pd(x + m)));
#endif
  for (; m < count; ++m) x[m] = std::sqrt(x[m]);
}

// Square roots of both running energies over the lags kept, in place.
void energy_roots(std::size_t length, std::size_t lag_limit, double* forward_energy,
                  double* backward_energy) noexcept {
  sqrt_in_place(forward_energy + (length + 1 - lag_limit), lag_limit);
  sqrt_in_place(backward_energy, lag_limit);
}

// Autocorrelation of the rectified block in scratch[0 .. 2L-1]; zero padding
// to 2L keeps the circular correlation free of wrap-around. False when the
// power spectrum is not finite.
bool autocorrelate(std::size_t length, const AcfWorkspace& work) noexcept {
  std::complex<double>* const bins = work.spectrum;
  work.plan->forward(work.scratch, bins, 1.0);
  double total = 0.0;
  for (std::size_t k = 0; k <= length; ++k) {
    const double re = bins[k].real();
    // Bins 0 and L of a real transform are real.
    const double power = (k == 0 || k == length) ? re * re : re * re + bins[k].imag() * bins[k].imag();
    bins[k] = {power, 0.0};
    total += power;
  }
  if (!is_finite_value(total)) return false;
  work.plan->backward(bins, work.scratch, 1.0 / static_cast<double>(2 * length));
  return true;
}

}  // namespace

vh_status ecma_tonal_block_acf(const double* block, std::size_t j, std::size_t block_length,
                               std::size_t lags, const AcfWorkspace& work, double* row) noexcept {
  const std::size_t length = block_length;
  const std::size_t lag_limit = std::min(lags, (3 * length) >> 2);
  double* const e_f = work.forward_energy;
  double* const e_b = work.backward_energy;
  std::fill(row, row + lags, 0.0);
  rectify_block(block, length, work.scratch, e_f, e_b);
  // RMS of the rectified block times sqrt(2): the RMS of the band signal
  // for a symmetric waveform.
  const double loudness =
      ecma_band_loudness(std::sqrt(2.0 * e_f[length] / static_cast<double>(length)), j);
  if (!is_finite_value(loudness)) return VH_ERR_NUMERICAL;
  if (loudness == 0.0) return VH_OK;
  if (!autocorrelate(length, work)) return VH_ERR_NUMERICAL;
  // Normalised by the root energies of the two overlapping parts (a root is
  // positive exactly when its energy is).
  energy_roots(length, lag_limit, e_f, e_b);
  const double* const a = work.scratch;
  for (std::size_t m = 0; m < lag_limit; ++m) {
    const double root_f = e_f[length - m];
    const double root_b = e_b[m];
    const double normalised = a[m] / (root_f * root_b + NORMALISER_FLOOR);
    row[m] = root_b > 0.0 && root_f > 0.0 ? std::min(1.0, std::max(0.0, normalised)) * loudness
                                          : 0.0;
  }
  return VH_OK;
}

vh_status ecma_tonal_band_acf(const double* band_signal, std::size_t j, std::size_t block_length,
                              std::size_t block_count, std::size_t lags,
                              const AcfWorkspace& work, double* rows) noexcept {
  const std::size_t hop = block_length / 4;
  const double* const first_block = band_signal + (TONAL_LEAD - block_length);
  for (std::size_t i = 0; i < block_count; ++i) {
    const vh_status s =
        ecma_tonal_block_acf(first_block + i * hop, j, block_length, lags, work, rows + i * lags);
    if (s != VH_OK) return s;
  }
  return VH_OK;
}

}  // namespace varnholt
