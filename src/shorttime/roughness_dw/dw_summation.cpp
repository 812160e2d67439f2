// Roughness model, last stage: envelope correlations and summation into asper.
#include "shorttime/roughness_dw/dw_summation.h"

#include <cmath>
#include <cstddef>

#include "core/checks.h"

namespace varnholt {

namespace {

// Scales the weighted sum of squared, correlation-weighted depths so that a
// 1 kHz tone of 60 dB, fully modulated at 70 Hz, reads 1 asper.
constexpr double DW_CALIBRATION = 0.4969205831462427;

}  // namespace

bool envelope_correlations(const DwChannelWork& work, int n, DwCorrelations& k) {
  for (int i = 0; i < DW_CORRELATION_COUNT; ++i) {
    const double* x = work.envelope(i, n);
    const double* y = work.envelope(i + 2, n);
    // The means were summed in sample order as each envelope was formed.
    const double mean_x = work.envelope_mean[static_cast<std::size_t>(i)];
    const double mean_y = work.envelope_mean[static_cast<std::size_t>(i + 2)];
    double sxx = 0.0;
    double syy = 0.0;
    double sxy = 0.0;
    for (int t = 0; t < n; ++t) {
      const double dx = x[t] - mean_x;
      const double dy = y[t] - mean_y;
      sxx += dx * dx;
      syy += dy * dy;
      sxy += dx * dy;
    }
    const double d = std::sqrt(syy * sxx);
    if (!is_finite_value(d)) return false;
    // A constant envelope has no modulation to share, whatever rounding noise
    // the transforms left in it. Otherwise signed: envelopes in opposite phase
    // reduce roughness as much as envelopes in phase raise it.
    const bool flat = work.constant[static_cast<std::size_t>(i)] ||
                      work.constant[static_cast<std::size_t>(i + 2)];
    k[static_cast<std::size_t>(i)] = (flat || !(d > 0.0)) ? 0.0 : sxy / d;
  }
  return true;
}

bool sum_roughness(const DwChannelWork& work, const DwCorrelations& k,
                   const std::vector<double>& channel_weight, double* roughness) {
  double total = 0.0;
  for (int q = 0; q < DW_CHANNEL_COUNT; ++q) {
    // Depth times the correlation with the channel 1 Bark below and 1 Bark
    // above, where such a channel exists.
    double product = work.depth[static_cast<std::size_t>(q)];
    if (q >= 2) product *= k[static_cast<std::size_t>(q - 2)];
    if (q < DW_CORRELATION_COUNT) product *= k[static_cast<std::size_t>(q)];
    const double contribution = channel_weight[static_cast<std::size_t>(q)] * (product * product);
    total += contribution * DW_CALIBRATION;
  }
  if (!is_finite_value(total)) return false;
  *roughness = 0.5 * total;
  return true;
}

}  // namespace varnholt
