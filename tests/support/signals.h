// Test signals written as physics: pressures in pascal at 48 kHz.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace varnholt::test {

inline constexpr double SAMPLE_RATE_HZ = 48000.0;
inline constexpr double REFERENCE_PRESSURE_PA = 2e-5;

// RMS pressure of a level in dB SPL: p_rms = 20 uPa * 10^(L/20).
double rms_from_spl(double level_db);

// Sine of the given frequency and SPL (peak = sqrt(2) * p_rms).
std::vector<double> sine(double frequency_hz, double level_db, std::size_t count,
                         double phase_rad = 0.0);

// Sinusoidally amplitude-modulated tone: carrier at the SPL it would have
// unmodulated, envelope 1 + depth * sin(2 pi fm t).
std::vector<double> am_tone(double carrier_hz, double level_db, double modulation_hz,
                            double depth, std::size_t count);

// Sum of two sines, each at its own SPL.
std::vector<double> two_tones(double f1_hz, double l1_db, double f2_hz, double l2_db,
                              std::size_t count);

std::vector<double> silence(std::size_t count);

// A single sample of the given pressure at index `at`, zeros elsewhere.
std::vector<double> impulse(std::size_t count, std::size_t at, double pressure_pa);

// White noise of the given SPL from our own seeded generator, so every
// platform and standard library gives the same samples.
std::vector<double> white_noise(double level_db, std::size_t count, std::uint64_t seed = 1);

// Pink noise (-3 dB per octave) of the given overall SPL, same generator.
std::vector<double> pink_noise(double level_db, std::size_t count, std::uint64_t seed = 1);

// A small deterministic generator (SplitMix64) of uniform doubles in [-1, 1).
class Prng {
 public:
  explicit Prng(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next_u64();
  double next_uniform();

 private:
  std::uint64_t state_;
};

// RMS of a signal.
double rms(const std::vector<double>& x);

}  // namespace varnholt::test
