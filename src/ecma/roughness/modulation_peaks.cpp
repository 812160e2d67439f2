// Local maxima of a modulation spectrum, their prominences and the choice of
// the ten most prominent.
#include "ecma/roughness/modulation_peaks.h"

#include <algorithm>
#include <cstdlib>

namespace varnholt {
namespace {

// The search range: bins 2 ... 255 (the lowest bins hold the envelope's mean,
// the top bin the Nyquist rate of the envelope).
constexpr std::uint64_t FIRST_BIN = 2;
constexpr std::uint64_t LAST_BIN = 255;

// Height of the peak at p above the higher of its two bases. Each base is the
// lowest value reached before the spectrum climbs above the peak (or the
// search range ends), on its side of the plateau [first, last].
double peak_prominence(const double* phi, std::uint64_t p, std::uint64_t first,
                       std::uint64_t last) {
  const double height = phi[p];
  double left_base = height;
  for (std::uint64_t m = first; m-- > FIRST_BIN;) {
    if (phi[m] > height) break;
    left_base = std::min(left_base, phi[m]);
  }
  double right_base = height;
  for (std::uint64_t m = last + 1; m <= LAST_BIN; ++m) {
    if (phi[m] > height) break;
    right_base = std::min(right_base, phi[m]);
  }
  return height - std::max(left_base, right_base);
}

}  // namespace

int compare_peaks(const void* a, const void* b) noexcept {
  const auto* x = static_cast<const ModulationPeak*>(a);
  const auto* y = static_cast<const ModulationPeak*>(b);
  if (x->prominence > y->prominence) return -1;
  if (x->prominence < y->prominence) return 1;
  if (x->prominence != y->prominence) return 0;  // a NaN
  return (x->bin > y->bin) - (x->bin < y->bin);
}

std::size_t find_modulation_peaks(const double* phi, ModulationPeak* peaks) noexcept {
  std::size_t count = 0;
  std::uint64_t index = FIRST_BIN + 1;
  while (index < LAST_BIN) {
    if (!(phi[index] > phi[index - 1])) {
      ++index;
      continue;
    }
    // Walk over a plateau of equal values; one that runs into the end of the
    // range is no peak.
    std::uint64_t last = index;
    while (last < LAST_BIN && phi[last + 1] == phi[index]) ++last;
    if (last < LAST_BIN && phi[last] > phi[last + 1] && count < MODULATION_PEAK_CAPACITY) {
      const std::uint64_t p = (index + last) >> 1;
      peaks[count++] = ModulationPeak{p, peak_prominence(phi, p, index, last)};
    }
    index = last + 1;
  }
  return count;
}

std::size_t select_modulation_peaks(ModulationPeak* peaks, std::size_t count) noexcept {
  std::qsort(peaks, count, sizeof(ModulationPeak), compare_peaks);
  const std::size_t kept = std::min(count, MODULATION_PEAKS_KEPT);
  // Insertion sort by bin: at most ten distinct bins.
  for (std::size_t i = 1; i < kept; ++i) {
    const ModulationPeak peak = peaks[i];
    std::size_t j = i;
    for (; j > 0 && peaks[j - 1].bin > peak.bin; --j) peaks[j] = peaks[j - 1];
    peaks[j] = peak;
  }
  return kept;
}

}  // namespace varnholt
