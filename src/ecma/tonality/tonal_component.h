// The tonal component of one band, block by block: the strongest
// periodicity of the averaged autocorrelation inside the band's lag window.
#pragma once

#include <complex>
#include <cstddef>

#include "core/fft.h"
#include "ecma/tonality/tonal_band_groups.h"
#include "varnholt.h"

namespace varnholt {

// Block series of one band, M values each.
struct TonalBlockSeries {
  double* tonal_loudness;  // t_i
  double* band_loudness;   // g_i
  double* frequency_hz;    // f_i
};

// Working arrays of the lag spectrum: the 16384-point real FFT plan, its
// 8193 bins and a scratch of 16384 doubles.
struct LagSpectrumWorkspace {
  RealFft* plan;
  std::complex<double>* spectrum;
  double* scratch;
};

// Averages the autocorrelation rows of band P's neighbours into `averaged`
// (M rows of e doubles). The store is a ring of `slots` bands: the rows of
// band j start at store + (j % slots) * M * e.
void average_neighbour_acfs(const double* store, std::size_t slots, std::size_t band,
                            std::size_t block_count, std::size_t lags, double* averaged) noexcept;

// For each block of result band P: the band loudness g (lag 0, averaged over
// three blocks below 16 bands), the frequency f of the largest peak of the
// lag window's spectrum and the tonal loudness t carried by that peak,
// limited to g. Statuses: a non-finite power sum -> VH_ERR_NUMERICAL.
vh_status tonal_block_series(const double* averaged, std::size_t band, std::size_t block_count,
                             std::size_t lags, const LagSpectrumWorkspace& work,
                             const TonalBlockSeries& out) noexcept;

}  // namespace varnholt
