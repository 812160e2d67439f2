// Block autocorrelation of one band signal, normalised and weighted by the
// band loudness of the block.
#pragma once

#include <complex>
#include <cstddef>

#include "core/fft.h"
#include "varnholt.h"

namespace varnholt {

// Working arrays of ecma_tonal_band_acf, owned by the caller and reused for
// every block and band: the 2L-point real FFT plan and its spectrum (L + 1
// bins), a scratch of at least 2L doubles, and the forward and backward
// running energies of at least L + 1 doubles each.
struct AcfWorkspace {
  RealFft* plan;
  std::complex<double>* spectrum;
  double* scratch;
  double* forward_energy;
  double* backward_energy;
};

// Lags 0 .. lag_limit-1 of a block's row from its autocorrelation `acf`
// still to be multiplied by `scale`, and the running energies E_f[0 .. L]
// and E_b[0 .. L] of its rectified samples: lag m is normalised by
// sqrt(E_f[L - m]) sqrt(E_b[m]), clamped to [0, 1] and weighted by the
// loudness, or 0 where either energy is 0. Two lags to a register, and four
// (AVX2; only where the processor has it): bit-identical.
void normalise_acf_lags_baseline(const double* acf, double scale, const double* forward_energy,
                                 const double* backward_energy, std::size_t length, double loudness,
                                 std::size_t lag_limit, double* row) noexcept;
void normalise_acf_lags_wide(const double* acf, double scale, const double* forward_energy,
                             const double* backward_energy, std::size_t length, double loudness,
                             std::size_t lag_limit, double* row) noexcept;

// Row of one block (L samples of band j's signal from `block`) into `row`
// (e doubles), as below. Statuses: a non-finite band loudness or power sum ->
// VH_ERR_NUMERICAL.
vh_status ecma_tonal_block_acf(const double* block, std::size_t j, std::size_t block_length,
                               std::size_t lags, const AcfWorkspace& work, double* row) noexcept;

// For each of the M blocks of band j (block i covers band-signal samples
// 8192 - L + i L/4 .. 8192 + i L/4 - 1, so it ends at input time i L/4)
// writes row i of `rows` (M rows of e doubles): lag m holds the correlation of
// the half-wave rectified block with itself shifted by m, normalised by the
// energies of the two overlapping parts, clamped to [0, 1] and multiplied by
// the band loudness of the block. Lags from 3L/4 on, and every lag of a
// silent block, are 0.
// Statuses: a non-finite band loudness or power sum -> VH_ERR_NUMERICAL.
vh_status ecma_tonal_band_acf(const double* band_signal, std::size_t j, std::size_t block_length,
                              std::size_t block_count, std::size_t lags,
                              const AcfWorkspace& work, double* rows) noexcept;

}  // namespace varnholt
