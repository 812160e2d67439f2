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
