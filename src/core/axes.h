// The two constant axes the library publishes: the 240-point critical-band-rate
// axis of every specific-loudness pattern and the 28 third-octave centres.
#pragma once

#include <array>
#include <cstddef>

namespace varnholt {

inline constexpr std::size_t SPECIFIC_LOUDNESS_LENGTH = 240;
inline constexpr std::size_t THIRD_OCTAVE_BAND_COUNT = 28;

// Entry i at 0.1 * (i + 1) Bark.
inline constexpr std::array<double, SPECIFIC_LOUDNESS_LENGTH> BARK_AXIS = [] {
  std::array<double, SPECIFIC_LOUDNESS_LENGTH> axis{};
  for (std::size_t i = 0; i < axis.size(); ++i) axis[i] = 0.1 * static_cast<double>(i + 1);
  return axis;
}();

// Nominal third-octave centre frequencies in Hz, 25 Hz ... 12.5 kHz.
inline constexpr std::array<double, THIRD_OCTAVE_BAND_COUNT> THIRD_OCTAVE_CENTRES_HZ = {
    25.0,   31.5,   40.0,   50.0,   63.0,   80.0,   100.0,  125.0,  160.0,  200.0,
    250.0,  315.0,  400.0,  500.0,  630.0,  800.0,  1000.0, 1250.0, 1600.0, 2000.0,
    2500.0, 3150.0, 4000.0, 5000.0, 6300.0, 8000.0, 10000.0, 12500.0};

}  // namespace varnholt
