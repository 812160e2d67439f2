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
// 8193 bins and a scratch of 16384 doubles that is all zero on entry and is
// left all zero (only the lag window is written, then cleared again), so it
// must not be shared with other work.
struct LagSpectrumWorkspace {
  RealFft* plan;
  std::complex<double>* spectrum;
  double* scratch;
};

// One block of result band P: tonal loudness t, band loudness g, frequency f.
struct TonalBlockValue {
  double tonal_loudness;
  double band_loudness;
  double frequency_hz;
};

// Averages the autocorrelation rows (e lags each) of one block over band P's
// neighbours into `averaged`; `rows` holds the rows of consecutive bands from
// `first_row_band` on.
void average_neighbour_acfs(const double* rows, std::size_t first_row_band, std::size_t band,
                            std::size_t lags, double* averaged) noexcept;

// True for the bands (below 16) whose block values average three blocks.
bool tonal_block_time_averaged(std::size_t band) noexcept;

// For one block of result band P, from its averaged row (and, for a
// time-averaged block, the rows of the blocks before and after; both null
// otherwise): the band loudness g (lag 0), the frequency f of the largest
// peak of the lag window's spectrum and the tonal loudness t carried by that
// peak, limited to g. Statuses: a non-finite power sum -> VH_ERR_NUMERICAL.
vh_status tonal_block_value(const double* row, const double* previous, const double* next,
                            std::size_t band, const LagSpectrumWorkspace& work,
                            TonalBlockValue& out) noexcept;

// The block values of all M blocks of result band P from its averaged rows
// (M rows of e doubles): bands below 16 average three blocks except at the
// first and the last block.
vh_status tonal_block_series(const double* averaged, std::size_t band, std::size_t block_count,
                             std::size_t lags, const LagSpectrumWorkspace& work,
                             const TonalBlockSeries& out) noexcept;

}  // namespace varnholt
