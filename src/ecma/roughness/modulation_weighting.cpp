// Modulation spectra of neighbouring bands are averaged and normalised to the
// block's loudest band; their sum over the bands decides which modulation
// rates stand out from the block's modulation noise floor, and only those
// rates are kept for the band roughness.
#include "ecma/roughness/modulation_weighting.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>

#include "core/checks.h"
#include "ecma/band_scale.h"
#include "ecma/roughness/band_roughness.h"

namespace varnholt {
namespace {

constexpr std::size_t BINS = ECMA_MODULATION_BINS;
constexpr std::size_t LAST_BAND = ECMA_BAND_COUNT - 1;

// Bins 2 ... 255 form the floor estimate and the peak search.
constexpr std::size_t FIRST_RATE_BIN = 2;
constexpr std::size_t LAST_RATE_BIN = 255;

}  // namespace

BlockWeighting::BlockWeighting() : averaged_(ECMA_BAND_COUNT * BINS, 0.0) {
  // Low rates count less: the weight grows by 1.2 % per bin up to 1 at bin 139
  // (about 407 Hz).
  for (std::size_t m = 0; m < BINS; ++m) {
    rate_weight_[m] = std::min(0.1891 * std::exp(0.012 * static_cast<double>(m)), 1.0);
  }
}

// Averages each band with its neighbours, divides by the loudest band and sums
// over the bands. False when a value is not finite.
bool BlockWeighting::average_over_bands(const double* spectra, double peak_loudness) {
  sum_.fill(0.0);
  for (std::size_t b = 0; b < ECMA_BAND_COUNT; ++b) {
    const double* own = spectra + b * BINS;
    double* phi = averaged_.data() + b * BINS;
    if (b == 0 || b == LAST_BAND) {
      for (std::size_t m = 0; m < BINS; ++m) phi[m] = own[m] / peak_loudness;
    } else {
      const double* below = own - BINS;
      const double* above = own + BINS;
      for (std::size_t m = 0; m < BINS; ++m) {
        phi[m] = ((own[m] + below[m]) + above[m]) / 3.0 / peak_loudness;
      }
    }
    for (std::size_t m = 0; m < BINS; ++m) {
      if (!is_finite_value(phi[m])) return false;
      sum_[m] += phi[m];
    }
  }
  return true;
}

// Mask of the modulation rates that stand out: the band sum relative to its
// median over the rate range, weighted by rate, with a soft threshold.
void BlockWeighting::bin_mask() {
  std::copy(sum_.begin() + FIRST_RATE_BIN, sum_.begin() + LAST_RATE_BIN + 1, sorted_.begin());
  std::qsort(sorted_.data(), sorted_.size(), sizeof(double), compare_ascending);
  const double median = (sorted_[126] + sorted_[127]) * 0.5;

  std::array<double, BINS> weight{};
  double highest = 0.0;
  for (std::size_t m = 0; m < BINS; ++m) {
    weight[m] = rate_weight_[m] * (sum_[m] * 0.0856 / (median + 1e-10));
    if (m >= FIRST_RATE_BIN && m <= LAST_RATE_BIN && weight[m] > highest) highest = weight[m];
  }
  for (std::size_t m = 0; m < BINS; ++m) {
    mask_[m] = weight[m] >= 0.05 * highest ? std::min(std::max(weight[m] - 0.1407, 0.0), 1.0) : 0.0;
  }
}

vh_status BlockWeighting::block_roughness(const double* spectra, const double* loudness,
                                          double* roughness) {
  double peak_loudness = loudness[0];
  for (std::size_t b = 1; b < ECMA_BAND_COUNT; ++b)
    peak_loudness = std::max(peak_loudness, loudness[b]);
  if (peak_loudness == 0.0) return VH_OK;

  if (!average_over_bands(spectra, peak_loudness)) return VH_ERR_NUMERICAL;
  bin_mask();
  for (std::size_t b = 0; b < ECMA_BAND_COUNT; ++b) {
    double* phi = averaged_.data() + b * BINS;
    for (std::size_t m = 0; m < BINS; ++m) phi[m] *= mask_[m];
    const double value = ecma_band_roughness(phi, b);
    if (!is_finite_value(value)) return VH_ERR_NUMERICAL;
    roughness[b] = value;
  }
  return VH_OK;
}

}  // namespace varnholt
