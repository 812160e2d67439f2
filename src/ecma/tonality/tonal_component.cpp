// Neighbour averaging of autocorrelations and the lag spectrum of each block.
#include "ecma/tonality/tonal_component.h"

#include <algorithm>
#include <cmath>

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
// is zero.
void fill_lag_window(const double* row, const double* previous, const double* next,
                     const LagWindow& window, double* scratch) noexcept {
  std::fill(scratch, scratch + TONAL_LAG_SPECTRUM_LENGTH, 0.0);
  const double count = static_cast<double>(window.length());
  double mean = 0.0;
  for (std::size_t m = window.first; m <= window.last; ++m) {
    const double v = previous == nullptr ? row[m] : ((row[m] + previous[m]) + next[m]) / 3.0;
    scratch[m] = v;
    mean += v / count;
  }
  for (std::size_t m = window.first; m <= window.last; ++m) scratch[m] -= mean;
}

// Power of the strongest bin of the lag spectrum and its index (the first
// of equal maxima; 0 for an all-zero spectrum). False for a non-finite sum.
bool strongest_bin(const LagSpectrumWorkspace& work, double& peak_power,
                   std::size_t& peak_bin) noexcept {
  constexpr std::size_t last_bin = TONAL_LAG_SPECTRUM_LENGTH / 2;
  work.plan->forward(work.scratch, work.spectrum, 1.0);
  double total = 0.0;
  peak_power = 0.0;
  peak_bin = 0;
  for (std::size_t l = 0; l <= last_bin; ++l) {
    const std::complex<double> z = work.spectrum[l];
    // Bins 0 and N/2 of a real transform are real.
    const double power =
        (l == 0 || l == last_bin) ? z.real() * z.real() : z.real() * z.real() + z.imag() * z.imag();
    total += power;
    if (power > peak_power) {
      peak_power = power;
      peak_bin = l;
    }
  }
  return is_finite_value(total);
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
  if (!strongest_bin(work, peak_power, peak_bin)) return VH_ERR_NUMERICAL;
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
