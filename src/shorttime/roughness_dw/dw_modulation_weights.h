// Weightings of the roughness summation: over critical-band rate, and over
// modulation frequency for every channel.
#ifndef VARNHOLT_SHORTTIME_ROUGHNESS_DW_DW_MODULATION_WEIGHTS_H
#define VARNHOLT_SHORTTIME_ROUGHNESS_DW_DW_MODULATION_WEIGHTS_H

#include <vector>

namespace varnholt {

// Weight g(z) of a channel's contribution at critical-band rate z (Bark).
double critical_band_weight(double z);

// g_q for the 47 channels, q at (q + 1)/2 Bark.
std::vector<double> channel_weights();

// Band-pass weights over modulation frequency of the envelope spectra: 47
// rows of n values, row q for channel q, bin b at b * fs / n Hz. Bins 0 and 1
// and everything from the curve's upper end on (the whole upper half
// included) are 0, so a weighted spectrum holds positive frequencies only.
std::vector<double> modulation_weight_rows(int n, double fs);

}  // namespace varnholt

#endif
