// Loudness level in phon of a loudness in sone.
#pragma once

namespace varnholt::analysis {

// 40 + 10 * log2(N) phon for N >= 1 sone (every doubling of loudness adds
// 10 phon), 40 * (N + 0.0005)^0.35 phon below, where the doubling rule no
// longer holds near threshold.
double loudness_level_phon(double loudness_sone);

}  // namespace varnholt::analysis
