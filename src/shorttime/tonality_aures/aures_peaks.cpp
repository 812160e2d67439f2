// Peak picking in the level spectrum: a bin that stands at least 7 dB above its
// neighbours 25 Hz and 37.5 Hz away is a tonal peak.
#include "shorttime/tonality_aures/aures_peaks.h"

#include <limits>

#include "core/checks.h"

namespace varnholt {
namespace {

bool inside_a_band(int bin, const TonalBand* bands, int count) noexcept {
  for (int b = 0; b < count; ++b) {
    if (bin >= bands[b].lo && bin <= bands[b].hi) return true;
  }
  return false;
}

// Frequency at which the line through (f0, l0) and (f1, l1) reaches the
// threshold; not a number when the two levels are equal.
double threshold_crossing(double f0, double l0, double f1, double l1, double threshold) noexcept {
  if (l1 == l0) return std::numeric_limits<double>::quiet_NaN();
  return f0 + (f1 - f0) * (threshold - l0) / (l1 - l0);
}

}  // namespace

int aures_find_peaks(const double* levels, int n, int k0, int nb, int d1, int d2,
                     const TonalBand* excluded, int excluded_count, double sample_rate,
                     TonalComponentTable& components) noexcept {
  const double* l = levels;
  int appended = 0;
  for (int i = k0; i - k0 < nb; ++i) {
    if (i - d2 < 0 || i + d2 >= n) continue;
    if (!(l[i] > l[i - 1] && l[i] >= l[i + 1])) continue;
    if (!(l[i] - l[i - d2] >= 7.0 && l[i] - l[i - d1] >= 7.0 && l[i] - l[i + d1] >= 7.0 &&
          l[i] - l[i + d2] >= 7.0)) {
      continue;
    }
    if (inside_a_band(i, excluded, excluded_count)) continue;
    if (!(l[i] > 0.0)) continue;
    TonalComponent peak{};
    peak.frequency = static_cast<double>(i) * sample_rate / static_cast<double>(n);
    peak.level = l[i];
    peak.bin = i;
    if (!components.append(peak)) break;
    ++appended;
  }
  return appended;
}

int aures_peak_bandwidth(const double* levels, int n, double sample_rate,
                         TonalComponentTable& components, int count) noexcept {
  const double* l = levels;
  const double dn = static_cast<double>(n);
  const auto f = [&](int k) { return static_cast<double>(k) * sample_rate / dn; };
  const int* bins = components.bins();
  double* bandwidths = components.bandwidths();
  for (int c = 0; c < count; ++c) {
    const int m = bins[c];
    const double threshold = l[m] - 3.0;

    int lo = -1;
    for (int k = m; k >= 0; --k) {
      if (l[k] < threshold) {
        lo = k;
        break;
      }
    }
    if (lo < 3) lo = 3;
    if (lo + 1 >= n) lo = n - 2;

    int hi = m + 1;
    for (int k = m + 1; k < n; ++k) {
      if (l[k] < threshold) {
        hi = k;
        break;
      }
    }
    if (hi > n - 1) hi = n - 1;

    const double f_lo = threshold_crossing(f(lo), l[lo], f(lo + 1), l[lo + 1], threshold);
    const double f_hi = threshold_crossing(f(hi - 1), l[hi - 1], f(hi), l[hi], threshold);
    const double bandwidth = f_hi - f_lo;
    if (!is_finite_value(bandwidth) || bandwidth <= 0.0) return -1;
    bandwidths[c] = bandwidth;
  }
  return 0;
}

}  // namespace varnholt
