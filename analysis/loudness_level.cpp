// Loudness level from loudness after the sone-phon relation of ISO 532-1.
#include "loudness_level.h"

#include <cmath>

namespace varnholt::analysis {

double loudness_level_phon(double loudness_sone) {
  if (loudness_sone >= 1.0) return 40.0 + 10.0 * std::log2(loudness_sone);
  return 40.0 * std::pow(loudness_sone + 0.0005, 0.35);
}

}  // namespace varnholt::analysis
