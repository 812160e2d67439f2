// Block autocorrelations by the Wiener-Khinchin route: power spectrum of the
// zero-padded block, transformed back.
#include "ecma/tonality/band_autocorrelation.h"

#include <algorithm>
#include <cmath>

#include "core/checks.h"
#include "ecma/band_loudness.h"
#include "ecma/tonality/tonal_band_groups.h"

namespace varnholt {
namespace {

// Added to the energy normaliser so that lags with vanishing overlap energy
// stay bounded.
constexpr double NORMALISER_FLOOR = 1e-12;

// Half-wave rectifies the block into the scratch (the inner hair cells pass
// one polarity) and accumulates its forward running energy; the scratch is
// zero from L to 2L.
void rectify_block(const double* block, std::size_t length, double* scratch,
                   double* forward_energy) noexcept {
  std::fill(scratch, scratch + 2 * length, 0.0);
  forward_energy[0] = 0.0;
  for (std::size_t m = 0; m < length; ++m) {
    const double r = std::max(0.0, block[m]);
    scratch[m] = r;
    forward_energy[m + 1] = forward_energy[m] + r * r;
  }
}

// E_b[m]: energy of the rectified block from sample m to the end.
void backward_running_energy(const double* rectified, std::size_t length,
                             double* backward_energy) noexcept {
  backward_energy[length] = 0.0;
  for (std::size_t m = length; m-- > 0;) {
    backward_energy[m] = backward_energy[m + 1] + rectified[m] * rectified[m];
  }
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
  rectify_block(block, length, work.scratch, e_f);
  // RMS of the rectified block times sqrt(2): the RMS of the band signal
  // for a symmetric waveform.
  const double loudness =
      ecma_band_loudness(std::sqrt(2.0 * e_f[length] / static_cast<double>(length)), j);
  if (!is_finite_value(loudness)) return VH_ERR_NUMERICAL;
  if (loudness == 0.0) return VH_OK;
  backward_running_energy(work.scratch, length, e_b);
  if (!autocorrelate(length, work)) return VH_ERR_NUMERICAL;
  const double* const a = work.scratch;
  for (std::size_t m = 0; m < lag_limit; ++m) {
    if (e_b[m] > 0.0 && e_f[length - m] > 0.0) {
      const double normalised =
          a[m] / (std::sqrt(e_f[length - m]) * std::sqrt(e_b[m]) + NORMALISER_FLOOR);
      row[m] = std::min(1.0, std::max(0.0, normalised)) * loudness;
    }
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
