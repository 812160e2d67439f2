// The A and C frequency weightings of sound level meters (IEC 61672-1) as
// digital filters at 48 kHz, and their complex response for checking them.
#pragma once

#include <array>
#include <cstddef>

namespace varnholt {

enum class FrequencyWeighting { a, c };

// One second-order section y = (b0 + b1 z^-1 + b2 z^-2) / (1 + a1 z^-1 + a2 z^-2) x.
struct Biquad {
  double b0, b1, b2, a1, a2;
};

// At most three sections per weighting (A: two high-pass pairs and the
// high-frequency pole pair; C: one high-pass pair and the pole pair).
inline constexpr std::size_t MAX_WEIGHTING_SECTIONS = 3;

struct WeightingFilterDesign {
  std::array<Biquad, MAX_WEIGHTING_SECTIONS> sections;
  std::size_t section_count;
};

// The filter of a weighting at 48 kHz, with 0 dB gain at 1 kHz. The
// low-frequency pole pairs come from the bilinear transform with each pole
// prewarped onto its own frequency; the double pole at 12194 Hz comes from a
// second-order section that matches the analogue magnitude at 0 Hz and at
// 12194 Hz exactly (the bilinear transform would pull it towards 24 kHz and
// put a zero there, several dB too low at 16 kHz).
WeightingFilterDesign weighting_filter_design(FrequencyWeighting weighting) noexcept;

// Gain in dB of the digital filter at frequency_hz (0 < f < 24000).
double weighting_filter_gain_db(const WeightingFilterDesign& design, double frequency_hz) noexcept;

// Gain in dB of the analogue design goal of IEC 61672-1 at frequency_hz,
// normalised to 0 dB at 1 kHz.
double weighting_design_goal_db(FrequencyWeighting weighting, double frequency_hz) noexcept;

// Runs the sections over a signal, one sample at a time, in transposed
// direct form II; the state starts at rest.
class WeightingFilter {
 public:
  explicit WeightingFilter(FrequencyWeighting weighting) noexcept
      : design_(weighting_filter_design(weighting)) {}

  double step(double x) noexcept {
    for (std::size_t s = 0; s < design_.section_count; ++s) {
      const Biquad& q = design_.sections[s];
      const double y = q.b0 * x + z1_[s];
      z1_[s] = q.b1 * x - q.a1 * y + z2_[s];
      z2_[s] = q.b2 * x - q.a2 * y;
      x = y;
    }
    return x;
  }

 private:
  WeightingFilterDesign design_;
  std::array<double, MAX_WEIGHTING_SECTIONS> z1_{};
  std::array<double, MAX_WEIGHTING_SECTIONS> z2_{};
};

}  // namespace varnholt
