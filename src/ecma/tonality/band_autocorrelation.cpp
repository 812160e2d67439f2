// Block autocorrelations by the Wiener-Khinchin route: power spectrum of the
// zero-padded block, transformed back.
#include "ecma/tonality/band_autocorrelation.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/bin_powers.h"
#include "core/checks.h"
#include "core/wide_vectors.h"
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

// Replaces bins 0 .. L by their powers (imaginary parts 0). False when the
// sum of the powers, added in bin order, is not finite. The powers are
// non-negative or NaN, so that sum is finite exactly when every power is and
// the sum does not overflow. With no power above half the largest double
// over L + 1 no sum of L + 1 powers can overflow, whatever its rounding; only
// a larger power makes the sum itself worth forming. Two bins to a vector
// register where the target has one: their powers come out exactly as
// bin_power gives them.
bool power_spectrum_in_place(std::complex<double>* bins, std::size_t length) noexcept {
  const double safe_power = MAX_FINITE / static_cast<double>(2 * (length + 1));
  // The transform has 2L points, so its last bin is L.
  const double dc = bin_power(bins, 0, length);
  const double nyquist = bin_power(bins, length, length);
  double largest = std::max(dc, nyquist);
  bool finite = is_finite_value(largest);
  bins[0] = {dc, 0.0};
  bins[length] = {nyquist, 0.0};
  std::size_t k = 1;
#if defined(__SSE2__)
  double* const values = reinterpret_cast<double*>(bins);
  const __m128d zero = _mm_setzero_pd();
  BinPowerSurvey survey;
  for (; k + 4 <= length; k += 4) {
    const __m128d first = bin_pair_powers(values + 2 * k);
    const __m128d second = bin_pair_powers(values + 2 * k + 4);
    _mm_storeu_pd(values + 2 * k, _mm_unpacklo_pd(first, zero));
    _mm_storeu_pd(values + 2 * k + 2, _mm_unpackhi_pd(first, zero));
    _mm_storeu_pd(values + 2 * k + 4, _mm_unpacklo_pd(second, zero));
    _mm_storeu_pd(values + 2 * k + 6, _mm_unpackhi_pd(second, zero));
    survey.take(first, second);
  }
  finite = finite && survey.all_finite();
  largest = std::max(largest, survey.largest());
#endif
  for (; k < length; ++k) {
    const double power = bin_power(bins, k, length);
    finite = finite && is_finite_value(power);
    largest = std::max(largest, power);
    bins[k] = {power, 0.0};
  }
  if (!finite) return false;
  if (largest <= safe_power) return true;
  double total = 0.0;
  for (std::size_t b = 0; b <= length; ++b) total += bins[b].real();
  return is_finite_value(total);
}

// Autocorrelation of the rectified block in scratch[0 .. 2L-1], still to be
// multiplied by 1 / (2L); zero padding to 2L keeps the circular correlation
// free of wrap-around. False when the power spectrum is not finite.
bool autocorrelate(std::size_t length, const AcfWorkspace& work) noexcept {
  std::complex<double>* const bins = work.spectrum;
  work.plan->forward(work.scratch, bins, 1.0);
  if (!power_spectrum_in_place(bins, length)) return false;
  // The powers are not needed again, so the inverse transform may consume them.
  work.plan->backward_overwriting(bins, work.scratch, 1.0);
  return true;
}

// Lags 0 .. lag_limit-1 of the row from the autocorrelation still to be
// scaled: lag m over the product of the root energies of the two overlapping
// parts (E_f up to sample L - m, E_b from sample m on), clamped to [0, 1] and
// weighted by the loudness; 0 where either part is silent (a root is positive
// exactly when its energy is). Written once for both vector widths; without
// errno or trapping comparisons the square roots and selects vectorise, and
// every lag gets exactly the values of the scalar formula.
VARNHOLT_INLINE_BODY void normalise_lags_body(const double* __restrict acf, double scale,
                                              const double* __restrict forward_energy,
                                              const double* __restrict backward_energy,
                                              std::size_t length, double loudness,
                                              std::size_t lag_limit,
                                              double* __restrict row) noexcept {
  for (std::size_t m = 0; m < lag_limit; ++m) {
    const double root_f = std::sqrt(forward_energy[length - m]);
    const double root_b = std::sqrt(backward_energy[m]);
    const double normalised = (acf[m] * scale) / (root_f * root_b + NORMALISER_FLOOR);
    const double clamped = std::min(1.0, std::max(0.0, normalised));
    const bool audible = (root_b > 0.0) & (root_f > 0.0);
    row[m] = audible ? clamped * loudness : 0.0;
  }
}

}  // namespace

void normalise_acf_lags_baseline(const double* acf, double scale, const double* forward_energy,
                                 const double* backward_energy, std::size_t length, double loudness,
                                 std::size_t lag_limit, double* row) noexcept {
  normalise_lags_body(acf, scale, forward_energy, backward_energy, length, loudness, lag_limit,
                      row);
}

VARNHOLT_WIDE_TARGET void normalise_acf_lags_wide(const double* acf, double scale,
                                                  const double* forward_energy,
                                                  const double* backward_energy, std::size_t length,
                                                  double loudness, std::size_t lag_limit,
                                                  double* row) noexcept {
  normalise_lags_body(acf, scale, forward_energy, backward_energy, length, loudness, lag_limit,
                      row);
}

vh_status ecma_tonal_block_acf(const double* block, std::size_t j, std::size_t block_length,
                               std::size_t lags, const AcfWorkspace& work, double* row) noexcept {
  const std::size_t length = block_length;
  const std::size_t lag_limit = std::min(lags, (3 * length) >> 2);
  double* const e_f = work.forward_energy;
  double* const e_b = work.backward_energy;
  rectify_block(block, length, work.scratch, e_f, e_b);
  // RMS of the rectified block times sqrt(2): the RMS of the band signal
  // for a symmetric waveform.
  const double loudness =
      ecma_band_loudness(std::sqrt(2.0 * e_f[length] / static_cast<double>(length)), j);
  const bool audible = is_finite_value(loudness) && loudness != 0.0;
  std::fill(row + (audible ? lag_limit : 0), row + lags, 0.0);
  if (!is_finite_value(loudness)) return VH_ERR_NUMERICAL;
  if (!audible) return VH_OK;
  if (!autocorrelate(length, work)) {
    std::fill(row, row + lag_limit, 0.0);
    return VH_ERR_NUMERICAL;
  }
  const double scale = 1.0 / static_cast<double>(2 * length);
  if (wide_vectors_available()) {
    normalise_acf_lags_wide(work.scratch, scale, e_f, e_b, length, loudness, lag_limit, row);
  } else {
    normalise_acf_lags_baseline(work.scratch, scale, e_f, e_b, length, loudness, lag_limit, row);
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
