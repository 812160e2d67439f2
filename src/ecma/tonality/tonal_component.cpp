// Neighbour averaging of autocorrelations and the lag spectrum of each block.
#include "ecma/tonality/tonal_component.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/bin_powers.h"
#include "core/checks.h"
#include "core/physical_constants.h"

namespace varnholt {
namespace {

// Bands below this one average lag values over three consecutive blocks.
constexpr std::size_t LAST_TIME_AVERAGED_BAND = 15;

// Bin spacing of the lag spectrum in Hz: 48000 / 16384.
constexpr double BIN_SPACING_HZ =
    SAMPLE_RATE_HZ / static_cast<double>(TONAL_LAG_SPECTRUM_LENGTH);

// Fills the lag window of the scratch with block i of the averaged rows
// (or its three-block mean) and removes the window's mean; everything else
// is zero already.
void fill_lag_window(const double* row, const double* previous, const double* next,
                     const LagWindow& window, double* scratch) noexcept {
  const double count = static_cast<double>(window.length());
  double mean = 0.0;
  for (std::size_t m = window.first; m <= window.last; ++m) {
    const double v = previous == nullptr ? row[m] : ((row[m] + previous[m]) + next[m]) / 3.0;
    scratch[m] = v;
    mean += v / count;
  }
  for (std::size_t m = window.first; m <= window.last; ++m) scratch[m] -= mean;
}

// Power of bin l of the lag spectrum.
double lag_bin_power(const std::complex<double>* z, std::size_t l) noexcept {
  return bin_power(z, l, TONAL_LAG_SPECTRUM_LENGTH / 2);
}

// Bins per stretch of the search for the largest power: the first stretch
// that raises the running maximum is remembered, so finding the peak's bin
// afterwards scans one stretch instead of the spectrum.
constexpr std::size_t SEARCH_STRETCH = 64;

// Largest bin power of the spectrum, whether every power is finite, and in
// search_from a bin at or before the first bin that holds the largest power.
// Two bins to a vector register where the target has one: their powers come
// out exactly as lag_bin_power gives them.
double largest_bin_power(const std::complex<double>* z, bool& finite,
                         std::size_t& search_from) noexcept {
  constexpr std::size_t last_bin = TONAL_LAG_SPECTRUM_LENGTH / 2;
  double largest = std::max(lag_bin_power(z, 0), lag_bin_power(z, last_bin));
  finite = is_finite_value(largest);
  search_from = 0;
  std::size_t l = 1;
#if defined(__SSE2__)
  const double* const values = reinterpret_cast<const double*>(z);
  BinPowerSurvey survey;
  for (; l + SEARCH_STRETCH <= last_bin; l += SEARCH_STRETCH) {
    survey.restart_largest();
    for (std::size_t b = l; b < l + SEARCH_STRETCH; b += 4) {
      survey.take(bin_pair_powers(values + 2 * b), bin_pair_powers(values + 2 * b + 4));
    }
    const double stretch_largest = survey.largest();
    if (stretch_largest > largest) {
      largest = stretch_largest;
      search_from = l;
    }
  }
  finite = finite && survey.all_finite();
#endif
  for (; l < last_bin; ++l) {
    const double power = lag_bin_power(z, l);
    if (!is_finite_value(power)) finite = false;
    if (power > largest) {
      largest = power;
      search_from = l;
    }
  }
  return largest;
}

// Power of the strongest bin of the lag spectrum and its index (the first
// of equal maxima; 0 for an all-zero spectrum). False when the sum of the
// powers is not finite.
bool strongest_bin(const LagSpectrumWorkspace& work, double& peak_power,
                   std::size_t& peak_bin) noexcept {
  constexpr std::size_t last_bin = TONAL_LAG_SPECTRUM_LENGTH / 2;
  work.plan->forward(work.scratch, work.spectrum, 1.0);
  const std::complex<double>* const z = work.spectrum;
  bool finite = true;
  std::size_t search_from = 0;
  const double largest = largest_bin_power(z, finite, search_from);
  if (!finite) return false;
  // Below this bound no sum of the 8193 powers can overflow; above it the
  // sum is formed to find out.
  constexpr double SAFE_POWER = std::numeric_limits<double>::max() / TONAL_LAG_SPECTRUM_LENGTH;
  if (!(largest <= SAFE_POWER)) {
    double total = 0.0;
    for (std::size_t l = 0; l <= last_bin; ++l) total += lag_bin_power(z, l);
    if (!is_finite_value(total)) return false;
  }
  peak_power = largest;
  peak_bin = 0;
  if (largest > 0.0) {
    peak_bin = search_from;
    while (lag_bin_power(z, peak_bin) != largest) ++peak_bin;
  }
  return true;
}

}  // namespace

void average_neighbour_acfs(const double* rows, std::size_t first_row_band, std::size_t band,
                            std::size_t lags, double* averaged) noexcept {
  const NeighbourRange range = tonal_neighbour_range(band);
  const double count = static_cast<double>(range.below + range.above + 1);
  std::fill(averaged, averaged + lags, 0.0);
  for (std::size_t j = band - range.below; j <= band + range.above; ++j) {
    const double* const row = rows + (j - first_row_band) * lags;
    for (std::size_t v = 0; v < lags; ++v) averaged[v] += row[v] / count;
  }
}

vh_status tonal_block_value(const double* row, const double* previous, const double* next,
                            std::size_t band, const LagSpectrumWorkspace& work,
                            TonalBlockValue& out) noexcept {
  const LagWindow window = tonal_lag_window(band);
  const double window_length = static_cast<double>(window.length());
  // Lag 0 of the weighted autocorrelation is the band loudness.
  const double loudness = previous != nullptr ? ((row[0] + previous[0]) + next[0]) / 3.0 : row[0];
  if (loudness == 0.0) {
    out = TonalBlockValue{0.0, 0.0, 0.0};
    return VH_OK;
  }
  fill_lag_window(row, previous, next, window, work.scratch);
  double peak_power = 0.0;
  std::size_t peak_bin = 0;
  const bool finite = strongest_bin(work, peak_power, peak_bin);
  std::fill(work.scratch + window.first, work.scratch + window.last + 1, 0.0);
  if (!finite) return VH_ERR_NUMERICAL;
  // The peak's magnitude grows with the amplitude of the periodic part of
  // the autocorrelation and with the window length H; 4 sqrt(P) / H turns
  // it into loudness, never more than the band's own.
  out.tonal_loudness = std::min(loudness, 4.0 * std::sqrt(peak_power) / window_length);
  out.band_loudness = loudness;
  out.frequency_hz = static_cast<double>(peak_bin) * BIN_SPACING_HZ;
  return VH_OK;
}

bool tonal_block_time_averaged(std::size_t band) noexcept {
  return band <= LAST_TIME_AVERAGED_BAND;
}

vh_status tonal_block_series(const double* averaged, std::size_t band, std::size_t block_count,
                             std::size_t lags, const LagSpectrumWorkspace& work,
                             const TonalBlockSeries& out) noexcept {
  for (std::size_t i = 0; i < block_count; ++i) {
    const double* const row = averaged + i * lags;
    const bool time_averaged = tonal_block_time_averaged(band) && i > 0 && i + 1 < block_count;
    TonalBlockValue value{};
    const vh_status s = tonal_block_value(row, time_averaged ? row - lags : nullptr,
                                          time_averaged ? row + lags : nullptr, band, work, value);
    if (s != VH_OK) return s;
    out.tonal_loudness[i] = value.tonal_loudness;
    out.band_loudness[i] = value.band_loudness;
    out.frequency_hz[i] = value.frequency_hz;
  }
  return VH_OK;
}

}  // namespace varnholt
