// Test signal generators.
#include "support/signals.h"

#include <cmath>
#include <numbers>

namespace varnholt::test {

double rms_from_spl(double level_db) { return REFERENCE_PRESSURE_PA * std::pow(10.0, level_db / 20.0); }

std::vector<double> sine(double frequency_hz, double level_db, std::size_t count,
                         double phase_rad) {
  const double peak = std::sqrt(2.0) * rms_from_spl(level_db);
  const double w = 2.0 * std::numbers::pi * frequency_hz / SAMPLE_RATE_HZ;
  std::vector<double> x(count);
  for (std::size_t i = 0; i < count; ++i) x[i] = peak * std::sin(w * static_cast<double>(i) + phase_rad);
  return x;
}

std::vector<double> am_tone(double carrier_hz, double level_db, double modulation_hz,
                            double depth, std::size_t count) {
  std::vector<double> x = sine(carrier_hz, level_db, count);
  const double wm = 2.0 * std::numbers::pi * modulation_hz / SAMPLE_RATE_HZ;
  for (std::size_t i = 0; i < count; ++i) x[i] *= 1.0 + depth * std::sin(wm * static_cast<double>(i));
  return x;
}

std::vector<double> two_tones(double f1_hz, double l1_db, double f2_hz, double l2_db,
                              std::size_t count) {
  std::vector<double> x = sine(f1_hz, l1_db, count);
  const std::vector<double> y = sine(f2_hz, l2_db, count);
  for (std::size_t i = 0; i < count; ++i) x[i] += y[i];
  return x;
}

std::vector<double> silence(std::size_t count) { return std::vector<double>(count, 0.0); }

std::vector<double> impulse(std::size_t count, std::size_t at, double pressure_pa) {
  std::vector<double> x(count, 0.0);
  if (at < count) x[at] = pressure_pa;
  return x;
}

std::uint64_t Prng::next_u64() {
  std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

double Prng::next_uniform() {
  // 53 random bits mapped onto [-1, 1).
  return static_cast<double>(next_u64() >> 11) * 0x1.0p-52 - 1.0;
}

double rms(const std::vector<double>& x) {
  if (x.empty()) return 0.0;
  double sum = 0.0;
  for (double v : x) sum += v * v;
  return std::sqrt(sum / static_cast<double>(x.size()));
}

namespace {
std::vector<double> scaled_to_spl(std::vector<double> x, double level_db) {
  const double gain = rms_from_spl(level_db) / rms(x);
  for (double& v : x) v *= gain;
  return x;
}
}  // namespace

std::vector<double> white_noise(double level_db, std::size_t count, std::uint64_t seed) {
  Prng prng(seed);
  std::vector<double> x(count);
  for (double& v : x) v = prng.next_uniform();
  return scaled_to_spl(std::move(x), level_db);
}

std::vector<double> pink_noise(double level_db, std::size_t count, std::uint64_t seed) {
  // White noise through Kellet's economy pinking filter (three poles), good
  // to about +-0.5 dB from 20 Hz to 20 kHz at 48 kHz.
  Prng prng(seed);
  std::vector<double> x(count);
  double b0 = 0.0, b1 = 0.0, b2 = 0.0;
  for (double& v : x) {
    const double white = prng.next_uniform();
    b0 = 0.99765 * b0 + white * 0.0990460;
    b1 = 0.96300 * b1 + white * 0.2965164;
    b2 = 0.57000 * b2 + white * 1.0526913;
    v = b0 + b1 + b2 + white * 0.1848;
  }
  return scaled_to_spl(std::move(x), level_db);
}

}  // namespace varnholt::test
