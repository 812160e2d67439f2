// Demonstration signal: a rough (70 Hz AM), tonal (1 kHz) sound over a
// broadband pink-noise floor, so loudness, sharpness, roughness and tonality
// all have something to measure.
#include "demo_signal.h"

#include <cmath>
#include <cstdint>
#include <numbers>

#include "calibration.h"
#include "varnholt.h"

namespace varnholt::analysis {
namespace {

constexpr double RATE_HZ = VH_SAMPLE_RATE;

double rms_pressure_pa(double level_db) {
  return REFERENCE_PRESSURE_PA * std::pow(10.0, level_db / 20.0);
}

// SplitMix64: a tiny generator whose output is fixed by its seed everywhere,
// unlike the standard library's distributions.
class SplitMix64 {
 public:
  explicit SplitMix64(std::uint64_t seed) : state_(seed) {}
  // Uniform in [-1, 1).
  double next_uniform() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    z ^= z >> 31;
    return static_cast<double>(z >> 11) * 0x1.0p-52 - 1.0;
  }

 private:
  std::uint64_t state_;
};

// White noise through Kellet's economy pinking filter (three first-order
// sections): -3 dB per octave within about 0.5 dB over the audible range.
std::vector<double> pink_noise(std::size_t count, double level_db) {
  SplitMix64 prng(0x5EED);
  std::vector<double> x(count);
  double b0 = 0.0, b1 = 0.0, b2 = 0.0, sum_of_squares = 0.0;
  for (double& v : x) {
    const double white = prng.next_uniform();
    b0 = 0.99765 * b0 + white * 0.0990460;
    b1 = 0.96300 * b1 + white * 0.2965164;
    b2 = 0.57000 * b2 + white * 1.0526913;
    v = b0 + b1 + b2 + white * 0.1848;
    sum_of_squares += v * v;
  }
  const double gain =
      rms_pressure_pa(level_db) / std::sqrt(sum_of_squares / static_cast<double>(count));
  for (double& v : x) v *= gain;
  return x;
}

}  // namespace

std::vector<double> demo_signal() {
  const auto count = static_cast<std::size_t>(DEMO_DURATION_S * RATE_HZ);
  std::vector<double> p = pink_noise(count, 50.0);
  const double peak = std::sqrt(2.0) * rms_pressure_pa(60.0);
  constexpr double two_pi = 2.0 * std::numbers::pi;
  for (std::size_t i = 0; i < count; ++i) {
    const double t = static_cast<double>(i) / RATE_HZ;
    p[i] += peak * (1.0 + std::sin(two_pi * 70.0 * t)) * std::sin(two_pi * 1000.0 * t);
  }
  return p;
}

}  // namespace varnholt::analysis
