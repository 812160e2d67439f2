// A periodic envelope that is not sinusoidal shows up as a fundamental rate
// and its harmonics; they are heard as one roughness, so their amplitudes are
// summed around the best fitting fundamental.
#include "ecma/roughness/harmonic_complex.h"

#include <cmath>

namespace varnholt {
namespace {

// Largest relative deviation of a component from an exact harmonic.
constexpr double HARMONIC_TOLERANCE = 0.04;

// The complex built on the rate f0: for each harmonic number the component
// closest to it, if within tolerance.
HarmonicComplex complex_on(const ModulationComponent* components, std::size_t count,
                           std::size_t fundamental) {
  const double f0 = components[fundamental].rate_hz;
  double harmonic[MODULATION_COMPONENT_CAPACITY];
  for (std::size_t l = 0; l < count; ++l) {
    harmonic[l] = std::floor(components[l].rate_hz / f0 + 0.5);
  }
  HarmonicComplex result{0.0, fundamental, {}, 0};
  for (std::size_t s = 0; s < count; ++s) {
    if (harmonic[s] == 0.0) continue;
    bool seen = false;
    for (std::size_t j = 0; j < s && !seen; ++j) seen = harmonic[j] == harmonic[s];
    if (seen) continue;
    std::size_t chosen = s;
    double deviation = std::fabs(components[s].rate_hz / (harmonic[s] * f0) - 1.0);
    for (std::size_t l = s + 1; l < count; ++l) {
      if (harmonic[l] != harmonic[s]) continue;
      const double u = std::fabs(components[l].rate_hz / (harmonic[l] * f0) - 1.0);
      if (u < deviation) {
        deviation = u;
        chosen = l;
      }
    }
    if (deviation < HARMONIC_TOLERANCE) {
      result.members[result.member_count++] = chosen;
      result.amplitude_sum += components[chosen].amplitude;
    }
  }
  return result;
}

}  // namespace

HarmonicComplex strongest_harmonic_complex(const ModulationComponent* components,
                                           std::size_t count) noexcept {
  HarmonicComplex best{-1.0, 0, {}, 0};
  for (std::size_t i = 0; i < count; ++i) {
    const HarmonicComplex candidate = complex_on(components, count, i);
    if (candidate.amplitude_sum > best.amplitude_sum) best = candidate;
  }
  return best;
}

}  // namespace varnholt
