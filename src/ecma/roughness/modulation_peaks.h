// Prominent peaks of a weighted modulation spectrum.
#pragma once

#include <cstddef>
#include <cstdint>

namespace varnholt {

// A local maximum of a modulation spectrum: its bin and how far it stands out
// above the higher of the two valleys that separate it from higher ground.
struct ModulationPeak {
  std::uint64_t bin;
  double prominence;
};

// Local maxima lie in bins 3 ... 254 and need a rise before them, so there are
// never more than 126 of them.
inline constexpr std::size_t MODULATION_PEAK_CAPACITY = 128;

// The number of peaks kept for the rate estimation.
inline constexpr std::size_t MODULATION_PEAKS_KEPT = 10;

// qsort comparator: larger prominence first, equal prominence smaller bin
// first; 0 when a prominence is NaN.
int compare_peaks(const void* a, const void* b) noexcept;

// Finds the local maxima of phi (257 bins) searched over bins 2 ... 255; a
// plateau counts once, at its middle. Writes them to peaks (capacity
// MODULATION_PEAK_CAPACITY) in bin order and returns their number.
std::size_t find_modulation_peaks(const double* phi, ModulationPeak* peaks) noexcept;

// Keeps the ten most prominent of `count` peaks (all if fewer), then puts the
// kept ones back into bin order. Returns the number kept.
std::size_t select_modulation_peaks(ModulationPeak* peaks, std::size_t count) noexcept;

}  // namespace varnholt
