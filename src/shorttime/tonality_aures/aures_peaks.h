// Tonal peaks of a level spectrum and their -3 dB bandwidths.
#pragma once

#include "shorttime/tonality_aures/aures_components.h"

namespace varnholt {

// Appends to `components` every analysis bin i = k0 .. k0 + nb - 1 of the
// level spectrum L[0..n-1] (dB) that is a tonal peak: both far neighbours
// inside the spectrum; higher than its left neighbour and not lower than its
// right one (of a flat top of two bins the left one); at least 7 dB above the
// bins d1 and d2 away on both sides; outside every excluded band (lo..hi
// inclusive); above 0 dB. Peaks come out in ascending frequency, with
// frequency i fs / n, level L[i] and bin i. Returns the number appended.
int aures_find_peaks(const double* levels, int n, int k0, int nb, int d1, int d2,
                     const TonalBand* excluded, int excluded_count, double sample_rate,
                     TonalComponentTable& components) noexcept;

// The -3 dB bandwidth in Hz of components [0, count) (all peaks, with their
// bins set), measured over the whole level spectrum L[0..n-1] by linear
// interpolation in dB between the two bins that straddle the threshold on
// each side. Returns 0, or -1 as soon as a bandwidth is not finite or not
// positive.
int aures_peak_bandwidth(const double* levels, int n, double sample_rate,
                         TonalComponentTable& components, int count) noexcept;

}  // namespace varnholt
