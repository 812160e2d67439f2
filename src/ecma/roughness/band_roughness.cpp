// Band roughness: the modulation peaks of a band's spectrum are weighted by how
// rough their rates sound in that band, and the strongest harmonic complex of
// them is summed and weighted by its fundamental rate.
#include "ecma/roughness/band_roughness.h"

#include <cmath>
#include <cstdint>

#include "ecma/band_scale.h"
#include "ecma/roughness/harmonic_complex.h"
#include "ecma/roughness/modulation_peaks.h"
#include "ecma/roughness/modulation_rate.h"
#include "ecma/roughness/roughness_grid.h"

namespace varnholt {
namespace {

constexpr double DELTA = ECMA_MODULATION_BIN_HZ;

// Peaks lower than this fraction of the highest kept peak are ignored.
constexpr double MINOR_PEAK_FRACTION = 0.05;

// Rate-weighted amplitudes of the kept peaks, in bin order. Returns their
// number.
std::size_t modulation_components(const double* phi, const ModulationPeak* peaks, std::size_t kept,
                                  const RoughnessBandShape& shape,
                                  ModulationComponent* components) {
  double highest = 0.0;
  for (std::size_t k = 0; k < kept; ++k) {
    if (k == 0 || phi[peaks[k].bin] > highest) highest = phi[peaks[k].bin];
  }
  std::size_t count = 0;
  for (std::size_t k = 0; k < kept; ++k) {
    const std::uint64_t p = peaks[k].bin;
    if (!(phi[p] > MINOR_PEAK_FRACTION * highest)) continue;
    const double rate = refined_modulation_rate(phi, p);
    double amplitude = (phi[p - 1] + phi[p] + phi[p + 1]) / shape.amplitude_divisor;
    if (rate <= DELTA) {
      amplitude = 0.0;
    } else if (rate > shape.best_rate_hz) {
      // Above the band's best rate roughness falls off as the ear's temporal
      // resolution runs out.
      const double x = 1.2822 * (rate / shape.best_rate_hz - shape.best_rate_hz / rate);
      amplitude *= std::pow(x * x + 1.0, -shape.high_rate_exponent);
    }
    components[count++] = ModulationComponent{rate, amplitude};
  }
  return count;
}

// The complex's amplitude, raised when the amplitude-weighted mean rate of its
// members lies away from its strongest member (a complex spread over several
// rates), and lowered when its fundamental lies below the band's best rate.
double weighted_complex_roughness(const ModulationComponent* components,
                                  const HarmonicComplex& complex, const RoughnessBandShape& shape) {
  const double f0 = components[complex.fundamental].rate_hz;
  const double best = complex.amplitude_sum;
  std::size_t strongest = complex.members[0];
  double moment = 0.0;
  for (std::size_t k = 0; k < complex.member_count; ++k) {
    const ModulationComponent& c = components[complex.members[k]];
    if (c.amplitude > components[strongest].amplitude) strongest = complex.members[k];
    moment += c.amplitude * c.rate_hz;
  }
  const double mean_rate = moment / (static_cast<double>(complex.member_count) * 1e-12 + best);
  const double spread = std::pow(std::fabs(mean_rate - components[strongest].rate_hz), 0.749);
  if (f0 <= DELTA) return 0.0;
  double roughness = (1.0 + 0.1 * spread) * best;
  if (f0 <= shape.best_rate_hz) {
    // Below the best rate slow fluctuations turn from roughness into
    // fluctuation strength; the fall is steeper in low bands.
    const double x = 0.7066 * (f0 / shape.best_rate_hz - shape.best_rate_hz / f0);
    roughness *= std::pow(x * x + 1.0, -(1.0967 - 0.064 * shape.lambda));
  }
  return roughness;
}

}  // namespace

RoughnessBandShape roughness_band_shape(std::size_t b) noexcept {
  const double phi = ecma_band_centre_hz(b) / 1000.0;
  const double lambda = std::log2(phi);
  const double best_rate = (1.0 - 1.1739 * std::exp(-5.4583 * phi)) * 72.6937;
  const double delta =
      phi < 1.0 ? std::pow(std::fabs(lambda), 0.8049) : std::pow(std::fabs(lambda), 0.9333);
  const double epsilon =
      0.2471 + (lambda >= -3.4253 ? 0.0129 * ((lambda + 3.4253) * (lambda + 3.4253)) : 0.0);
  const double divisor = phi < 1.0 ? 1.0 + delta * 0.356 : 1.0 + delta * 0.8024;
  return RoughnessBandShape{lambda, best_rate, epsilon, divisor};
}

double ecma_band_roughness(const double* phi, std::size_t b) noexcept {
  ModulationPeak peaks[MODULATION_PEAK_CAPACITY];
  const std::size_t found = find_modulation_peaks(phi, peaks);
  if (found == 0) return 0.0;
  const std::size_t kept = select_modulation_peaks(peaks, found);

  const RoughnessBandShape shape = roughness_band_shape(b);
  ModulationComponent components[MODULATION_COMPONENT_CAPACITY];
  const std::size_t count = modulation_components(phi, peaks, kept, shape, components);
  if (count == 0) return 0.0;

  const HarmonicComplex complex = strongest_harmonic_complex(components, count);
  if (complex.member_count == 0 || complex.amplitude_sum <= 0.0) return 0.0;
  const double roughness = weighted_complex_roughness(components, complex, shape);
  return roughness >= ECMA_ROUGHNESS_FLOOR ? roughness : 0.0;
}

}  // namespace varnholt
