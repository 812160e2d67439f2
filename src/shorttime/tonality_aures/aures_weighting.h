// Weighting of the tonal components after Aures: each component's level above
// masking and the threshold in quiet, and the combined weight of bandwidth,
// frequency and level excess.
#pragma once

namespace varnholt {

// Critical-band rate of every analysis bin k0 + b, b = 0 .. nb - 1, of an
// n-point spectrum at the given sample rate; out holds nb values.
void aures_analysis_bin_rates(int k0, int nb, double sample_rate, int n, double* out) noexcept;

// Level excess in dB (at least 0) of each component of a frequency-sorted
// table over the noise of its critical band in the residual levels
// (residual_levels[b] is the level of bin k0 + b, its own bin and two bins
// either side left out), the masking by the other components (flatter slope
// below, 27 dB/Bark above) and the threshold in quiet. bin_rates as from
// aures_analysis_bin_rates; component_rates is scratch for count values.
// Returns 0, or -1 when an excess is not finite.
int aures_excess_levels(const double* residual_levels, int nb, const double* bin_rates,
                        const double* frequencies, const double* levels, const int* own_bins,
                        int count, double* component_rates, double* excess) noexcept;

// Tonal weight w_T: the root of the summed squares of the components' combined
// bandwidth, frequency (greatest near 700 Hz) and excess weightings. Not a
// number when an input is not finite or a window bandwidth is negative.
double aures_tonal_weight(const double* frequencies, const double* bandwidths,
                          const double* excess, const double* window_bandwidths,
                          int count) noexcept;

// Threshold in quiet in dB SPL at a frequency in Hz (130 dB at 0 Hz and below).
double threshold_in_quiet(double frequency_hz) noexcept;

}  // namespace varnholt
